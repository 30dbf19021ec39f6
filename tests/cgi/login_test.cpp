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

TCGIRun Post(const std::string& query, const std::string& body, const std::string& cookie = "") {
  TCGIRun r;
  r.query = query;
  r.method = "POST";
  r.body = body;
  r.cookie = cookie;
  return r;
}

TCGIRun Get(const std::string& query, const std::string& cookie = "") {
  TCGIRun r;
  r.query = query;
  r.cookie = cookie;
  return r;
}

bool Contains(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

// A Set-Cookie value for name=value expiring `days` from now (a second or two of slack).
::testing::AssertionResult IsCookie(const std::string& got, const std::string& nameValue, double days,
                                    const std::string& tail) {
  const time_t now = time(nullptr);
  for (time_t t = now - 3; t <= now + 1; ++t) {
    const std::string want = nameValue + "; expires=" + FormatHttpDate(t + static_cast<time_t>(days * 86400)) + tail;
    if (got == want) return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << got << " is not " << nameValue << "; expires=<now + " << days << " days>"
                                       << tail;
}

TEST(Login, RightPasswordSetsTheCookiesAndShowsTheStartPage) {
  TTestInstall inst;
  const TCGIResult res = inst.Run(Post("demo+lg", "loginname=owner&loginpass=secret"));
  EXPECT_EQ(res.status, "200 OK");
  EXPECT_EQ(res.header("Cache-Control"), "no-cache;");
  const auto cookies = res.headerAll("Set-Cookie");
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_TRUE(IsCookie(cookies[0], "INNAME=owner", 365, "; HttpOnly; SameSite=Lax"));
  EXPECT_TRUE(IsCookie(cookies[1], "INPASS=secret", 365, "; HttpOnly; SameSite=Lax"));

  const std::string& b = res.body;
  EXPECT_EQ(b.rfind("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<html lang=\"ja\"><head>\r\n", 0), 0u);
  EXPECT_TRUE(Contains(b, "\r\n<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\">\r\n"));
  EXPECT_TRUE(Contains(b, "function _AddTag(") && Contains(b, "function _backupcontent(") &&
              Contains(b, "function _getdatetime("));
  EXPECT_TRUE(Contains(b, "\r\n<style type=\"text/css\">\r\n<!--\r\n  body {\r\n"));
  EXPECT_TRUE(Contains(b, "</style>\r\n</head><body>\r\n"));
  EXPECT_TRUE(Contains(b, "<tr><td class=\"navicell\">\r\n<form style=\"margin:0px\" action=\"./velm.exe?demo\" "
                          "method=\"post\"><input style=\"width:150px; color:green\" type=\"submit\" value=\"ブログに戻る\">"
                          "</form>\r\n"));
  EXPECT_TRUE(Contains(b, "<form style=\"margin:0px\" action=\"./velm.exe?demo+lg\" method=\"post\">"
                          "<input type=\"hidden\" name=\"loginname\" value=\"owner\">"
                          "<input type=\"hidden\" name=\"loginpass\" value=\"secret\">"
                          "<input style=\"width:150px\" type=\"submit\" value=\"基本説明\"></form>\r\n"));
  EXPECT_TRUE(Contains(b, "action=\"./velm.exe?demo+qi\" method=\"post\"><input style=\"width:150px; color:red\" "
                          "type=\"submit\" value=\"管理ログアウト\"></form>\r\n</td><td class=\"settingcell\">\r\n<ul>\r\n"
                          "  <li><p><span style=\"color:blue; font-weight:bold\">記事の作成</span><br>記事の作成を行います。"
                          "記事を作成する前にカテゴリを作成する必要があります</p></li>\r\n"));
  EXPECT_TRUE(Contains(b, "このブログの RSS2.0 を告知する場合は<br>\r\n<span style=\"color:#dd7700\">"
                          "http://127.0.0.1/velm.exe?demo+RSS20</span><br><br>\r\n"));
  EXPECT_TRUE(Contains(b, "このブログへの URL を告知する場合は<br>\r\n<span style=\"color:blue\">"
                          "http://127.0.0.1/velm.exe?demo</span><br><br>\r\n"));
  const std::string end = "</span><br><br>\r\n</td></tr>\r\n</table></div></body></html>\r\n";
  EXPECT_EQ(b.substr(b.size() - end.size()), end);
  // Without a category the article entries are hidden; the switched items are off by default.
  EXPECT_FALSE(Contains(b, "+wc\"") || Contains(b, "+up\"") || Contains(b, "+lc\""));
  EXPECT_FALSE(Contains(b, "+cm\"") || Contains(b, "+cf\"") || Contains(b, "カスタムメニュー"));
  EXPECT_TRUE(Contains(b, "+jm\"") && Contains(b, "+mv\"") && Contains(b, "+td\""));
}

TEST(Login, WrongPasswordOrLetterCaseStoresTheCookiesAndFails) {
  TTestInstall inst;
  for (const char* body : {"loginname=owner&loginpass=Secret", "loginname=Owner&loginpass=secret",
                           "loginname=owner", "loginname=owner&loginpass=secret+"}) {
    const TCGIResult res = inst.Run(Post("demo+lg", body));
    EXPECT_EQ(res.body, kFailure) << body;
    EXPECT_EQ(res.status, "200 OK");
    const auto cookies = res.headerAll("Set-Cookie");
    ASSERT_EQ(cookies.size(), 2u) << body;
    EXPECT_EQ(cookies[0].substr(0, 7), "INNAME=");
    EXPECT_EQ(cookies[1].substr(0, 7), "INPASS=");
  }
  const auto c = inst.Run(Post("demo+lg", "loginname=Owner&loginpass=x%22y")).headerAll("Set-Cookie");
  EXPECT_TRUE(IsCookie(c[0], "INNAME=Owner", 365, "; HttpOnly; SameSite=Lax"));
  EXPECT_TRUE(IsCookie(c[1], "INPASS=x%22y", 365, "; HttpOnly; SameSite=Lax"));
  // The pseudo-account LOGIN finds the account without regard to case; LG itself does not.
  EXPECT_EQ(inst.Run(Post("LOGIN+lg", "loginname=Owner&loginpass=secret")).body, kFailure);
  EXPECT_NE(inst.Run(Post("login+lg", "loginname=owner&loginpass=secret")).body.find("action=\"./velm.exe?demo+qi\""),
            std::string::npos);
  // The cookies do not log in by themselves: LG checks the posted fields.
  EXPECT_EQ(inst.Run(Get("demo+lg", inst.LoginCookie())).body, kFailure);
}

TEST(Login, StartPageFormCarriesTheLoginJustMade) {
  TTestInstall inst;
  inst.Write("velmsystem/account.ini", "\"demo\",\"owner\",\"a\"\"<b>&c\"\r\n");
  // Stale cookies of a mistyped login are replaced by this login, and the start page's own form
  // must carry the new values, escaped so that they come back unchanged.
  const TCGIResult res =
      inst.Run(Post("demo+lg", "loginname=owner&loginpass=a%22%3Cb%3E%26c", "INNAME=owner; INPASS=wrong"));
  EXPECT_TRUE(Contains(res.body, "<input type=\"hidden\" name=\"loginpass\" value=\"a&quot;&lt;b&gt;&amp;c\">"))
      << res.body.substr(0, 200);
  EXPECT_FALSE(Contains(res.body, "wrong"));
}

TEST(Login, MenuFollowsCategoriesAndSwitches) {
  TTestInstall inst;
  inst.Write("velmsystem/owner/category.txt", "\"c1\",\"日記\",\"1\"\r\n");
  inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nUSECUSTOMMENU=on\r\nNAVICELLWIDTH=170\r\n"
                         "SYSTEMALIGN=left\r\nONLINEHELPLINK=<a href=\"help\">help</a>\r\n");
  inst.Write("velmsystem/owner/style.txt", "NAVICELLWIDTH=99\r\n");
  const std::string b = inst.Run(Post("demo+lg", "loginname=owner&loginpass=secret")).body;
  size_t at = 0;
  for (const char* cmd : {"lg", "wc", "up", "lc", "cv", "vv", "hc", "cm", "cb", "td", "pv", "lv", "mv", "jm", "qi"}) {
    const size_t next = b.find(std::string("action=\"./velm.exe?demo+") + cmd + "\"", at);
    ASSERT_NE(next, std::string::npos) << cmd;
    at = next;
  }
  EXPECT_FALSE(Contains(b, "+cf\""));
  EXPECT_TRUE(Contains(b, "カスタムメニュー</span><br>メニューのカスタマイズを行います。"));
  EXPECT_FALSE(Contains(b, "カスタムフッタ"));
  EXPECT_TRUE(Contains(b, "<div align=\"left\">"));
  EXPECT_TRUE(Contains(b, "style=\"width:170px; color:green\""));
  EXPECT_TRUE(Contains(b, "    width:170px;\r\n"));
  EXPECT_TRUE(Contains(b, "\r\n<a href=\"help\">help</a>\r\n<ul>\r\n"));

  inst.Write("velm.ini", "CHARSET=shift_jis\r\nUSECUSTOMFOOTER=on\r\n");
  const std::string c = inst.Run(Post("demo+lg", "loginname=owner&loginpass=secret")).body;
  EXPECT_TRUE(Contains(c, "+cf\"") && Contains(c, "カスタムフッタ</span>"));
  EXPECT_FALSE(Contains(c, "+cm\""));
}

TEST(Login, HelpFileReplacesTheFeatureList) {
  TTestInstall inst;
  inst.Write("velmhelp.txt", "<h1>ヘルプ</h1>\r\n<a href=\"<SystemURL>velm.exe?<VELMID>\">blog <velmid></a>");
  const std::string b = inst.Run(Post("demo+lg", "loginname=owner&loginpass=secret")).body;
  EXPECT_TRUE(Contains(b, "</td><td class=\"settingcell\">\r\n<h1>ヘルプ</h1>\r\n"
                          "<a href=\"http://127.0.0.1/velm.exe?demo\">blog demo</a>\r\n</td></tr>\r\n"
                          "</table></div></body></html>\r\n"));
  EXPECT_FALSE(Contains(b, "<ul>"));
}

TEST(Login, LogoutClearsTheCookies) {
  TTestInstall inst;
  const TCGIResult res = inst.Run(Get("demo+qi", inst.LoginCookie()));
  EXPECT_EQ(res.header("Cache-Control"), "no-cache;");
  const auto cookies = res.headerAll("Set-Cookie");
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_TRUE(IsCookie(cookies[0], "INNAME=", 0, "; HttpOnly; SameSite=Lax"));
  EXPECT_TRUE(IsCookie(cookies[1], "INPASS=", 0, "; HttpOnly; SameSite=Lax"));
  EXPECT_EQ(res.body,
            "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja\"><head>"
            "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\">\r\n"
            "<title>ログアウトしました</title></head>\r\n<body><div align=\"center\">ログアウトしました<br>"
            "<a href=\"http://127.0.0.1/velm.exe?demo\">http://127.0.0.1/velm.exe?demo</a></span></body></html>\r\n");
}

TEST(Login, AdministrationCommandsCheckTheCookies) {
  TTestInstall inst;
  inst.Write("velmsystem/owner/access.log", "\"2009/05/17 08:03:09\",\"1.2.3.4\",\"UA\",\"\"\r\n");
  const std::string log = inst.Read("velmsystem/owner/access.log");
  // The browser's state after QI: the cookies are gone, or empty until it drops them.
  for (const char* cookie : {"", "INNAME=; INPASS=", "INNAME=Owner; INPASS=secret", "INNAME=owner; INPASS=SECRET",
                             "INNAME=owner", "INNAME=owner ; INPASS=secret"}) {
    for (const char* cmd : {"demo+ll", "demo+lm"}) {
      const TCGIResult res = inst.Run(Get(cmd, cookie));
      EXPECT_EQ(res.status, "200 OK");
      EXPECT_EQ(res.body, "") << cmd << " " << cookie;
      EXPECT_EQ(res.header("Content-Disposition"), "") << cmd << " " << cookie;
    }
  }
  EXPECT_EQ(inst.Read("velmsystem/owner/access.log"), log);
  EXPECT_FALSE(inst.Exists("velmsystem/owner/raccess.txt"));
  EXPECT_EQ(inst.Run(Get("demo+ll", inst.LoginCookie())).body, log);
  EXPECT_EQ(inst.Run(Get("demo+LL", "INPASS=secret; INNAME=owner")).body, log);
}

TEST(ViewPassword, StoresTheCookieForFiveYears) {
  TTestInstall inst;
  const TCGIResult res = inst.Run(Post("demo+vpw", "sviewpass=open+sesame"));
  const auto cookies = res.headerAll("Set-Cookie");
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_TRUE(IsCookie(cookies[0], "VIEWPASS-demo=open+sesame", 1825, ""));
  EXPECT_EQ(res.body,
            "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja\"><head>"
            "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\">\r\n"
            "<title>閲覧用パスワードの保存完了</title>\r\n</head><body style=\"font-size:x-small\"><div align=\"center\">"
            "閲覧用パスワードの保存完了<br><a href=\"http://127.0.0.1/velm.exe?demo\">ブログに戻る</a></div></body></html>\r\n");
}

}  // namespace
