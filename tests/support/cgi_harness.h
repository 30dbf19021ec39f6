// Whole-request test harness: a temporary installation and runs of the real velm.exe.
#pragma once
#include <string>
#include <utility>
#include <vector>

struct TCGIRun {
  std::string query;                 // QUERY_STRING, e.g. "demo+sl+<id>"; words are split from it
  std::vector<std::string> args;     // explicit argv words (when set, passed as argv 1..n)
  std::string method = "GET";        // REQUEST_METHOD
  std::string body;                  // stdin; CONTENT_LENGTH = body.size() unless contentLength set
  long long contentLength = -2;      // -2: body.size(); -1: unset; else the value written
  std::string contentType;           // CONTENT_TYPE (default application/x-www-form-urlencoded when body non-empty)
  std::string cookie;                // HTTP_COOKIE
  std::string remoteAddr = "127.0.0.1";
  std::string userAgent, referer;
  bool protocol = true;              // SERVER_PROTOCOL=HTTP/1.1 when true, unset when false
  std::vector<std::pair<std::string, std::string>> env;  // extra variables
};

// The parsed output of one run. headers holds the lines between the Status line and the
// empty line that ends the header block; the closing "Content:" line is NOT among them.
// Tests of the exact header block compare raw.
struct TCGIResult {
  int exitCode = 0;                  // exit status; 128 + signal when killed
  bool hasHeaderBlock = false;       // output began with "Status: "
  std::string status;                // text after "Status: ", e.g. "200 OK"
  std::vector<std::pair<std::string, std::string>> headers;  // in order, without the Status line
  std::string header(const std::string& name) const;          // first value, "" when absent
  std::vector<std::string> headerAll(const std::string& name) const;
  std::string body;                  // bytes after the blank line ending the header block (or all output)
  std::string raw;                   // all of stdout
  std::string err;                   // all of stderr (sanitizer reports and the like)
};

// Splits captured output into status, headers and body (exposed for the harness's own tests).
TCGIResult ParseCGIOutput(const std::string& raw);

class TTestInstall {               // a temporary installation, removed in the destructor
public:
  TTestInstall();                  // root/velm.exe (hard link or copy of the built binary),
                                   // root/velm.ini (CHARSET=shift_jis, SYSTEMURL=http://127.0.0.1/),
                                   // root/velmsystem/account.ini with the line "demo","owner","secret"
                                   // (account id demo, login name owner, password secret),
                                   // root/velmsystem/owner/ (the account folder), root/images/demo/, root/template/
  ~TTestInstall();
  TTestInstall(const TTestInstall&) = delete;
  TTestInstall& operator=(const TTestInstall&) = delete;

  std::string Root() const;        // ends in "/"
  std::string AccountFolder() const; // root + "velmsystem/owner/"
  void Write(const std::string& rel, const std::string& bytes) const;   // creates parent folders
  std::string Read(const std::string& rel) const;                       // "" when missing
  bool Exists(const std::string& rel) const;
  void Remove(const std::string& rel) const;
  TCGIResult Run(const TCGIRun& r) const;   // runs velm.exe with a clean environment + TZ=Asia/Tokyo
  std::string LoginCookie() const { return "INNAME=owner; INPASS=secret"; }

private:
  std::string FRoot;
};
