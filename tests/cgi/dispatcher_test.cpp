// The dispatcher's preparation and failure table, through the real executable.
#include <gtest/gtest.h>

#include "cgi_harness.h"

namespace {

std::string ErrorPage(const std::string& charset, const std::string& message) {
  return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja\"><head>"
         "<meta http-equiv=\"content-type\" content=\"text/html; charset=" + charset +
         "\"><title>VELM SYSTEM ERROR</title></head><body><span style=\"color:red\">" + message +
         "</span></body></html>";
}

TCGIRun Get(const std::string& query) {
  TCGIRun r;
  r.query = query;
  return r;
}

TEST(Dispatcher, MissingSystemSettings) {
  TTestInstall inst;
  inst.Remove("velm.ini");
  TCGIResult res = inst.Run(Get("demo"));
  EXPECT_EQ(res.status, "200 OK");
  EXPECT_EQ(res.body, ErrorPage("", "データフォルダが見つからない、又は velm.ini がありません"));
  const std::string page = res.body;
  EXPECT_EQ(res.raw, "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                         std::to_string(page.size()) + "\r\nContent:\r\n\r\n" + page);
}

TEST(Dispatcher, AccountsMissingEmptyOrUnknown) {
  TTestInstall inst;
  EXPECT_EQ(inst.Run(Get("nosuch")).body, ErrorPage("shift_jis", "存在しないアカウントです"));
  EXPECT_EQ(inst.Run(Get("Demo")).body, ErrorPage("shift_jis", "存在しないアカウントです"));
  EXPECT_EQ(inst.Run(Get("")).body, ErrorPage("shift_jis", "存在しないアカウントです"));
  inst.Write("velmsystem/account.ini", "");
  EXPECT_EQ(inst.Run(Get("demo")).body, ErrorPage("shift_jis", "アカウントが未設定です"));
  inst.Remove("velmsystem/account.ini");
  EXPECT_EQ(inst.Run(Get("demo")).body, ErrorPage("shift_jis", "アカウントが未設定です"));
}

TEST(Dispatcher, CharsetOfTheErrorPageFollowsTheSettings) {
  TTestInstall inst;
  inst.Write("velm.ini", "charset=euc-jp\r\n");
  EXPECT_EQ(inst.Run(Get("x")).body, ErrorPage("euc-jp", "存在しないアカウントです"));
}

TEST(Dispatcher, EmptyAnswers) {
  TTestInstall inst;
  for (const char* q : {"demo+zz", "demo+zz+1+2", "AJK", "ajk+anything", "demo+nosuchcommand"}) {
    TCGIResult res = inst.Run(Get(q));
    EXPECT_EQ(res.status, "200 OK") << q;
    EXPECT_EQ(res.body, "") << q;
    EXPECT_EQ(res.header("Content-Length"), "") << q;
  }
  // AJK ends the request before the account list is read.
  inst.Remove("velmsystem/account.ini");
  EXPECT_EQ(inst.Run(Get("ajk")).body, "");
}

TEST(Dispatcher, ForwardingAndDuplicateIds) {
  TTestInstall inst;
  inst.Write("velmsystem/account.ini",
             "\"demo\",\"owner\",\"secret\",\"0\",\"http://other.example/blog/\"\r\n"
             "\"demo\",\"second\",\"x\"\r\n");
  TCGIResult res = inst.Run(Get("demo+dv"));
  EXPECT_EQ(res.status, "200 OK");
  EXPECT_EQ(res.header("Location"), "http://other.example/blog/");
  EXPECT_EQ(res.body, "");
}

TEST(Dispatcher, LoginPseudoAccount) {
  TTestInstall inst;
  inst.Write("velmsystem/account.ini",
             "\"demo\",\"owner\",\"secret\"\r\n\"other\",\"forwarded\",\"pw\",\"\",\"http://fw/\"\r\n");
  TCGIRun r = Get("LOGIN+zz");
  r.method = "POST";
  r.body = "loginname=FORWARDED&loginpass=pw";
  EXPECT_EQ(inst.Run(r).header("Location"), "http://fw/");  // login name without case
  r.body = "loginname=forwarded&loginpass=PW";
  EXPECT_EQ(inst.Run(r).body, ErrorPage("shift_jis", "存在しないアカウントです"));  // password exact
  r.query = "login+zz";
  r.body = "loginname=owner&loginpass=secret";
  TCGIResult ok = inst.Run(r);
  EXPECT_EQ(ok.body, "");
  EXPECT_EQ(ok.header("Location"), "");
}

TEST(Dispatcher, WordsFromArgvWinOverTheQuery) {
  TTestInstall inst;
  TCGIRun r;
  r.args = {"nosuch"};
  r.query = "demo+zz";
  EXPECT_EQ(inst.Run(r).body, ErrorPage("shift_jis", "存在しないアカウントです"));
}

TEST(Dispatcher, NoProtocolMeansNoHeaderBlock) {
  TTestInstall inst;
  TCGIRun r = Get("nosuch");
  r.protocol = false;
  TCGIResult res = inst.Run(r);
  EXPECT_FALSE(res.hasHeaderBlock);
  EXPECT_EQ(res.raw, ErrorPage("shift_jis", "存在しないアカウントです"));
}

}  // namespace
