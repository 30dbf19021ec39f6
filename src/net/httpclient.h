// THTTPClient: the system's own small HTTP/1.x client. Writing the URL runs one whole exchange:
// parse, connect (with retries), send the request of Method, read the response into the header
// and body buffers, follow moved pages (GET), disconnect.
//
// Use (a GET):
//   THTTPClient c;
//   c.UserAgent = "...";            // and the other properties below
//   c.SetURL("http://host:8080/feed.xml");
//   if (c.ServerResult().StatusLine.find("200") != npos && c.BodyComplete()) use(c.BodyBuffer());
// A POST: Method = mtPOST and AddPost(name, value) (values already encoded by the caller), or
// mtCustomPost with CustomPostContent, or mtMultiPart. The client never throws; failures leave
// "No Status" or the partial status in ServerResult() and lines in the log (CreateLog()).
// Every exchange ends by Deadline seconds (connects, retries, redirects and reading included).
// In velm, ConfigureHTTPClient (syndication/net_settings.h) applies the velm.ini settings
// (USEHTTPS=, HTTPSCAFILE=, time-outs) to a client before use.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "net/DBaseSocket.h"

enum THTTPMethod { mtGET, mtPOST, mtCustomPost, mtMultiPart };
enum TPostCode { pcJIS, pcSJIS, pcUTF8, pcEUC };

// What the response said; reset before every exchange.
struct TServerInformation {
  std::string ServerName;                 // host from the URL
  std::string StatusLine = "No Status";   // the whole first response line
  std::string Server, ContentType;        // header values, trimmed
  long long ContentLength = 0;            // 0 when absent or not a number
  long long BodySize = 0;                 // bytes in the body buffer at the end
  long long ReceiveCount = 0;             // body bytes counted while receiving
  bool Chunked = false;
  int Port = 80;
  std::string Path;
};

struct TURLInfo {
  std::string ServerName, Path;
  int Port = 80;
  bool Secure = false;  // https
};
// "http://host[:port][/path]" (and "https://" when allowHTTPS). False, with info empty, for
// anything else or for an address holding control characters.
bool ParseHTTPURL(const std::string& url, bool allowHTTPS, TURLInfo& info);

struct TPostData { std::string Name, Value, ContentType, FileName; };
using TPostList = std::vector<TPostData>;

using TProgressEvent = std::function<void(long long Count)>;

// The status code of a status line: 200, 301, 302 or 303 (searched in this order), else -1.
int ClassifyStatus(const std::string& statusLine);

// Reads one HTTP response from bytes as they arrive: header lines into the header buffer and
// info, the body by Content-Length, chunked framing or the end of the connection.
class THTTPResponseReader {
public:
  THTTPResponseReader(TServerInformation& info, std::string& header, std::string& body, long long maxBody,
                      long long maxHeader = 65536);
  std::function<void(const std::string&)> OnLog;
  bool Reserved = false;  // a preallocated body buffer is in use (its own log text)

  bool Feed(const char* data, size_t size);  // false once no more bytes are wanted
  void PeerClosed();                          // the connection ended
  bool HeaderComplete() const { return FHeaderDone; }
  bool Complete() const { return FComplete; }    // the body is whole by its framing
  bool Overflow() const { return FOverflow; }    // header or body over its limit
  const std::string& Location() const { return FLocation; }

private:
  void HeaderLine();
  bool Append(const char* data, size_t n);  // false when over the limit (then what fits is kept)
  bool LengthReached();

  enum class TChunk { Size, Data, End };
  TServerInformation& FInfo;
  std::string& FHeader;
  std::string& FBody;
  long long FMaxBody, FMaxHeader;
  std::string FLine, FLocation;
  bool FHeaderDone = false, FComplete = false, FOverflow = false, FLengthGiven = false;
  TChunk FChunk = TChunk::Size;
  unsigned long long FChunkLeft = 0;
};

class THTTPClient : public TDBaseSocket {
public:
  THTTPClient();
  ~THTTPClient() override;

  void SetURL(const std::string& url);  // runs the exchange
  const std::string& URL() const { return FURL; }
  int HTTPPort = 80;                    // kept for callers; the port used is the URL's
  std::string RequestHTTPVersion = "1.1";
  int TimeOutCount = 3;                 // waits without data a response may take
  TProgressEvent OnProgress;            // after every received block
  std::string UserAgent = "Pondrel http client";
  THTTPMethod Method = mtGET;
  const std::string& PostContent() const { return FPostContent; }
  std::string PostContentType = "text/html";
  TPostCode PostCode = pcSJIS;
  const std::string& MultiPartContent() const { return FMultiPartContent; }
  const std::string& RequestPacket() const { return FRequestPacket; }
  const TServerInformation& ServerResult() const { return FResult; }
  int ConnectRetryCount = 3;            // further connect attempts after the first
  int ConnectRetryTime = 3;             // seconds between connect attempts
  std::string CustomPostContent;
  std::string CustomPostHeader;         // one extra header line for mtCustomPost
  bool TestSent = false;                // build RequestPacket only, send nothing
  int ReserveBodyBuff = 0;
  bool AutoLocation = true;             // follow 301/302/303 (GET)
  int AutoLocationCount = 10;
  std::string Boundary;                 // multipart boundary; made when empty

  // Bounds beyond the classic client.
  double Deadline = 30;                 // seconds for the whole exchange; 0: none
  int ReadWaitTime = 60;                // seconds of one wait for data
  long long MaxBodySize = 16 << 20;     // a longer body is cut here and is not complete
  bool UseHTTPS = false;                // serve https:// addresses (TLS, verified)
  std::string CAFile;                   // extra trusted certificates (PEM) for https

  void AddPost(const std::string& name, const std::string& value, const std::string& contentType = "",
               const std::string& fileName = "");
  void ClearPost() { FPostList.clear(); }
  const TPostList& PostList() const { return FPostList; }

  // The buffers of the last response: every header line followed by CR LF; the body bytes.
  const std::string& HeaderBuffer() const { return FHeader; }
  const std::string& BodyBuffer() const { return FBody; }
  TStringList HeaderLines() const;
  TStringList BodyLines() const;
  bool BodyComplete() const { return FComplete; }  // the body arrived whole (length, last chunk or close)
  bool TimedOut() const { return FTimedOut; }
  int ErrorCode() const { return FErrorCode; }      // -93 after a failed connect

private:
  bool ParseURL();
  void LogURL();
  bool ConnectServer();
  void BuildRequest();
  void Receive();
  std::string Converted(const std::string& sjis) const;
  std::string MovedAddress() const;
  void ResetResult();

  std::string FURL;
  TURLInfo FTarget;
  TPostList FPostList;
  std::string FPostContent, FMultiPartContent, FRequestPacket;
  TServerInformation FResult;
  std::string FHeader, FBody, FLocation;
  bool FComplete = false, FTimedOut = false, FPeerClosed = false, FTLSRefused = false;
  int FErrorCode = 0;
};
