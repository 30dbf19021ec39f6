// Login, logout, the administration frame and start page, the login check, the view password.
#include <gtest/gtest.h>

#include <ctime>

#include "cgi_harness.h"
#include "text/dates.h"

namespace {

const std::string kFailure =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja\"><head>"
    "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\"><title>VELM SYSTEM ERROR</title>"
    "</head><body><span style=\"color:red\">ログイン名又はパスワードが間違っています</span></body></html>";
const std::string kHead =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja\"><head>"
    "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\">\r\n";

TCGIRun Req(const std::string& query, const std::string& body = "", const std::string& cookie = "") {
  TCGIRun r;
  r.query = query;
  r.method = body.empty() ? "GET" : "POST";
  r.body = body;
  r.cookie = cookie;
  return r;
}

bool Has(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

// A Set-Cookie value for name=value expiring `days` from now (a few seconds of slack).
::testing::AssertionResult IsCookie(const std::string& got, const std::string& nameValue, int days,
                                    const std::string& tail = "; HttpOnly; SameSite=Lax") {
  for (time_t t = time(nullptr) - 3; t <= time(nullptr) + 1; ++t)
    if (got == nameValue + "; expires=" + FormatHttpDate(t + days * 86400) + tail) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << got << " is not " << nameValue << " for " << days << " days" << tail;
}

TEST(Login, RightPasswordSetsTheCookiesAndShowsTheStartPage) {
  TTestInstall inst;
  const TCGIResult res = inst.Run(Req("demo+lg", "loginname=owner&loginpass=secret"));
  EXPECT_EQ(res.header("Cache-Control"), "no-cache;");
  const auto cookies = res.headerAll("Set-Cookie");
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_TRUE(IsCookie(cookies[0], "INNAME=owner", 365));
  EXPECT_TRUE(IsCookie(cookies[1], "INPASS=secret", 365));
  const std::string& b = res.body;
  EXPECT_TRUE(Has(b, "function _AddTag(") && Has(b, "function _backupcontent(") && Has(b, "function _getdatetime("));
  EXPECT_TRUE(Has(b, "<tr><td class=\"navicell\">\r\n<form style=\"margin:0px\" action=\"./velm.exe?demo\" "
                     "method=\"post\"><input style=\"width:150px; color:green\" type=\"submit\" value=\"ブログに戻る\">"));
  EXPECT_TRUE(Has(b, "action=\"./velm.exe?demo+lg\" method=\"post\"><input type=\"hidden\" name=\"loginname\" "
                     "value=\"owner\"><input type=\"hidden\" name=\"loginpass\" value=\"secret\">"));
  EXPECT_TRUE(Has(b, "type=\"submit\" value=\"管理ログアウト\"></form>\r\n</td><td class=\"settingcell\">\r\n<ul>\r\n"
                     "  <li><p><span style=\"color:blue; font-weight:bold\">記事の作成</span><br>記事の作成を行います。"));
  const std::string end = "+ATOM</span><br><br>\r\n</td></tr>\r\n</table></div></body></html>\r\n";
  EXPECT_EQ(b.substr(b.size() - end.size()), end);
  // No category: the article entries are hidden; the switched items are off by default.
  for (const char* cmd : {"+wc\"", "+up\"", "+lc\"", "+cm\"", "+cf\"", "カスタムメニュー"}) EXPECT_FALSE(Has(b, cmd)) << cmd;
}

TEST(Login, WrongLoginStoresTheCookiesAndFails) {
  TTestInstall inst;
  for (const char* body : {"loginname=owner&loginpass=Secret", "loginname=Owner&loginpass=secret", "loginname=owner"}) {
    const TCGIResult res = inst.Run(Req("demo+lg", body));
    EXPECT_EQ(res.body, kFailure) << body;
    EXPECT_EQ(res.headerAll("Set-Cookie").size(), 2u);
  }
  const auto c = inst.Run(Req("demo+lg", "loginname=Owner&loginpass=x%22y")).headerAll("Set-Cookie");
  EXPECT_TRUE(IsCookie(c.at(0), "INNAME=Owner", 365) && IsCookie(c.at(1), "INPASS=x%22y", 365));
  // The pseudo-account LOGIN finds the account without regard to case; LG itself does not.
  EXPECT_EQ(inst.Run(Req("LOGIN+lg", "loginname=Owner&loginpass=secret")).body, kFailure);
  EXPECT_TRUE(Has(inst.Run(Req("login+lg", "loginname=owner&loginpass=secret")).body, "./velm.exe?demo+qi\""));
  EXPECT_EQ(inst.Run(Req("demo+lg", "", inst.LoginCookie())).body, kFailure);  // LG checks the fields

  // Stale cookies of a mistyped login give way to this login, escaped so they come back unchanged.
  inst.Write("velmsystem/account.ini", "\"demo\",\"owner\",\"a\"\"<b>&c\"\r\n");
  const std::string b =
      inst.Run(Req("demo+lg", "loginname=owner&loginpass=a%22%3Cb%3E%26c", "INNAME=owner; INPASS=wrong")).body;
  EXPECT_TRUE(Has(b, "<input type=\"hidden\" name=\"loginpass\" value=\"a&quot;&lt;b&gt;&amp;c\">"));
  EXPECT_FALSE(Has(b, "wrong"));
}

TEST(Login, MenuAndStartPageFollowCategoriesSwitchesAndHelpFile) {
  TTestInstall inst;
  inst.Write("velmsystem/owner/category.txt", "\"c1\",\"日記\",\"1\"\r\n");
  inst.Write("velm.ini", "SYSTEMURL=http://127.0.0.1/\r\nUSECUSTOMMENU=on\r\nNAVICELLWIDTH=170\r\n"
                         "ONLINEHELPLINK=<a href=\"help\">help</a>\r\n");
  std::string b = inst.Run(Req("demo+lg", "loginname=owner&loginpass=secret")).body;
  size_t at = 0;
  for (const char* cmd : {"lg", "wc", "up", "lc", "cv", "vv", "hc", "cm", "cb", "td", "pv", "lv", "mv", "jm", "qi"}) {
    at = b.find(std::string("action=\"./velm.exe?demo+") + cmd + "\"", at);
    ASSERT_NE(at, std::string::npos) << cmd;
  }
  EXPECT_FALSE(Has(b, "+cf\"") || Has(b, "カスタムフッタ"));
  EXPECT_TRUE(Has(b, "カスタムメニュー</span><br>メニューのカスタマイズを行います。"));
  EXPECT_TRUE(Has(b, "style=\"width:170px; color:green\"") && Has(b, "\r\n    width:170px;\r\n"));
  EXPECT_TRUE(Has(b, "\r\n<a href=\"help\">help</a>\r\n<ul>\r\n"));

  inst.Write("velm.ini", "SYSTEMURL=http://127.0.0.1/\r\nUSECUSTOMFOOTER=on\r\n");
  inst.Write("velmhelp.txt", "<h1>ヘルプ</h1>\r\n<a href=\"<SystemURL>velm.exe?<VELMID>\">blog <velmid></a>");
  b = inst.Run(Req("demo+lg", "loginname=owner&loginpass=secret")).body;
  EXPECT_TRUE(Has(b, "+cf\"") && !Has(b, "+cm\""));
  EXPECT_TRUE(Has(b, "</td><td class=\"settingcell\">\r\n<h1>ヘルプ</h1>\r\n<a href=\"http://127.0.0.1/velm.exe?demo\">"
                     "blog demo</a>\r\n</td></tr>\r\n</table></div></body></html>\r\n"));
}

TEST(Login, LogoutAndViewPasswordPages) {
  TTestInstall inst;
  TCGIResult res = inst.Run(Req("demo+qi", "", inst.LoginCookie()));
  EXPECT_EQ(res.header("Cache-Control"), "no-cache;");
  auto cookies = res.headerAll("Set-Cookie");
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_TRUE(IsCookie(cookies[0], "INNAME=", 0) && IsCookie(cookies[1], "INPASS=", 0));
  EXPECT_EQ(res.body, kHead + "<title>ログアウトしました</title></head>\r\n<body><div align=\"center\">ログアウトしました<br>"
                              "<a href=\"http://127.0.0.1/velm.exe?demo\">http://127.0.0.1/velm.exe?demo</a></span>"
                              "</body></html>\r\n");

  res = inst.Run(Req("demo+vpw", "sviewpass=open+sesame"));
  cookies = res.headerAll("Set-Cookie");
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_TRUE(IsCookie(cookies[0], "VIEWPASS-demo=open+sesame", 1825, ""));
  EXPECT_EQ(res.body, kHead + "<title>閲覧用パスワードの保存完了</title>\r\n</head><body style=\"font-size:x-small\">"
                              "<div align=\"center\">閲覧用パスワードの保存完了<br><a href=\"http://127.0.0.1/velm.exe?demo\">"
                              "ブログに戻る</a></div></body></html>\r\n");
}

TEST(Login, AdministrationCommandsCheckTheCookies) {
  TTestInstall inst;
  const std::string log = "\"2009/05/17 08:03:09\",\"1.2.3.4\",\"UA\",\"\"\r\n";
  inst.Write("velmsystem/owner/access.log", log);
  // Missing, emptied by QI, wrong in letter case or with a blank: LL and LM answer nothing.
  for (const char* cookie : {"", "INNAME=; INPASS=", "INNAME=Owner; INPASS=secret", "INNAME=owner; INPASS=SECRET",
                             "INNAME=owner ; INPASS=secret"}) {
    for (const char* cmd : {"demo+ll", "demo+lm"}) {
      const TCGIResult res = inst.Run(Req(cmd, "", cookie));
      EXPECT_EQ(res.status + res.body + res.header("Content-Disposition"), "200 OK") << cmd << " " << cookie;
    }
  }
  EXPECT_FALSE(inst.Exists("velmsystem/owner/raccess.txt"));
  EXPECT_EQ(inst.Run(Req("demo+LL", "", "INPASS=secret; INNAME=owner")).body, log);
}

}  // namespace
