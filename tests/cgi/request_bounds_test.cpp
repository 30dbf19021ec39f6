// Bounded requests: bodies larger than their command can use are refused unread, parsing costs
// little more than the body, and the client's own values come only from where the server puts them.
#include <gtest/gtest.h>

#include "blog_fixture.h"

namespace {

const std::string kTooLarge = "送信されたデータが大きすぎます";

TCGIResult Post(const TBlogFixture& blog, const std::string& query, std::string body, long long length = -2) {
  TCGIRun r;
  r.measureMemory = true;
  r.query = query;
  r.method = "POST";
  r.body = std::move(body);
  r.contentLength = length;
  return blog.Inst.Run(r);
}

TEST(RequestBounds, BodiesBeyondTheCommandsLimitAreRefusedUnread) {
  TBlogFixture blog;
  blog.Category("c1", "日記");
  blog.Article("c1", Stamp(1), "記事", "本文");
  // Memory is compared with what the same page costs without a body (a sanitizer adds its own).
  const long base = Post(blog, "demo+dv", "a=1").maxRssKb;
  // A form page takes 2 MB; 20 MB of tiny fields is refused before a byte is read or parsed.
  std::string fields;
  for (int i = 0; i < 10 * 1024 * 1024; ++i) fields += "&a";
  TCGIResult res = Post(blog, "demo+dv", fields);
  EXPECT_EQ(res.status, "413 Request Entity Too Large");
  EXPECT_TRUE(Has(res.body, kTooLarge));
  EXPECT_LT(res.maxRssKb - base, 4 * 1024);
  // The announced length decides, however little arrives.
  EXPECT_EQ(Post(blog, "demo+dv", "a=1", 3 * 1024 * 1024).status, "413 Request Entity Too Large");
  // Just within the limit, a million fields are parsed in a few times their size.
  fields.resize(2 * 1024 * 1024);
  res = Post(blog, "demo+dv", fields);
  EXPECT_EQ(res.status, "200 OK");
  EXPECT_TRUE(Has(res.body, "記事"));
  EXPECT_LT(res.maxRssKb - base, 12 * 1024);
  // The LOGIN pseudo-account reads the fields before an account is chosen: refused as well.
  EXPECT_EQ(Post(blog, "login+lg", "loginname=owner&loginpass=secret&" + std::string(3 << 20, 'x')).status,
            "413 Request Entity Too Large");
}

TEST(RequestBounds, LimitsFollowTheKindOfBody) {
  TBlogFixture blog;
  blog.Inst.Write("velmsystem/account.ini", "\"demo\",\"owner\",\"secret\"\r\n\"big\",\"bigone\",\"pw\",\"1\"\r\n");
  const std::string mb(1024 * 1024, 'x');
  // Uploads: the settings' largest upload and 64 KB (512000 by default); the upload-space flag
  // lifts it to 24 MB; the JPEG editor takes 5 MB and 64 KB.
  EXPECT_EQ(Post(blog, "demo+iu", mb).status, "413 Request Entity Too Large");
  EXPECT_NE(Post(blog, "demo+iu", std::string(512000 + 60000, 'x')).status, "413 Request Entity Too Large");
  EXPECT_NE(Post(blog, "big+iu", mb).status, "413 Request Entity Too Large");
  EXPECT_NE(Post(blog, "demo+ld", mb).status, "413 Request Entity Too Large");  // a banner: 1024000 by default
  EXPECT_EQ(Post(blog, "big+iu", "x", 25 * 1024 * 1024).status, "413 Request Entity Too Large");
  blog.Ini("ATTACHMAXSIZE=2000000\r\n");
  EXPECT_NE(Post(blog, "demo+iu", mb).status, "413 Request Entity Too Large");
  EXPECT_NE(Post(blog, "demo+jd", "x", 5 * 1024 * 1024).status, "413 Request Entity Too Large");
  EXPECT_EQ(Post(blog, "demo+jd", "x", 6 * 1024 * 1024).status, "413 Request Entity Too Large");
  // A ping over 64 KB gets the trackback failure answer.
  const TCGIResult ping = Post(blog, "demo+tb+" + std::string(40, 'a'), "url=http://x/&excerpt=" + std::string(65536, 'e'));
  EXPECT_EQ(ping.status, "200 OK");
  EXPECT_TRUE(Has(ping.body, "<error>1</error>"));
}

// The address comes only from REMOTE_ADDR (a Remote-Addr: request header arrives as
// HTTP_REMOTE_ADDR), the agent and referrer at most 1,023 bytes each, and no value can end a
// field of the access log early.
TEST(RequestBounds, ClientValuesInTheAccessLog) {
  TBlogFixture blog;
  TCGIRun r;
  r.query = "demo";
  r.remoteAddr = "";
  r.env = {{"HTTP_REMOTE_ADDR", "6.6.6.6"}, {"REMOTE_HOST", "spoof"}};
  r.userAgent = std::string(3000, 'u') + "\"";
  r.referer = "http://ref/?q=\"x\",\"y" + std::string(3000, 'r');
  blog.Inst.Run(r);
  const auto lines = RecordsOf(blog.Inst.Read(blog.Dir + "access.log"));
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].size(), 4u);
  EXPECT_EQ(lines[0][1], "");
  EXPECT_EQ(lines[0][2], std::string(1023, 'u'));
  EXPECT_EQ(lines[0][3], "http://ref/?q=&quot;x&quot;,&quot;y" + std::string(1023 - 20, 'r'));
}

}  // namespace
