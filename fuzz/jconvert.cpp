// Japanese encodings: the first byte picks the conversions, the rest is the text. Shift_JIS
// made from JIS, EUC-JP or UTF-7 converts back and forth; code detection reads any bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/jconvert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string s(reinterpret_cast<const char*>(data) + 1, size - 1);
  const int code = DetectCode(s);
  if (code < ckNone || code > ckEucOrSjis) abort();
  std::string sjis;
  switch (data[0] % 6) {
    case 0: sjis = JisToSjis(s); break;
    case 1: sjis = EucToSjis(s); break;
    case 2: sjis = Utf7ToSjis(s); break;
    case 3: sjis = Utf8ToSjis(s); break;
    case 4: sjis = Gb2312ToSjis(s); break;
    default: sjis = s; break;
  }
  (void)SjisToJis(sjis);
  (void)SjisToEuc(sjis);
  const std::string utf8 = SjisToUtf8(sjis);
  if (!IsValidUtf8(utf8)) abort();
  (void)SjisToUtf16(sjis);
  (void)ToUtf8(s, "");
  if (Base64Decode(Base64Encode(s)) != s) abort();
  (void)Base64EncodeStream(s);
  (void)MimeWordsFolded(sjis, true, 76);
  return 0;
}
