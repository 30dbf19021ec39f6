// TCGIRequest: one CGI/1.1 request built from the environment, the words and stdin.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

class TCGIRequest {
public:
  // words: request words 1 to 4 (argv, or QUERY_STRING split at "+" when argv has none).
  // in: where the body is read from.
  TCGIRequest(int argc, char** argv, FILE* in = stdin);

  // Request variables with the HTTP_ fallback.
  std::string Variable(const std::string& name) const;
  std::string Method() const { return Variable("REQUEST_METHOD"); }
  std::string ProtocolVersion() const { return Variable("SERVER_PROTOCOL"); }
  std::string QueryString() const { return Variable("QUERY_STRING"); }
  std::string ContentType() const { return Variable("HTTP_CONTENT_TYPE"); }
  long long ContentLength() const { return FContentLength; }
  std::string Cookie() const { return Variable("HTTP_COOKIE"); }
  std::string RemoteAddr() const { return Variable("REMOTE_ADDR"); }
  std::string RemoteHost() const { return Variable("REMOTE_HOST"); }
  std::string UserAgent() const { return Variable("HTTP_USER_AGENT"); }
  std::string Referer() const { return Variable("HTTP_REFERER"); }
  std::string Host() const { return Variable("HTTP_HOST"); }
  std::string ScriptName() const { return Variable("SCRIPT_NAME"); }
  // True when the Origin or Referer header names a host other than HTTP_HOST (an opaque
  // Origin "null" included); a request with neither header is not from another site.
  bool FromOtherSite() const;

  // Request word 1..4; empty when missing.
  const std::string& Word(int n) const;

  const std::string& Content() const { return FContent; }  // the body read so far
  std::string ContentFieldValue(const std::string& name);   // first match, case-insensitive
  std::string CookieFieldValue(const std::string& name);
  const std::vector<std::string>& ContentFields();          // "name=value"
  const std::vector<std::string>& CookieFields();
  const std::string& RawBody();                             // complete body, after the fields

private:
  void ReadRest();
  FILE* FIn;
  long long FContentLength = -1;
  std::string FContent;
  std::string FWords[4];
  bool FContentParsed = false, FCookieParsed = false;
  std::vector<std::string> FContentFields, FCookieFields;
};

// Reads a variable through a 1024-byte buffer (at most 1023 bytes), "" when unset.
std::string ReadVariable1024(const char* name);
// "+" -> blank, "%%" -> "%", "%XX" -> byte; anything else kept (a lone "%" too).
std::string URLDecode(const std::string& s);
// Splits a query string at "+" into URL-decoded words.
std::vector<std::string> SplitQueryWords(const std::string& query);
// Name/value lookup in "name=value" lines, name compared without case.
std::string FieldValue(const std::vector<std::string>& fields, const std::string& name);
