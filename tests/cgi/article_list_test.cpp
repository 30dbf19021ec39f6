// The main page's content cell: selection, paging, summaries, templates and search.
#include <gtest/gtest.h>

#include "blog_fixture.h"

namespace {

using Titles = std::vector<std::string>;
std::string Key(int day) { return "202611" + TwoDigits(day) + "100000"; }
std::string Link(const std::string& tail, const std::string& label) {
  return "[<a href=\"./velm.exe?demo+sv+" + tail + "\">" + label + "</a>]";
}
std::string Paging(const std::string& older, const std::string& newer) {
  return "<div align=\"center\">" + older + newer + "</div>";
}
const std::string kNoOlder = "<span style=\"color:silver\">[前ぺージ]</span>", kNewest = Link("@+19970101000000", "最新ページ");
// The line of the paging links.
std::string PagingLine(const std::string& page) {
  const size_t mark = page.find("ぺージ");
  if (mark == std::string::npos) return "";
  const size_t from = page.rfind("\r\n", mark) + 2;
  return page.substr(from, page.find("\r\n", mark) - from);
}
Titles Range(int from, int to) {  // newest first
  Titles t;
  for (int i = from; i >= to; --i) t.push_back("記事" + std::to_string(i));
  return t;
}

// Twelve public articles a day apart (記事1 oldest) in category "c1".
class ArticleList : public ::testing::Test {
protected:
  void SetUp() override {
    blog.Category("c1", "日記");
    for (int i = 1; i <= 12; ++i) ids.push_back(blog.Article("c1", Stamp(i), "記事" + std::to_string(i), "本文"));
  }
  TBlogFixture blog;
  std::vector<std::string> ids;
};

TEST_F(ArticleList, PagesOfFiveWithOlderAndNewerLinks) {
  const std::string first = blog.Page("demo");
  EXPECT_EQ(Topics(first), Range(12, 8));
  EXPECT_EQ(PagingLine(first), Paging(Link("@+" + Key(8), "前ぺージ"), kNewest));
  // The second page starts after the key of the fifth article; 5 - 5 < 1 links the newest page.
  const std::string second = blog.Page("demo+sv+@+" + Key(8));
  EXPECT_EQ(Topics(second), Range(7, 3));
  EXPECT_EQ(PagingLine(second), Paging(Link("@+" + Key(3), "前ぺージ"), kNewest));
  const std::string third = blog.Page("demo+sv+@+" + Key(3));
  EXPECT_EQ(Topics(third), Range(2, 1));
  EXPECT_EQ(PagingLine(third), Paging(kNoOlder, Link("@+" + Key(8), "次ぺージ")));
  // The newest key shows the first page again; dv is the same list.
  EXPECT_EQ(Topics(blog.Page("demo+sv+@+19970101000000")), Range(12, 8));
  EXPECT_EQ(ContentCell(blog.Page("demo+dv")), ContentCell(first));
  // The element ids of the bodies count the articles on the page.
  EXPECT_TRUE(Has(second, "id=\"log0\">本文") && Has(second, "id=\"log4\">本文") && !Has(second, "id=\"log5\""));
}

TEST_F(ArticleList, PageSizeAndKeysThatAreNoDate) {
  blog.Style("CONTENTVIEWCOUNT=0\r\n");  // never reached: everything on one page
  EXPECT_EQ(Topics(blog.Page("demo")).size(), 12u);
  // Below 0 the same; the newer link counts the size as 0 and stays inside the list.
  for (const char* size : {"-5", "-2147483648"}) {
    blog.Style(std::string("CONTENTVIEWCOUNT=") + size + "\r\n");
    const TCGIResult top = blog.Run("demo");
    ASSERT_EQ(top.exitCode, 0) << size;
    EXPECT_EQ(PagingLine(top.body), Paging(kNoOlder, kNewest)) << size;
    const std::string later = blog.Page("demo+sv+@+" + Key(8));
    EXPECT_EQ(Topics(later), Range(7, 1)) << size;
    EXPECT_EQ(PagingLine(later), Paging(kNoOlder, Link("@+" + Key(8), "次ぺージ"))) << size;
  }
  // A fourteen-character key that is no date starts at 2008/01/01: older than every article here.
  // Other lengths are no key at all.
  blog.Style("");
  for (const char* key : {"20261399999999", "abcdefghijklmn", "2026110810"})
    EXPECT_EQ(Topics(blog.Page(std::string("demo+sv+@+") + key)), Range(12, 8)) << key;

  // Two articles sharing a date: the key skips both.
  TBlogFixture b;
  b.Category("c1", "日記");
  b.Article("c1", Stamp(1), "古い", "x");
  b.Article("c1", Stamp(2), "同時A", "x");
  b.Article("c1", Stamp(2), "同時", "x", true, "", ArticleIdOf("x"));  // its own id from a later creation time
  b.Style("CONTENTVIEWCOUNT=1\r\n");
  EXPECT_EQ(Topics(b.Page("demo")), Titles{"同時"});
  EXPECT_EQ(Topics(b.Page("demo+sv+@+" + Key(2))), Titles{"古い"});
}

TEST_F(ArticleList, ArchivesCategoriesAndWhatIsLeftOut) {
  blog.Category("c2", "旅行");
  blog.Category("c3", "非公開", false);
  blog.Article("c2", "2026/12/01 09:00:00", "十二月", "旅");
  blog.Article("c3", "2026/12/02 09:00:00", "隠しカテゴリ", "x");
  blog.Article("c1", "2026/12/03 09:00:00", "非表示", "x", false);
  EXPECT_EQ(Topics(blog.Page("demo")), (Titles{"十二月", "記事12", "記事11", "記事10", "記事9"}));
  // The month is the category word of its paging links, so the next page is the month again.
  const std::string month = blog.Page("demo+sv+202611");
  EXPECT_EQ(Topics(month), Range(12, 8));
  EXPECT_EQ(PagingLine(month), Paging(Link("202611+" + Key(8), "前ぺージ"), Link("202611+19970101000000", "最新ページ")));
  EXPECT_EQ(Topics(blog.Page("demo+sv+202611+" + Key(8))), Range(7, 3));
  EXPECT_EQ(Topics(blog.Page("demo+sv+c2")), Titles{"十二月"});
  // Nothing selected: the date archive and the category list say so differently; odd words
  // never leave the account folder.
  const std::string cell = "<td class=\"contentcell\">\r\n";
  for (const char* word : {"202501", "20261203"})
    EXPECT_EQ(ContentCell(blog.Page(std::string("demo+sv+") + word)), cell + "記事はありません(1)\r\n</td>\r\n");
  for (const char* word : {"c3", "../x", "..%2Fcindex", "20261301000000", "%00", "x%22%3E%3Cscript%3E"})
    EXPECT_EQ(ContentCell(blog.Page(std::string("demo+sv+") + word)), cell + "記事はありません(2)\r\n</td>\r\n")
        << word;
  const std::string huge(5000, 'a');
  const TCGIResult res = blog.Run("demo+sv+" + huge + "+" + huge);
  EXPECT_EQ(res.exitCode, 0);
  EXPECT_TRUE(Has(res.body, "記事はありません(2)"));
}

TEST_F(ArticleList, BuiltInAndNamedTemplates) {
  // The built-in template counts only the shown comments.
  blog.Style("USECOMMENT=1\r\n");
  blog.Comment("c1", ids[11], "読者", "こんにちは");
  blog.Comment("c1", ids[11], "隠れ", "待ち", false);
  EXPECT_TRUE(Has(blog.Page("demo"), "[更新日付:2026/11/12 10:00:00]</div>\r\n<span style=\"font-size:x-small\"><a href=\""
                                     "./velm.exe?demo+sl+" + ids[11] + "\">コメントを書く(1)</a></span>\r\n"));
  // A named template: a subject holding a tag replaced later is expanded; a body holding an earlier tag is not.
  blog.Ini("TEMPCONTENTSTART\r\n\"mine\",\"mine.txt\"\r\nTEMPCONTENTEND\r\n");
  blog.Inst.Write("template/mine.txt", "[<logtopic>]<LOGID>|<CategoryID>|<commentcount>|<TRACKBACKCOUNT>\r\n<Log>");
  blog.Style("CONTENTTEMPNAME=mine\r\nCONTENTVIEWCOUNT=1\r\n");
  const std::string own = blog.Article("c1", Stamp(29), "題<LOGLINK>", "体<LOGID>");
  EXPECT_EQ(ContentCell(blog.Page("demo")),
            "<td class=\"contentcell\">\r\n[<span class=\"logtopic\">題http://127.0.0.1/velm.exe?demo+sl+" + own + "</span>]" +
                own + "|c1|0|\r\n<div class=\"logcontent\" id=\"log0\">体<LOGID></div>\r\n" +
                Paging(Link("@+" + Key(29), "前ぺージ"), kNewest) + "\r\n</td>\r\n");
}

TEST(ArticleSummary, CutsBytesWithoutSplittingCharacters) {
  TBlogFixture b;
  b.Category("c1", "日記");
  const char* const bodies[] = {"123456789", "1234567890", "123456789漢字<b>太</b>", "12<BR>345\r\n67890123"};
  for (int day = 1; day <= 4; ++day) b.Article("c1", Stamp(day), "題", bodies[day - 1]);
  b.Style("CONTENTSKIPMETHOD=1\r\nCONTENTSKIPLENGTH=10\r\n");
  auto teaser = [&](int day, const std::string& text) {
    return "id=\"log" + std::to_string(4 - day) + "\">" + text + "<br>[<a href=\"http://127.0.0.1/velm.exe?demo+sl+" +
           ArticleIdOf(Stamp(day)) + "\">続きを読む</a>]</div>";
  };
  const std::string page = b.Page("demo");
  EXPECT_TRUE(Has(page, teaser(1, "123456789"))) << page;
  EXPECT_TRUE(Has(page, teaser(2, "1234567890... ")));
  EXPECT_TRUE(Has(page, teaser(3, "123456789... ")));  // byte 10 starts 漢: cut before it
  EXPECT_TRUE(Has(page, teaser(4, "12<br>345<br>678... ")));
  // Below 1 the length is 200; method 0 shows the whole body.
  b.Style("CONTENTSKIPMETHOD=1\r\nCONTENTSKIPLENGTH=0\r\n");
  EXPECT_TRUE(Has(b.Page("demo"), teaser(3, "123456789漢字太")));
  b.Style("");
  EXPECT_TRUE(Has(b.Page("demo"), "id=\"log1\">123456789漢字<b>太</b></div>"));
}

TEST(ArticleSearch, NarrowsTheListByTitleOrTextWithPaging) {
  TBlogFixture b;
  b.Category("c1", "日記");
  b.Category("c2", "料理");
  b.Article("c1", Stamp(1), "Hello World", "英語");
  b.Article("c2", Stamp(2), "カレー", "スパイスの<b>香り</b>");
  b.Article("c1", Stamp(3), "表", "ソ");  // 表 and ソ end in the byte of "\"
  b.Article("c1", Stamp(4), "秘密", "スパイス", false);
  auto search = [&](const std::string& query, const std::string& word) { return Topics(b.Page(query, "searchword=" + word)); };
  EXPECT_EQ(search("demo+dv", "hello"), Titles{"Hello World"});
  EXPECT_EQ(search("demo+dv", "%83X%83p%83C%83X"), Titles{"カレー"});  // スパイス, hidden one left out
  EXPECT_EQ(search("demo+dv", "%8D%81%82%E8"), Titles{"カレー"});       // 香り across the tags
  EXPECT_EQ(search("demo+dv", "b"), Titles{});                         // markup is not text
  EXPECT_EQ(search("demo+dv", "%5C"), Titles{});                       // no false hit on a trail byte
  EXPECT_EQ(search("demo+sv+c1", "%83X%83p%83C%83X"), Titles{});       // within the category
  EXPECT_EQ(search("demo+dv", "").size(), 3u);

  // A result count of 7 in pages of 5: the paging form keeps the word.
  for (int i = 5; i <= 13; ++i) b.Article("c1", Stamp(i), "cat " + std::to_string(i), "x");
  b.Article("c1", Stamp(14), "dog", "x");
  b.Ini("SEARCHRESULTCOUNT=7\r\n");
  const std::string first = b.Page("demo+dv", "searchword=CAT");
  EXPECT_EQ(Topics(first), (Titles{"cat 13", "cat 12", "cat 11", "cat 10", "cat 9"}));
  EXPECT_TRUE(Has(first, "[<form style=\"display:inline; margin:0px\" action=\"./velm.exe?demo+sv+@+" + Key(9) +
                             "\" method=\"post\"><input type=\"hidden\" name=\"searchword\" value=\"CAT\"><input "
                             "class=\"pagebutton\" type=\"submit\" value=\"前ぺージ\"></form>]")) << first;
  EXPECT_EQ(search("demo+sv+@+" + Key(9), "CAT"), (Titles{"cat 8", "cat 7"}));
}

}  // namespace
