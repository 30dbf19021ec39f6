// The view password check and form cell.
#include <gtest/gtest.h>

#include "module_fixture.h"

namespace fs = std::filesystem;

TEST(ViewPassword, CookieOfTheAccountMustEqualTheSetting) {
  const std::string root = MakeTempFolder("velm-viewpass");
  auto ok = [&](const char* cookie, const std::string& password) {
    setenv("HTTP_COOKIE", cookie, 1);
    TModuleFixture f(root);
    f.Module.Css.VIEWPASSWORD = password;
    return f.Module.ViewPasswordOK();
  };
  EXPECT_TRUE(ok("", ""));
  EXPECT_FALSE(ok("", "open sesame"));
  EXPECT_TRUE(ok("VIEWPASS-demo=open+sesame", "open sesame"));
  EXPECT_FALSE(ok("VIEWPASS-demo=Open+sesame", "open sesame"));
  EXPECT_FALSE(ok("VIEWPASS-other=open+sesame", "open sesame"));
  EXPECT_TRUE(ok("INNAME=x; VIEWPASS-demo=a%2Cb", "a,b"));
  unsetenv("HTTP_COOKIE");

  TModuleFixture f(root);
  EXPECT_EQ(f.Module.ViewPasswordCell(),
            "<td>このブログは閲覧にパスワードが必要です<br><form style=\"margin:0px\" action=\"./velm.exe?demo+vpw\" "
            "method=\"post\">閲覧用パスワードの入力<input type=\"password\" name=\"sviewpass\" value=\"\">"
            "<input type=\"submit\" value=\"閲覧\"></form></td>");
  fs::remove_all(root);
}
