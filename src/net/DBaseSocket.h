// TDBaseSocket: one blocking-style IPv4 TCP client connection with bounded waits and an
// optional in-memory log. THTTPClient and TSMTPMail are built on it.
//
// Use: set ServerName and Port, call Connect(), Send() text, read through the descendant's
// receive code, Close(). Nothing throws: failures are results and log lines. CreateLog() makes
// the log list (LogList()), which every step then writes to; with LogFilename set, the list is
// saved to that file after every line. SetDeadline() bounds every later wait of the connection.
#pragma once
#include <istream>
#include <memory>
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

struct ssl_st;
struct ssl_ctx_st;

// Milliseconds of the monotonic clock.
long long MonotonicMs();

class TDBaseSocket {
public:
  TDBaseSocket();
  virtual ~TDBaseSocket();
  TDBaseSocket(const TDBaseSocket&) = delete;
  TDBaseSocket& operator=(const TDBaseSocket&) = delete;

  std::string ServerName;   // host name or dotted IPv4 address
  int Port = 0;
  std::string LogFilename;  // when set, the log list is saved here after every line
  bool WriteLogDate = true; // log lines begin with the local time
  int DebugLevel = 0;       // >= 2 logs sent text, >= 3 the resolved address, == 3 "Socket Close."
  bool Connected() const { return FConnected; }
  int WinsockError() const { return FWinsockError; }  // errno of the last failed connect

  int ConnectTimeout = 10;  // seconds one connect (and TLS handshake) may take; 0: the platform's own

  // Every wait from now on ends by seconds from now (0 or less: no overall limit).
  void SetDeadline(double seconds);
  bool DeadlinePassed() const;

  bool Connect();
  void Close();
  void Send(const std::string& text, bool addLineBreak);
  bool SendStream(std::istream& stream);
  void Log(const std::string& text);

  virtual TStringList* CreateLog();  // the log list (made once)
  void DestroyLog();
  TStringList* LogList() const { return FLog.get(); }

  // TLS over the open connection: SNI, the system's CA store (plus caFile when given) and the
  // host name (or address) checked against the certificate. False, with a log line and the
  // connection closed, when the handshake or the check fails.
  bool StartTLS(const std::string& host, const std::string& caFile);
  bool UsesTLS() const { return FSSL != nullptr; }

protected:
  // Waits until data can be read: 1 ready, 0 the wait (or the deadline) ended, -1 error.
  int WaitReadable(int milliseconds);
  // Reads up to size bytes: the count, 0 when the peer closed, -1 on error (LastError()).
  long ReceiveSome(char* data, size_t size);
  int LastError() const { return FLastError; }
  // Milliseconds left before the deadline, capped at cap (cap when there is no deadline).
  int WaitBudget(int capMs) const;
  // Sleeps for ms, or until the deadline; false when the deadline cut it short.
  bool Pause(int ms);
  bool HasSocket() const { return FSocket >= 0; }

private:
  // Sends the whole buffer: waits of up to 10 s for writability (11 at most without progress),
  // partial writes continued, all within the deadline. False on error or time-out.
  bool SendAll(const char* data, size_t size, bool& raised);
  int WaitFor(short events, int milliseconds);
  void FreeTLS();

  int FSocket = -1;
  unsigned int FAddress = 0;  // network byte order
  bool FConnected = false;
  int FWinsockError = 0;
  int FLastError = 0;
  std::unique_ptr<TStringList> FLog;
  bool FHasDeadline = false;
  long long FDeadlineMs = 0;  // CLOCK_MONOTONIC
  ssl_st* FSSL = nullptr;
  ssl_ctx_st* FCtx = nullptr;
};
