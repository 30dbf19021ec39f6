// The socket base: resolve, connect with a time-out, send in full within the deadline, TLS, log.
#include "net/DBaseSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "store/file_access.h"
#include "text/dates.h"

namespace {

constexpr int kSendWaitMs = 10000;  // one wait for writability
constexpr int kSendAttempts = 11;   // waits without progress before a send gives up
constexpr size_t kStreamBlock = 1401;

std::string Dotted(unsigned int address) {
  char buf[INET_ADDRSTRLEN] = "";
  in_addr a{};
  a.s_addr = address;
  inet_ntop(AF_INET, &a, buf, sizeof buf);
  return buf;
}

std::string OpenSSLError() {
  const unsigned long e = ERR_get_error();
  if (e == 0) return "";
  char buf[256];
  ERR_error_string_n(e, buf, sizeof buf);
  ERR_clear_error();
  return buf;
}

}  // namespace

long long MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

TDBaseSocket::TDBaseSocket() {
  // A peer that closes while we write must give an error, not end the process.
  signal(SIGPIPE, SIG_IGN);
}

TDBaseSocket::~TDBaseSocket() {
  // The connection is the owner's to close (THTTPClient and TSMTPMail do); the handle is not leaked.
  FreeTLS();
  if (FSocket >= 0) ::close(FSocket);
}

void TDBaseSocket::SetDeadline(double seconds) {
  FHasDeadline = seconds > 0;
  if (FHasDeadline) FDeadlineMs = MonotonicMs() + static_cast<long long>(seconds * 1000);
}

bool TDBaseSocket::DeadlinePassed() const {
  return FHasDeadline && MonotonicMs() >= FDeadlineMs;
}

int TDBaseSocket::WaitBudget(int capMs) const {
  if (!FHasDeadline) return capMs;
  const long long left = FDeadlineMs - MonotonicMs();
  if (left <= 0) return 0;
  if (capMs < 0 || left < capMs) return static_cast<int>(std::min<long long>(left, INT_MAX));
  return capMs;
}

bool TDBaseSocket::Pause(int ms) {
  const int wait = WaitBudget(ms);
  if (wait > 0) {
    timespec ts{wait / 1000, (wait % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  }
  return wait == ms;
}

int TDBaseSocket::WaitFor(short events, int milliseconds) {
  if (FSocket < 0) return -1;
  pollfd p{FSocket, events, 0};
  for (;;) {
    const int r = ::poll(&p, 1, milliseconds);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      FLastError = errno;
      return -1;
    }
    if (r == 0) return 0;
    if (p.revents & POLLNVAL) {
      FLastError = EBADF;
      return -1;
    }
    return 1;  // ready, or an error/hang-up that the next call reports
  }
}

int TDBaseSocket::WaitReadable(int milliseconds) {
  if (FSSL && SSL_pending(FSSL) > 0) return 1;
  const int wait = WaitBudget(milliseconds);
  if (wait == 0) return 0;
  return WaitFor(POLLIN, wait);
}

long TDBaseSocket::ReceiveSome(char* data, size_t size) {
  if (FSocket < 0) {
    FLastError = ENOTCONN;
    return -1;
  }
  if (!FSSL) {
    for (;;) {
      const ssize_t n = ::recv(FSocket, data, size, 0);
      if (n >= 0) return static_cast<long>(n);
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        const int w = WaitFor(POLLIN, WaitBudget(60000));
        if (w > 0) continue;
        FLastError = w == 0 ? ETIMEDOUT : FLastError;
        return -1;
      }
      FLastError = errno;
      return -1;
    }
  }
  const int want = static_cast<int>(std::min<size_t>(size, INT_MAX));
  for (;;) {
    ERR_clear_error();
    const int n = SSL_read(FSSL, data, want);
    if (n > 0) return n;
    const int err = SSL_get_error(FSSL, n);
    if (err == SSL_ERROR_ZERO_RETURN) return 0;
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
      const int w = WaitFor(err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, WaitBudget(60000));
      if (w > 0) continue;
      FLastError = w == 0 ? ETIMEDOUT : FLastError;
      return -1;
    }
    if (err == SSL_ERROR_SYSCALL && errno == 0) return 0;  // closed without notice
    FLastError = err == SSL_ERROR_SYSCALL ? errno : EPROTO;
    return -1;
  }
}

bool TDBaseSocket::Connect() {
  Close();
  FAddress = 0;
  FConnected = false;

  in_addr a{};
  if (inet_pton(AF_INET, ServerName.c_str(), &a) == 1) {
    FAddress = a.s_addr;
  } else {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (ServerName.empty() || getaddrinfo(ServerName.c_str(), nullptr, &hints, &res) != 0 || !res) {
      if (res) freeaddrinfo(res);
      Log("ResolveHost error");
      return false;
    }
    FAddress = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(res);
    if (DebugLevel >= 3) Log("ResolveHost : " + Dotted(FAddress));
  }

  FSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (FSocket < 0) {
    Log("Create Socket error");
    return false;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(Port));
  to.sin_addr.s_addr = FAddress;
  int err = 0;
  if (Port <= 0 || Port > 65535) {
    err = EINVAL;
  } else if (::connect(FSocket, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    err = errno;
    if (err == EINPROGRESS || err == EINTR) {
      const int w = WaitFor(POLLOUT, WaitBudget(ConnectTimeout > 0 ? ConnectTimeout * 1000 : -1));
      if (w > 0) {
        socklen_t len = sizeof err;
        if (getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      } else {
        err = w == 0 ? ETIMEDOUT : FLastError;
      }
    }
  }
  if (err != 0) {
    FWinsockError = err;
    ::close(FSocket);
    FSocket = -1;
    Log("Connect to Host error");
    return false;
  }
  const int one = 1;
  setsockopt(FSocket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  FConnected = true;
  return true;
}

bool TDBaseSocket::StartTLS(const std::string& host, const std::string& caFile) {
  if (FSocket < 0) return false;
  FreeTLS();
  FCtx = SSL_CTX_new(TLS_client_method());
  bool ok = FCtx != nullptr;
  if (ok) {
    SSL_CTX_set_min_proto_version(FCtx, TLS1_2_VERSION);
    SSL_CTX_set_verify(FCtx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_options(FCtx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(FCtx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_default_verify_paths(FCtx);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(FCtx, caFile.c_str(), nullptr) != 1)
      Log("TLS CA file error : " + caFile);
    FSSL = SSL_new(FCtx);
    ok = FSSL && SSL_set_fd(FSSL, FSocket) == 1;
  }
  if (ok) {
    in_addr a{};
    if (inet_pton(AF_INET, host.c_str(), &a) == 1) {
      ok = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(FSSL), host.c_str()) == 1;
    } else {
      ok = SSL_set_tlsext_host_name(FSSL, host.c_str()) == 1 && SSL_set1_host(FSSL, host.c_str()) == 1;
    }
  }
  if (!ok) {
    Log("TLS error : " + OpenSSLError());
    Close();
    return false;
  }
  // The handshake shares the connect time-out.
  const long long until = MonotonicMs() + (ConnectTimeout > 0 ? ConnectTimeout : 3600) * 1000LL;
  for (;;) {
    ERR_clear_error();
    const int r = SSL_connect(FSSL);
    if (r == 1) return true;
    const int err = SSL_get_error(FSSL, r);
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
      const long long left = until - MonotonicMs();
      const int w = left > 0 ? WaitFor(err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT,
                                       WaitBudget(static_cast<int>(std::min<long long>(left, INT_MAX))))
                             : 0;
      if (w > 0) continue;
      Log("TLS error : handshake timed out");
      break;
    }
    const long verify = SSL_get_verify_result(FSSL);
    if (verify != X509_V_OK)
      Log(std::string("TLS certificate error : ") + X509_verify_cert_error_string(verify));
    else
      Log("TLS error : " + OpenSSLError());
    break;
  }
  Close();
  return false;
}

void TDBaseSocket::FreeTLS() {
  if (FSSL) {
    SSL_free(FSSL);
    FSSL = nullptr;
  }
  if (FCtx) {
    SSL_CTX_free(FCtx);
    FCtx = nullptr;
  }
}

void TDBaseSocket::Close() {
  if (FSocket >= 0) {
    if (FSSL) SSL_shutdown(FSSL);  // one try: the socket does not wait for the answer
    FreeTLS();
    ::close(FSocket);
    FSocket = -1;
    if (DebugLevel == 3) Log("Socket Close.");
  }
  FConnected = false;
}

bool TDBaseSocket::SendAll(const char* data, size_t size, bool& raised) {
  raised = false;
  int idle = 0;
  short want = POLLOUT;  // TLS may need to read before it can write
  while (size > 0) {
    if (FSocket < 0) return false;
    const int wait = WaitBudget(kSendWaitMs);
    const int w = wait == 0 ? 0 : WaitFor(want, wait);
    want = POLLOUT;
    if (w < 0) {
      raised = true;
      return false;
    }
    if (w == 0) {
      if (++idle >= kSendAttempts || DeadlinePassed()) return false;
      continue;
    }
    long n;
    if (FSSL) {
      ERR_clear_error();
      n = SSL_write(FSSL, data, static_cast<int>(std::min<size_t>(size, INT_MAX)));
      if (n <= 0) {
        const int err = SSL_get_error(FSSL, static_cast<int>(n));
        if (err == SSL_ERROR_WANT_WRITE || err == SSL_ERROR_WANT_READ) {
          want = err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
          continue;
        }
        FLastError = err == SSL_ERROR_SYSCALL ? errno : EPROTO;
        raised = true;
        return false;
      }
    } else {
      n = ::send(FSocket, data, size, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        FLastError = errno;
        raised = true;
        return false;
      }
    }
    data += n;
    size -= static_cast<size_t>(n);
    idle = 0;
  }
  return true;
}

void TDBaseSocket::Send(const std::string& text, bool addLineBreak) {
  if (DebugLevel >= 2) Log(text);
  std::string buffer = text;
  if (addLineBreak) buffer += "\r\n";
  if (FSocket < 0) {
    Log("送信前に接続が破棄されました。");
    FConnected = false;
    return;
  }
  bool raised = false;
  if (SendAll(buffer.data(), buffer.size(), raised)) return;
  if (raised) Log("Send to client error : " + std::to_string(FLastError));
  Log("接続が破棄されている可能性があります。");
  FConnected = false;
}

bool TDBaseSocket::SendStream(std::istream& stream) {
  stream.clear();
  stream.seekg(0);
  char block[kStreamBlock];
  for (;;) {
    stream.read(block, sizeof block);
    const size_t n = static_cast<size_t>(stream.gcount());
    if (n > 0) {
      if (FSocket < 0) {
        FConnected = false;
        return true;
      }
      bool raised = false;
      if (!SendAll(block, n, raised)) {
        Log((raised ? " コマンドに対する応答の送信中に例外が発生 : " : "Sendstream client error : ") +
            std::to_string(FLastError));
        FConnected = false;
        return false;
      }
    }
    if (n < sizeof block) return true;
  }
}

TStringList* TDBaseSocket::CreateLog() {
  if (!FLog) FLog = std::make_unique<TStringList>();
  return FLog.get();
}

void TDBaseSocket::DestroyLog() { FLog.reset(); }

void TDBaseSocket::Log(const std::string& text) {
  if (!FLog) return;
  std::string line;
  line.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      continue;
    }
    line += text[i];
  }
  FLog->push_back(WriteLogDate ? FormatStamp(Now()) + " " + line : line);
  if (!LogFilename.empty()) {
    std::string all;
    for (const auto& l : *FLog) {
      all += l;
      all += "\r\n";
    }
    // A log is worth a short wait only: it never holds up the exchange for long.
    SaveTextToFile(LogFilename, all, 3, 100);
  }
}
