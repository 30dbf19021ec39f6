// Japanese encodings, Base64, MIME words and percent encoding.
#pragma once
#include <string>

enum TCodeKind {
  ckNone = 0, ckBinary = 1, ckJis = 2, ckJisOld = 3, ckEuc = 4, ckSjis = 5, ckEucOrSjis = 6
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

std::string Base64Encode(const std::string& bytes);
std::string Base64Decode(const std::string& text);       // skips non-alphabet bytes
std::string Base64EncodeStream(const std::string& bytes); // CR LF after every 76 characters

std::string MimeWord(const std::string& text, bool quote);
std::string MimeWordsFolded(const std::string& text, bool quote, int lineLength);
std::string PercentEncode(const std::string& bytes);      // every byte -> %XX
