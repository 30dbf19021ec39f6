// TCGIResponse: status, headers, cookies and body written once at the end of a request.
#pragma once
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct TCookie {
  std::string Name, Value, Domain, Path;
  double Expires = -1;   // unix time; -1 for none
  bool Secure = false;
  bool HttpOnly = false;
  std::string SameSite;  // "Lax", ... ; empty for none
};

class TCGIResponse {
public:
  explicit TCGIResponse(const std::string& requestProtocol);

  int StatusCode = 200;
  std::string ReasonString, Version, Server, WWWAuthenticate, Realm, Allow, Location,
      ContentEncoding, ContentType = "text/html", ContentVersion, DerivedFrom, Title;
  double Expires = -1, LastModified = -1;  // unix time; > 0 to be written

  void SetContent(std::string text) { FContent = std::move(text); }
  const std::string& Content() const { return FContent; }
  std::string& ContentRef() { return FContent; }
  void SetContentStream(std::string bytes) { FStream = std::move(bytes); FHasStream = true; }
  bool HasStream() const { return FHasStream; }

  TCookie& AddCookie();
  const std::vector<TCookie>& Cookies() const { return FCookies; }
  void SetCustomHeader(const std::string& name, const std::string& value);
  std::string CustomHeader(const std::string& name) const;
  const std::vector<std::pair<std::string, std::string>>& CustomHeaders() const { return FHeaders; }

  // The complete bytes: header block (when the request has a protocol) and body.
  std::string Build() const;
  std::string HeaderBlock() const;  // the header lines and "Content:" (empty without a protocol)
  void Send(FILE* out);   // once; later calls do nothing
  bool Sent() const { return FSent; }

private:
  std::string FProtocol;
  std::string FContent, FStream;
  bool FHasStream = false, FSent = false;
  std::vector<TCookie> FCookies;
  std::vector<std::pair<std::string, std::string>> FHeaders;
};

std::string CookieHeaderValue(const TCookie& c);
std::string CookieURLEncode(const std::string& s);
// The 500 answer for an exception that escaped the handler.
std::string InternalErrorResponse(const std::string& className, const std::string& message);
