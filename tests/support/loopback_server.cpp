#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <ctime>
#include <cstdlib>

namespace {

long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int ListenLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0) abort();
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

}  // namespace

bool TLoopbackPeer::Fill(int waitMs) {
  const long long until = NowMs() + waitMs;
  while (!FStop) {
    pollfd p{FFd, POLLIN, 0};
    const int r = ::poll(&p, 1, 50);
    if (r > 0) {
      char buf[4096];
      const ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
      if (n <= 0) {
        FClosed = true;
        return false;
      }
      FPending.append(buf, static_cast<size_t>(n));
      return true;
    }
    if (NowMs() >= until) {
      FClosed = true;
      return false;
    }
  }
  return false;
}

std::string TLoopbackPeer::ReadLine(int waitMs) {
  size_t at;
  while ((at = FPending.find("\r\n")) == std::string::npos)
    if (!Fill(waitMs)) return "";
  std::string line = FPending.substr(0, at);
  FPending.erase(0, at + 2);
  return line;
}

std::string TLoopbackPeer::ReadRequest(int waitMs) {
  size_t end;
  while ((end = FPending.find("\r\n\r\n")) == std::string::npos)
    if (!Fill(waitMs)) return "";
  std::string head = FPending.substr(0, end + 4);
  size_t length = 0;
  for (size_t p = 0; (p = head.find("\r\n", p)) != std::string::npos; p += 2) {
    if (strncasecmp(head.c_str() + p + 2, "Content-Length:", 15) == 0) length = strtoul(head.c_str() + p + 17, nullptr, 10);
  }
  while (FPending.size() < end + 4 + length)
    if (!Fill(waitMs)) break;
  const size_t take = std::min(FPending.size(), end + 4 + length);
  std::string request = FPending.substr(0, take);
  FPending.erase(0, take);
  // The client ends every request with one more CR LF (after a POST body): not part of the next one.
  while (FPending.rfind("\r\n", 0) == 0) FPending.erase(0, 2);
  return request;
}

void TLoopbackPeer::Write(const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    const ssize_t n = ::send(FFd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;
    off += static_cast<size_t>(n);
  }
}

void TLoopbackPeer::Pause(int ms) {
  const long long until = NowMs() + ms;
  while (!FStop && NowMs() < until) usleep(10000);
}

void TLoopbackPeer::Hold() {
  while (!FStop) {
    pollfd p{FFd, POLLIN, 0};
    if (::poll(&p, 1, 50) > 0) {
      char buf[4096];
      if (::recv(FFd, buf, sizeof buf, 0) <= 0) return;
    }
  }
}

TLoopbackServer::TLoopbackServer(THandler handler) : FHandler(std::move(handler)) {
  FListen = ListenLoopback(FPort);
  FThread = std::thread([this] { Run(); });
}

TLoopbackServer::~TLoopbackServer() {
  FStop = true;
  FThread.join();
  ::close(FListen);
}

std::string TLoopbackServer::URL(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

void TLoopbackServer::Record(const std::string& what) {
  std::lock_guard<std::mutex> lock(FMutex);
  FRecorded.push_back(what);
}

std::vector<std::string> TLoopbackServer::Recorded() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FRecorded;
}

void TLoopbackServer::Run() {
  while (!FStop) {
    pollfd p{FListen, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int n = ++FConnections;
    TLoopbackPeer peer(fd, FStop);
    FHandler(peer, n);
    ::close(fd);
  }
}

int ClosedLoopbackPort() {
  int port = 0;
  const int fd = ListenLoopback(port);
  ::close(fd);
  return port;
}
