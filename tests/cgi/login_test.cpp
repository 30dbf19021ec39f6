// Login, logout and the view password: cookies and escaping.
#include <gtest/gtest.h>

#include <ctime>

#include "blog_fixture.h"
#include "text/dates.h"

namespace {

const std::string kFailure =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja\"><head>"
    "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\"><title>VELM SYSTEM ERROR</title>"
    "</head><body><span style=\"color:red\">ログイン名又はパスワードが間違っています</span></body></html>";
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

  // A wrong login stores its cookies as given and fails; LG checks the fields, not the cookies.
  for (const char* body : {"loginname=owner&loginpass=Secret", "loginname=Owner&loginpass=secret", "loginname=owner"})
    EXPECT_EQ(blog.Page("demo+lg", body), kFailure) << body;
  cookies = blog.Run("demo+lg", "loginname=Owner&loginpass=x%22y").headerAll("Set-Cookie");
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_TRUE(IsCookie(cookies[0], "INNAME=Owner", 365) && IsCookie(cookies[1], "INPASS=x%22y", 365));
  EXPECT_EQ(blog.Page("demo+lg", "", blog.Inst.LoginCookie()), kFailure);

  // Stale cookies of a mistyped login give way to this login, escaped so they come back unchanged.
  blog.Inst.Write("velmsystem/account.ini", "\"demo\",\"owner\",\"a\"\"<b>&c\"\r\n");
  const std::string b = blog.Page("demo+lg", "loginname=owner&loginpass=a%22%3Cb%3E%26c", "INNAME=owner; INPASS=wrong");
  EXPECT_TRUE(Has(b, "<input type=\"hidden\" name=\"loginname\" value=\"owner\"><input type=\"hidden\" name=\"loginpass\" "
                     "value=\"a&quot;&lt;b&gt;&amp;c\">"));
  EXPECT_FALSE(Has(b, "wrong"));
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
