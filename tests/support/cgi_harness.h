// Whole-request test harness: a temporary installation and runs of the real velm.exe.
#pragma once
#include <string>
#include <utility>
#include <vector>

struct TCGIRun {
  std::string query;                 // QUERY_STRING, e.g. "demo+sl+<id>"
  std::vector<std::string> args;     // argv words 1..n when set
  std::string method = "GET";
  std::string body;                  // stdin
  long long contentLength = -2;      // CONTENT_LENGTH: -2 body.size(), -1 unset, else this value
  std::string contentType;           // default application/x-www-form-urlencoded with a body
  std::string cookie;
  std::string remoteAddr = "127.0.0.1";
  std::string userAgent, referer;
  std::string origin;                // HTTP_ORIGIN when set
  std::vector<std::pair<std::string, std::string>> env;  // further variables (a header as HTTP_...)
  bool protocol = true;              // SERVER_PROTOCOL=HTTP/1.1, or unset
  bool measureMemory = false;        // fills TCGIResult::maxRssKb
};

// One run's output. When it begins with "Status: ", headers excludes the Status line and the closing "Content:" line.
struct TCGIResult {
  int exitCode = 0;                  // 128 + signal when killed
  long maxRssKb = 0;                 // the process's peak resident memory (measureMemory)
  std::string status;                // e.g. "200 OK"
  std::vector<std::pair<std::string, std::string>> headers;
  std::string header(const std::string& name) const;  // first value without case, "" when absent
  std::vector<std::string> headerAll(const std::string& name) const;
  std::string body;                  // after the header block (or all output)
  std::string raw;                   // all of stdout
};

// root/velm.exe, velm.ini (CHARSET=shift_jis, SYSTEMURL=http://127.0.0.1/), velmsystem/account.ini
// with "demo","owner","secret", and the folders velmsystem/owner/, images/demo/, template/.
class TTestInstall {
public:
  TTestInstall();
  ~TTestInstall();
  TTestInstall(const TTestInstall&) = delete;
  TTestInstall& operator=(const TTestInstall&) = delete;

  std::string AccountFolder() const { return FRoot + "velmsystem/owner/"; }
  void Write(const std::string& rel, const std::string& bytes) const;  // creates parent folders
  std::string Read(const std::string& rel) const;                      // "" when missing
  bool Exists(const std::string& rel) const;
  void Remove(const std::string& rel) const;
  TCGIResult Run(const TCGIRun& r) const;  // clean environment, TZ=Asia/Tokyo, 20 s limit
  std::string LoginCookie() const { return "INNAME=owner; INPASS=secret"; }

private:
  std::string FRoot;
};
