// The socket base and the HTTP client against scripted peers on 127.0.0.1.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>

#include "loopback_server.h"
#include "net/httpclient.h"
#include "store/file_access.h"
#include "text/DString.h"
#include "text/jconvert.h"

namespace {

using namespace std::string_literals;

struct Clock {
  static long long now() { return MonotonicMs(); }
};
double Since(long long t) { return (MonotonicMs() - t) / 1000.0; }

bool Has(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }
int Count(const TStringList& log, const std::string& needle) {
  int n = 0;
  for (const auto& l : log) n += Has(l, needle);
  return n;
}
std::string Ok(const std::string& body, const std::string& extra = "") {
  return "HTTP/1.1 200 OK\r\nServer:  test \r\n" + extra + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct TReadCase {
  std::string Name, Response;
  std::string Body;
  bool Complete;
};

// Feeds the response in blocks of every size from 1 byte up, so framing never depends on reads.
TEST(HTTPResponseReader, FramingHoldsAcrossEveryReadSize) {
  const std::vector<TReadCase> cases = {
      {"length", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", "hello", true},
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n5\r\nhello\r\nc ; ext=1\r\n, wide world\r\n0\r\n\r\n",
       "hello, wide world", true},
      {"odd digits and no break after data", "HTTP/1.1 200 OK\r\nTransfer-encoding: chunked\r\n\r\n00A\r\n0123456789\r\n3\r\nabc0\r\n",
       "0123456789abc", true},
      {"NUL and CR in header lines", "HTTP/1.1 200\0 OK\r\r\nContent-Length:\t3\r\n\r\nA\0B"s, "A\0B"s, true},
      {"explicit empty body", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "", true},
      {"chunk size that lies", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nff\r\nshort", "short", false},
      {"chunk size not hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nbody", "", false},
      {"length longer than the body", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc", "abc", false},
      {"header without body or end", "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n", "", false},
      {"body to the end", "HTTP/1.0 200 OK\r\n\r\nuntil close", "until close", true},
  };
  for (const auto& c : cases) {
    for (size_t block = 1; block <= c.Response.size(); block += (block < 8 ? 1 : 13)) {
      TServerInformation info;
      std::string header, body;
      THTTPResponseReader r(info, header, body, 1 << 20);
      for (size_t at = 0; at < c.Response.size(); at += block)
        if (!r.Feed(c.Response.data() + at, std::min(block, c.Response.size() - at))) break;
      r.PeerClosed();
      EXPECT_EQ(body, c.Body) << c.Name << " block " << block;
      EXPECT_EQ(r.Complete(), c.Complete) << c.Name << " block " << block;
      EXPECT_EQ(info.StatusLine.substr(0, 8), c.Response.substr(0, 8)) << c.Name;
    }
  }
  // The header fields and the header buffer.
  TServerInformation info;
  std::string header, body;
  THTTPResponseReader r(info, header, body, 100);
  const std::string resp = "HTTP/1.1 302 Found\r\nServer: x \r\nContent-Type:  text/html \r\nLocation: /next\r\n"
                           "Content-Length: nan\r\n\r\n";
  r.Feed(resp.data(), resp.size());
  EXPECT_EQ(info.Server + "|" + info.ContentType + "|" + r.Location() + "|" + std::to_string(info.ContentLength),
            "x|text/html|/next|0");
  EXPECT_EQ(header, resp);
}

TEST(HTTPResponseReader, LimitsBoundHeaderAndBody) {
  TServerInformation info;
  std::string header, body;
  THTTPResponseReader big(info, header, body, 10);
  const std::string resp = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFF\r\n" + std::string(100, 'x');
  EXPECT_FALSE(big.Feed(resp.data(), resp.size()));
  EXPECT_TRUE(big.Overflow() && !big.Complete());
  EXPECT_EQ(body.size(), 10u);

  TServerInformation i2;
  std::string h2, b2;
  THTTPResponseReader headers(i2, h2, b2, 10, 1000);
  std::string endless = "HTTP/1.1 200 OK\r\n";
  while (endless.size() < 5000) endless += "X-Filler: yes\r\n";
  EXPECT_FALSE(headers.Feed(endless.data(), endless.size()));
  EXPECT_TRUE(headers.Overflow());
  EXPECT_LE(h2.size(), 1000u);
}

TEST(HTTPClient, URLsAreParsedIntoHostPortAndPath) {
  struct { const char* Url; bool Https, Ok; const char* Host; int Port; const char* Path; } cases[] = {
      {"http://example.jp:8080", false, true, "example.jp", 8080, "/"},
      {"HTTP://Example.JP/a/b?c=d#frag", false, true, "Example.JP", 80, "/a/b?c=d"},
      {"http://h:port/x", false, true, "h", 80, "/x"},
      {"http://h?q=1", false, true, "h", 80, "/?q=1"},
      {"http://h/a b", false, true, "h", 80, "/a%20b"},
      {"https://h/x", false, false, "", 80, ""},
      {"https://h/x", true, true, "h", 443, "/x"},
      {"https://h:8443", true, true, "h", 8443, "/"},
      {"ftp://h/", true, false, "", 80, ""},
      {"http://h/\r\nX-Injected: 1", false, false, "", 80, ""},
      {"http:///nohost", false, false, "", 80, ""},
  };
  for (const auto& c : cases) {
    TURLInfo u;
    EXPECT_EQ(ParseHTTPURL(c.Url, c.Https, u), c.Ok) << c.Url;
    EXPECT_EQ(u.ServerName + "|" + std::to_string(u.Port) + "|" + u.Path,
              std::string(c.Host) + "|" + std::to_string(c.Port) + "|" + c.Path)
        << c.Url;
  }
  THTTPClient https;  // https with the switch off: nothing happens
  https.CreateLog();
  https.SetURL("https://127.0.0.1/");
  EXPECT_EQ(https.ServerResult().StatusLine, "No Status");
  EXPECT_EQ(Count(*https.LogList(), "Connect"), 0);
}

TEST(HTTPClient, RequestsOfTheFourMethodsLineByLine) {
  TLoopbackServer server([](TLoopbackPeer& p, int) { p.Hold(); });
  const std::string host = "Host: 127.0.0.1\r\n";
  auto packet = [&](THTTPMethod m, const std::function<void(THTTPClient&)>& set) {
    THTTPClient c;
    c.Method = m;
    c.TestSent = true;
    set(c);
    c.SetURL(server.URL("/p?q"));
    return c.RequestPacket();
  };
  EXPECT_EQ(packet(mtGET, [](THTTPClient&) {}),
            "GET /p?q HTTP/1.1\r\nAccept: image/gif, image/jpeg, */*\r\nAccept-language: ja\r\n"
            "User-Agent: Pondrel http client\r\n" + host);
  const std::string sjis = "名=値";
  EXPECT_EQ(packet(mtPOST,
                   [&](THTTPClient& c) {
                     c.RequestHTTPVersion = "1.0";
                     c.PostCode = pcUTF8;
                     c.PostContentType = "application/x-www-form-urlencoded";
                     c.AddPost("title", sjis);
                     c.AddPost("url", "http%3A%2F%2Fx");
                   }),
            "POST /p?q HTTP/1.0\r\nAccept: */*\r\nAccept-Language: ja\r\nUser-Agent: Pondrel http client\r\n" + host +
                "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                std::to_string(SjisToUtf8("title=" + sjis + "&url=http%3A%2F%2Fx").size()) + "\r\n\r\n" +
                SjisToUtf8("title=" + sjis + "&url=http%3A%2F%2Fx"));
  EXPECT_EQ(packet(mtCustomPost,
                   [&](THTTPClient& c) {
                     c.UserAgent = "";
                     c.PostContentType = "text/xml";
                     c.CustomPostHeader = "X-Extra: 1";
                     c.PostCode = pcJIS;
                     c.CustomPostContent = "<t>" + sjis + "</t>";
                   }),
            "POST /p?q HTTP/1.1\r\nContent-Type: text/xml\r\nX-Extra: 1\r\n" + host + "Content-Length: " +
                std::to_string(SjisToJis("<t>" + sjis + "</t>").size()) + "\r\n\r\n" + SjisToJis("<t>" + sjis + "</t>"));
  THTTPClient multi;
  multi.Method = mtMultiPart;
  multi.TestSent = true;
  multi.AddPost("a", "1");
  multi.AddPost("f", "bytes", "image/gif", "x.gif");
  multi.SetURL(server.URL("/up"));
  const std::string& b = multi.Boundary;
  ASSERT_EQ(b.size(), 26u);
  EXPECT_EQ(b.substr(0, 10), "---Pondrel");
  const std::string body = "--" + b + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" + b +
                           "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x.gif\"\r\nContent-Type: image/gif\r\n\r\n"
                           "bytes\r\n--" + b + "--\r\n";
  EXPECT_EQ(multi.MultiPartContent(), body);
  EXPECT_EQ(multi.RequestPacket(), "POST /up HTTP/1.1\r\nAccept: */*\r\nAccept-Language: ja\r\nUser-Agent: Pondrel http client\r\n"
                                   "Content-Type: multipart/form-data; boundary=" + b + "\r\n" + host + "Content-Length: " +
                                   std::to_string(body.size()) + "\r\n\r\n" + body);
  for (int i = 0; i < 100 && server.Connections() < 4; ++i) usleep(20000);
  EXPECT_EQ(server.Connections(), 4);  // TestSent still opens (and closes) the connection
}

TEST(HTTPClient, ReadsKeptAliveAndChunkedAnswersWithoutWaitingForTheClose) {
  TLoopbackServer server([](TLoopbackPeer& p, int n) {
    p.ReadRequest();
    if (n != 2) {
      p.Write(Ok("<rss/>"));
    } else {
      p.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n<rs");
      p.Pause(200);
      p.Write("s\r\n3\r\n/>\n\r\n0\r\n\r\n");
    }
    p.Hold();  // keeps the connection open: the client must stop by the framing
  });
  for (int i = 0; i < 2; ++i) {
    THTTPClient c;
    c.Deadline = 10;
    const auto t = Clock::now();
    long long progress = -1;
    c.OnProgress = [&](long long n) { progress = n; };
    c.SetURL(server.URL("/feed"));
    EXPECT_LT(Since(t), 3.0);
    EXPECT_EQ(c.ServerResult().StatusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(c.BodyBuffer(), i == 0 ? "<rss/>" : "<rss/>\n");
    EXPECT_TRUE(c.BodyComplete());
    EXPECT_EQ(c.ServerResult().BodySize, static_cast<long long>(c.BodyBuffer().size()));
    EXPECT_EQ(progress, c.ServerResult().BodySize);
    EXPECT_EQ(c.ServerResult().Chunked, i == 1);
  }
  THTTPClient c;  // the content-length log line
  c.CreateLog();
  c.WriteLogDate = false;
  c.SetURL(server.URL("/x"));
  EXPECT_EQ(Count(*c.LogList(), "ContentLength Over1 ContenLength(6) : BodySize(6)"), 1);
  EXPECT_EQ(c.LogList()->back(), "Disconnec server");
}

TEST(HTTPClient, MovedPagesFollowTheBodyLinkThenTheLocationAndStop) {
  TLoopbackServer target([](TLoopbackPeer& p, int) {
    p.ReadRequest();
    p.Write(Ok("moved here"));
  });
  TLoopbackServer moved([&](TLoopbackPeer& p, int n) {
    const std::string req = p.ReadRequest();
    if (n == 1)
      p.Write("HTTP/1.0 302 Found\r\n\r\n<html><a title=\"x>y\" href=\"z\"><A HREF=\"" + target.URL("/new") + "\">here</A>");
    else
      p.Write("HTTP/1.0 301 Moved\r\nLocation: /second\r\n\r\nno link");
    (void)req;
  });
  THTTPClient c;
  c.CreateLog();
  c.SetURL(moved.URL("/old"));
  EXPECT_EQ(c.BodyBuffer(), "moved here");
  EXPECT_EQ(c.URL(), target.URL("/new"));
  EXPECT_EQ(Count(*c.LogList(), "Site Moved (HTTP/1.0 302 Found / " + target.URL("/new") + ")"), 1);
  THTTPClient loc;
  loc.AutoLocationCount = 2;
  loc.SetURL(moved.URL("/old"));  // connection 2: the Location header, resolved on the same host
  EXPECT_EQ(loc.URL(), moved.URL("/second"));
  EXPECT_EQ(moved.Connections(), 3);  // 1, 2, then the one move of the second pass; no further pass

  // A 302 without any address: the same request again on the same connection, AutoLocationCount passes.
  TLoopbackServer again([](TLoopbackPeer& p, int) {
    for (std::string r; !(r = p.ReadRequest()).empty();) p.Write("HTTP/1.1 302 Found\r\nContent-Length: 4\r\n\r\nnope");
  });
  THTTPClient rep;
  rep.AutoLocationCount = 4;
  rep.CreateLog();
  rep.SetURL(again.URL());
  EXPECT_EQ(Count(*rep.LogList(), "GET / HTTP/1.1"), 1);  // logged once, sent four times
  EXPECT_EQ(Count(*rep.LogList(), "HTTP/1.1 302 Found"), 4);
  EXPECT_EQ(again.Connections(), 1);

  // A loop of moves ends after AutoLocationCount passes.
  TLoopbackServer* self = nullptr;
  TLoopbackServer loop([&](TLoopbackPeer& p, int) {
    p.ReadRequest();
    p.Write("HTTP/1.0 302 Found\r\n\r\n<a href=\"" + self->URL("/again") + "\">x</a>");
  });
  self = &loop;
  THTTPClient l;
  l.SetURL(loop.URL());
  EXPECT_EQ(loop.Connections(), 10);
  EXPECT_EQ(l.ServerResult().StatusLine, "No Status");  // reset by the last move
}

TEST(HTTPClient, PostsAreRepeatedUntilAnAnswerSays200) {
  std::vector<int> statuses;
  TLoopbackServer server([&](TLoopbackPeer& p, int n) {
    int i = 0;
    for (std::string r; !(r = p.ReadRequest()).empty(); ++i) {
      const bool ok = n == 2 && i == 2;
      p.Write(ok ? Ok("fine") : "HTTP/1.1 500 Oops\r\nContent-Length: 3\r\n\r\nbad");
    }
    server.Record(std::to_string(i));
  });
  for (int round = 0; round < 2; ++round) {
    THTTPClient c;
    c.Method = mtPOST;
    c.AddPost("a", "b");
    c.CreateLog();
    c.WriteLogDate = false;
    c.SetURL(server.URL("/tb"));
    EXPECT_EQ(Count(*c.LogList(), "Method is Post"), 1);
    if (round == 0) {
      EXPECT_EQ(c.LogList()->at(c.LogList()->size() - 2), "Send put value is 10 / HTTP/1.1 500 Oops");
    } else {
      EXPECT_EQ(c.LogList()->at(c.LogList()->size() - 2), "Send put value is 2 / HTTP/1.1 200 OK");
      EXPECT_EQ(c.BodyBuffer(), "fine");
    }
  }
  for (int i = 0; i < 100 && server.Recorded().size() < 2; ++i) usleep(20000);
  EXPECT_EQ(server.Recorded(), (std::vector<std::string>{"11", "3"}));
  // A peer that closes after its answer is not sent the request again.
  TLoopbackServer closing([](TLoopbackPeer& p, int) {
    p.ReadRequest();
    p.Write("HTTP/1.0 500 Oops\r\n\r\n");
  });
  THTTPClient c;
  c.Method = mtCustomPost;
  c.CustomPostContent = "<x/>";
  c.SetURL(closing.URL());
  EXPECT_EQ(c.ServerResult().StatusLine, "HTTP/1.0 500 Oops");
  EXPECT_EQ(closing.Connections(), 1);
}

TEST(HTTPClient, DeadHostsCostNoMoreThanTheDeadline) {
  // Accepts and never answers.
  TLoopbackServer silent([](TLoopbackPeer& p, int) { p.Hold(); });
  THTTPClient c;
  c.Deadline = 1;
  c.CreateLog();
  auto t = Clock::now();
  c.SetURL(silent.URL());
  EXPECT_LT(Since(t), 2.0);
  EXPECT_TRUE(c.TimedOut());
  EXPECT_EQ(c.ServerResult().StatusLine, "No Status");
  EXPECT_EQ(Count(*c.LogList(), "Client Timeout"), 1);

  // Refused connects: the first attempt and ConnectRetryCount more; the deadline cuts the waits.
  const int closed = ClosedLoopbackPort();
  THTTPClient r;
  r.ConnectRetryCount = 2;
  r.ConnectRetryTime = 0;
  r.CreateLog();
  r.SetURL("http://127.0.0.1:" + std::to_string(closed) + "/");
  EXPECT_EQ(Count(*r.LogList(), "Connect to Host error"), 3);
  EXPECT_EQ(Count(*r.LogList(), "Connect error"), 3);
  EXPECT_EQ(Count(*r.LogList(), "Not connect server"), 1);
  EXPECT_EQ(r.ErrorCode(), -93);
  EXPECT_EQ(r.WinsockError(), ECONNREFUSED);
  THTTPClient w;
  w.ConnectRetryCount = 5;
  w.ConnectRetryTime = 10;
  w.Deadline = 1;
  t = Clock::now();
  w.SetURL("http://127.0.0.1:" + std::to_string(closed) + "/");
  EXPECT_LT(Since(t), 2.0);

  // A listener whose queue is full drops the handshake: the connect time-out ends it.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 0), 0);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {  // fill the queue (non-blocking, never accepted)
    const int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
    fillers.push_back(f);
  }
  usleep(100000);
  TDBaseSocket s;
  s.ServerName = "127.0.0.1";
  s.Port = ntohs(a.sin_port);
  s.ConnectTimeout = 1;
  t = Clock::now();
  EXPECT_FALSE(s.Connect());
  EXPECT_LT(Since(t), 2.0);
  EXPECT_EQ(s.WinsockError(), ETIMEDOUT);
  for (int f : fillers) ::close(f);
  ::close(fd);
}

TEST(DBaseSocket, LogTextsResolvingAndSends) {
  TLoopbackServer server([&](TLoopbackPeer& p, int) {
    std::string got;
    for (std::string l; !(l = p.ReadLine()).empty();) got += l + "|";
    server.Record(got);
  });
  TDBaseSocket s;
  TStringList& log = *s.CreateLog();
  s.WriteLogDate = false;
  s.ServerName = "localhost";  // a name from /etc/hosts
  s.Port = server.Port();
  s.DebugLevel = 4;
  ASSERT_TRUE(s.Connect());
  EXPECT_TRUE(s.Connected());
  s.Send("line one", true);
  std::string big(5000, 'x');
  std::istringstream stream(big + "\r\nend\r\n\r\n");
  EXPECT_TRUE(s.SendStream(stream));
  s.Close();
  s.Close();
  s.Send("after", false);
  EXPECT_FALSE(s.Connected());
  EXPECT_EQ(log, (TStringList{"ResolveHost : 127.0.0.1", "line one", "after", "送信前に接続が破棄されました。"}));
  for (int i = 0; i < 100 && server.Recorded().empty(); ++i) usleep(20000);
  EXPECT_EQ(server.Recorded(), (std::vector<std::string>{"line one|" + big + "|end|"}));

  TDBaseSocket d;  // level 3 logs the close; a dated log line starts with the stamp
  d.CreateLog();
  d.DebugLevel = 3;
  d.ServerName = "127.0.0.1";
  d.Port = server.Port();
  ASSERT_TRUE(d.Connect());
  d.Log("a\r\nb");
  d.Close();
  ASSERT_EQ(d.LogList()->size(), 2u);
  EXPECT_EQ(d.LogList()->at(0).size(), 19u + 1 + 2);
  EXPECT_EQ(d.LogList()->at(0).substr(19), " ab");
  EXPECT_EQ(d.LogList()->at(1).substr(19), " Socket Close.");

  TDBaseSocket bad;  // a name that does not resolve: no socket, a log line, and the log file
  const std::string file = testing::TempDir() + "velm_socket_log.txt";
  bad.CreateLog();
  bad.WriteLogDate = false;
  bad.LogFilename = file;
  bad.ServerName = "no-such-host.invalid";
  bad.Port = 80;
  EXPECT_FALSE(bad.Connect());
  std::string saved;
  EXPECT_TRUE(LoadTextFromFile(file, saved));
  EXPECT_EQ(saved, "ResolveHost error\r\n");
  DeleteFile(file);
}

TEST(DBaseSocket, LargeSendsFinishAgainstASlowReader) {
  const size_t size = 8 << 20;  // far more than the socket buffers hold
  TLoopbackServer server([&](TLoopbackPeer& p, int) {
    p.Pause(300);  // the sender meets a full buffer first
    size_t got = 0;
    for (std::string l; got < size && !(l = p.ReadLine(3000)).empty();) got += l.size();
    server.Record(std::to_string(got));
  });
  TDBaseSocket s;
  s.ServerName = "127.0.0.1";
  s.Port = server.Port();
  s.SetDeadline(20);
  ASSERT_TRUE(s.Connect());
  s.Send(std::string(size, 'y'), true);
  EXPECT_TRUE(s.Connected());
  for (int i = 0; i < 500 && server.Recorded().empty(); ++i) usleep(20000);
  s.Close();
  EXPECT_EQ(server.Recorded(), (std::vector<std::string>{std::to_string(size)}));
}

}  // namespace
