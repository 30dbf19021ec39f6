// Byte-string helpers.
#include "text/DString.h"

#include <cstring>
#include <random>

namespace {
char Up(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
char Low(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
std::mt19937_64& Rng() {
  static std::mt19937_64 rng([] {
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), rd(), rd()};
    return std::mt19937_64(seq);
  }());
  return rng;
}
}  // namespace

// Upper-cases ASCII letters, leaving trail bytes of double-byte characters alone.
std::string UpperCase(const std::string& s) {
  std::string out = s;
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsSjisLead(static_cast<unsigned char>(out[i]))) { ++i; continue; }
    out[i] = Up(out[i]);
  }
  return out;
}

std::string LowerCase(const std::string& s) {
  std::string out = s;
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsSjisLead(static_cast<unsigned char>(out[i]))) { ++i; continue; }
    out[i] = Low(out[i]);
  }
  return out;
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

bool StartsText(const std::string& prefix, const std::string& s) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Up(prefix[i]) != Up(s[i])) return false;
  return true;
}

namespace {

// Whether s[at] is the second byte of a double-byte character, walking from `from` where that
// is `trail`.
bool TrailAt(const std::string& s, size_t from, bool trail, size_t at) {
  for (size_t i = from; i < at; ++i) trail = !trail && IsSjisLead(static_cast<unsigned char>(s[i]));
  return trail;
}

// The first position at or after `from` where the upper-case view of s (UpperCase, without the
// copy) holds uf; `trail` tells whether s[from] is a second byte. npos when there is none.
bool MatchAt(const std::string& s, const std::string& uf, size_t i, bool trail) {
  for (size_t k = 0; k < uf.size(); ++k) {
    const char b = s[i + k];
    if ((trail ? b : Up(b)) != uf[k]) return false;
    trail = !trail && IsSjisLead(static_cast<unsigned char>(b));
  }
  return true;
}

// A byte below 0x40 is never part of a double-byte character: text that starts with one (a tag)
// is found by its first byte alone, without walking the characters before it.
bool StartsOutsideCharacters(const std::string& uf) {
  return !uf.empty() && static_cast<unsigned char>(uf[0]) < 0x40;
}

size_t FindUpperView(const std::string& s, const std::string& uf, size_t from, bool trail) {
  const size_t n = s.size(), m = uf.size();
  if (m == 0) return from <= n ? from : std::string::npos;
  if (StartsOutsideCharacters(uf)) {
    for (size_t i = from; i + m <= n; ++i) {
      const char* p = static_cast<const char*>(memchr(s.data() + i, uf[0], n - m + 1 - i));
      if (!p) return std::string::npos;
      i = static_cast<size_t>(p - s.data());
      if (MatchAt(s, uf, i, false)) return i;
    }
    return std::string::npos;
  }
  for (size_t i = from; i + m <= n; ++i) {
    bool t = trail, same = true;
    for (size_t k = 0; k < m && same; ++k) {
      const char b = s[i + k];
      same = (t ? b : Up(b)) == uf[k];
      t = !t && IsSjisLead(static_cast<unsigned char>(b));
    }
    if (same) return i;
    trail = !trail && IsSjisLead(static_cast<unsigned char>(s[i]));
  }
  return std::string::npos;
}

}  // namespace

size_t PosText(const std::string& needle, const std::string& hay, size_t from) {
  if (from > hay.size()) return std::string::npos;
  return FindUpperView(hay, UpperCase(needle), from, TrailAt(hay, 0, false, from));
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}

std::string ReplaceAll(const std::string& s, const std::string& from, const std::string& to) {
  if (from.empty()) return s;
  std::string out;
  size_t pos = 0, hit;
  while ((hit = s.find(from, pos)) != std::string::npos) {
    out.append(s, pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  out.append(s, pos, std::string::npos);
  return out;
}

std::string ReplaceAllText(const std::string& s, const std::string& from, const std::string& to) {
  if (from.empty()) return s;
  const std::string uf = UpperCase(from);
  size_t hit = FindUpperView(s, uf, 0, false);
  if (hit == std::string::npos) return s;
  std::string out;
  size_t pos = 0;
  bool trail = false;  // at pos
  const bool tag = StartsOutsideCharacters(uf);  // no walk of the characters is needed
  while (hit != std::string::npos) {
    out.append(s, pos, hit - pos);
    out += to;
    if (!tag) trail = TrailAt(s, pos, trail, hit + from.size());
    pos = hit + from.size();
    hit = FindUpperView(s, uf, pos, trail);
  }
  out.append(s, pos, std::string::npos);
  return out;
}

bool StrToIntStrict(const std::string& s, long long& out) {
  size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  if (i >= s.size() || s.size() - i > 18) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  out = neg ? -v : v;
  return true;
}

int StrToIntDef(const std::string& s, int def) {
  long long v;
  if (!StrToIntStrict(s, v) || v < INT32_MIN || v > INT32_MAX) return def;
  return static_cast<int>(v);
}

std::string JoinLines(const TStringList& lines, const std::string& sep) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) out += sep;
    out += lines[i];
  }
  return out;
}

TStringList SplitLines(const std::string& text) {
  TStringList out;
  size_t start = 0, i = 0;
  const size_t n = text.size();
  size_t breaks = 0;
  for (const char* p = text.data(); (p = static_cast<const char*>(memchr(p, '\n', text.data() + n - p))); ++p) ++breaks;
  out.reserve(breaks + 1);
  while (i < n) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out.emplace_back(text, start, i - start);
      i += (c == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < n) out.emplace_back(text, start, n - start);
  return out;
}

std::string TwoDigits(int n) { return (n >= 0 && n < 10 ? "0" : "") + std::to_string(n); }
std::string TwoDigitsBlank(int n) { return (n >= 0 && n < 10 ? " " : "") + std::to_string(n); }

std::string CutLength(const std::string& s, size_t n, const std::string& suffix) {
  if (s.size() < n) return s;
  // Walk the characters: a double-byte character that would straddle byte n is left out.
  size_t i = 0;
  while (i < n) {
    const size_t w = IsSjisLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
    if (i + w > n) break;
    i += w;
  }
  return s.substr(0, i) + suffix;
}

std::string RemoveTags(const std::string& s) {
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '>') { ++i; continue; }
    if (c != '<') { out += c; ++i; continue; }
    size_t j = i + 1;
    while (j < s.size() && s[j] != '>' && s[j] != '<') ++j;
    if (j >= s.size()) { ++i; continue; }   // an unpaired "<" goes by itself
    i = s[j] == '>' ? j + 1 : j;             // up to the next ">" or the next "<"
  }
  return out;
}

std::string RemoveBlanks(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsSjisLead(c) && i + 1 < s.size()) {
      if (!(c == 0x81 && s[i + 1] == '\x40')) out.append(s, i, 2);
      ++i;
    } else if (c != ' ') {
      out += s[i];
    }
  }
  return out;
}

bool ContainsSjis(const std::string& hay, const std::string& needle) {
  if (needle.empty() || needle.size() > hay.size()) return false;
  for (size_t i = 0; i + needle.size() <= hay.size(); ++i) {
    if (hay.compare(i, needle.size(), needle) == 0) return true;
    if (IsSjisLead(static_cast<unsigned char>(hay[i]))) ++i;
  }
  return false;
}

std::string EndOnCharacter(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) i += IsSjisLead(static_cast<unsigned char>(s[i])) ? 2 : 1;
  return i > s.size() ? s.substr(0, s.size() - 1) : s;
}

std::string RemoveTrailingBreaks(const std::string& s) {
  size_t e = s.size();
  while (e > 0 && (s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(0, e);
}

std::string FormatThousands(long long n) {
  const std::string digits = std::to_string(n < 0 ? -n : n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
}

void TrimList(TStringList& lines) {
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
}

std::string PercentDecode(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int h = HexValue(s[i + 1]), l = HexValue(s[i + 2]);
      if (h >= 0 && l >= 0) {
        out += static_cast<char>(h * 16 + l);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

std::string RandomDigits(int n) {
  std::uniform_int_distribution<int> d(0, 9);
  std::string out;
  for (int i = 0; i < n; ++i) out += static_cast<char>('0' + d(Rng()));
  return out;
}

std::string RandomCode(int n) {
  std::uniform_int_distribution<int> kind(0, 2), digit(0, 9), letter(0, 25);
  std::string out;
  for (int i = 0; i < n; ++i) {
    switch (kind(Rng())) {
      case 0: out += static_cast<char>('0' + digit(Rng())); break;
      case 1: out += static_cast<char>('a' + letter(Rng())); break;
      default: out += static_cast<char>('A' + letter(Rng())); break;
    }
  }
  return out;
}

bool IsSafeFileWord(const std::string& s) {
  if (s.empty() || s[0] == '.') return false;
  if (s.find('/') != std::string::npos || s.find('\\') != std::string::npos) return false;
  if (s.find("..") != std::string::npos || s.find('\0') != std::string::npos) return false;
  return true;
}

bool IsArticleId(const std::string& s) {
  if (s.size() != 40) return false;
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}
