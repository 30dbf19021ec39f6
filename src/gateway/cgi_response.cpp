// TCGIResponse: the header block, cookies and body of one CGI answer.
#include "gateway/cgi_response.h"

#include <cmath>

#include "text/dates.h"

namespace {

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

// A header value never carries a line break: it would start a header of its own.
std::string HeaderSafe(const std::string& s) {
  if (s.find_first_of("\r\n") == std::string::npos) return s;
  std::string out;
  for (char c : s)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

void AddLine(std::string& out, const char* name, const std::string& value) {
  if (value.empty()) return;
  out += name;
  out += ": ";
  out += HeaderSafe(value);
  out += "\r\n";
}

// Unix time of a stored date, kept inside what a four-digit year can show.
time_t DateValue(double d) {
  if (!std::isfinite(d) || d < 0) return 0;
  if (d > 253402300799.0) return 253402300799;  // 9999-12-31 23:59:59 UTC
  return static_cast<time_t>(d);
}

std::string HtmlText(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

TCGIResponse::TCGIResponse(const std::string& requestProtocol) : FProtocol(requestProtocol) {
  if (requestProtocol.empty())
    Version = "1.0";
  else if (requestProtocol.compare(0, 5, "HTTP/") == 0)
    Version = requestProtocol.substr(5);
  else
    Version = requestProtocol;
}

TCookie& TCGIResponse::AddCookie() {
  FCookies.emplace_back();
  return FCookies.back();
}

void TCGIResponse::SetCustomHeader(const std::string& name, const std::string& value) {
  for (auto& h : FHeaders)
    if (SameName(h.first, name)) {
      h.second = value;
      return;
    }
  FHeaders.emplace_back(name, value);
}

std::string TCGIResponse::CustomHeader(const std::string& name) const {
  for (const auto& h : FHeaders)
    if (SameName(h.first, name)) return h.second;
  return "";
}

std::string TCGIResponse::Build() const { return HeaderBlock() + (FHasStream ? FStream : FContent); }

std::string TCGIResponse::HeaderBlock() const {
  const std::string& body = FHasStream ? FStream : FContent;
  std::string out;
  if (!FProtocol.empty()) {
    out += "Status: ";
    if (StatusCode > 0 && !ReasonString.empty())
      out += std::to_string(StatusCode) + " " + HeaderSafe(ReasonString);
    else
      out += "200 OK";
    out += "\r\n";
    AddLine(out, "Location", Location);
    AddLine(out, "Allow", Allow);
    for (const auto& c : FCookies) AddLine(out, "Set-Cookie", CookieHeaderValue(c));
    AddLine(out, "Derived-From", DerivedFrom);
    if (Expires > 0) AddLine(out, "Expires", FormatHttpDate(DateValue(Expires)));
    if (LastModified > 0) AddLine(out, "Last-Modified", FormatHttpDate(DateValue(LastModified)));
    AddLine(out, "Title", Title);
    AddLine(out, "WWW-Authenticate", WWWAuthenticate);
    for (const auto& h : FHeaders)
      if (!h.first.empty() && !h.second.empty()) {
        out += HeaderSafe(h.first) + ": " + HeaderSafe(h.second) + "\r\n";
      }
    AddLine(out, "Content-Version", ContentVersion);
    AddLine(out, "Content-Encoding", ContentEncoding);
    AddLine(out, "Content-Type", ContentType);
    if (!FContent.empty() || FHasStream) AddLine(out, "Content-Length", std::to_string(body.size()));
    out += "Content:\r\n\r\n";
  }
  return out;
}

void TCGIResponse::Send(FILE* out) {
  if (FSent) return;
  FSent = true;
  // The header block and the body as they are, without a copy of the body.
  const std::string head = HeaderBlock();
  const std::string& body = FHasStream ? FStream : FContent;
  for (const std::string* part : {&head, &body}) {
    size_t done = 0;
    while (done < part->size()) {
      const size_t n = fwrite(part->data() + done, 1, part->size() - done, out);
      if (n == 0) break;
      done += n;
    }
  }
  fflush(out);
  FStream.clear();
  FStream.shrink_to_fit();
}

std::string CookieURLEncode(const std::string& s) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' ||
        c == '$' || c == '\'' || c == '(' || c == ')' || c == '*' || c == '-' || c == '.' ||
        c == '@' || c == '_') {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string CookieHeaderValue(const TCookie& c) {
  std::string s = CookieURLEncode(c.Name) + "=" + CookieURLEncode(c.Value) + "; ";
  if (!c.Domain.empty()) s += "domain=" + c.Domain + "; ";
  if (!c.Path.empty()) s += "path=" + c.Path + "; ";
  if (c.Expires > -1) s += "expires=" + FormatHttpDate(DateValue(c.Expires)) + "; ";
  if (c.Secure) s += "secure; ";
  if (c.HttpOnly) s += "HttpOnly; ";
  if (!c.SameSite.empty()) s += "SameSite=" + c.SameSite + "; ";
  if (s.size() >= 2 && s.compare(s.size() - 2, 2, "; ") == 0) s.resize(s.size() - 2);
  return HeaderSafe(s);
}

std::string InternalErrorResponse(const std::string& className, const std::string& message) {
  const std::string cls = HtmlText(className), msg = HtmlText(message);
  std::string page =
      "<html><head><title>Internal Server Error 500</title></head>\n"
      "<h1>Internal Server Error 500</h1><hr>\n"
      "<h1>サーバー内部エラー 500</h1><hr>\n"
      "Exception: " + cls + "<br>Message: " + msg + "<br><hr>例外 : " + cls +
      "<br>メッセージ : " + msg + "<br></html>";
  return "Status: 500 " + HeaderSafe(message) + "\r\nContent-Type: text/html\r\nContent-Length: " +
         std::to_string(page.size()) + "\r\n\r\n" + page;
}
