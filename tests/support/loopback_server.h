// A scripted TCP peer on 127.0.0.1: each accepted connection is handed to a handler that reads
// what the client sent and writes exactly the bytes a test wants back.
#pragma once
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TLoopbackPeer {
public:
  TLoopbackPeer(int fd, const std::atomic<bool>& stop) : FFd(fd), FStop(stop) {}
  // One HTTP request: the header block and a Content-Length body ("" when the client closed first).
  std::string ReadRequest(int waitMs = 5000);
  std::string ReadLine(int waitMs = 5000);   // up to and without CR LF; "" on close
  void Write(const std::string& bytes);
  void Pause(int ms);                        // sleeps, ending early when the server stops
  void Hold();                               // keeps the connection open until the client closes or the server stops
  bool Closed() const { return FClosed; }    // the client closed (or a wait ran out)

private:
  bool Fill(int waitMs);
  int FFd;
  const std::atomic<bool>& FStop;
  std::string FPending;
  bool FClosed = false;
};

class TLoopbackServer {
public:
  using THandler = std::function<void(TLoopbackPeer& peer, int connection)>;
  explicit TLoopbackServer(THandler handler);
  ~TLoopbackServer();
  TLoopbackServer(const TLoopbackServer&) = delete;
  TLoopbackServer& operator=(const TLoopbackServer&) = delete;

  int Port() const { return FPort; }
  std::string URL(const std::string& path = "/") const;  // http://127.0.0.1:<port><path>
  int Connections() const { return FConnections.load(); }
  void Record(const std::string& what);        // kept for the test (handlers call it)
  std::vector<std::string> Recorded() const;

private:
  void Run();
  THandler FHandler;
  int FListen = -1, FPort = 0;
  std::atomic<bool> FStop{false};
  std::atomic<int> FConnections{0};
  mutable std::mutex FMutex;
  std::vector<std::string> FRecorded;
  std::thread FThread;
};

// A port on 127.0.0.1 where nothing listens (bound, then closed).
int ClosedLoopbackPort();
