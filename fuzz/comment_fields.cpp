// A posted name, comment and block word as any bytes: the stored line always reads back as the
// eight fields it was made of, without line breaks or raw quotes in the reader's text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "render/comment_post.h"
#include "store/DCSVList.h"
#include "text/DString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first two bytes cut the rest into name, comment and block word.
  if (size < 2) return 0;
  const std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const size_t a = std::min<size_t>(data[0], rest.size()), b = std::min<size_t>(a + data[1] * 4, rest.size());
  std::string plain;
  const std::string name = CommentPosterName(rest.substr(0, a), "名無し", plain);
  const std::string text = CommentStoredText(rest.substr(a, b - a));
  CommentWordBlocked({rest.substr(b)}, rest.substr(a, b - a), name);
  if (name.empty() || name.size() > 6 * kCommentNameBytes || plain.size() > kCommentNameBytes) __builtin_trap();
  if (text.size() > 6 * kCommentTextBytes + 4 * 8192) __builtin_trap();
  const std::string line =
      MakeRecordLine({"c1", std::string(40, 'a'), "0123456789abcdef", "2026/12/01 00:00:00", name, text, "0", "127.0.0.1"});
  if (line.find_first_of("\r\n") != std::string::npos) __builtin_trap();
  TCSVList c;
  c.SetLine(line);
  if (c.Count() != 8 || c.Item(4) != name || c.Item(5) != text) __builtin_trap();
  return 0;
}
