// The tag scanner and the attribute reader: positions stay inside the text, spans cover it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/DHTMLTag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const TTagList tags = GetTagList(text);
  for (const TTagIndex& t : tags) {
    if (t.Pos < 1 || t.Len < 1 || static_cast<size_t>(t.Pos - 1 + t.Len) > text.size()) abort();
    const std::string tag = TagText(text, t);
    if (tag.front() != '<' || tag.back() != '>') abort();
    const TOptionList options = GetOptionList(tag);
    for (const TOptionIndex& o : options)
      if (o.Pos < 1 || o.Len < 0 || static_cast<size_t>(o.Pos - 1 + o.Len) > tag.size()) abort();
    (void)OptionsText(options, true);
    (void)GetOptionValue(tag, "href", "x");
  }
  for (const TTagIndex& t : GetTextList(text, tags))
    if (t.Pos < 1 || t.Len < 1 || static_cast<size_t>(t.Pos - 1 + t.Len) > text.size()) abort();
  (void)GetOptionList(text);
  (void)XmlRpcMemberValue(text, "flerror");
  return 0;
}
