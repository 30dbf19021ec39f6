// Japanese encodings, Base64, MIME words and percent encoding.
#pragma once
#include <string>

enum TCodeKind {
  ckNone = 0, ckBinary = 1, ckJis = 2, ckJisOld = 3, ckEuc = 4, ckSjis = 5, ckEucOrSjis = 6,
  ckUtf8 = 7  // only from CharsetCode: no detection result is UTF-8
};

int DetectCode(const std::string& s);
std::string JisToSjis(const std::string& s);
std::string SjisToJis(const std::string& s);
std::string EucToSjis(const std::string& s);
std::string SjisToEuc(const std::string& s);
std::string Utf8ToSjis(const std::string& s);     // iconv CP932; unmappable -> "?"
std::string SjisToUtf8(const std::string& s);
std::string Utf16ToSjis(const std::u16string& s);
std::u16string SjisToUtf16(const std::string& s);
std::string Utf7ToSjis(const std::string& s);
std::string Gb2312ToSjis(const std::string& s);   // iconv CP936
bool IsValidUtf8(const std::string& s);
// The code of a charset name (Shift_JIS, EUC-JP and ISO-2022-JP under their usual names,
// UTF-8 as ckUtf8); ckNone for any other name.
int CharsetCode(const std::string& charset);
// Text from outside in UTF-8: converted from the declared charset when it names a Japanese
// code; otherwise valid UTF-8 (that is not ISO-2022-JP) stays as it is and anything else is
// converted from the detected code (EUC-JP or Shift_JIS undecided: EUC-JP when the bytes pair
// up as EUC-JP). Bytes that map to nothing become "?".
std::string ToUtf8(const std::string& s, const std::string& charset);
// The two steps of ToUtf8: the code the text is read in (ckUtf8, ckJis, ckJisOld, ckEuc or
// ckSjis), and the conversion from it (never anything but valid UTF-8).
int TextCode(const std::string& s, const std::string& charset);
std::string CodeToUtf8(const std::string& s, int code);

std::string Base64Encode(const std::string& bytes);
std::string Base64Decode(const std::string& text);       // skips non-alphabet bytes
std::string Base64EncodeStream(const std::string& bytes); // CR LF after every 76 characters

std::string MimeWord(const std::string& text, bool quote);
std::string MimeWordsFolded(const std::string& text, bool quote, int lineLength);
std::string PercentEncode(const std::string& bytes);      // every byte -> %XX
