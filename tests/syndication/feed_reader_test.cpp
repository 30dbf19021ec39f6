// The feed parser and the box HTML of RSS 1.0, RSS 2.0 and Atom documents.
#include <gtest/gtest.h>

#include "syndication/RDFLib.h"
#include "syndication/feed_reader.h"
#include "text/jconvert.h"

namespace {

const std::string kItem = "<shortdate> <a href=\"<LINK>\" target=\"_blank\"><TITLE></a><br>";
const std::string kDescItem = kItem + "<span style=\"color:silver\"><DESCRIPTION></span><br>";

std::string Box(const std::string& body, bool desc = false, int count = 0) {
  bool xml = false;
  const std::string html = RenderFeed(body, desc, count, xml);
  return xml ? html : "(not XML)";
}
std::string Items(const std::string& lines) { return " \r\n" + lines + "\r\n \r\n"; }

const std::string kRss2 = SjisToUtf8(
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>日記</title>"
    "<link>http://example.jp/</link><description>ある日記</description><language>ja</language>"
    "<image><title>logo</title></image>\n"
    "<item><title>第一話 &amp; <![CDATA[続き]]></title><link> http://example.jp/1 </link>"
    "<description><![CDATA[<p>本文 <b>太字</b></p>]]></description><pubDate>Tue, 1 Dec 2026 09:42:31 +0900</pubDate></item>\n"
    "<item><title>二</title><link>http://example.jp/2</link><pubDate>Mon, 30 Nov 26</pubDate></item>\n"
    "<item><title>三</title><link>http://example.jp/3</link><pubDate>soon</pubDate></item>\n"
    "</channel></rss>\n");

TEST(FeedReader, RSS20ItemsRenderThroughTheBoxTemplate) {
  EXPECT_EQ(Box(kRss2),
            Items("2026/12/01 <a href=\"http://example.jp/1\" target=\"_blank\">第一話 &amp;amp; 続き</a><br>\r\n"
                  "2026/11/30 <a href=\"http://example.jp/2\" target=\"_blank\">二</a><br>\r\n"
                  " <a href=\"http://example.jp/3\" target=\"_blank\">三</a><br>\r\n"));
  // count 1 shows one item; desc shows the description without markup in silver.
  EXPECT_EQ(Box(kRss2, true, 1),
            Items("2026/12/01 <a href=\"http://example.jp/1\" target=\"_blank\">第一話 &amp;amp; 続き</a><br>"
                  "<span style=\"color:silver\">本文 太字</span><br>\r\n"));
  TRDFFormat f;
  ASSERT_TRUE(f.Detect(kRss2));
  f.Parse(Utf8ToSjis(kRss2));
  ASSERT_EQ(f.Channels.size(), 1u);
  const auto& c = f.Channels[0];
  EXPECT_EQ(f.RSSVersion + "|" + c.Title + "|" + c.Link + "|" + c.Description + "|" + c.Language,
            "2.0|日記|http://example.jp/|ある日記|ja");
  EXPECT_EQ(c.Items.size(), 3u);

  // The body is read as lines: a break inside an element, LF or CR alone, comes out as CR LF.
  EXPECT_EQ(Box("<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><item><title>a\nb</title>\n<link>http://e/</link>"
                "<description>c\rd\r\ne</description></item></channel></rss>",
                true),
            Items(" <a href=\"http://e/\" target=\"_blank\">a\r\nb</a><br><span style=\"color:silver\">c\r\nd\r\ne</span><br>\r\n"));
}

TEST(FeedReader, RSS10AndAtomDocuments) {
  const std::string rss1 =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rdf:RDF xmlns=\"http://purl.org/rss/1.0/\">"
      "<channel rdf:about=\"http://example.jp/rss\"><title>T</title><link>http://example.jp/</link>"
      "<items><rdf:Seq><rdf:li rdf:resource=\"http://example.jp/a\"/><rdf:li resource=\"http://example.jp/b\" /></rdf:Seq></items>"
      "</channel>\n<item rdf:about=\"http://example.jp/a\"><title>A</title><link>http://example.jp/a</link>"
      "<dc:subject>Subject</dc:subject><dc:date>2026-12-02T10:00:00+09:00</dc:date><dc:creator>me</dc:creator></item>"
      "<item rdf:about=\"http://example.jp/b\"><title>B</title><link>http://example.jp/b</link></item></rdf:RDF>";
  EXPECT_EQ(Box(rss1), Items("2026-12-02 <a href=\"http://example.jp/a\" target=\"_blank\">A</a><br>\r\n"
                             " <a href=\"http://example.jp/b\" target=\"_blank\">B</a><br>\r\n"));
  TRDFFormat f;
  f.Detect(rss1);
  f.Parse(rss1);
  EXPECT_EQ(f.Channels[0].About, "http://example.jp/rss");
  EXPECT_EQ(f.Channels[0].Resources, (TStringList{"http://example.jp/a", "http://example.jp/b"}));
  EXPECT_EQ(f.Channels[0].Items[0].Category + "|" + f.Channels[0].Items[0].Creator, "Subject|me");

  const std::string atom =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>F</title>"
      "<link rel=\"self\" href=\"http://example.jp/atom\"/><link href=\"http://example.jp/\"/><updated>2026-12-03T00:00:00Z</updated>"
      "<id>urn:x</id><entry><title type=\"html\">E &lt;1&gt;</title><link rel=\"replies\" href=\"http://example.jp/c\"/>"
      "<link rel=\"alternate\" href=\"http://example.jp/e1\"/><category term=\"\" label=\"L\"/>"
      "<content type=\"html\">&lt;p&gt;x<b>y</b></content><updated>2026-12-03T08:00:00+09:00</updated></entry>"
      "<entry><title>E2</title><link href=\"http://example.jp/e2\"/><summary>s</summary><updated>2026-12-01</updated></entry>"
      "</feed><entry><title>after the feed</title></entry>";
  EXPECT_EQ(Box(atom, true),
            Items("2026-12-03 <a href=\"http://example.jp/e1\" target=\"_blank\">E &amp;lt;1&amp;gt;</a><br>"
                  "<span style=\"color:silver\">&lt;p&gt;xy</span><br>\r\n"
                  "2026-12-01 <a href=\"http://example.jp/e2\" target=\"_blank\">E2</a><br><span style=\"color:silver\"></span><br>\r\n"));
  TRDFFormat a;
  ASSERT_TRUE(a.Detect(atom));
  a.Parse(atom);
  EXPECT_EQ(a.Dialect, 2);
  EXPECT_EQ(a.Channels[0].SelfLink + "|" + a.Channels[0].Link + "|" + a.Channels[0].Id + "|" + a.Channels[0].Items[0].Category,
            "http://example.jp/atom|http://example.jp/|urn:x|L");
  // Something between the declaration and <feed>: read as RSS, which finds no items; so does RSS 0.91.
  const std::string commented = "<?xml version=\"1.0\"?><!-- hi --><feed xmlns=\"http://www.w3.org/2005/Atom\">"
                                "<entry><title>x</title></entry></feed>";
  EXPECT_EQ(Box(commented), Items(""));
  EXPECT_EQ(Box("<?xml version=\"1.0\"?><rss version=\"0.91\"><channel><item><title>x</title></item></channel></rss>"), Items(""));
  EXPECT_EQ(Box("<html><body>not a feed</body></html>"), "(not XML)");
}

TEST(FeedReader, EncodingsAndTextFromStrangers) {
  const std::string euc = "<?xml version=\"1.0\" encoding=\"euc-jp\"?><rss version=\"2.0\"><channel><item><title>" +
                          SjisToEuc("日本語") + "</title><link>http://e/</link></item></channel></rss>";
  EXPECT_EQ(Box(euc), Items(" <a href=\"http://e/\" target=\"_blank\">日本語</a><br>\r\n"));
  // Shift_JIS without a declaration is read as UTF-8: nothing of it survives as such.
  const std::string sjis = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><item><title>日本語</title>"
                           "<link>http://e/</link></item></channel></rss>";
  EXPECT_FALSE(Box(sjis).find("日本語") != std::string::npos);
  // Markup, quotes, NUL bytes and other schemes from the feed never reach the page as such.
  const std::string hostile = std::string("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><item>"
                                          "<title><![CDATA[<script>alert(1)</script>]]></title>"
                                          "<link>javascript:alert(1)</link><pubDate>x</pubDate></item><item><title>q</title>"
                                          "<link>http://e/\" onmouseover=\"x</link><description><img src=x onerror=y>t") +
                              std::string(1, '\0') + "u</description></item><item><title>d</title><link>http://e/</link>"
                                                       "</item></channel></rss>";
  EXPECT_EQ(Box(hostile, true),
            Items(" <a href=\"\" target=\"_blank\">&lt;script&gt;alert(1)&lt;/script&gt;</a><br><span style=\"color:silver\"></span><br>\r\n"
                  " <a href=\"http://e/&quot; onmouseover=&quot;x\" target=\"_blank\">q</a><br><span style=\"color:silver\">tu</span><br>\r\n"
                  " <a href=\"http://e/\" target=\"_blank\">d</a><br><span style=\"color:silver\"></span><br>\r\n"));
  const std::string dated = "<?xml version=\"1.0\"?><rdf:RDF><item rdf:about=\"x\"><title>t</title><link>http://e/</link>"
                            "<dc:date><b>2026</b></dc:date></item></rdf:RDF>";
  EXPECT_EQ(Box(dated), Items("&lt;b&gt;2026&lt;/b <a href=\"http://e/\" target=\"_blank\">t</a><br>\r\n"));
  // A document cut anywhere still gives a box (whatever items were whole).
  for (size_t cut = 0; cut < kRss2.size(); cut += 7) Box(kRss2.substr(0, cut), true, 2);
}

TEST(FeedReader, RFC822DatesAndKeys) {
  const std::pair<const char*, const char*> dates[] = {
      {"Sat, 07 Sep 2002 09:42:31 GMT", "2002/09/07 09:42:31"}, {"7 sep 2002", "2002/09/07 00:00:00"},
      {"Tue,  5 Jan 99 1:2", "1999/01/05 1:2"}, {"Fri, 5 Jan 07 13:04:05 +0900", "2007/01/05 13:04:05"},
      {"Fri, 5 Foo 2007", ""}, {"", ""}, {"Mon, 5 Jan", ""},
  };
  for (const auto& [in, want] : dates) EXPECT_EQ(RFC822ToStamp(in), want) << in;
  for (const char* good : {"news", "my-feed_2", "日記"}) EXPECT_TRUE(IsFeedKey(good)) << good;
  for (const char* bad : {"", "../x", "a/b", "a\\b", ".hidden", "a:b", "a?", "a*", "a|b", "a<b", "a>b", "x..y", "a\"b", "a\rb"})
    EXPECT_FALSE(IsFeedKey(bad)) << bad;
  EXPECT_FALSE(IsFeedKey(std::string("a\0b", 3)));
}

}  // namespace
