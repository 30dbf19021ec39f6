// The HTTP client: URL parsing, requests of the four methods, response reading, moved pages.
#include "net/httpclient.h"

#include <algorithm>

#include "text/DHTMLTag.h"
#include "text/DString.h"
#include "text/jconvert.h"

namespace {

constexpr size_t kReadBlock = 1501;
constexpr int kPostPasses = 11;

bool HasControl(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

std::string Scheme(const TURLInfo& u) { return u.Secure ? "https://" : "http://"; }

}  // namespace

bool ParseHTTPURL(const std::string& url, bool allowHTTPS, TURLInfo& info) {
  info = TURLInfo();
  size_t start;
  if (StartsText("http://", url)) {
    start = 7;
  } else if (allowHTTPS && StartsText("https://", url)) {
    start = 8;
    info.Secure = true;
  } else {
    info.Secure = false;
    return false;
  }
  std::string rest = url.substr(start);
  if (HasControl(rest)) {
    info = TURLInfo();
    return false;
  }
  const size_t hash = rest.find('#');
  if (hash != std::string::npos) rest.resize(hash);
  const size_t end = rest.find_first_of("/:?");
  info.ServerName = rest.substr(0, end);
  info.Port = info.Secure ? 443 : 80;
  size_t pathAt = end;
  if (end != std::string::npos && rest[end] == ':') {
    pathAt = rest.find_first_of("/?", end);
    info.Port = StrToIntDef(rest.substr(end + 1, pathAt == std::string::npos ? std::string::npos : pathAt - end - 1),
                            info.Port);
    if (info.Port <= 0 || info.Port > 65535) info.Port = info.Secure ? 443 : 80;
  }
  info.Path = pathAt == std::string::npos ? "/" : rest.substr(pathAt);
  if (info.Path[0] == '?') info.Path = "/" + info.Path;
  info.Path = ReplaceAll(info.Path, " ", "%20");
  if (info.ServerName.empty()) {
    info = TURLInfo();
    return false;
  }
  return true;
}

int ClassifyStatus(const std::string& statusLine) {
  for (int code : {200, 301, 302, 303})
    if (statusLine.find(std::to_string(code)) != std::string::npos) return code;
  return -1;
}

// ---- response reader ----

THTTPResponseReader::THTTPResponseReader(TServerInformation& info, std::string& header, std::string& body,
                                         long long maxBody, long long maxHeader)
    : FInfo(info), FHeader(header), FBody(body), FMaxBody(maxBody), FMaxHeader(maxHeader) {}

void THTTPResponseReader::HeaderLine() {
  if (OnLog) OnLog(FLine);
  FHeader += FLine;
  FHeader += "\r\n";
  if (FLine.empty()) {
    FHeaderDone = true;
    if (!FInfo.Chunked && FLengthGiven && FInfo.ContentLength == 0) FComplete = true;
    return;
  }
  const std::string upper = UpperCase(FLine);
  auto value = [&](size_t keyLen) { return Trim(FLine.substr(keyLen)); };
  if (upper.compare(0, 4, "HTTP") == 0) {
    FInfo.StatusLine = FLine;
  } else if (upper.compare(0, 7, "SERVER:") == 0) {
    FInfo.Server = value(7);
  } else if (upper.compare(0, 13, "CONTENT-TYPE:") == 0) {
    FInfo.ContentType = value(13);
  } else if (upper.compare(0, 15, "CONTENT-LENGTH:") == 0) {
    long long n = 0;
    FLengthGiven = StrToIntStrict(value(15), n) && n >= 0;
    FInfo.ContentLength = FLengthGiven ? n : 0;
  } else if (upper.compare(0, 18, "TRANSFER-ENCODING:") == 0) {
    if (upper.find("CHUNK", 18) != std::string::npos) FInfo.Chunked = true;
  } else if (upper.compare(0, 9, "LOCATION:") == 0) {
    FLocation = value(9);
  }
}

bool THTTPResponseReader::Append(const char* data, size_t n) {
  const long long room = FMaxBody - static_cast<long long>(FBody.size());
  const bool fits = static_cast<long long>(n) <= room;
  if (!fits) n = room > 0 ? static_cast<size_t>(room) : 0;
  FBody.append(data, n);
  FInfo.ReceiveCount += static_cast<long long>(n);
  if (!fits) {
    FOverflow = true;
    if (OnLog) OnLog("Body too large (over " + std::to_string(FMaxBody) + " bytes)");
  }
  return fits;
}

bool THTTPResponseReader::LengthReached() {
  if (FInfo.ContentLength <= 0 || static_cast<long long>(FBody.size()) < FInfo.ContentLength) return false;
  if (OnLog)
    OnLog(std::string(Reserved ? "ContentLength Over2" : "ContentLength Over1") + " ContenLength(" +
          std::to_string(FInfo.ContentLength) + ") : BodySize(" + std::to_string(FBody.size()) + ")");
  FComplete = true;
  return true;
}

bool THTTPResponseReader::Feed(const char* data, size_t size) {
  if (FComplete || FOverflow) return false;
  size_t i = 0;
  while (i < size) {
    if (!FHeaderDone) {
      const char c = data[i++];
      if (c == '\r' || c == '\0') continue;
      if (c != '\n') {
        FLine += c;
        if (static_cast<long long>(FHeader.size() + FLine.size()) > FMaxHeader) {
          FOverflow = true;
          if (OnLog) OnLog("Header too large");
          return false;
        }
        continue;
      }
      HeaderLine();
      FLine.clear();
      if (FComplete) return false;
      continue;
    }
    if (!FInfo.Chunked) {
      size_t n = size - i;
      if (FInfo.ContentLength > 0)
        n = std::min<size_t>(n, static_cast<size_t>(FInfo.ContentLength - static_cast<long long>(FBody.size())));
      if (!Append(data + i, n)) return false;
      i += n;
      if (LengthReached()) return false;
      continue;
    }
    switch (FChunk) {
      case TChunk::Size: {
        const char c = data[i++];
        if (c != '\n') {
          if (c != '\r' && c != ' ' && c != '\t') FLine += c;
          if (FLine.size() > 256) {
            if (OnLog) OnLog("Chunk size error");
            FOverflow = true;
            return false;
          }
          break;
        }
        std::string digits = FLine.substr(0, FLine.find(';'));
        FLine.clear();
        if (digits.empty()) break;  // a stray line break between chunks
        if (digits.size() > 15 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
          if (OnLog) OnLog("Chunk size error");
          FOverflow = true;
          return false;
        }
        FChunkLeft = std::stoull(digits, nullptr, 16);
        if (FChunkLeft == 0) {
          FComplete = true;
          return false;
        }
        FChunk = TChunk::Data;
        break;
      }
      case TChunk::Data: {
        const size_t n = static_cast<size_t>(std::min<unsigned long long>(FChunkLeft, size - i));
        if (!Append(data + i, n)) return false;
        i += n;
        FChunkLeft -= n;
        if (FChunkLeft == 0) FChunk = TChunk::End;
        break;
      }
      case TChunk::End:
        if (data[i] == '\r') {
          ++i;
        } else {
          if (data[i] == '\n') ++i;
          FChunk = TChunk::Size;  // a size line follows (also when the break was left out)
        }
        break;
    }
  }
  return true;
}

void THTTPResponseReader::PeerClosed() {
  if (FHeaderDone && !FInfo.Chunked && !FLengthGiven && !FOverflow) FComplete = true;
}

// ---- client ----

THTTPClient::THTTPClient() { Port = 80; }

THTTPClient::~THTTPClient() { Close(); }

void THTTPClient::AddPost(const std::string& name, const std::string& value, const std::string& contentType,
                          const std::string& fileName) {
  FPostList.push_back({name, value, contentType, fileName});
}

TStringList THTTPClient::HeaderLines() const { return SplitLines(FHeader); }
TStringList THTTPClient::BodyLines() const { return SplitLines(FBody); }

void THTTPClient::ResetResult() {
  FResult = TServerInformation();
  FResult.ServerName = FTarget.ServerName;
  FResult.Port = FTarget.Port;
  FResult.Path = FTarget.Path;
}

bool THTTPClient::ParseURL() {
  const bool ok = ParseHTTPURL(FURL, UseHTTPS, FTarget);
  ServerName = FTarget.ServerName;
  Port = FTarget.Port;
  FResult.ServerName = FTarget.ServerName;
  FResult.Port = FTarget.Port;
  FResult.Path = FTarget.Path;
  return ok;
}

void THTTPClient::LogURL() {
  Log("set URL : " + FURL);
  Log("ServerName : " + FTarget.ServerName + ":" + std::to_string(FTarget.Port));
  Log("FPath : " + FTarget.Path);
}

bool THTTPClient::ConnectServer() {
  if (ServerName.empty()) return false;
  int count = 0;
  for (;;) {
    if (Connect()) {
      if (!FTarget.Secure || StartTLS(ServerName, CAFile)) {
        Log("Connecting server");
        return true;
      }
      FTLSRefused = true;  // a certificate that does not verify will not verify on a retry either
    }
    Log("Connect error");
    FErrorCode = -93;
    ++count;
    if (FTLSRefused || count > ConnectRetryCount || DeadlinePassed() ||
        (ConnectRetryTime > 0 && !Pause(ConnectRetryTime * 1000))) {
      Log("Not connect server");
      return false;
    }
  }
}

std::string THTTPClient::Converted(const std::string& sjis) const {
  switch (PostCode) {
    case pcJIS: return SjisToJis(sjis);
    case pcUTF8: return SjisToUtf8(sjis);
    case pcEUC: return SjisToEuc(sjis);
    case pcSJIS: break;
  }
  return sjis;
}

void THTTPClient::BuildRequest() {
  const std::string& path = FTarget.Path;
  const std::string host = "Host: " + ServerName + "\r\n";
  const std::string line1 = " " + path + " HTTP/" + RequestHTTPVersion + "\r\n";
  std::string r;
  switch (Method) {
    case mtGET:
      r = "GET" + line1 + "Accept: image/gif, image/jpeg, */*\r\n" + "Accept-language: ja\r\n" + "User-Agent: " +
          UserAgent + "\r\n" + host;
      break;
    case mtPOST: {
      std::string body;
      for (size_t i = 0; i < FPostList.size(); ++i)
        body += (i ? "&" : "") + FPostList[i].Name + "=" + FPostList[i].Value;
      FPostContent = Converted(body);
      r = "POST" + line1 + "Accept: */*\r\n" + "Accept-Language: ja\r\n" + "User-Agent: " + UserAgent + "\r\n" + host +
          "Content-Type: " + PostContentType + "\r\n" + "Content-Length: " + std::to_string(FPostContent.size()) +
          "\r\n\r\n" + FPostContent;
      break;
    }
    case mtCustomPost: {
      const std::string body = Converted(CustomPostContent);
      r = "POST" + line1;
      if (!UserAgent.empty()) r += "User-Agent: " + UserAgent + "\r\n";
      if (!PostContentType.empty()) r += "Content-Type: " + PostContentType + "\r\n";
      if (!CustomPostHeader.empty()) r += CustomPostHeader + "\r\n";
      r += host + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
      break;
    }
    case mtMultiPart: {
      if (Boundary.empty()) Boundary = "---Pondrel" + RandomCode(16);
      std::string body;
      for (const auto& p : FPostList) {
        body += "--" + Boundary + "\r\n";
        if (!p.FileName.empty()) {
          body += "Content-Disposition: form-data; name=\"" + p.Name + "\"; filename=\"" + p.FileName + "\"\r\n";
          if (!p.ContentType.empty()) body += "Content-Type: " + p.ContentType + "\r\n";
        } else {
          body += "Content-Disposition: form-data; name=\"" + p.Name + "\"\r\n";
        }
        body += "\r\n" + p.Value + "\r\n";
      }
      body += "--" + Boundary + "--\r\n";
      FMultiPartContent = body;
      r = "POST" + line1 + "Accept: */*\r\n" + "Accept-Language: ja\r\n";
      if (!UserAgent.empty()) r += "User-Agent: " + UserAgent + "\r\n";
      r += "Content-Type: multipart/form-data; boundary=" + Boundary + "\r\n" + host + "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
      break;
    }
  }
  FRequestPacket = r;
  if (Method == mtGET) Log(r);
}

void THTTPClient::Receive() {
  // Each response fills the buffers anew; the status line stays until a new one arrives.
  const std::string status = FResult.StatusLine;
  ResetResult();
  FResult.StatusLine = status;
  FHeader.clear();
  FBody.clear();
  if (ReserveBodyBuff > 0) FBody.reserve(static_cast<size_t>(std::min<long long>(ReserveBodyBuff, MaxBodySize)));
  FTimedOut = false;
  FComplete = false;
  FPeerClosed = false;
  if (!HasSocket()) return;
  THTTPResponseReader reader(FResult, FHeader, FBody, MaxBodySize);
  reader.Reserved = ReserveBodyBuff > 0;
  reader.OnLog = [this](const std::string& l) { Log(l); };
  char block[kReadBlock];
  int idle = 0;
  for (;;) {
    if (DeadlinePassed()) {
      Log("Client Timeout");
      FTimedOut = true;
      break;
    }
    const int w = WaitReadable(ReadWaitTime * 1000);
    if (w < 0) {
      Log("応答待機の間に例外が発生 : " + std::to_string(LastError()));
      break;
    }
    if (w == 0) {
      if (++idle > TimeOutCount || DeadlinePassed()) {
        Log("Client Timeout");
        FTimedOut = true;
        break;
      }
      continue;
    }
    const long n = ReceiveSome(block, sizeof block);
    if (n < 0) {
      Log("Socket Error " + std::to_string(LastError()));
      FPeerClosed = true;
      break;
    }
    if (n == 0) {
      reader.PeerClosed();
      FPeerClosed = true;
      break;
    }
    const bool more = reader.Feed(block, static_cast<size_t>(n));
    if (OnProgress) OnProgress(FResult.ReceiveCount);
    if (!more) break;
  }
  FComplete = reader.Complete() && !reader.Overflow();
  FLocation = reader.Location();
  FResult.BodySize = static_cast<long long>(FBody.size());
}

std::string THTTPClient::MovedAddress() const {
  std::string address;
  for (const auto& t : GetTagList(FBody)) {
    const std::string tag = TagText(FBody, t);
    if (UpperCase(tag.substr(0, 8)) == "<A HREF=") {
      address = GetOptionValue(tag, "HREF");
      break;
    }
  }
  // Servers that write no link in the body still name the new place in the Location header.
  if (address.empty()) address = FLocation;
  address = ReplaceAll(Trim(address), "&amp;", "&");
  if (address.empty() || StartsText("http://", address) || StartsText("https://", address)) return address;
  const std::string origin = Scheme(FTarget) + FTarget.ServerName + ":" + std::to_string(FTarget.Port);
  if (address.compare(0, 2, "//") == 0) return (FTarget.Secure ? "https:" : "http:") + address;
  if (address[0] == '/') return origin + address;
  std::string dir = FTarget.Path.substr(0, FTarget.Path.find('?'));
  dir = dir.substr(0, dir.rfind('/') + 1);
  return origin + dir + address;
}

void THTTPClient::SetURL(const std::string& url) {
  FURL = url;
  FHeader.clear();
  FBody.clear();
  FComplete = FTimedOut = FPeerClosed = FTLSRefused = false;
  FErrorCode = 0;
  FRequestPacket.clear();
  SetDeadline(Deadline);
  ParseURL();
  ResetResult();
  LogURL();
  if (ServerName.empty()) return;
  if (!ConnectServer()) {
    Log("Disconnec server");
    Close();
    return;
  }
  BuildRequest();
  if (TestSent) {
    Log("Disconnec server");
    Close();
    return;
  }
  if (Method == mtGET) {
    Log("Method is Get");
    if (!AutoLocation) {
      Send(FRequestPacket, true);
      Receive();
    } else {
      for (int pass = 0; pass < AutoLocationCount; ++pass) {
        Send(FRequestPacket, true);
        Receive();
        const int code = ClassifyStatus(FResult.StatusLine);
        if (code == 200 || code == -1) break;
        const std::string moved = MovedAddress();
        if (!moved.empty()) {
          Log("Site Moved (" + FResult.StatusLine + " / " + moved + ")");
          Close();
          FURL = moved;
          ParseURL();
          ResetResult();
          FHeader.clear();
          FBody.clear();
          FComplete = false;
          BuildRequest();
          LogURL();
          if (pass + 1 >= AutoLocationCount) break;
          if (ServerName.empty()) Log("Not connect server");  // an address this client does not serve
          if (!ConnectServer()) break;
        } else if (FPeerClosed || !Connected() || DeadlinePassed()) {
          break;  // the same request again needs the same connection
        }
      }
    }
  } else {
    Log(Method == mtPOST ? "Method is Post" : Method == mtCustomPost ? "Method is CustomPost" : "Method is MultiPart Post");
    for (int pass = 0; pass < kPostPasses; ++pass) {
      Send(FRequestPacket, true);
      Receive();
      Log("Send put value is " + std::to_string(pass) + " / " + FResult.StatusLine);
      if (FResult.StatusLine.find("200") != std::string::npos) break;
      if (FPeerClosed || !Connected() || DeadlinePassed()) break;  // no connection to send on again
    }
  }
  Log("Disconnec server");
  Close();
}
