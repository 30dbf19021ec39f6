// Feed reader boxes of the gadget column through the real executable, against scripted feed sites.
#include <gtest/gtest.h>
#include <unistd.h>

#include "blog_fixture.h"
#include "loopback_server.h"
#include "net/DBaseSocket.h"
#include "store/file_access.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

std::string Feed(const std::string& title, const std::string& path) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss version=\"2.0\"><channel><title>c</title>"
         "<item><title>" + SjisToUtf8(title) + "</title><link>http://example.jp/" + path +
         "</link><description>d</description><pubDate>Tue, 1 Dec 2026 09:00:00 GMT</pubDate></item></channel></rss>";
}
std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}
std::string Line(const std::string& title, const std::string& path) {
  return "2026/12/01 <a href=\"http://example.jp/" + path + "\" target=\"_blank\">" + title + "</a><br>\r\n";
}
std::string BoxOf(const std::string& items) { return " \r\n" + items + "\r\n \r\n"; }

// The first gadget box of a page.
std::string Gadget(const std::string& page) {
  const std::string open = "<td class=\"subcell\">\r\n<div class=\"sidebox\">";
  const size_t a = page.find(open);
  if (a == std::string::npos) return "(no box)";
  const size_t b = page.find("</div>\r\n", a);
  return page.substr(a + open.size(), b - a - open.size());
}

struct TFeedBlog : TBlogFixture {
  explicit TFeedBlog(const std::string& ini = "") {
    Ini("USESIDEMENURSS=ON\r\n" + ini);
    Style("LAYOUTTYPE=2\r\n");
  }
  void Box(const std::string& text) { Inst.Write(Dir + "sidemenu.txt", "SIDEMENU1START\r\n" + text + "\r\nSIDEMENU1END\r\n"); }
  std::string View() const { return Gadget(Page("demo")); }
};

TEST(FeedBox, TwoKeysFetchOnceAndServeTheirCaches) {
  TLoopbackServer site([](TLoopbackPeer& p, int) {
    const std::string req = p.ReadRequest();
    if (Has(req, "GET /one ")) {
      p.Write(Ok(Feed("一つ目", "1")));
    } else if (Has(req, "GET /moved ")) {
      p.Write("HTTP/1.0 302 Found\r\n\r\n<A HREF=\"/two\">moved</A>");
    } else {
      const std::string body = Feed("二つ目", "2");
      p.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
      for (size_t at = 0; at < body.size(); at += 50) {  // chunks in separate reads
        const std::string part = body.substr(at, 50);
        char size[16];
        snprintf(size, sizeof size, "%zx\r\n", part.size());
        p.Write(size + part + "\r\n");
        p.Pause(2);
      }
      p.Write("0\r\n\r\n");
    }
    EXPECT_TRUE(Has(req, "\r\nUser-Agent: VELM_RSS_READER1.0\r\n")) << req;
  });
  TFeedBlog blog;
  blog.Box("A<RSSCONTENT key=\"one\" src=\"" + site.URL("/one") + "\" cachetime=\"10\">B<rsscontent src=" +
           site.URL("/moved") + " key=two count=1>C");
  const std::string want = "A" + BoxOf(Line("一つ目", "1")) + "B" + BoxOf(Line("二つ目", "2")) + "C";
  const std::string before = FormatStamp(Now()).substr(0, 16);
  EXPECT_EQ(blog.View(), want);
  const std::string after = FormatStamp(Now()).substr(0, 16);
  EXPECT_EQ(site.Connections(), 3);
  EXPECT_EQ(blog.Inst.Read(blog.Dir + "one.lastread"), BoxOf(Line("一つ目", "1")));
  EXPECT_EQ(blog.Inst.Read(blog.Dir + "two.lastread"), BoxOf(Line("二つ目", "2")));
  const std::string read = blog.Inst.Read(blog.Dir + "one.lastrss").substr(0, 16);
  EXPECT_TRUE(read == before || read == after) << read;
  EXPECT_EQ(blog.View(), want);  // from the caches
  EXPECT_EQ(site.Connections(), 3);

  // A cachetime of 10 still caches for 480 minutes; after that the feed is read again.
  blog.Inst.Write(blog.Dir + "one.lastrss", FormatStamp(AddSeconds(Now(), -479 * 60)) + "\r\n");
  blog.Inst.Write(blog.Dir + "two.lastrss", FormatStamp(AddSeconds(Now(), -481 * 60)) + "\r\n");
  blog.Inst.Write(blog.Dir + "two.lastread", "old");
  EXPECT_EQ(blog.View(), want);
  EXPECT_EQ(site.Connections(), 5);  // the move and the feed of key two

  // While another process reads a key, a view shows what the cache holds instead of waiting.
  blog.Inst.Write(blog.Dir + "one.lastrss", FormatStamp(AddSeconds(Now(), -500 * 60)) + "\r\n");
  TLockNote other;
  ASSERT_TRUE(other.TryLock(blog.Inst.AccountFolder() + "one.rsslock"));
  EXPECT_EQ(blog.View(), want);
  EXPECT_EQ(site.Connections(), 5);
  other.Unlock();

  // With the switch off the tags stay as written.
  blog.Ini("");
  EXPECT_EQ(blog.View(), "A<RSSCONTENT key=\"one\" src=\"" + site.URL("/one") + "\" cachetime=\"10\">B<rsscontent src=" +
                             site.URL("/moved") + " key=two count=1>C");
}

TEST(FeedBox, KeysThatCannotNameACacheFile) {
  TFeedBlog blog;
  blog.Box("<RSSCONTENT key=\"\" src=\"http://127.0.0.1:1/\">|<RSSCONTENT key=\"k\">|"
           "<RSSCONTENT key=\"../owner/title\" src=\"http://127.0.0.1:1/\">|<RSSCONTENT key=\"a\\b\" src=\"http://x/\">|"
           "<RSSCONTENT key=\"a:b\" src=\"http://x/\">|<RSSCONTENT key=\".lastrss\" src=\"http://x/\">|<RSSCONTENTS key=x>");
  EXPECT_EQ(blog.View(), "not found key or RSS URL.|not found key or RSS URL.|not found key.|not found key.|not found key.|"
                         "not found key.|<RSSCONTENTS key=x>");
}

TEST(FeedBox, AFailingSourceIsReadAtMostOnceInTenMinutes) {
  int answers = 0;
  TLoopbackServer site([&](TLoopbackPeer& p, int) {
    const std::string req = p.ReadRequest();
    if (Has(req, "GET /html ")) {
      p.Write(Ok("<html><body>no feed</body></html>"));
    } else if (Has(req, "GET /short ")) {
      p.Write("HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n<?xml version=\"1.0\"?><rss version=\"2.0\">");
    } else {
      ++answers;
      p.Write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    }
  });
  TFeedBlog blog;
  const std::string src = site.URL("/missing");
  blog.Box("<RSSCONTENT key=\"gone\" src=\"" + src + "\">");
  EXPECT_EQ(blog.View(), "[" + src + "] is cannot read");
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "gone.lastrss") || blog.Inst.Exists(blog.Dir + "gone.lastread"));
  EXPECT_EQ(blog.View(), "[" + src + "] is cannot read");
  EXPECT_EQ(site.Connections(), 1);  // remembered: not asked again
  blog.Inst.Write(blog.Dir + "gone.rsslock", FormatStamp(AddSeconds(Now(), -11 * 60)) + "\r\n");
  EXPECT_EQ(blog.View(), "[" + src + "] is cannot read");
  EXPECT_EQ(site.Connections(), 2);

  // An answer that is not XML: nothing this time, the read error from the cache afterwards.
  blog.Box("<RSSCONTENT key=\"html\" src=\"" + site.URL("/html") + "\">");
  EXPECT_EQ(blog.View(), "");
  EXPECT_EQ(blog.View(), "<span style=\"color:red\">Read error!<br>Target server is timeout.</span>\r\n");
  EXPECT_EQ(site.Connections(), 3);
  // A body cut short of its length is not cached as if it were the feed.
  blog.Box("<RSSCONTENT key=\"short\" src=\"" + site.URL("/short") + "\">");
  EXPECT_EQ(blog.View(), "[" + site.URL("/short") + "] is cannot read");
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "short.lastread"));
}

TEST(FeedBox, ADeadSourceCostsOneDeadlinePerTenMinutes) {
  TLoopbackServer silent([](TLoopbackPeer& p, int) { p.Hold(); });
  TFeedBlog blog("RSSREADTIMEOUT=2\r\n");
  blog.Inst.Write(blog.Dir + "a.lastread", "stale a");
  // Two dead keys share the page's 2 s; the second is not tried once they are spent.
  blog.Box("<RSSCONTENT key=\"a\" src=\"" + silent.URL("/a") + "\">|<RSSCONTENT key=\"b\" src=\"" + silent.URL("/b") + "\">");
  long long t = MonotonicMs();
  const std::string first = blog.View();
  EXPECT_LT(MonotonicMs() - t, 4000);
  EXPECT_EQ(first, "stale a|[" + silent.URL("/b") + "] is cannot read");
  EXPECT_EQ(silent.Connections(), 1);
  t = MonotonicMs();
  blog.View();
  blog.View();
  EXPECT_LT(MonotonicMs() - t, 3800);  // one deadline of 2 s and two starts
  EXPECT_EQ(silent.Connections(), 2);  // the other key once, then remembered too
}

}  // namespace
