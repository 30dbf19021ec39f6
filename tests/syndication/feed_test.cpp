// Feeds (RSS 1.0, RSS 2.0, Atom) through the real executable, and their text helpers.
#include <gtest/gtest.h>

#include "syndication/feed.h"

#include "cgi_harness.h"
#include "store/DCSVList.h"
#include "store/articles.h"
#include "text/DString.h"
#include "text/jconvert.h"

namespace {

const std::string kUrl = "http://127.0.0.1/velm.exe?demo", kAcc = "velmsystem/owner/";
const std::string kDesc5 = "A一二三四五六七八九十一二三四五六七八九...";  // 39 bytes: no half character
const std::string kLong5 = "A一二三四五六七八九十一二三四五六七八九十";

// A document from its pieces, line by line.
std::string Doc(std::initializer_list<TStringList> pieces) {
  TStringList all;
  for (const TStringList& p : pieces) all.insert(all.end(), p.begin(), p.end());
  return JoinLines(all) + "\r\n";
}
bool Has(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

// Five index lines: three public articles (newest first: ids[4] in category c3, ids[1] in a category
// that does not exist, ids[0] in c1), one in the hidden category c2, one hidden article.
class Feed : public ::testing::Test {
protected:
  void SetUp() override {
    inst.Write(kAcc + "title.txt", "日記 & <b>ノート</b>\r\n<i>毎日</i>の\"記録\"\r\n");
    inst.Write(kAcc + "category.txt", "\"c1\",\"旅行\",\"1\"\r\n\"c2\",\"秘密\",\"0\"\r\n\"c3\",\"料理 &amp; 酒\",\"1\"\r\n");
    const TStringList rows[] = {{"c1", "2007/01/05 13:04:05", "一月", "1", "あいうえお<br>\r\nかきくけこ\t\x01さしすせそ\r\n"},
                                {"nosuch", "2007/02/10 08:00:00", "二月", "1", ""},
                                {"c2", "2007/02/11 08:00:00", "秘密の記事", "1", "秘密"},
                                {"c1", "2007/02/12 08:00:00", "下書き", "0", "下書き"},
                                {"c3", "2007/03/15 23:59:59", "<b>三月</b>の&quot;花&quot;", "1", kLong5}};
    std::string index;
    for (const TStringList& row : rows) {
      ids.push_back(ArticleIdOf(row[1]));
      index += MakeRecordLine({row[0], ids.back(), row[1], row[1], row[2], row[3]}) + "\r\n";
      if (!row[4].empty()) inst.Write(kAcc + ids.back() + ".txt", row[4]);
    }
    inst.Write(kAcc + "cindex.txt", index);
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
  // The lines of a feed that begin with `open`.
  TStringList Lines(const std::string& query, const std::string& open) {
    TStringList out;
    for (const std::string& line : SplitLines(Get(query)))
      if (line.compare(0, open.size(), open) == 0) out.push_back(line);
    return out;
  }

  TTestInstall inst;
  std::vector<std::string> ids;
};

TEST_F(Feed, Rss10Document) {
  const TStringList head = {
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>", "<rdf:RDF xmlns=\"http://purl.org/rss/1.0/\"",
      "         xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"",
      "         xmlns:dc=\"http://purl.org/dc/elements/1.1/\"", "         xml:lang=\"ja\">",
      "  <channel rdf:about=\"" + kUrl + "+RSS\">", "   <title>日記 &amp; &lt;b&gt;ノート&lt;/b&gt;</title>",
      "   <link>" + kUrl + "</link>", "   <description>毎日の&quot;記録&quot;</description>", "   <items>", "    <rdf:Seq>"};
  const TStringList close = {"    </rdf:Seq>", "   </items>", "  </channel>"}, end = {"</rdf:RDF>"};
  auto li = [&](const std::string& id) { return "      <rdf:li resource=\"" + kUrl + "+sl+" + id + "\" />"; };
  auto item = [&](const std::string& id, const std::string& title, const std::string& desc, const std::string& cat,
                  const std::string& date) -> TStringList {
    return {"  <item rdf:about=\"" + kUrl + "+sl+" + id + "\">", "    <title>" + title + "</title>",
            "    <link>" + kUrl + "+sl+" + id + "</link>", "    <description>" + desc + "</description>",
            "    <dc:creator>日記 &amp; &lt;b&gt;ノート&lt;/b&gt;</dc:creator>", "    <dc:subject>" + cat + "</dc:subject>",
            "    <dc:date>" + date + "</dc:date>", "  </item>"};
  };
  const TStringList first = item(ids[0], "一月", "あいうえおかきくけこさしすせそ", "旅行", "2007-01-05T13:04:05+09:00");
  EXPECT_EQ(Get("demo+rss"), Doc({head, {li(ids[4]), li(ids[1]), li(ids[0])}, close,
                                  item(ids[4], "&lt;b&gt;三月&lt;/b&gt;の&amp;quot;花&amp;quot;", kDesc5, "料理 &amp;amp; 酒",
                                       "2007-03-15T23:59:59+09:00"),
                                  item(ids[1], "二月", "", "Any Category", "2007-02-10T08:00:00+09:00"), first, end}));
  // The long form: whole texts; the channel still names the short feed.
  const std::string longDoc = Get("demo+rssl");
  EXPECT_TRUE(Has(longDoc, "<description>" + kLong5 + "</description>") && Has(longDoc, head[5]));
  // A category feed keeps the whole blog's channel; a hidden or unknown category is an empty feed.
  EXPECT_EQ(Get("demo+rss+c1"), Doc({head, {li(ids[0])}, close, first, end}));
  for (const char* q : {"demo+rss+c2", "demo+RSS+zz"}) EXPECT_EQ(Get(q), Doc({head, close, end})) << q;
}

TEST_F(Feed, Rss20Document) {
  const TStringList head = {"<?xml version=\"1.0\" encoding=\"utf-8\" ?>", "<rss version=\"2.0\">", " <channel>",
                            "  <title>日記 &amp; ノート</title>", "  <link>" + kUrl + "</link>",
                            "  <description>毎日の&quot;記録&quot;</description>",
                            "  <generator>Weblog System VELM 1.23</generator>",
                            "  <docs>https://cyber.harvard.edu/rss/rss.html</docs>", "  <language>ja</language>"};
  // No category element for a category that does not exist.
  EXPECT_EQ(Get("demo+rss20"),
            Doc({head,
                 {"  <item>", "   <title>三月の&amp;quot;花&amp;quot;</title>", "   <description>" + kDesc5 + "</description>",
                  "   <category>料理 &amp;amp; 酒</category>", "   <link>" + kUrl + "+sl+" + ids[4] + "</link>",
                  "   <pubDate>Thu, 15 Mar 2007 23:59:59 +0900</pubDate>", "  </item>", "  <item>", "   <title>二月</title>",
                  "   <description></description>", "   <link>" + kUrl + "+sl+" + ids[1] + "</link>",
                  "   <pubDate>Sat, 10 Feb 2007 08:00:00 +0900</pubDate>", "  </item>", "  <item>", "   <title>一月</title>",
                  "   <description>あいうえおかきくけこさしすせそ</description>", "   <category>旅行</category>",
                  "   <link>" + kUrl + "+sl+" + ids[0] + "</link>", "   <pubDate>Fri,  5 Jan 2007 13:04:05 +0900</pubDate>",
                  "  </item>", " </channel>", "</rss>"}}));
  EXPECT_TRUE(Has(Get("demo+rssl20"), "<description>" + kLong5 + "</description>"));
}

TEST_F(Feed, AtomDocument) {
  const TStringList head = {"<?xml version=\"1.0\" encoding=\"utf-8\"?>", "<feed xmlns=\"http://www.w3.org/2005/Atom\">",
                            " <link rel=\"self\" type=\"application/atom+xml\" href=\"" + kUrl + "+atoml\" />",
                            " <title>日記 &amp; ノート</title>", " <link href=\"" + kUrl + "\" />", " <id>" + kUrl + "</id>"};
  const TStringList updated = {" <updated>2007-03-15T23:59:59+09:00</updated>"}, end = {"</feed>"};
  auto entry = [&](const std::string& id, const std::string& title, const std::string& desc, const std::string& cat,
                   const std::string& date) {
    TStringList out = {" <entry>", "  <title type=\"html\">" + title + "</title>", "  <id>" + kUrl + "+sl+" + id + "</id>",
                       "  <author>", "   <name>日記 &amp; ノート</name>", "   <uri>" + kUrl + "</uri>", "  </author>",
                       "   <content type=\"html\" xml:lang=\"ja\">" + desc + "</content>"};
    if (!cat.empty()) out.push_back("   <category term=\"" + cat + "\" label=\"" + cat + "\" />");
    out.push_back("   <link rel=\"alternate\" type=\"text/html\" href=\"" + kUrl + "+sl+" + id + "\" />");
    out.insert(out.end(), {"   <updated>" + date + "</updated>", " </entry>"});
    return out;
  };
  const std::string title5 = "三月の&amp;quot;花&amp;quot;", cat5 = "料理 &amp;amp; 酒", date5 = "2007-03-15T23:59:59+09:00";
  EXPECT_EQ(Get("demo+atom"), Doc({head, updated, entry(ids[4], title5, kDesc5, cat5, date5),
                                   entry(ids[1], "二月", "", "", "2007-02-10T08:00:00+09:00"),
                                   entry(ids[0], "一月", "あいうえおかきくけこさしすせそ", "旅行", "2007-01-05T13:04:05+09:00"),
                                   end}));
  // The long form and a category feed: same self link, the category's newest date; none without articles.
  EXPECT_EQ(Get("demo+atoml+c3"), Doc({head, updated, entry(ids[4], title5, kLong5, cat5, date5), end}));
  EXPECT_EQ(Get("demo+atom+c2"), Doc({head, end}));
}

TEST_F(Feed, ItemCountAndDescriptionLength) {
  // At least one item whatever the setting; otherwise the setting's count.
  for (const auto& [count, items] : std::vector<std::pair<std::string, size_t>>{{"0", 1}, {"-3", 1}, {"2", 2}}) {
    inst.Write(kAcc + "style.txt", "CONTENTVIEWCOUNT=" + count + "\r\n");
    EXPECT_EQ(Lines("demo+rss20", "   <description>").size(), items) << count;
  }
  // A length below 10 counts as 10; a text of exactly that length is cut too.
  inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nRSSDESCLENGTH=5\r\n");
  inst.Write(kAcc + ids[4] + ".txt", "0123456789");
  inst.Write(kAcc + ids[1] + ".txt", "012345678");
  EXPECT_EQ(Lines("demo+rss20", "   <description>"),
            (TStringList{"   <description>0123456789...</description>", "   <description>012345678</description>"}));
  // An entity of the escaped text is never cut in half; a character neither.
  inst.Write(kAcc + ids[4] + ".txt", "01234567&9");
  inst.Write(kAcc + ids[1] + ".txt", "012345678漢字");
  EXPECT_EQ(Lines("demo+rss20", "   <description>"),
            (TStringList{"   <description>01234567...</description>", "   <description>012345678...</description>"}));
}

TEST_F(Feed, ViewPasswordKeepsTheArticlesOut) {
  inst.Write(kAcc + "style.txt", "VIEWPASSWORD=pw\r\n");
  for (const char* q : {"demo+rss", "demo+rssl20", "demo+atoml"}) {
    const std::string doc = Get(q);
    EXPECT_TRUE(Has(doc, "日記 &amp;")) << q;  // the channel stays
    for (const char* part : {"<item>", "<item rdf", "<rdf:li", "<entry>", "<updated>"})
      EXPECT_FALSE(Has(doc, part)) << q << " " << part;
  }
  EXPECT_FALSE(Has(Get("demo+rss20", "VIEWPASS-demo=wrong"), "<item>"));
  EXPECT_TRUE(Has(Get("demo+rss20", "VIEWPASS-demo=pw"), "<item>"));
}

TEST_F(Feed, DatesAreTheLastSavedTime) {
  // The article date (field 2) orders the archives; feeds carry the last save (field 3).
  inst.Write(kAcc + "cindex.txt",
             MakeRecordLine({"c1", ids[0], "2007/01/05 13:04:05", "2007/01/05 13:04:05", "一月", "1"}) + "\r\n" +
                 MakeRecordLine({"c1", ids[1], "2007/02/10 08:00:00", "2008/12/01 07:06:05", "二月", "1"}) + "\r\n" +
                 MakeRecordLine({"c1", ids[4], "2007/03/15 23:59:59", "bad", "三月"}) + "\r\n");
  EXPECT_EQ(Lines("demo+rss", "    <dc:date>"),
            (TStringList{"    <dc:date>badT+09:00</dc:date>", "    <dc:date>2008-12-01T07:06:05+09:00</dc:date>",
                         "    <dc:date>2007-01-05T13:04:05+09:00</dc:date>"}));
  EXPECT_EQ(Lines("demo+rss20", "   <pubDate>"),
            (TStringList{"   <pubDate>Tue,  1 Jan 2008 00:00:00 +0900</pubDate>",
                         "   <pubDate>Mon,  1 Dec 2008 07:06:05 +0900</pubDate>",
                         "   <pubDate>Fri,  5 Jan 2007 13:04:05 +0900</pubDate>"}));
  EXPECT_EQ(Lines("demo+atom+c1", " <updated>"), (TStringList{" <updated>2008-01-01T00:00:00+09:00</updated>"}));
  EXPECT_EQ(Lines("demo+atom", "   <updated>")[1], "   <updated>2008-12-01T07:06:05+09:00</updated>");
}

// The cut itself is checked through the feed above; the escape drops control bytes but a tab.
TEST(FeedText, EscapeDropsControlBytes) {
  EXPECT_EQ(FeedEscape(std::string("a<\x01\t>\"&", 7)), "a&lt;\t&gt;&quot;&amp;");
}

}  // namespace
