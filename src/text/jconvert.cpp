// Japanese encodings: JIS and EUC-JP by the row/cell arithmetic, the rest through iconv.
#include "text/jconvert.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "text/DString.h"

namespace {

// iconv from one code to another; an unconvertible or invalid sequence becomes "?".
std::string Iconv(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::string out;
  out.resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  size_t done = 0;
  while (srcLeft > 0) {
    char* dst = out.data() + done;
    size_t dstLeft = out.size() - done;
    const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    done = out.size() - dstLeft;
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else {  // EILSEQ / EINVAL: skip one input byte
      if (out.size() - done < 4) out.resize(out.size() * 2);
      out[done++] = '?';
      ++src;
      --srcLeft;
    }
  }
  out.resize(done);
  iconv_close(cd);
  return out;
}

void JisToSjisPair(unsigned char j1, unsigned char j2, std::string& out) {
  const unsigned char s1 = static_cast<unsigned char>(((j1 + 1) >> 1) + (j1 < 0x5F ? 0x70 : 0xB0));
  unsigned char s2;
  if (j1 & 1)
    s2 = static_cast<unsigned char>(j2 + (j2 < 0x60 ? 0x1F : 0x20));
  else
    s2 = static_cast<unsigned char>(j2 + 0x7E);
  out += static_cast<char>(s1);
  out += static_cast<char>(s2);
}

void SjisToJisPair(unsigned char s1, unsigned char s2, unsigned char& j1, unsigned char& j2) {
  const int adjust = s2 < 0x9F;
  const int rowOffset = s1 < 0xA0 ? 0x70 : 0xB0;
  const int cellOffset = adjust ? (s2 > 0x7F ? 0x20 : 0x1F) : 0x7E;
  j1 = static_cast<unsigned char>(((s1 - rowOffset) << 1) - adjust);
  j2 = static_cast<unsigned char>(s2 - cellOffset);
}

const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int B64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool HasDoubleByte(const std::string& s) {
  for (unsigned char c : s)
    if (IsSjisLead(c)) return true;
  return false;
}

}  // namespace

int DetectCode(const std::string& s) {
  const size_t n = s.size();
  auto at = [&](size_t i) -> int { return i < n ? static_cast<unsigned char>(s[i]) : -1; };
  for (size_t i = 0; i < n && i < 512; ++i)
    if (at(i) < 0x08 || at(i) == 0xFF) return ckBinary;
  int code = ckNone;
  for (size_t i = 0; i < n && (code == ckNone || code == ckEucOrSjis); ++i) {
    const int c = at(i);
    if (c == 0x1B) {
      if (at(i + 1) == '$' && at(i + 2) == 'B') code = ckJis;
      else if (at(i + 1) == '$' && at(i + 2) == '@') code = ckJisOld;
    } else if (c < 0x08 || c == 0xFF) {
      code = ckBinary;
    } else if ((c >= 0x81 && c <= 0x8D) || (c >= 0x8F && c <= 0x9F)) {
      code = ckSjis;
    } else if (c == 0x8E) {
      const int d = at(i + 1);
      if ((d >= 0x40 && d <= 0x7E) || (d >= 0x80 && d <= 0xA0) || (d >= 0xE0 && d <= 0xFC)) code = ckSjis;
      else if (d >= 0xA1 && d <= 0xDF) code = ckEucOrSjis;
    } else if (c >= 0xA1 && c <= 0xDF) {
      const int d = at(i + 1);
      if (d >= 0xF0 && d <= 0xFE) {
        code = ckEuc;
      } else if (d >= 0xA1 && d <= 0xDF) {
        code = ckEucOrSjis;
      } else if (d >= 0xE0 && d <= 0xEF) {
        code = ckEucOrSjis;
        size_t j = i + 2;
        while (j < n && at(j) >= 0x40 && code == ckEucOrSjis) {
          const int e = at(j);
          if ((e >= 0x81 && e <= 0x8D) || (e >= 0x8F && e <= 0x9C)) code = ckSjis;
          else if (e >= 0xFD && e <= 0xFE) code = ckEuc;
          ++j;
        }
      } else if (d >= 0 && d < 0xA0) {
        code = ckSjis;
      }
    } else if (c >= 0xF0 && c <= 0xFE) {
      code = ckEuc;
    } else if (c >= 0xE0 && c <= 0xEF) {
      const int d = at(i + 1);
      if ((d >= 0x40 && d <= 0x7E) || (d >= 0x80 && d <= 0xA0)) code = ckSjis;
      else if (d >= 0xFD && d <= 0xFE) code = ckEuc;
      else if (d >= 0xA1 && d <= 0xFC) code = ckEucOrSjis;
    }
  }
  return code;
}

std::string JisToSjis(const std::string& s) {
  enum { kAscii, kKanji, kKana } mode = kAscii;
  std::string out;
  const size_t n = s.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == 0x1B && i + 2 < n) {
      if (s[i + 1] == '$') mode = kKanji;
      else if (s[i + 1] == '(' && s[i + 2] == 'I') mode = kKana;
      else if (s[i + 1] == '(') mode = kAscii;
      i += 2;
      continue;
    }
    if (mode == kKanji) {
      if (c == '\r' || c == '\n') { out += static_cast<char>(c); continue; }
      if (i + 1 < n) JisToSjisPair(c, static_cast<unsigned char>(s[i + 1]), out);
      ++i;
    } else if (mode == kKana) {
      out += static_cast<char>(c | 0x80);
    } else if (c != 0) {
      out += static_cast<char>(c);
    }
  }
  // Remaining ESC ( J sequences go.
  std::string clean;
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] == 0x1B && i + 2 < out.size() && out[i + 1] == '(' && (out[i + 2] == 'J' || out[i + 2] == 'j')) {
      i += 2;
      continue;
    }
    clean += out[i];
  }
  return clean;
}

std::string SjisToJis(const std::string& s) {
  std::string out;
  bool kanji = false;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsSjisLead(c) && i + 1 < s.size()) {
      if (!kanji) { out += "\x1B$B"; kanji = true; }
      unsigned char j1, j2;
      SjisToJisPair(c, static_cast<unsigned char>(s[i + 1]), j1, j2);
      out += static_cast<char>(j1);
      out += static_cast<char>(j2);
      ++i;
    } else {
      if (kanji) { out += "\x1B(B"; kanji = false; }
      out += static_cast<char>(c);
    }
  }
  if (kanji) out += "\x1B(B";
  return out;
}

std::string EucToSjis(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x81 || c > 0xFE) {
      out += static_cast<char>(c);
    } else if (c == 0x8E) {
      if (i + 1 < s.size()) out += s[++i];
    } else if (i + 1 < s.size()) {
      JisToSjisPair(c % 0x80, static_cast<unsigned char>(s[i + 1]) % 0x80, out);
      ++i;
    }
  }
  return out;
}

std::string SjisToEuc(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c >= 0xA1 && c <= 0xDF) {
      out += '\x8E';
      out += static_cast<char>(c);
    } else if (i + 1 < s.size()) {
      unsigned char j1, j2;
      SjisToJisPair(c, static_cast<unsigned char>(s[i + 1]), j1, j2);
      out += static_cast<char>(j1 | 0x80);
      out += static_cast<char>(j2 | 0x80);
      ++i;
    }
  }
  return out;
}

// UTF-8 <-> CP932 through the tables made from the platform's iconv at build time: the same
// bytes as iconv gives, byte for byte ("?" for each byte it skips), without loading iconv's
// conversion module (and with it a second C library) into the static program at run time.
#include "cp932_table.inc"

namespace {

// The code point of the UTF-8 character at s[i] and its length; 0 when no valid character of at
// most three bytes starts there (four-byte ones have no CP932 character either way).
size_t Utf8CharAt(const std::string& s, size_t i, unsigned& cp) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  size_t len;
  unsigned lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) len = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF) len = 3, cp = c & 0x0F, lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
  else return 0;
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const unsigned char d = static_cast<unsigned char>(s[i + k]);
    if (d < (k == 1 ? lo : 0x80) || d > (k == 1 ? hi : 0xBF)) return 0;
    cp = (cp << 6) | (d & 0x3F);
  }
  return len;
}

void AppendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string Utf8ToSjis(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    unsigned cp = 0;
    const size_t len = Utf8CharAt(s, i, cp);
    const unsigned v = len ? kUnicodeToCp932[cp] : 0;
    if (!len || (v == 0 && cp != 0)) {
      out += '?';  // skipped one byte, as iconv is made to
      ++i;
      continue;
    }
    if (v > 0xFF) out += static_cast<char>(v >> 8);
    out += static_cast<char>(v & 0xFF);
    i += len;
  }
  return out;
}

std::string SjisToUtf8(const std::string& s) {
  std::string out;
  out.reserve(s.size() * 3 / 2);
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (kCp932Single[c] != 0xFFFF) {
      AppendUtf8(out, kCp932Single[c]);
      ++i;
    } else if (c >= 0x80 && i + 1 < s.size() && kCp932Pair[(c - 0x80) * 256 + static_cast<unsigned char>(s[i + 1])]) {
      AppendUtf8(out, kCp932Pair[(c - 0x80) * 256 + static_cast<unsigned char>(s[i + 1])]);
      i += 2;
    } else {
      out += '?';
      ++i;
    }
  }
  return out;
}
std::string Gb2312ToSjis(const std::string& s) { return Utf8ToSjis(Iconv("UTF-8", "CP936", s)); }

std::string Utf16ToSjis(const std::u16string& s) {
  std::string bytes(reinterpret_cast<const char*>(s.data()), s.size() * 2);
  return Iconv("CP932", "UTF-16LE", bytes);
}

std::u16string SjisToUtf16(const std::string& s) {
  const std::string bytes = Iconv("UTF-16LE", "CP932", s);
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) | (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

std::string Utf7ToSjis(const std::string& s) {
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] != '+') { out += s[i++]; continue; }
    if (i + 1 < s.size() && s[i + 1] == '-') { out += '+'; i += 2; continue; }
    if (i + 1 >= s.size() || B64Value(static_cast<unsigned char>(s[i + 1])) < 0) break;
    size_t j = i + 1;
    while (j < s.size() && B64Value(static_cast<unsigned char>(s[j])) >= 0) ++j;
    std::string bytes = Base64Decode(s.substr(i + 1, j - i - 1));
    std::u16string u;
    for (size_t k = 0; k + 1 < bytes.size(); k += 2)
      u += static_cast<char16_t>((static_cast<unsigned char>(bytes[k]) << 8) | static_cast<unsigned char>(bytes[k + 1]));
    out += Utf16ToSjis(u);
    i = (j < s.size() && s[j] == '-') ? j + 1 : j;
  }
  return out;
}

namespace {

// Whether every byte above 0x7F stands in an EUC-JP pair (0xA1-0xFE twice, or 0x8E and a
// half-width katakana byte).
bool IsEucPairs(const std::string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) continue;
    if (i + 1 >= s.size()) return false;
    const unsigned char d = static_cast<unsigned char>(s[++i]);
    if (c == 0x8E ? !(d >= 0xA1 && d <= 0xDF) : !(c >= 0xA1 && c <= 0xFE && d >= 0xA1 && d <= 0xFE)) return false;
  }
  return true;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

int CharsetCode(const std::string& charset) {
  const std::string c = LowerAscii(charset);
  if (c == "utf-8" || c == "utf8") return ckUtf8;
  if (c == "shift_jis" || c == "shift-jis" || c == "sjis" || c == "x-sjis" || c == "windows-31j" || c == "cp932" ||
      c == "ms_kanji" || c == "csshiftjis")
    return ckSjis;
  if (c == "euc-jp" || c == "x-euc-jp" || c == "eucjp" || c == "cseucpkdfmtjapanese") return ckEuc;
  if (c == "iso-2022-jp" || c == "jis" || c == "csiso2022jp") return ckJis;
  return ckNone;
}

int TextCode(const std::string& s, const std::string& charset) {
  const int code = CharsetCode(charset);
  const int detected = DetectCode(s);
  if (code != ckNone && code != ckUtf8) return detected == ckNone ? ckUtf8 : code;  // ASCII reads the same
  // ISO-2022-JP is 7-bit, so valid UTF-8 as well: its escapes tell it.
  if (IsValidUtf8(s) && detected != ckJis && detected != ckJisOld) return ckUtf8;
  if (detected == ckEucOrSjis) return IsEucPairs(s) ? ckEuc : ckSjis;
  return detected == ckJis || detected == ckJisOld || detected == ckEuc ? detected : ckSjis;
}

std::string CodeToUtf8(const std::string& s, int code) {
  switch (code) {
    case ckUtf8: return IsValidUtf8(s) ? s : SjisToUtf8(s);
    case ckJis:
    case ckJisOld: return SjisToUtf8(JisToSjis(s));
    case ckEuc: return SjisToUtf8(EucToSjis(s));
    default: return SjisToUtf8(s);  // Shift_JIS, and what is neither (bytes that map to nothing become "?")
  }
}

std::string ToUtf8(const std::string& s, const std::string& charset) { return CodeToUtf8(s, TextCode(s, charset)); }

bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len;
    unsigned cp;
    if (c < 0x80) { ++i; continue; }
    if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
    else return false;
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

std::string Base64Encode(const std::string& bytes) {
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kB64[v >> 18];
    out += kB64[(v >> 12) & 63];
    out += kB64[(v >> 6) & 63];
    out += kB64[v & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kB64[v >> 18];
    out += kB64[(v >> 12) & 63];
    out += rest == 2 ? kB64[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Base64EncodeStream(const std::string& bytes) {
  const std::string flat = Base64Encode(bytes);
  std::string out;
  for (size_t i = 0; i < flat.size(); i += 76) {
    out += flat.substr(i, 76);
    if (i + 76 < flat.size()) out += "\r\n";
  }
  return out;
}

std::string Base64Decode(const std::string& text) {
  std::string out;
  unsigned v = 0;
  int bits = 0;
  for (unsigned char c : text) {
    const int d = B64Value(c);
    if (d < 0) continue;
    v = (v << 6) | static_cast<unsigned>(d);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((v >> bits) & 0xFF);
    }
  }
  return out;
}

std::string MimeWord(const std::string& text, bool quote) {
  if (!HasDoubleByte(text)) return quote ? "\"" + text + "\"" : text;
  return "=?iso-2022-jp?B?" + Base64Encode(SjisToJis(text)) + "?=";
}

std::string MimeWordsFolded(const std::string& text, bool quote, int lineLength) {
  const long long L = lineLength;
  const long long len = static_cast<long long>(text.size());
  if (len <= L && (len / 3) * 4 + 18 < L) return MimeWord(text, quote);
  const long long limit = std::max<long long>(1, (L / 4) * 3 - 18 - 4);
  std::string out, piece;
  auto flush = [&] {
    if (piece.empty()) return;
    if (!out.empty()) out += "\r\n\t";
    out += "=?iso-2022-jp?B?" + Base64Encode(SjisToJis(piece)) + "?=";
    piece.clear();
  };
  for (size_t i = 0; i < text.size();) {
    const size_t w = IsSjisLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    piece.append(text, i, w);
    i += w;
    if (static_cast<long long>(piece.size()) >= limit) flush();
  }
  flush();
  return out;
}

std::string PercentEncode(const std::string& bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (unsigned char c : bytes) {
    out += '%';
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out;
}
