// The trackback receiver's conversion and record line: four fields cut at NUL bytes and a
// charset in front. Every line it makes is valid UTF-8 that reads back as one trackback with
// the fields it was given (capped, cleaned).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "store/DCSVList.h"
#include "syndication/trackback.h"
#include "text/jconvert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string parts[5];
  size_t k = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && k < 4) ++k;
    else parts[k] += static_cast<char>(data[i]);
  }
  const TPingFields f = ConvertPing(parts[1], parts[2], parts[3], parts[4], parts[0]);
  if (!IsValidUtf8(f.BlogName + f.Title + f.Excerpt + f.Url)) abort();
  const std::string line = TrackBackLine("2009/05/17 08:03:09", "20090517080309abc", std::string(40, 'a'), f.BlogName,
                                         f.Title, f.Excerpt, f.Url);
  if (!IsValidUtf8(line) || line.size() > 3000) abort();
  TCSVList c;
  c.SetLine(Utf8ToSjis(line));
  if (c.Count() != 8 || c.Item(3) != std::string(40, 'a')) abort();
  TStringList block = {"casino", parts[0], ""};
  (void)TrackBackBlocked(block, f.Url, f.Excerpt, f.Title);
  std::string error, message;
  ReadTrackBackAnswer(parts[2], error, message);
  return 0;
}
