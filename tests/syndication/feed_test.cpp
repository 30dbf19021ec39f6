// Feeds (RSS 1.0, RSS 2.0, Atom) through the real executable, and their text helpers.
#include <gtest/gtest.h>

#include "cgi_harness.h"
#include "store/DCSVList.h"
#include "store/articles.h"
#include "syndication/feed.h"
#include "text/DString.h"
#include "text/jconvert.h"

namespace {

const std::string kUrl = "http://127.0.0.1/velm.exe?demo";

std::string Doc(const TStringList& lines) { return JoinLines(lines) + "\r\n"; }

// A blog of five index lines: three public articles (newest first: id5 in category c3, id2 in a
// category that does not exist, id1 in c1), one in the hidden category c2, one hidden article.
class Feed : public ::testing::Test {
protected:
  void SetUp() override {
    id1 = ArticleIdOf("2007/01/05 13:04:05");
    id2 = ArticleIdOf("2007/02/10 08:00:00");
    id3 = ArticleIdOf("2007/02/11 08:00:00");
    id4 = ArticleIdOf("2007/02/12 08:00:00");
    id5 = ArticleIdOf("2007/03/15 23:59:59");
    inst.Write(kAcc + "title.txt", "日記 & <b>ノート</b>\r\n<i>毎日</i>の\"記録\"\r\n");
    inst.Write(kAcc + "category.txt",
               "\"c1\",\"旅行\",\"1\"\r\n\"c2\",\"秘密\",\"0\"\r\n\"c3\",\"料理 &amp; 酒\",\"1\"\r\n");
    inst.Write(kAcc + "cindex.txt",
               Line("c1", id1, "2007/01/05 13:04:05", "一月", "1") + Line("nosuch", id2, "2007/02/10 08:00:00", "二月", "1") +
                   Line("c2", id3, "2007/02/11 08:00:00", "秘密の記事", "1") +
                   Line("c1", id4, "2007/02/12 08:00:00", "下書き", "0") +
                   Line("c3", id5, "2007/03/15 23:59:59", "<b>三月</b>の&quot;花&quot;", "1"));
    inst.Write(kAcc + id1 + ".txt", "あいうえお<br>\r\nかきくけこ\tさしすせそ\r\n");
    inst.Write(kAcc + id3 + ".txt", "秘密");
    inst.Write(kAcc + id4 + ".txt", "下書き");
    inst.Write(kAcc + id5 + ".txt", "A一二三四五六七八九十一二三四五六七八九十");
  }
  static std::string Line(const std::string& cat, const std::string& id, const std::string& date,
                          const std::string& title, const std::string& visible) {
    return MakeRecordLine({cat, id, date, date, title, visible}) + "\r\n";
  }
  // The body of a feed request, back in the system code page; the header is checked on the way.
  std::string Get(const std::string& query, const std::string& cookie = "") {
    TCGIRun r;
    r.query = query;
    r.cookie = cookie;
    const TCGIResult res = inst.Run(r);
    EXPECT_EQ(res.header("Content-Type"), "application/xml") << query;
    EXPECT_TRUE(IsValidUtf8(res.body)) << query;
    return Utf8ToSjis(res.body);
  }

  const std::string kAcc = "velmsystem/owner/";
  TTestInstall inst;
  std::string id1, id2, id3, id4, id5;
};

TEST_F(Feed, Rss10Document) {
  const std::string desc5 = "A一二三四五六七八九十一二三四五六七八九...";  // 39 bytes: no half character
  const TStringList head = {
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>",
      "<rdf:RDF xmlns=\"http://purl.org/rss/1.0/\"",
      "         xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"",
      "         xmlns:dc=\"http://purl.org/dc/elements/1.1/\"",
      "         xml:lang=\"ja\">",
      "  <channel rdf:about=\"" + kUrl + "+RSS\">",
      "   <title>日記 &amp; &lt;b&gt;ノート&lt;/b&gt;</title>",
      "   <link>" + kUrl + "</link>",
      "   <description>毎日の&quot;記録&quot;</description>",
      "   <items>",
      "    <rdf:Seq>"};
  TStringList d = head;
  for (const std::string& id : {id5, id2, id1}) d.push_back("      <rdf:li resource=\"" + kUrl + "+sl+" + id + "\" />");
  d.insert(d.end(), {"    </rdf:Seq>", "   </items>", "  </channel>"});
  auto item = [&](const std::string& id, const std::string& title, const std::string& desc, const std::string& cat,
                  const std::string& date) {
    d.insert(d.end(), {"  <item rdf:about=\"" + kUrl + "+sl+" + id + "\">", "    <title>" + title + "</title>",
                       "    <link>" + kUrl + "+sl+" + id + "</link>", "    <description>" + desc + "</description>",
                       "    <dc:creator>日記 &amp; &lt;b&gt;ノート&lt;/b&gt;</dc:creator>",
                       "    <dc:subject>" + cat + "</dc:subject>", "    <dc:date>" + date + "</dc:date>", "  </item>"});
  };
  item(id5, "&lt;b&gt;三月&lt;/b&gt;の&amp;quot;花&amp;quot;", desc5, "料理 &amp;amp; 酒", "2007-03-15T23:59:59+09:00");
  item(id2, "二月", "", "Any Category", "2007-02-10T08:00:00+09:00");
  item(id1, "一月", "あいうえおかきくけこさしすせそ", "旅行", "2007-01-05T13:04:05+09:00");
  d.push_back("</rdf:RDF>");
  EXPECT_EQ(Get("demo+rss"), Doc(d));

  // The long form: whole texts; the channel still names the short feed.
  const std::string longDoc = Get("demo+rssl");
  EXPECT_NE(longDoc.find("<description>A一二三四五六七八九十一二三四五六七八九十</description>"), std::string::npos);
  EXPECT_NE(longDoc.find("<channel rdf:about=\"" + kUrl + "+RSS\">"), std::string::npos);

  // A category feed keeps the whole blog's channel; a hidden or unknown category is an empty feed.
  TStringList cat = head;
  cat.push_back("      <rdf:li resource=\"" + kUrl + "+sl+" + id1 + "\" />");
  cat.insert(cat.end(), {"    </rdf:Seq>", "   </items>", "  </channel>"});
  cat.insert(cat.end(), d.end() - 9, d.end());
  EXPECT_EQ(Get("demo+rss+c1"), Doc(cat));
  TStringList empty = head;
  empty.insert(empty.end(), {"    </rdf:Seq>", "   </items>", "  </channel>", "</rdf:RDF>"});
  EXPECT_EQ(Get("demo+rss+c2"), Doc(empty));
  EXPECT_EQ(Get("demo+RSS+zz"), Doc(empty));
}

TEST_F(Feed, Rss20Document) {
  const TStringList head = {"<?xml version=\"1.0\" encoding=\"utf-8\" ?>",
                            "<rss version=\"2.0\">",
                            " <channel>",
                            "  <title>日記 &amp; ノート</title>",
                            "  <link>" + kUrl + "</link>",
                            "  <description>毎日の&quot;記録&quot;</description>",
                            "  <generator>Weblog System VELM 1.23</generator>",
                            "  <docs>https://cyber.harvard.edu/rss/rss.html</docs>",
                            "  <language>ja</language>"};
  TStringList d = head;
  d.insert(d.end(), {"  <item>", "   <title>三月の&amp;quot;花&amp;quot;</title>",
                     "   <description>A一二三四五六七八九十一二三四五六七八九...</description>",
                     "   <category>料理 &amp;amp; 酒</category>", "   <link>" + kUrl + "+sl+" + id5 + "</link>",
                     "   <pubDate>Thu, 15 Mar 2007 23:59:59 +0900</pubDate>", "  </item>"});
  // No category element for a category that does not exist.
  d.insert(d.end(), {"  <item>", "   <title>二月</title>", "   <description></description>",
                     "   <link>" + kUrl + "+sl+" + id2 + "</link>", "   <pubDate>Sat, 10 Feb 2007 08:00:00 +0900</pubDate>",
                     "  </item>"});
  d.insert(d.end(), {"  <item>", "   <title>一月</title>", "   <description>あいうえおかきくけこさしすせそ</description>",
                     "   <category>旅行</category>", "   <link>" + kUrl + "+sl+" + id1 + "</link>",
                     "   <pubDate>Fri,  5 Jan 2007 13:04:05 +0900</pubDate>", "  </item>"});
  d.insert(d.end(), {" </channel>", "</rss>"});
  EXPECT_EQ(Get("demo+rss20"), Doc(d));
  EXPECT_NE(Get("demo+rssl20").find("<description>A一二三四五六七八九十一二三四五六七八九十</description>"),
            std::string::npos);

  TStringList cat = head;
  cat.insert(cat.end(), d.end() - 9, d.end());
  EXPECT_EQ(Get("demo+rss20+c1"), Doc(cat));
  TStringList empty = head;
  empty.insert(empty.end(), {" </channel>", "</rss>"});
  EXPECT_EQ(Get("demo+rss20+c2"), Doc(empty));
}

TEST_F(Feed, AtomDocument) {
  const TStringList head = {"<?xml version=\"1.0\" encoding=\"utf-8\"?>",
                            "<feed xmlns=\"http://www.w3.org/2005/Atom\">",
                            " <link rel=\"self\" type=\"application/atom+xml\" href=\"" + kUrl + "+atoml\" />",
                            " <title>日記 &amp; ノート</title>",
                            " <link href=\"" + kUrl + "\" />",
                            " <id>" + kUrl + "</id>"};
  TStringList d = head;
  d.push_back(" <updated>2007-03-15T23:59:59+09:00</updated>");
  auto entry = [&](TStringList& out, const std::string& id, const std::string& title, const std::string& desc,
                   const std::string& cat, const std::string& date) {
    out.insert(out.end(), {" <entry>", "  <title type=\"html\">" + title + "</title>", "  <id>" + kUrl + "+sl+" + id + "</id>",
                           "  <author>", "   <name>日記 &amp; ノート</name>", "   <uri>" + kUrl + "</uri>", "  </author>",
                           "   <content type=\"html\" xml:lang=\"ja\">" + desc + "</content>"});
    if (!cat.empty()) out.push_back("   <category term=\"" + cat + "\" label=\"" + cat + "\" />");
    out.insert(out.end(), {"   <link rel=\"alternate\" type=\"text/html\" href=\"" + kUrl + "+sl+" + id + "\" />",
                           "   <updated>" + date + "</updated>", " </entry>"});
  };
  entry(d, id5, "三月の&amp;quot;花&amp;quot;", "A一二三四五六七八九十一二三四五六七八九...", "料理 &amp;amp; 酒",
        "2007-03-15T23:59:59+09:00");
  entry(d, id2, "二月", "", "", "2007-02-10T08:00:00+09:00");
  entry(d, id1, "一月", "あいうえおかきくけこさしすせそ", "旅行", "2007-01-05T13:04:05+09:00");
  d.push_back("</feed>");
  EXPECT_EQ(Get("demo+atom"), Doc(d));
  // The long form and a category feed: same self link, the category's newest date.
  const std::string longDoc = Get("demo+atoml+c3");
  TStringList cat = head;
  cat.push_back(" <updated>2007-03-15T23:59:59+09:00</updated>");
  entry(cat, id5, "三月の&amp;quot;花&amp;quot;", "A一二三四五六七八九十一二三四五六七八九十", "料理 &amp;amp; 酒",
        "2007-03-15T23:59:59+09:00");
  cat.push_back("</feed>");
  EXPECT_EQ(longDoc, Doc(cat));
  // No articles: no feed-level date, no entries.
  TStringList empty = head;
  empty.push_back("</feed>");
  EXPECT_EQ(Get("demo+atom+c2"), Doc(empty));
}

TEST_F(Feed, EmptyBlogWithoutTitleFile) {
  inst.Remove(kAcc + "title.txt");
  inst.Remove(kAcc + "cindex.txt");
  inst.Remove(kAcc + "category.txt");
  EXPECT_EQ(Get("demo+rss20"), Doc({"<?xml version=\"1.0\" encoding=\"utf-8\" ?>", "<rss version=\"2.0\">", " <channel>",
                                    "  <title>No Title</title>", "  <link>" + kUrl + "</link>",
                                    "  <description></description>",
                                    "  <generator>Weblog System VELM 1.23</generator>",
                                    "  <docs>https://cyber.harvard.edu/rss/rss.html</docs>",
                                    "  <language>ja</language>", " </channel>", "</rss>"}));
  const std::string rss = Get("demo+rssl");
  EXPECT_NE(rss.find("   <title>No Title</title>\r\n   <link>" + kUrl + "</link>\r\n   <description></description>\r\n"
                     "   <items>\r\n    <rdf:Seq>\r\n    </rdf:Seq>\r\n   </items>\r\n  </channel>\r\n</rdf:RDF>\r\n"),
            std::string::npos)
      << rss;
  EXPECT_EQ(Get("demo+atoml").find("<updated>"), std::string::npos);
}

TEST_F(Feed, ItemCountAndDescriptionLength) {
  auto descriptions = [&](const std::string& query) {
    TStringList out;
    for (const std::string& line : SplitLines(Get(query)))
      if (line.compare(0, 16, "   <description>") == 0) out.push_back(line);
    return out;
  };
  // At least one item whatever the setting; otherwise the setting's count.
  inst.Write(kAcc + "style.txt", "CONTENTVIEWCOUNT=0\r\n");
  EXPECT_EQ(descriptions("demo+rss20").size(), 1u);
  inst.Write(kAcc + "style.txt", "CONTENTVIEWCOUNT=-3\r\n");
  EXPECT_EQ(descriptions("demo+rss20").size(), 1u);
  inst.Write(kAcc + "style.txt", "CONTENTVIEWCOUNT=2\r\n");
  EXPECT_EQ(descriptions("demo+rss20").size(), 2u);

  // A length below 10 counts as 10; a text of exactly that length is cut too.
  inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nRSSDESCLENGTH=5\r\n");
  inst.Write(kAcc + id5 + ".txt", "0123456789");
  inst.Write(kAcc + id2 + ".txt", "012345678");
  EXPECT_EQ(descriptions("demo+rss20"), (TStringList{"   <description>0123456789...</description>",
                                                     "   <description>012345678</description>"}));
  // An entity of the escaped text is never cut in half; a character neither.
  inst.Write(kAcc + id5 + ".txt", "01234567&9");
  inst.Write(kAcc + id2 + ".txt", "012345678漢字");
  EXPECT_EQ(descriptions("demo+rss20"), (TStringList{"   <description>01234567...</description>",
                                                     "   <description>012345678...</description>"}));
  inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nRSSDESCLENGTH=15\r\n");
  EXPECT_EQ(descriptions("demo+rss20")[0], "   <description>01234567&amp;9</description>");
  EXPECT_EQ(descriptions("demo+rssl20")[1], "   <description>012345678漢字</description>");
}

TEST_F(Feed, ViewPasswordKeepsTheArticlesOut) {
  inst.Write(kAcc + "style.txt", "VIEWPASSWORD=pw\r\n");
  for (const char* q : {"demo+rss", "demo+rssl20", "demo+atoml"}) {
    const std::string doc = Get(q);
    EXPECT_NE(doc.find("日記 &amp;"), std::string::npos) << q;
    EXPECT_EQ(doc.find("<item>"), std::string::npos) << q;
    EXPECT_EQ(doc.find("<item rdf"), std::string::npos) << q;
    EXPECT_EQ(doc.find("<rdf:li"), std::string::npos) << q;
    EXPECT_EQ(doc.find("<entry>"), std::string::npos) << q;
    EXPECT_EQ(doc.find("<updated>"), std::string::npos) << q;
  }
  EXPECT_EQ(Get("demo+rss20", "VIEWPASS-demo=wrong").find("<item>"), std::string::npos);
  EXPECT_NE(Get("demo+rss20", "VIEWPASS-demo=pw").find("<item>"), std::string::npos);
}

TEST_F(Feed, DatesAreTheLastSavedTime) {
  // The article date (field 2) orders the archives; feeds carry the last save (field 3).
  inst.Write(kAcc + "cindex.txt",
             MakeRecordLine({"c1", id1, "2007/01/05 13:04:05", "2007/01/05 13:04:05", "一月", "1"}) + "\r\n" +
                 MakeRecordLine({"c1", id2, "2007/02/10 08:00:00", "2008/12/01 07:06:05", "二月", "1"}) + "\r\n" +
                 MakeRecordLine({"c1", id5, "2007/03/15 23:59:59", "bad", "三月"}) + "\r\n");
  auto lines = [&](const std::string& query, const std::string& open) {
    TStringList out;
    for (const std::string& line : SplitLines(Get(query)))
      if (line.compare(0, open.size(), open) == 0) out.push_back(line);
    return out;
  };
  EXPECT_EQ(lines("demo+rss", "    <dc:date>"),
            (TStringList{"    <dc:date>badT+09:00</dc:date>", "    <dc:date>2008-12-01T07:06:05+09:00</dc:date>",
                         "    <dc:date>2007-01-05T13:04:05+09:00</dc:date>"}));
  EXPECT_EQ(lines("demo+rss20", "   <pubDate>"),
            (TStringList{"   <pubDate>Tue,  1 Jan 2008 00:00:00 +0900</pubDate>",
                         "   <pubDate>Mon,  1 Dec 2008 07:06:05 +0900</pubDate>",
                         "   <pubDate>Fri,  5 Jan 2007 13:04:05 +0900</pubDate>"}));
  EXPECT_EQ(lines("demo+atom+c1", " <updated>"), (TStringList{" <updated>2008-01-01T00:00:00+09:00</updated>"}));
  EXPECT_EQ(lines("demo+atom", "   <updated>")[1], "   <updated>2008-12-01T07:06:05+09:00</updated>");
}

TEST_F(Feed, BodyIsUtf8WithCrLf) {
  TCGIRun r;
  r.query = "demo+rss20+c1";
  const std::string body = inst.Run(r).body;
  EXPECT_NE(body.find("<category>\xE6\x97\x85\xE8\xA1\x8C</category>\r\n"), std::string::npos);  // 旅行
  EXPECT_EQ(body.substr(body.size() - 8), "</rss>\r\n");
}

TEST(FeedText, DatesEscapeAndCut) {
  EXPECT_EQ(FeedDateRss10("2007/01/05 13:04:05"), "2007-01-05T13:04:05");
  EXPECT_EQ(FeedDateRss20("2007/01/05 13:04:05"), "Fri,  5 Jan 2007 13:04:05 +0900");
  EXPECT_EQ(FeedDateAtom("2007/01/05 13:04:05"), "2007-01-05T13:04:05+09:00");
  // Unreadable parts take their defaults; a short stamp does not fail.
  EXPECT_EQ(FeedDateRss20("xxxx/yy/zz aa:bb:cc"), "Tue,  1 Jan 2008 00:00:00 +0900");
  EXPECT_EQ(FeedDateAtom("2009/13/40 25:61:00"), "2009-01-01T00:00:00+09:00");
  EXPECT_EQ(FeedDateRss10("2009/05"), "2009-05T");
  EXPECT_EQ(FeedDateAtom(""), "2008-01-01T00:00:00+09:00");

  EXPECT_EQ(FeedEscape("a&b\"c<d>e\x01\tf"), "a&amp;b&quot;c&lt;d&gt;e\tf");
  EXPECT_EQ(FeedCut("0123456789", 10), "0123456789...");
  EXPECT_EQ(FeedCut("012345678", 10), "012345678");
  EXPECT_EQ(FeedCut("0123&quot;9", 9), "0123...");
  EXPECT_EQ(FeedCut("0123&quot;9", 10), "0123&quot;...");
  EXPECT_EQ(FeedCut("0123&amp;56789", 10), "0123&amp;5...");
  EXPECT_EQ(FeedCut("012345678漢", 10), "012345678...");
}

}  // namespace
