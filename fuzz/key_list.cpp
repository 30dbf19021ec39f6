// The picture-code list as any bytes: the picture's lookup, the post's check and an append
// leave a list of whole records, and the code found is always drawn into a JPEG.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <random>
#include <string>

#include "images/ImageKeyAuth.h"
#include "store/DCSVList.h"
#include "store/keylist.h"
#include "text/DString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    char tmpl[] = "/tmp/velm-fuzz-keylist-XXXXXX";
    return std::string(mkdtemp(tmpl)) + "/";
  }();
  const std::string list(reinterpret_cast<const char*>(data), size);
  std::ofstream(folder + "keylist.txt", std::ios::binary | std::ios::trunc) << list;
  // Look for the id of the first line, so that found codes are drawn too.
  TCSVList c;
  c.SetLine(SplitLines(list).empty() ? "" : SplitLines(list)[0]);
  const std::string id = c.Item(2);
  const time_t now = 1796050800;  // 2026/12/01 00:00:00 +09:00: stamps near it are alive
  std::string code;
  const TKeyLookup found = LookupKey(folder, id, now, code);
  if (found != TKeyLookup::Found && !code.empty()) __builtin_trap();
  CheckKey(folder, id, c.Item(3), now, data[0] & 1);
  AppendKeyLine(folder, "\"2026/12/01 00:00:00\",\"127.0.0.1\",\"new\",\"CODE5\"", now);
  std::string after;
  std::ifstream in(folder + "keylist.txt", std::ios::binary);
  after.assign(std::istreambuf_iterator<char>(in), {});
  for (const std::string& line : SplitLines(after)) {
    c.SetLine(line);
    if (c.Count() < 4) __builtin_trap();
  }
  TImageKeyAuth auth;
  auth.FontName = "Times New Roman";
  auth.FontSize = 21;
  auth.CharacterSpacing = 20;
  std::mt19937 random(static_cast<unsigned>(size));
  TBitmap24 picture;
  auth.DrawTextPicture(found == TKeyLookup::Found ? code : "ERROR2", 5, 0, 5, 5, picture, random);
  std::string jpeg;
  if (!EncodeJPEG(picture, jpeg)) __builtin_trap();
  return 0;
}
