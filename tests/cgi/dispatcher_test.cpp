// The dispatcher through the real executable: the preparation and failure table.
#include <gtest/gtest.h>

#include "blog_fixture.h"

namespace {

const std::string kUnknown = ErrorPage("存在しないアカウントです");

TEST(Dispatcher, MissingSettingsAndAccounts) {
  TBlogFixture blog;
  EXPECT_EQ(blog.Run("nosuch").raw, "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                        std::to_string(kUnknown.size()) + "\r\nContent:\r\n\r\n" + kUnknown);
  for (const char* q : {"Demo", ""}) EXPECT_EQ(blog.Page(q), kUnknown) << q;
  blog.Inst.Write("velm.ini", "charset=euc-jp\r\n");  // the charset of the error page follows the settings
  EXPECT_EQ(blog.Page("x"), ErrorPage("存在しないアカウントです", "euc-jp"));
  blog.Inst.Write("velmsystem/account.ini", "");
  EXPECT_EQ(blog.Page("demo"), ErrorPage("アカウントが未設定です", "euc-jp"));
  blog.Inst.Remove("velmsystem/account.ini");
  EXPECT_EQ(blog.Page("demo"), ErrorPage("アカウントが未設定です", "euc-jp"));
  EXPECT_EQ(blog.Page("ajk"), "");  // AJK ends the request before the account list is read
  blog.Inst.Remove("velm.ini");
  EXPECT_EQ(blog.Page("demo"), ErrorPage("データフォルダが見つからない、又は velm.ini がありません", ""));
}

TEST(Dispatcher, EmptyAnswersForwardingAndLoginPseudoAccount) {
  TBlogFixture blog;
  // Unknown commands and AJK answer an empty page without Content-Length.
  for (const char* q : {"demo+zz+1+2", "AJK", "ajk+anything", "demo+nosuchcommand"})
    EXPECT_EQ(blog.Run(q).raw, "Status: 200 OK\r\nContent-Type: text/html\r\nContent:\r\n\r\n") << q;
  blog.Inst.Write("velmsystem/account.ini",
                  "\"demo\",\"owner\",\"secret\"\r\n\"other\",\"forwarded\",\"pw\",\"\",\"http://fw/\"\r\n");
  const TCGIResult res = blog.Run("LOGIN+zz", "loginname=FORWARDED&loginpass=pw");  // the login name without case
  EXPECT_EQ(res.header("Location") + "|" + res.body, "http://fw/|");
  EXPECT_EQ(blog.Page("LOGIN+zz", "loginname=forwarded&loginpass=PW"), kUnknown);  // password exact
  const TCGIResult ok = blog.Run("login+zz", "loginname=owner&loginpass=secret");
  EXPECT_EQ(ok.body + ok.header("Location"), "");
}

}  // namespace
