// TCGIRequest: CGI variables, request words, the body and its field lists.
#include "gateway/cgi_request.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

unsigned char AsciiUpper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

bool SameName(const char* a, size_t n, const std::string& b) {
  if (n != b.size()) return false;
  for (size_t i = 0; i < n; ++i)
    if (AsciiUpper(static_cast<unsigned char>(a[i])) != AsciiUpper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string EnvValue(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  return v ? std::string(v) : std::string();
}

// Decimal value of a content length; -1 when missing or not a number.
long long ParseLength(const std::string& s) {
  size_t i = 0, n = s.size();
  while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
  while (n > i && (s[n - 1] == ' ' || s[n - 1] == '\t')) --n;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == n) return -1;
  long long v = 0;
  for (; i < n; ++i) {
    if (s[i] < '0' || s[i] > '9') return -1;
    if (v > (0x7fffffffffffffffLL - 9) / 10) return -1;  // out of range
    v = v * 10 + (s[i] - '0');
  }
  return negative ? -v : v;
}

const std::string kEmpty;

}  // namespace

std::string URLDecode(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 1 < s.size() && s[i + 1] == '%') {
      out += '%';
      ++i;
    } else if (c == '%' && i + 2 < s.size() && HexValue(static_cast<unsigned char>(s[i + 1])) >= 0 &&
               HexValue(static_cast<unsigned char>(s[i + 2])) >= 0) {
      out += static_cast<char>(HexValue(static_cast<unsigned char>(s[i + 1])) * 16 +
                               HexValue(static_cast<unsigned char>(s[i + 2])));
      i += 2;
    } else {
      out += c;  // a "%" without two hex digits stays as it is
    }
  }
  return out;
}

std::vector<std::string> SplitQueryWords(const std::string& query) {
  std::vector<std::string> words;
  if (query.empty()) return words;
  size_t start = 0;
  for (;;) {
    size_t plus = query.find('+', start);
    words.push_back(URLDecode(query.substr(start, plus == std::string::npos ? std::string::npos : plus - start)));
    if (plus == std::string::npos) break;
    start = plus + 1;
  }
  return words;
}

std::string FieldValue(const std::vector<std::string>& fields, const std::string& name) {
  for (const auto& f : fields) {
    size_t eq = f.find('=');
    size_t n = eq == std::string::npos ? f.size() : eq;
    if (SameName(f.data(), n, name)) return eq == std::string::npos ? std::string() : f.substr(eq + 1);
  }
  return "";
}

std::string ReadVariable1024(const char* name) {
  const char* v = std::getenv(name);
  if (!v) return "";
  return std::string(v, strnlen(v, 1023));
}

TCGIRequest::TCGIRequest(int argc, char** argv, FILE* in) : FIn(in) {
  if (argc > 1 && argv) {
    for (int i = 1; i < argc && i <= 4; ++i)
      if (argv[i]) FWords[i - 1] = argv[i];
  } else {
    // The server passes no words for a query with "="; then there are none.
    std::string query = QueryString();
    if (query.find('=') == std::string::npos) {
      std::vector<std::string> words = SplitQueryWords(query);
      for (size_t i = 0; i < words.size() && i < 4; ++i) FWords[i] = words[i];
    }
  }
  FContentLength = ParseLength(Variable("HTTP_CONTENT_LENGTH"));
}

std::string TCGIRequest::Variable(const std::string& name) const {
  std::string v = EnvValue(name);
  if (!v.empty()) return v;
  if (name.compare(0, 5, "HTTP_") == 0) return EnvValue(name.substr(5));
  return EnvValue("HTTP_" + name);
}

namespace {
// "host[:port]" of an absolute URL, lower case, without user info and without the scheme's
// default port; "" when the text is not an absolute URL.
std::string Authority(const std::string& url, const std::string& defaultScheme = "") {
  std::string scheme = defaultScheme, rest = url;
  const size_t sep = url.find("://");
  if (sep != std::string::npos) {
    scheme = url.substr(0, sep);
    rest = url.substr(sep + 3);
  } else if (defaultScheme.empty()) {
    return "";
  }
  rest = rest.substr(0, rest.find_first_of("/?#\\"));
  const size_t at = rest.rfind('@');
  if (at != std::string::npos) rest = rest.substr(at + 1);
  for (char& c : rest) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  for (char& c : scheme) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  const std::string port = scheme == "https" ? ":443" : scheme == "http" ? ":80" : "";
  if (!port.empty() && rest.size() > port.size() && rest.compare(rest.size() - port.size(), port.size(), port) == 0)
    rest.resize(rest.size() - port.size());
  return rest;
}
}  // namespace

bool TCGIRequest::FromOtherSite() const {
  const std::string origin = EnvValue("HTTP_ORIGIN");
  const std::string source = origin.empty() ? EnvValue("HTTP_REFERER") : origin;
  if (source.empty()) return false;
  const std::string scheme = EnvValue("HTTPS") == "on" ? "https" : "http";
  const std::string host = Authority(EnvValue("HTTP_HOST"), scheme);
  return host.empty() || Authority(source) != host;
}

const std::string& TCGIRequest::Word(int n) const {
  if (n < 1 || n > 4) return kEmpty;
  return FWords[n - 1];
}

// Reads the announced body once; stops at end of input or on an error. A body longer than the
// command can use is not read at all.
void TCGIRequest::ReadRest() {
  if (FBodyRead) return;
  FBodyRead = true;
  if (!FIn || FContentLength <= 0 || BodyTooLarge()) return;
  FContent.reserve(static_cast<size_t>(std::min<long long>(FContentLength, 1 << 20)));
  char buf[65536];
  while (static_cast<long long>(FContent.size()) < FContentLength) {
    size_t want = static_cast<size_t>(
        std::min<long long>(static_cast<long long>(sizeof buf), FContentLength - static_cast<long long>(FContent.size())));
    size_t got = fread(buf, 1, want, FIn);
    if (got == 0) break;
    FContent.append(buf, got);
  }
  FConsumed = static_cast<long long>(FContent.size());
}

void TCGIRequest::DrainBody() {
  if (!FIn || FContentLength <= 0) return;
  char buf[65536];
  while (FConsumed < FContentLength) {
    const size_t want = static_cast<size_t>(std::min<long long>(sizeof buf, FContentLength - FConsumed));
    const size_t got = fread(buf, 1, want, FIn);
    if (got == 0) break;
    FConsumed += static_cast<long long>(got);
  }
}

namespace {

// Calls f(start, size) for each non-empty field of a url-encoded body: split at "&", except
// inside a double-quoted stretch; stops when f returns false.
template <class F>
void ForEachBodyField(const std::string& s, F&& f) {
  size_t start = 0;
  bool quoted = false;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i < s.size() && s[i] == '"') quoted = !quoted;
    if (i == s.size() || (s[i] == '&' && !quoted)) {
      if (i > start && !f(start, i - start)) return;
      start = i + 1;
    }
  }
}

// The decoded byte at s[i] and the width of its encoding.
unsigned char DecodedAt(const std::string& s, size_t i, size_t end, size_t& width) {
  width = 1;
  const char c = s[i];
  if (c == '+') return ' ';
  if (c != '%') return static_cast<unsigned char>(c);
  if (i + 1 < end && s[i + 1] == '%') {
    width = 2;
    return '%';
  }
  if (i + 2 < end) {
    const int a = HexValue(static_cast<unsigned char>(s[i + 1])), b = HexValue(static_cast<unsigned char>(s[i + 2]));
    if (a >= 0 && b >= 0) {
      width = 3;
      return static_cast<unsigned char>(a * 16 + b);
    }
  }
  return '%';
}

}  // namespace

const std::vector<std::string>& TCGIRequest::ContentFields() {
  if (FContentParsed) return FContentFields;
  FContentParsed = true;
  ReadRest();
  ForEachBodyField(FContent, [&](size_t start, size_t n) {
    FContentFields.push_back(URLDecode(FContent.substr(start, n)));
    return true;
  });
  return FContentFields;
}

const std::vector<std::string>& TCGIRequest::CookieFields() {
  if (FCookieParsed) return FCookieFields;
  FCookieParsed = true;
  const std::string s = Cookie();
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t end = s.find_first_of(";,", i);
    if (end == std::string::npos) end = s.size();
    if (end > i) FCookieFields.push_back(URLDecode(s.substr(i, end - i)));
    i = end + 1;
  }
  return FCookieFields;
}

std::string TCGIRequest::ContentFieldValue(const std::string& name) {
  ReadRest();
  std::string value;
  ForEachBodyField(FContent, [&](size_t start, size_t n) {
    // The decoded field is "name=value" or a name alone: compare its name part as decoded.
    const size_t end = start + n;
    size_t i = start, k = 0, w;
    bool same = true;
    unsigned char c = 0;
    for (; i < end; i += w) {
      c = DecodedAt(FContent, i, end, w);
      if (c == '=') break;
      if (k >= name.size() || AsciiUpper(c) != AsciiUpper(static_cast<unsigned char>(name[k]))) {
        same = false;
        break;
      }
      ++k;
    }
    if (!same || k != name.size()) return true;
    if (i < end) value = URLDecode(FContent.substr(i + w, end - i - w));
    return false;
  });
  return value;
}

std::string TCGIRequest::CookieFieldValue(const std::string& name) {
  return FieldValue(CookieFields(), name);
}

const std::string& TCGIRequest::RawBody() {
  ContentFields();
  return FContent;
}
