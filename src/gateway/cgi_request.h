// TCGIRequest: one CGI/1.1 request built from the environment, the words and stdin.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

// Reads a variable through a 1024-byte buffer (at most 1023 bytes), "" when unset.
std::string ReadVariable1024(const char* name);

class TCGIRequest {
public:
  // words: request words 1 to 4 (argv, or QUERY_STRING split at "+" when argv has none).
  // in: where the body is read from, when it is first wanted (the limit is known by then).
  TCGIRequest(int argc, char** argv, FILE* in = stdin);

  // The largest body the command can use; a longer announced body is never read.
  void SetBodyLimit(long long bytes) { FBodyLimit = bytes; }
  long long BodyLimit() const { return FBodyLimit; }
  bool BodyTooLarge() const { return FContentLength > FBodyLimit; }

  // Request variables with the HTTP_ fallback.
  std::string Variable(const std::string& name) const;
  std::string Method() const { return Variable("REQUEST_METHOD"); }
  std::string ProtocolVersion() const { return Variable("SERVER_PROTOCOL"); }
  std::string QueryString() const { return Variable("QUERY_STRING"); }
  std::string ContentType() const { return Variable("HTTP_CONTENT_TYPE"); }
  long long ContentLength() const { return FContentLength; }
  std::string Cookie() const { return Variable("HTTP_COOKIE"); }
  // The client's own values, read directly (never from another name a client header could
  // fill) and at most 1023 bytes each.
  std::string RemoteAddr() const { return ReadVariable1024("REMOTE_ADDR"); }
  std::string RemoteHost() const { return Variable("REMOTE_HOST"); }
  std::string UserAgent() const { return ReadVariable1024("HTTP_USER_AGENT"); }
  std::string Referer() const { return ReadVariable1024("HTTP_REFERER"); }
  std::string Host() const { return Variable("HTTP_HOST"); }
  std::string ScriptName() const { return Variable("SCRIPT_NAME"); }
  // True when the Origin or Referer header names a host other than HTTP_HOST (an opaque
  // Origin "null" included); a request with neither header is not from another site.
  bool FromOtherSite() const;

  // Request word 1..4; empty when missing.
  const std::string& Word(int n) const;

  const std::string& Content() const { return FContent; }  // the body read so far
  // First match, case-insensitive. Fields are found by a scan of the body that decodes only
  // what it compares and returns, so a body of many small fields costs no more than its bytes.
  std::string ContentFieldValue(const std::string& name);
  std::string CookieFieldValue(const std::string& name);
  const std::vector<std::string>& ContentFields();          // "name=value" (made on demand)
  const std::vector<std::string>& CookieFields();
  const std::string& RawBody();                             // complete body, after the fields
  // Reads and drops what is left of the announced body (a refused or unread one), so a server
  // that writes the whole body before it reads the answer is never cut off; blocks of 64 KB.
  void DrainBody();

private:
  void ReadRest();
  FILE* FIn;
  long long FContentLength = -1;
  long long FBodyLimit = 2 * 1024 * 1024;
  bool FBodyRead = false;
  long long FConsumed = 0;  // bytes of the body taken from the input
  std::string FContent;
  std::string FWords[4];
  bool FContentParsed = false, FCookieParsed = false;
  std::vector<std::string> FContentFields, FCookieFields;
};


// "+" -> blank, "%%" -> "%", "%XX" -> byte; anything else kept (a lone "%" too).
std::string URLDecode(const std::string& s);
// Splits a query string at "+" into URL-decoded words.
std::vector<std::string> SplitQueryWords(const std::string& query);
// Name/value lookup in "name=value" lines, name compared without case.
std::string FieldValue(const std::vector<std::string>& fields, const std::string& name);
