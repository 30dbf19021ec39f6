// The gateway through the real executable: words, bodies, cookies, the header block.
#include <gtest/gtest.h>

#include <ctime>
#include <random>

#include "cgi_harness.h"

namespace {

const std::string kUnknownAccount =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja\"><head>"
    "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\"><title>VELM SYSTEM ERROR"
    "</title></head><body><span style=\"color:red\">存在しないアカウントです</span></body></html>";

TCGIRun Get(const std::string& query) {
  TCGIRun r;
  r.query = query;
  return r;
}

TEST(CGIOutput, ParsesTheHeaderBlock) {
  TCGIResult r = ParseCGIOutput("Status: 302 Found\r\nLocation: http://a/\r\nSet-Cookie: A=1\r\n"
                                "set-cookie: B=2\r\nContent-Type: text/html\r\nContent:\r\n\r\nbody\r\n\r\nmore");
  EXPECT_TRUE(r.hasHeaderBlock);
  EXPECT_EQ(r.status, "302 Found");
  ASSERT_EQ(r.headers.size(), 4u);  // "Content:" is not one of them
  EXPECT_EQ(r.header("location"), "http://a/");
  EXPECT_EQ(r.headerAll("Set-Cookie"), (std::vector<std::string>{"A=1", "B=2"}));
  EXPECT_EQ(r.header("Content-Length"), "");
  EXPECT_EQ(r.body, "body\r\n\r\nmore");

  TCGIResult plain = ParseCGIOutput("<html>Status: x</html>");
  EXPECT_FALSE(plain.hasHeaderBlock);
  EXPECT_EQ(plain.body, "<html>Status: x</html>");
  TCGIResult unclosed = ParseCGIOutput("Status: 200 OK\r\nContent-Type: text/html");
  EXPECT_EQ(unclosed.header("Content-Type"), "text/html");
  EXPECT_EQ(unclosed.body, "");
}

TEST(Gateway, HeaderBlockOnlyWithAProtocol) {
  TTestInstall inst;
  TCGIResult with = inst.Run(Get("nosuch"));
  EXPECT_EQ(with.exitCode, 0);
  EXPECT_EQ(with.raw, "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                          std::to_string(kUnknownAccount.size()) + "\r\nContent:\r\n\r\n" + kUnknownAccount);
  TCGIRun r = Get("nosuch");
  r.protocol = false;
  TCGIResult without = inst.Run(r);
  EXPECT_FALSE(without.hasHeaderBlock);
  EXPECT_EQ(without.raw, kUnknownAccount);
  // An empty answer carries no Content-Length.
  TCGIResult empty = inst.Run(Get("demo+zz"));
  EXPECT_EQ(empty.raw, "Status: 200 OK\r\nContent-Type: text/html\r\nContent:\r\n\r\n");
}

TEST(Gateway, WordsFromArgumentsOrQuery) {
  TTestInstall inst;
  TCGIRun byArgs;
  byArgs.query = "nosuch";  // ignored when arguments are given
  byArgs.args = {"demo", "zz"};
  EXPECT_EQ(inst.Run(byArgs).body, "");
  EXPECT_EQ(inst.Run(Get("%64em%6F+zz")).body, "");      // escapes decoded per word
  EXPECT_EQ(inst.Run(Get("demo%2Bzz")).body, kUnknownAccount);  // "%2B" does not split
  EXPECT_EQ(inst.Run(Get("account=demo+zz")).body, kUnknownAccount);  // "=": no words
  EXPECT_EQ(inst.Run(Get("demo+zz+a+b+c+d+e")).body, "");
}

TEST(Gateway, ShortAndOddBodiesEnd) {
  TTestInstall inst;
  for (long long announced : {100000LL, 1000000000000000LL}) {
    TCGIRun r = Get("demo+zz");
    r.method = "POST";
    r.body = "a=1&b=2";
    r.contentLength = announced;
    const time_t start = time(nullptr);  // <chrono> does not build with the CP932 charset
    TCGIResult res = inst.Run(r);
    EXPECT_LT(time(nullptr) - start, 10);
    EXPECT_EQ(res.exitCode, 0) << announced;
    EXPECT_EQ(res.status, "200 OK") << announced;
  }
  TCGIRun junk = Get("demo+zz");
  junk.method = "POST";
  junk.body = std::string(300000, '&') + "%";
  junk.contentType = "multipart/form-data; boundary=";
  EXPECT_EQ(inst.Run(junk).status, "200 OK");
}

TEST(Gateway, GarbageCookiesAndQueries) {
  TTestInstall inst;
  std::mt19937 rng(7);
  const std::string alphabet = "%+=&;,\" 09afAF\x81\x5C\xFF" "demozz";
  for (int round = 0; round < 25; ++round) {
    std::string q, c;
    for (int i = 0, n = static_cast<int>(rng() % 30); i < n; ++i) q += alphabet[rng() % alphabet.size()];
    for (int i = 0, n = static_cast<int>(rng() % 60); i < n; ++i) c += alphabet[rng() % alphabet.size()];
    TCGIRun r = Get(q);
    r.cookie = c;
    TCGIResult res = inst.Run(r);
    EXPECT_EQ(res.exitCode, 0) << q << " | " << c;
    EXPECT_EQ(res.status, "200 OK") << q << " | " << c;
  }
}

}  // namespace
