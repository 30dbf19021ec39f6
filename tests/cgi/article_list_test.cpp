// The main page's content cell: selection, paging, summaries, templates and search.
#include <gtest/gtest.h>

#include "blog_fixture.h"
#include "text/DString.h"

namespace {

std::string Stamp(int day, int hour = 10) {
  return "2026/11/" + TwoDigits(day) + " " + TwoDigits(hour) + ":00:00";
}
std::string Key(int day, int hour = 10) { return "202611" + TwoDigits(day) + TwoDigits(hour) + "0000"; }

std::string Link(const std::string& tail, const std::string& label) {
  return "[<a href=\"./velm.exe?demo+sv+" + tail + "\">" + label + "</a>]";
}
std::string Paging(const std::string& older, const std::string& newer) {
  return "<div align=\"center\">" + older + newer + "</div>";
}
const std::string kNoOlder = "<span style=\"color:silver\">[前ぺージ]</span>";

// Twelve public articles a day apart (記事1 oldest) in category "c1".
class ArticleList : public ::testing::Test {
protected:
  void SetUp() override {
    blog.Category("c1", "日記");
    for (int i = 1; i <= 12; ++i) ids.push_back(blog.Article("c1", Stamp(i), "記事" + std::to_string(i), "本文"));
  }
  std::vector<std::string> Titles(int from, int to) {  // newest first
    std::vector<std::string> t;
    for (int i = from; i >= to; --i) t.push_back("記事" + std::to_string(i));
    return t;
  }
  // The line of the paging links.
  std::string PagingLine(const std::string& page) {
    const size_t mark = page.find("ぺージ");
    if (mark == std::string::npos) return "";
    const size_t from = page.rfind("\r\n", mark) + 2;
    return page.substr(from, page.find("\r\n", mark) - from);
  }

  TBlogFixture blog;
  std::vector<std::string> ids;
};

TEST_F(ArticleList, PagesOfFiveWithOlderAndNewerLinks) {
  const std::string first = blog.Page("demo");
  EXPECT_EQ(Topics(first), Titles(12, 8));
  EXPECT_EQ(PagingLine(first), Paging(Link("@+" + Key(8), "前ぺージ"), Link("@+19970101000000", "最新ページ")));
  // The second page starts after the key of the fifth article; 5 - 5 < 1 links the newest page.
  const std::string second = blog.Page("demo+sv+@+" + Key(8));
  EXPECT_EQ(Topics(second), Titles(7, 3));
  EXPECT_EQ(PagingLine(second), Paging(Link("@+" + Key(3), "前ぺージ"), Link("@+19970101000000", "最新ページ")));
  const std::string third = blog.Page("demo+sv+@+" + Key(3));
  EXPECT_EQ(Topics(third), Titles(2, 1));
  EXPECT_EQ(PagingLine(third), Paging(kNoOlder, Link("@+" + Key(8), "次ぺージ")));
  // The newest key shows the first page again; dv and sc are the same list.
  EXPECT_EQ(Topics(blog.Page("demo+sv+@+19970101000000")), Titles(12, 8));
  EXPECT_EQ(ContentCell(blog.Page("demo+dv")), ContentCell(first));
  EXPECT_EQ(ContentCell(blog.Page("demo+SC+@")), ContentCell(blog.Page("demo+sv+@")));
  // The element ids of the bodies count the articles on the page.
  EXPECT_TRUE(Has(second, "id=\"log0\">本文") && Has(second, "id=\"log4\">本文") && !Has(second, "id=\"log5\""));
}

TEST_F(ArticleList, PageSizeAndKeysThatAreNoDate) {
  blog.Style("CONTENTVIEWCOUNT=12\r\n");
  EXPECT_EQ(PagingLine(blog.Page("demo")), Paging(kNoOlder, Link("@+19970101000000", "最新ページ")));
  blog.Style("CONTENTVIEWCOUNT=0\r\n");  // never reached: everything on one page
  EXPECT_EQ(Topics(blog.Page("demo")).size(), 12u);
  // Below 0 the same; the newer link counts the size as 0 and stays inside the list.
  for (const char* size : {"-5", "-2147483648"}) {
    blog.Style(std::string("CONTENTVIEWCOUNT=") + size + "\r\n");
    const TCGIResult top = blog.Run("demo");
    ASSERT_EQ(top.exitCode, 0) << size;
    EXPECT_EQ(PagingLine(top.body), Paging(kNoOlder, Link("@+19970101000000", "最新ページ"))) << size;
    const std::string later = blog.Page("demo+sv+@+" + Key(8));
    EXPECT_EQ(Topics(later), Titles(7, 1)) << size;
    EXPECT_EQ(PagingLine(later), Paging(kNoOlder, Link("@+" + Key(8), "次ぺージ"))) << size;
  }
  // A fourteen-character key that is no date starts at 2008/01/01: older than every article here.
  blog.Style("");
  const std::string bad = blog.Page("demo+sv+@+20261399999999");
  EXPECT_EQ(Topics(bad), Titles(12, 8));
  EXPECT_EQ(Topics(blog.Page("demo+sv+@+abcdefghijklmn")), Titles(12, 8));
  // Other lengths are no key at all.
  EXPECT_EQ(Topics(blog.Page("demo+sv+@+2026110810")), Titles(12, 8));
}

TEST_F(ArticleList, SameDateArticlesAreSkippedByTheKey) {
  TBlogFixture b;
  b.Category("c1", "日記");
  b.Article("c1", "2026/11/01 10:00:00", "古い", "x");
  // Two articles share a date (the second got its own id from a later creation time).
  const std::string line = "\"c1\",\"" + ArticleIdOf("x") + "\",\"2026/11/02 10:00:00\",\"2026/11/02 10:00:00\",\"同時\",\"1\"\r\n";
  b.Article("c1", "2026/11/02 10:00:00", "同時A", "x");
  b.Inst.Write(b.Dir + "cindex.txt", b.Inst.Read(b.Dir + "cindex.txt") + line);
  b.Inst.Write(b.Dir + ArticleIdOf("x") + ".txt", "x");
  b.Style("CONTENTVIEWCOUNT=1\r\n");
  const std::string first = b.Page("demo");
  EXPECT_EQ(Topics(first), std::vector<std::string>{"同時"});
  EXPECT_EQ(Topics(b.Page("demo+sv+@+20261102100000")), std::vector<std::string>{"古い"});
}

TEST_F(ArticleList, ArchivesAndCategories) {
  blog.Category("c2", "旅行");
  blog.Article("c2", "2026/12/01 09:00:00", "十二月", "旅");
  const std::string month = blog.Page("demo+sv+202611");
  EXPECT_EQ(Topics(month), Titles(12, 8));
  // The month is the category word of its paging links, so the next page is the month again.
  EXPECT_EQ(PagingLine(month), Paging(Link("202611+" + Key(8), "前ぺージ"), Link("202611+19970101000000", "最新ページ")));
  EXPECT_EQ(Topics(blog.Page("demo+sv+202611+" + Key(8))), Titles(7, 3));
  EXPECT_EQ(Topics(blog.Page("demo+sv+20261105")), std::vector<std::string>{"記事5"});
  EXPECT_EQ(Topics(blog.Page("demo+sv+c2")), std::vector<std::string>{"十二月"});
  EXPECT_EQ(Topics(blog.Page("demo+sv+@")).front(), "十二月");
  // Nothing selected: the date archive and the category list say so differently.
  EXPECT_EQ(ContentCell(blog.Page("demo+sv+202501")), "<td class=\"contentcell\">\r\n記事はありません(1)\r\n</td>\r\n");
  EXPECT_EQ(ContentCell(blog.Page("demo+sv+abcdef")), "<td class=\"contentcell\">\r\n記事はありません(1)\r\n</td>\r\n");
  for (const char* word : {"nosuchcat", "../x", "..%2Fcindex", "20261301000000", "%00", "x%22%3E%3Cscript%3E"})
    EXPECT_EQ(ContentCell(blog.Page(std::string("demo+sv+") + word)),
              "<td class=\"contentcell\">\r\n記事はありません(2)\r\n</td>\r\n")
        << word;
  const std::string huge(5000, 'a');
  const TCGIResult res = blog.Run("demo+sv+" + huge + "+" + huge);
  EXPECT_EQ(res.exitCode, 0);
  EXPECT_TRUE(Has(res.body, "記事はありません(2)"));
}

TEST_F(ArticleList, HiddenArticlesAndCategoriesAreLeftOut) {
  blog.Category("c3", "非公開", false);
  blog.Article("c3", Stamp(20), "隠しカテゴリ", "x");
  blog.Article("c1", Stamp(21), "非表示", "x", false);
  EXPECT_EQ(Topics(blog.Page("demo")), Titles(12, 8));
  EXPECT_TRUE(Has(blog.Page("demo+sv+c3"), "記事はありません(2)"));
  EXPECT_TRUE(Has(blog.Page("demo+sv+20261121"), "記事はありません(1)"));
}

TEST_F(ArticleList, CategoryHeaders) {
  blog.Inst.Write(blog.Dir + "default.ched", "<p>全部</p>");
  blog.Inst.Write(blog.Dir + "c1.ched", "<p>日記の頭</p>");
  blog.Inst.Write(blog.Dir + ".ched", "<p>日付</p>");
  EXPECT_TRUE(Has(blog.Page("demo"), "<td class=\"contentcell\">\r\n<p>全部</p>\r\n<span class=\"logdate\">"));
  EXPECT_TRUE(Has(blog.Page("demo+sv+@"), "<td class=\"contentcell\">\r\n<p>全部</p>\r\n"));
  EXPECT_TRUE(Has(blog.Page("demo+sv+c1"), "<td class=\"contentcell\">\r\n<p>日記の頭</p>\r\n"));
  EXPECT_TRUE(Has(blog.Page("demo+sv+202611"), "<td class=\"contentcell\">\r\n<p>日付</p>\r\n"));
  EXPECT_FALSE(Has(blog.Page("demo+sv+202501"), "日付</p>"));  // only above a list that has articles
}

TEST_F(ArticleList, BuiltInTemplateAndItsTags) {
  blog.Style("USECOMMENT=1\r\nUSETRACKBACK=1\r\nTIMETYPE=0\r\n");
  blog.Comment("c1", ids[11], "読者", "こんにちは");
  blog.Comment("c1", ids[11], "隠れ", "待ち", false);
  blog.Inst.Write(blog.Dir + "trackback.txt",
                  "\"1\",\"2026/11/30 10:00:00\",\"20261130100000abc\",\"" + ids[11] +
                      "\",\"b\",\"t\",\"e\",\"http://x/\"\r\n");
  const std::string& id = ids[11];
  const std::string expected =
      "<span class=\"logdate\">2026/11/12 10:00:00</span> / <span class=\"logcategory\">日記</span><br><br>\r\n"
      "<span class=\"logtopic\">記事12</span> <br>\r\n"
      "<span style=\"font-size:x-small\">記事へのリンク</span> <input style=\"width:350px; height=18\" type=\"text\" "
      "value=\"http://127.0.0.1/velm.exe?demo+sl+" + id + "\"><br>\r\n"
      "<span style=\"font-size:x-small\">トラックバックURL</span> <input style=\"width:350px; height=18\" "
      "type=\"text\" value=\"http://127.0.0.1/velm.exe?demo+tb+" + id + "\"><br>\r\n"
      "<hr>\r\n<div class=\"logcontent\" id=\"log0\">本文</div>\r\n<br clear=\"all\">\r\n"
      "<div class=\"update\">[更新日付:2026/11/12 10:00:00]</div>\r\n"
      "<span style=\"font-size:x-small\"><a href=\"./velm.exe?demo+sl+" + id + "\">コメントを書く(1)</a></span> "
      "<span style=\"font-size:x-small\"><a href=\"./velm.exe?demo+tv+" + id +
      "\" target=\"_blank\">トラックバックを見る(1)</a></span>\r\n";
  EXPECT_TRUE(Has(blog.Page("demo"), "<td class=\"contentcell\">\r\n" + expected)) << blog.Page("demo");

  // Off: no trackback line, an empty comment link; the default date form drops the seconds.
  blog.Style("");
  const std::string plain = ContentCell(blog.Page("demo"));
  EXPECT_TRUE(Has(plain, "<span class=\"logdate\">2026/11/12 10:00</span>"));
  EXPECT_FALSE(Has(plain, "トラックバック"));
  EXPECT_TRUE(Has(plain, "[更新日付:2026/11/12 10:00:00]</div>\r\n\r\n<span class=\"logdate\">"));
}

TEST_F(ArticleList, TimeTypes) {
  const char* const forms[] = {"2026/11/12 10:00:00", "2026/11/12 10:00", "26/11/12 10:00:00",
                               "26/11/12 10:00",      "11/12 10:00:00",   "11/12 10:00", "2026/11/12 10:00:00"};
  for (int t = 0; t <= 6; ++t) {
    blog.Style("TIMETYPE=" + std::to_string(t) + "\r\n");
    EXPECT_TRUE(Has(blog.Page("demo"), std::string("<span class=\"logdate\">") + forms[t] + "</span>")) << t;
  }
}

TEST_F(ArticleList, NamedTemplateTagOrderAndCase) {
  blog.Inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://h/\r\nTEMPCONTENTSTART\r\n\"mine\",\"mine.txt\"\r\n"
                              "TEMPCONTENTEND\r\n");
  blog.Inst.Write("template/mine.txt", "[<logtopic>]<LOGID>|<CategoryID>|<commentcount>|<TRACKBACKCOUNT>\r\n<Log>");
  blog.Style("CONTENTTEMPNAME=mine\r\nCONTENTVIEWCOUNT=1\r\n");
  TBlogFixture& b = blog;
  // A subject holding a tag replaced later is expanded; a body holding an earlier tag is not.
  b.Article("c1", Stamp(29), "題<LOGLINK>", "体<LOGID>");
  const std::string id = ArticleIdOf(Stamp(29));
  EXPECT_EQ(ContentCell(b.Page("demo")),
            "<td class=\"contentcell\">\r\n[<span class=\"logtopic\">題http://h/velm.exe?demo+sl+" + id + "</span>]" +
                id + "|c1|0|\r\n<div class=\"logcontent\" id=\"log0\">体<LOGID></div>\r\n"
                "<div align=\"center\">" + Link("@+" + Key(29), "前ぺージ") +
                Link("@+19970101000000", "最新ページ") + "</div>\r\n</td>\r\n");
  // A name that no entry has, or an entry whose file is missing, falls back to the built-in one.
  b.Style("CONTENTTEMPNAME=other\r\n");
  EXPECT_TRUE(Has(b.Page("demo"), "記事へのリンク"));
  b.Inst.Remove("template/mine.txt");
  b.Style("CONTENTTEMPNAME=mine\r\n");
  EXPECT_TRUE(Has(b.Page("demo"), "記事へのリンク"));
}

TEST(ArticleSummary, CutsBytesWithoutSplittingCharacters) {
  TBlogFixture b;
  b.Category("c1", "日記");
  b.Article("c1", Stamp(1), "九", "123456789");
  b.Article("c1", Stamp(2), "十", "1234567890");
  b.Article("c1", Stamp(3), "漢", "123456789漢字<b>太</b>");
  b.Article("c1", Stamp(4), "改", "12<BR>345\r\n67890123");
  b.Style("CONTENTSKIPMETHOD=1\r\nCONTENTSKIPLENGTH=10\r\n");
  const std::string page = b.Page("demo");
  auto teaser = [&](int day, const std::string& text) {
    return "id=\"log" + std::to_string(4 - day) + "\">" + text + "<br>[<a href=\"http://127.0.0.1/velm.exe?demo+sl+" +
           ArticleIdOf(Stamp(day)) + "\">続きを読む</a>]</div>";
  };
  EXPECT_TRUE(Has(page, teaser(1, "123456789"))) << page;
  EXPECT_TRUE(Has(page, teaser(2, "1234567890... ")));
  EXPECT_TRUE(Has(page, teaser(3, "123456789... ")));      // byte 10 starts 漢: cut before it
  EXPECT_TRUE(Has(page, teaser(4, "12<br>345<br>678... ")));
  // Below 1 the length is 200; method 0 shows the whole body.
  b.Style("CONTENTSKIPMETHOD=1\r\nCONTENTSKIPLENGTH=0\r\n");
  EXPECT_TRUE(Has(b.Page("demo"), teaser(3, "123456789漢字太")));
  b.Style("");
  EXPECT_TRUE(Has(b.Page("demo"), "id=\"log1\">123456789漢字<b>太</b></div>"));
}

TEST(ArticleSearch, NarrowsTheListByTitleOrText) {
  TBlogFixture b;
  b.Category("c1", "日記");
  b.Category("c2", "料理");
  b.Article("c1", Stamp(1), "Hello World", "英語");
  b.Article("c2", Stamp(2), "カレー", "スパイスの<b>香り</b>");
  b.Article("c1", Stamp(3), "表", "ソ");  // 表 and ソ end in the byte of "\"
  b.Article("c1", Stamp(4), "秘密", "スパイス", false);
  auto search = [&](const std::string& query, const std::string& word) {
    return Topics(b.Page(query, "searchword=" + word));
  };
  EXPECT_EQ(search("demo+dv", "hello"), std::vector<std::string>{"Hello World"});
  EXPECT_EQ(search("demo+dv", "%83X%83p%83C%83X"), std::vector<std::string>{"カレー"});  // スパイス, hidden one left out
  EXPECT_EQ(search("demo+dv", "%8D%81%82%E8"), std::vector<std::string>{"カレー"});       // 香り across the tags
  EXPECT_EQ(search("demo+dv", "b"), std::vector<std::string>{});                         // markup is not text
  EXPECT_EQ(search("demo+dv", "%5C"), std::vector<std::string>{});                       // no false hit on a trail byte
  EXPECT_EQ(search("demo+sv+c1", "%83X%83p%83C%83X"), std::vector<std::string>{});       // within the category
  EXPECT_TRUE(Has(b.Page("demo+dv", "searchword=zzz"), "記事はありません(2)"));
  EXPECT_EQ(Topics(b.Page("demo+dv", "searchword=")).size(), 3u);
}

TEST(ArticleSearch, ResultCountAndPagingKeepTheWord) {
  TBlogFixture b;
  b.Category("c1", "日記");
  for (int i = 1; i <= 9; ++i) b.Article("c1", Stamp(i), "cat " + std::to_string(i), "x");
  b.Article("c1", Stamp(10), "dog", "x");
  b.Inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nSEARCHRESULTCOUNT=7\r\n");
  const std::string first = b.Page("demo+dv", "searchword=CAT");
  EXPECT_EQ(Topics(first), (std::vector<std::string>{"cat 9", "cat 8", "cat 7", "cat 6", "cat 5"}));
  const std::string form = "[<form style=\"display:inline; margin:0px\" action=\"./velm.exe?demo+sv+@+" + Key(5) +
                           "\" method=\"post\"><input type=\"hidden\" name=\"searchword\" value=\"CAT\"><input "
                           "class=\"pagebutton\" type=\"submit\" value=\"前ぺージ\"></form>]";
  EXPECT_TRUE(Has(first, form)) << first;
  // The second page of the result holds the last two of the seven.
  EXPECT_EQ(Topics(b.Page("demo+sv+@+" + Key(5), "searchword=CAT")), (std::vector<std::string>{"cat 4", "cat 3"}));
}

}  // namespace
