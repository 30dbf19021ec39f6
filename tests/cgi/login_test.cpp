// Login, logout and the view password: cookies and escaping.
#include <gtest/gtest.h>

#include <ctime>

#include "blog_fixture.h"
#include "text/dates.h"

namespace {

const std::string kFailure = ErrorPage("ログイン名又はパスワードが間違っています");
const std::string kLogin = "loginname=owner&loginpass=secret";

// A Set-Cookie value for name=value expiring `days` from now (a few seconds of slack).
::testing::AssertionResult IsCookie(const std::string& got, const std::string& nameValue, int days,
                                    const std::string& tail = "; HttpOnly; SameSite=Lax") {
  for (time_t t = time(nullptr) - 3; t <= time(nullptr) + 1; ++t)
    if (got == nameValue + "; expires=" + FormatHttpDate(t + days * 86400) + tail) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << got << " is not " << nameValue << " for " << days << " days" << tail;
}

TEST(Login, RightAndWrongPasswords) {
  TBlogFixture blog;
  const TCGIResult res = blog.Run("demo+lg", kLogin);
  EXPECT_EQ(res.header("Cache-Control"), "no-cache;");
  auto cookies = res.headerAll("Set-Cookie");
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_TRUE(IsCookie(cookies[0], "INNAME=owner", 365) && IsCookie(cookies[1], "INPASS=secret", 365));
  EXPECT_TRUE(Has(res.body, "action=\"./velm.exe?demo+qi\""));  // the administration frame

  // A wrong login stores its cookies as given and fails; LG checks posted fields, not the cookies.
  for (const char* body : {"loginname=owner&loginpass=Secret", "loginname=Owner&loginpass=secret", "loginname=owner"})
    EXPECT_EQ(blog.Page("demo+lg", body, blog.Inst.LoginCookie()), kFailure) << body;
  cookies = blog.Run("demo+lg", "loginname=Owner&loginpass=x%22y").headerAll("Set-Cookie");
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_TRUE(IsCookie(cookies[0], "INNAME=Owner", 365) && IsCookie(cookies[1], "INPASS=x%22y", 365));
}

// The password is never written into a page: the start page's button posts no login fields, and
// LG without them shows the start page to an owner whose cookies pass, leaving the cookies alone.
TEST(Login, StartPageButtonCarriesNoPassword) {
  TBlogFixture blog;
  blog.Inst.Write("velmsystem/account.ini", "\"demo\",\"owner\",\"a\"\"<b>&c\"\r\n");
  const std::string cookie = "INNAME=owner; INPASS=a%22%3Cb%3E%26c";
  const std::string start = blog.Page("demo+lg", "loginname=owner&loginpass=a%22%3Cb%3E%26c", "INNAME=x; INPASS=y");
  EXPECT_TRUE(Has(start, "<form style=\"margin:0px\" action=\"./velm.exe?demo+lg\" method=\"post\"><input style=\"width:150px\" "
                         "type=\"submit\" value=\"基本説明\"></form>"));
  for (const char* leak : {"loginpass", "a&quot;&lt;b&gt;&amp;c", "a\"<b>&c"}) EXPECT_FALSE(Has(start, leak)) << leak;

  const TCGIResult again = blog.Run("demo+lg", "", cookie);  // the button
  EXPECT_TRUE(again.headerAll("Set-Cookie").empty());
  EXPECT_TRUE(Has(again.body, "<td class=\"settingcell\">"));
  EXPECT_FALSE(Has(again.body, "a&quot;&lt;b&gt;&amp;c"));
  // Without cookies that pass, the button's request fails and changes no cookie either.
  for (const std::string& c : {std::string(), std::string("INNAME=owner; INPASS=wrong")}) {
    const TCGIResult res = blog.Run("demo+lg", "", c);
    EXPECT_EQ(res.body, kFailure) << c;
    EXPECT_TRUE(res.headerAll("Set-Cookie").empty()) << c;
  }
}

// Ten failed checks for an account from one address within ten minutes lock that address out
// of that account for ten minutes, whatever door the guesses come through; the right password
// then fails too, while another address (and another account) are not affected.
TEST(Login, GuessingIsThrottled) {
  TBlogFixture blog;
  blog.Inst.Write("velmsystem/account.ini", "\"demo\",\"owner\",\"secret\"\r\n\"two\",\"other\",\"pw\"\r\n");
  auto run = [&](const std::string& query, const std::string& body, const std::string& cookie, const std::string& addr) {
    TCGIRun r;
    r.query = query;
    r.method = "POST";
    r.body = body;
    r.cookie = cookie;
    r.remoteAddr = addr;
    return blog.Inst.Run(r);
  };
  auto loggedIn = [&](const std::string& addr, const std::string& account = "demo", const std::string& name = "owner",
                      const std::string& pass = "secret") {
    return Has(run(account + "+lg", "loginname=" + name + "&loginpass=" + pass, "", addr).body, "settingcell");
  };
  const std::string attacker = "203.0.113.7";
  // Nine wrong guesses through LG, the LOGIN pseudo-account and an owner command's cookies...
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(loggedIn(attacker, "demo", "owner", "guess" + std::to_string(i)));
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(Has(run("login+lg", "loginname=OWNER&loginpass=g" + std::to_string(i), "", attacker).body,
                    "存在しないアカウントです"));
  auto download = [&](const std::string& cookie, const std::string& addr) {
    return !run("demo+ll", "", cookie, addr).header("Content-Disposition").empty();
  };
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(download("INNAME=owner; INPASS=c" + std::to_string(i), attacker));
  // ...and requests that present no password count for nothing (a logged-out owner keeps the name).
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(download("", attacker));
  for (int i = 0; i < 12; ++i) EXPECT_FALSE(download("INNAME=owner; INPASS=", attacker));
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(loggedIn(attacker, "demo", "owner", ""));
  EXPECT_TRUE(loggedIn(attacker));  // the ninth failure has not locked
  EXPECT_FALSE(loggedIn(attacker, "demo", "owner", "tenth"));
  EXPECT_FALSE(loggedIn(attacker));  // locked: the right password fails without being compared
  EXPECT_FALSE(download(blog.Inst.LoginCookie(), attacker));
  EXPECT_TRUE(Has(run("demo+lp", "", blog.Inst.LoginCookie(), attacker).body, "記事の閲覧は禁止されています"));
  EXPECT_TRUE(download(blog.Inst.LoginCookie(), "198.51.100.1"));
  EXPECT_TRUE(loggedIn("198.51.100.1"));
  EXPECT_TRUE(loggedIn(attacker, "two", "other", "pw"));
  EXPECT_TRUE(Has(run("login+lg", "loginname=other&loginpass=pw", "", attacker).body, "settingcell"));

  // The counts are one small line per address; the lock ends after ten minutes.
  const std::string guard = blog.Dir + "loginguard.txt";
  TStringList lines = SplitLines(blog.Inst.Read(guard));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(StartsWith(lines[0], "\"" + attacker + "\",\"\",\"")) << lines[0];
  const long long until = std::stoll(lines[0].substr(lines[0].rfind(",\"") + 2));
  EXPECT_NEAR(static_cast<double>(until - time(nullptr)), 600, 5);
  blog.Inst.Write(guard, "\"" + attacker + "\",\"\",\"" + std::to_string(time(nullptr) - 1) + "\"\r\n");
  EXPECT_TRUE(loggedIn(attacker));
  // Failures older than ten minutes do not count.
  std::string old;
  for (int i = 0; i < 9; ++i) old += std::to_string(time(nullptr) - 700 + i) + (i < 8 ? " " : "");
  blog.Inst.Write(guard, "\"" + attacker + "\",\"" + old + "\",\"0\"\r\n");
  EXPECT_FALSE(loggedIn(attacker, "demo", "owner", "again"));
  EXPECT_TRUE(loggedIn(attacker));
}

// The file stays small: at most 256 addresses, the least recent ones dropped first.
TEST(Login, GuardFileIsBounded) {
  TBlogFixture blog;
  std::string lines;
  const long long now = time(nullptr);
  for (int i = 0; i < 300; ++i)
    lines += "\"10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250) + "\",\"" + std::to_string(now - 300 + i) + "\",\"0\"\r\n";
  blog.Inst.Write(blog.Dir + "loginguard.txt", lines);
  TCGIRun r;
  r.query = "demo+lg";
  r.method = "POST";
  r.body = "loginname=owner&loginpass=x";
  r.remoteAddr = "192.0.2.1";
  blog.Inst.Run(r);
  const TStringList kept = SplitLines(blog.Inst.Read(blog.Dir + "loginguard.txt"));
  ASSERT_EQ(kept.size(), 256u);
  EXPECT_TRUE(StartsWith(kept.back(), "\"192.0.2.1\""));
  EXPECT_TRUE(StartsWith(kept.front(), "\"10.0.0.45\""));  // the 45 least recent went
}

TEST(Login, LogoutAndViewPasswordCookies) {
  TBlogFixture blog;
  TCGIResult res = blog.Run("demo+qi", "", blog.Inst.LoginCookie());
  EXPECT_EQ(res.header("Cache-Control"), "no-cache;");
  auto cookies = res.headerAll("Set-Cookie");
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_TRUE(IsCookie(cookies[0], "INNAME=", 0) && IsCookie(cookies[1], "INPASS=", 0));
  res = blog.Run("demo+vpw", "sviewpass=open+sesame");
  cookies = res.headerAll("Set-Cookie");
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_TRUE(IsCookie(cookies[0], "VIEWPASS-demo=open+sesame", 1825, ""));
}

// Commands that change cookies or data refuse what a page of another site sends through the
// owner's browser; the same host (any spelling of its default port) and no header at all pass.
TEST(Login, CrossSiteRequestsChangeNothing) {
  TBlogFixture blog;
  auto run = [&](const std::string& query, const std::string& origin, const std::string& referer) {
    TCGIRun r;
    r.query = query;
    r.method = "POST";
    r.body = kLogin;
    r.cookie = blog.Inst.LoginCookie();
    r.origin = origin;
    r.referer = referer;
    return blog.Inst.Run(r);
  };
  const std::string refused = "他のサイトからの要求は受け付けません";
  for (const char* q : {"demo+qi", "demo+lg"}) {
    for (auto [origin, referer] : std::vector<std::pair<std::string, std::string>>{
             {"http://evil.example", ""}, {"", "http://evil.example/page"}, {"null", ""},
             {"http://127.0.0.1.evil.example", ""}, {"", "http://127.0.0.1@evil.example/"},
             {"http://evil.example", "http://127.0.0.1/velm.exe"}}) {
      const TCGIResult res = run(q, origin, referer);
      EXPECT_TRUE(Has(res.body, refused)) << q << " " << origin << referer;
      EXPECT_TRUE(res.headerAll("Set-Cookie").empty()) << q << " " << origin << referer;
    }
    for (auto [origin, referer] : std::vector<std::pair<std::string, std::string>>{
             {"", ""}, {"http://127.0.0.1", ""}, {"", "http://127.0.0.1/velm.exe?demo"}, {"HTTP://127.0.0.1:80", ""},
             {"", "http://evil@127.0.0.1/x"}}) {
      const TCGIResult res = run(q, origin, referer);
      EXPECT_FALSE(Has(res.body, refused)) << q << " " << origin << referer;
      EXPECT_EQ(res.headerAll("Set-Cookie").size(), 2u) << q << " " << origin << referer;
    }
  }
  // Pages that change nothing are shown whoever links to them.
  EXPECT_TRUE(Has(run("demo+dv", "http://evil.example", "").body, "<html"));
}

}  // namespace
