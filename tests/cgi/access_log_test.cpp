// The access log through whole requests: download and fold, for the owner only.
#include <gtest/gtest.h>

#include "blog_fixture.h"
#include "text/dates.h"

namespace {

TEST(AccessLog, DownloadAndFoldForTheOwnerOnly) {
  TBlogFixture blog;
  const std::string log = blog.Dir + "access.log", folded = blog.Dir + "raccess.txt";
  const std::string bytes = "\"2009/05/17 08:03:09\",\"1.2.3.4\",\"UA\",\"\"\r\n\r\nnot csv \x82\xA0\ny";
  blog.Inst.Write(log, bytes);
  // Missing, wrong in letter case or with a blank: LL and LM answer nothing.
  for (const char* cookie : {"", "INNAME=Owner; INPASS=secret", "INNAME=owner; INPASS=SECRET", "INNAME=owner ; INPASS=secret"})
    for (const char* cmd : {"demo+ll", "demo+lm"}) {
      const TCGIResult res = blog.Run(cmd, "", cookie);
      EXPECT_EQ(res.status + res.body + res.header("Content-Disposition"), "200 OK") << cmd << " " << cookie;
    }
  EXPECT_FALSE(blog.Inst.Exists(folded));

  const TCGIResult res = blog.Run("demo+LL", "", "INPASS=secret; INNAME=owner");
  const std::string name = "velm_access" + FormatCompactDay(Now()) + ".log";
  EXPECT_EQ(res.header("Content-Type"), "application/x-octet-stream");
  EXPECT_EQ(res.header("Content-Disposition"), "attachment; filename=" + name);
  EXPECT_EQ(res.header("filename"), name);
  EXPECT_EQ(res.body, bytes);
  // The fold counts the lines and removes the log; a later fold replaces the count.
  EXPECT_EQ(blog.Page("demo+lm", "", blog.Inst.LoginCookie()), "");
  EXPECT_FALSE(blog.Inst.Exists(log));
  EXPECT_EQ(blog.Inst.Read(folded), "4");
  blog.Inst.Write(log, "a\r\nb\r\n");
  blog.Page("demo+lm", "", blog.Inst.LoginCookie());
  EXPECT_EQ(blog.Inst.Read(folded), "2");
}

}  // namespace
