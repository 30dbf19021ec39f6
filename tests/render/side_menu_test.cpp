// The side menu cell, the sub column cell and the link page content cell.
#include <gtest/gtest.h>

#include <cstdlib>

#include "../app/module_fixture.h"
#include "render/side_menu.h"
#include "store/DCSVList.h"
#include "text/dates.h"

namespace fs = std::filesystem;

namespace {

const std::string kNavi = "<td class=\"navicell\">";
const std::string kCredit = "<div style=\"font-size:xx-small; text-align:center\">Powered by VELM 1.23</div>";

TContentIndex Article(const std::string& id, const std::string& date, const std::string& title) {
  return {"c1", id, date, date, title, true};
}

TCommentIndex Comment(const std::string& logid, const std::string& name, const std::string& date) {
  return {"c1", logid, "id", date, name, "text", true, ""};
}

class SideMenuTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(m.AccountFolder());
    fs::create_directories(m.AccountImageFolder());
    fs::create_directories(m.TemplateFolder());
  }
  void TearDown() override { fs::remove_all(root); }

  void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  // A custom menu of these lines (both switches on).
  void Custom(const TStringList& lines) {
    m.Css.USECUSTOMMENU = m.Sys.USECUSTOMMENU = true;
    Write(m.AccountFolder() + "custommenu.txt", JoinLines(lines) + "\r\n");
  }
  TStringList Cell() {
    TStringList page;
    m.SideMenuCell(page, in);
    return page;
  }
  // The processed menu lines of a custom menu, without the cell's frame and the credit.
  TStringList Lines(const TStringList& menu) {
    Custom(menu);
    TStringList page = Cell();
    EXPECT_GE(page.size(), 3u);
    EXPECT_EQ(page.front(), kNavi);
    EXPECT_EQ(page[page.size() - 2], kCredit);
    EXPECT_EQ(page.back(), "</td>");
    return TStringList(page.begin() + 1, page.end() - 2);
  }
  std::string Box(const std::string& tag) {
    const TStringList l = Lines({tag});
    return l.empty() ? "" : l[0];
  }

  std::string root = MakeTempFolder("velm-menu");
  TModuleFixture f{root};
  TWebModule1& m = f.Module;
  TWebModule1::TSideMenuInput in;
  void SetArticles(const TContentList& list) {
    in.Contents = TContentRefList::Of(list);
    in.Summary = TIndexSummary::Of(list);
  }
};

TEST_F(SideMenuTest, TemplateChoiceCustomThenNamedThenBuiltIn) {
  const TStringList builtIn = Cell();
  ASSERT_EQ(builtIn.size(), DefaultMenuLines().size() + 3);
  EXPECT_EQ(builtIn[2], "<hr>");
  EXPECT_EQ(builtIn[3], "カレンダ<br>");
  EXPECT_EQ(builtIn[builtIn.size() - 2], kCredit);

  m.Sys.NaviTempList = {{"other", "missing.txt"}, {"mine", "nav.txt"}};
  m.Css.MENUTEMPNAME = "mine";
  Write(m.TemplateFolder() + "nav.txt", "NAMED\r\n");
  EXPECT_EQ(Cell(), (TStringList{kNavi, "NAMED", kCredit, "</td>"}));

  // The custom menu needs both switches.
  Write(m.AccountFolder() + "custommenu.txt", "CUSTOM");
  m.Css.USECUSTOMMENU = true;
  EXPECT_EQ(Cell()[1], "NAMED");
  m.Sys.USECUSTOMMENU = true;
  EXPECT_EQ(Cell(), (TStringList{kNavi, "CUSTOM", kCredit, "</td>"}));

  // A custom menu or template that exists is used even when it holds nothing; only a missing
  // file falls back to the next choice.
  Write(m.AccountFolder() + "custommenu.txt", " \r\n\r\n");
  EXPECT_EQ(Cell(), (TStringList{kNavi, " ", "", kCredit, "</td>"}));
  fs::remove(m.AccountFolder() + "custommenu.txt");
  EXPECT_EQ(Cell()[1], "NAMED");
  Write(m.TemplateFolder() + "nav.txt", "");
  EXPECT_EQ(Cell(), (TStringList{kNavi, kCredit, "</td>"}));
  m.Css.MENUTEMPNAME = "other";
  EXPECT_EQ(Cell().size(), builtIn.size());
  m.Css.MENUTEMPNAME = "Mine";  // the name must match exactly
  EXPECT_EQ(Cell().size(), builtIn.size());
}

TEST_F(SideMenuTest, MarkLinesTagCaseCookiesAndCredit) {
  SetArticles({Article("a1", "2009/05/17 08:03:09", "Title")});
  m.InName = "me<b>";
  m.InPass = "pw\"";
  const TStringList l = Lines({"<MONTHCONTENT>", "  monthmark=◆ ", "<newcontent>", "<cookieid>|<COOKIEID>|<COOKIEPASS>",
                               "ContentMark=・"});
  ASSERT_EQ(l.size(), 5u);
  EXPECT_NE(l[0].find("◆<a href=\"./velm.exe?demo+sv+200905\">2009/05</a><br>"), std::string::npos) << l[0];
  EXPECT_EQ(l[1], "  monthmark=◆ ");  // the mark line stays, as written
  EXPECT_EQ(l[2], "・<a href=\"./velm.exe?demo+sl+a1\">Title</a><br>\r\n05/17 08:03<br>");
  EXPECT_EQ(l[3], "<cookieid>|me&lt;b&gt;|pw&quot;");
  EXPECT_EQ(l[4], "ContentMark=・");
  // Lines() checks that the credit ends every menu; a template may place it too.
  EXPECT_EQ(Lines({"x <copyright> y"}), (TStringList{"x " + kCredit + " y"}));
}

TEST_F(SideMenuTest, MonthArchiveFolds) {
  TContentList list;
  for (const char* d : {"2009/05/17", "2009/05/01", "2009/04/30", "2009/02/01", "2008/12/24", "2009/05/02", "2008/11/01"})
    list.push_back(Article("x", std::string(d) + " 10:00:00", "t"));
  list.push_back(Article("h", "2007/01/01 10:00:00", "hidden"));
  list.back().visible = false;
  SetArticles(list);
  const std::string script =
      "<script language=\"JavaScript\" type=\"text/JavaScript\">\r\n<!--\r\nfunction _openmonth(id) {\r\n"
      "  if (document.getElementById(id).style.display == 'none') { document.getElementById(id).style.display = "
      "'block'; } else { document.getElementById(id).style.display = 'none'; }\r\n}\r\n-->\r\n</script>\r\n";
  auto month = [](const char* six, const char* text) {
    return std::string("■<a href=\"./velm.exe?demo+sv+") + six + "\">" + text + "</a><br>";
  };
  const std::string fold = "■<a href=\"javascript:_openmonth('nextmonth')\">続き...</a><br>\r\n"
                           "<div id=\"nextmonth\" style=\"display:none\">\r\n";
  const std::string m1 = month("200905", "2009/05"), m2 = month("200904", "2009/04"), m3 = month("200902", "2009/02"),
                    m4 = month("200812", "2008/12"), m5 = month("200811", "2008/11");

  m.Css.MONTHFOLDING = 2;
  EXPECT_EQ(Box("<MONTHCONTENT>"),
            script + m1 + "\r\n" + m2 + "\r\n" + fold + m3 + "\r\n" + m4 + "\r\n" + m5 + "\r\n</div>");
  m.Css.MONTHFOLDING = 0;
  EXPECT_EQ(Box("<MONTHCONTENT>"),
            script + fold + m1 + "\r\n" + m2 + "\r\n" + m3 + "\r\n" + m4 + "\r\n" + m5 + "\r\n</div>");
  m.Css.MONTHFOLDING = 5;
  EXPECT_EQ(Box("<MONTHCONTENT>"), script + m1 + "\r\n" + m2 + "\r\n" + m3 + "\r\n" + m4 + "\r\n" + m5);
  m.Css.MONTHFOLDING = -1;  // never folds, and closes no division it did not open
  EXPECT_EQ(Box("<MONTHCONTENT>"), script + m1 + "\r\n" + m2 + "\r\n" + m3 + "\r\n" + m4 + "\r\n" + m5);

  SetArticles({});
  EXPECT_EQ(Box("<MONTHCONTENT>"), "記事はありません<br>");
}

TEST_F(SideMenuTest, CategoryBoxLeavesHiddenCategoriesOut) {
  EXPECT_EQ(Box("<CATEGORY>"), "カテゴリはありません<br>");
  m.CategoryList = {{"c1", "One", 2, true}, {"c2", "Two", 5, false}, {"c3", "Three", 1, true}};
  EXPECT_EQ(Box("<CATEGORY>"),
            "▼<a href=\"./velm.exe?demo+sv+c1\">One(2)</a><br>\r\n"
            "▼<a href=\"./velm.exe?demo+sv+c3\">Three(1)</a><br>\r\n"
            "▼<a href=\"./velm.exe?demo+dv\">全ての記事(3)</a>");
  m.Css.USECATEGORYRSS = true;
  m.Css.RSSVERSION = "ATOM";
  const std::string box = Box("<CATEGORY>");
  EXPECT_NE(box.find("One(2)</a><a href=\"./velm.exe?demo+atoml+c1\"><img src=\"./images/atom10long.gif\" "
                     "alt=\"ATOM1.0\" border=\"0\"></a><br>\r\n"),
            std::string::npos)
      << box;
  m.Css.RSSVERSION = "1.0";
  EXPECT_NE(Box("<CATEGORY>").find("+rssl+c3\"><img src=\"./images/rss10long.gif\" alt=\"RSS1.0\""), std::string::npos);
  m.Css.RSSVERSION = "2.0";
  EXPECT_NE(Box("<CATEGORY>").find("+rssl20+c3\"><img src=\"./images/rss20long.gif\" alt=\"RSS2.0\""), std::string::npos);
  // Only the exact versions have a feed, as in the page head.
  for (const char* other : {"atom", "1.00", ""}) {
    m.Css.RSSVERSION = other;
    EXPECT_EQ(Box("<CATEGORY>"),
              "▼<a href=\"./velm.exe?demo+sv+c1\">One(2)</a><br>\r\n"
              "▼<a href=\"./velm.exe?demo+sv+c3\">Three(1)</a><br>\r\n"
              "▼<a href=\"./velm.exe?demo+dv\">全ての記事(3)</a>")
        << other;
  }
}

TEST_F(SideMenuTest, FeedMarksWithAndWithoutTheirPictures) {
  Write(m.ImageFolder() + "rss20long.gif", "GIF");
  EXPECT_EQ(Lines({"<RSSMARK>", "<rssmark20>", "<AtomMark>"}),
            (TStringList{"[<a href=\"./velm.exe?demo+rssl\" target=\"_blank\">RSS1.0</a>]",
                         "<a href=\"./velm.exe?demo+rssl20\" target=\"_blank\"><img src=\"./images/rss20long.gif\" "
                         "alt=\"VELM-RSS 2.0\" border=\"0\"></a>",
                         "[<a href=\"./velm.exe?demo+atoml\" target=\"_blank\">ATOM1.0</a>]"}));
}

TEST_F(SideMenuTest, NewestArticlesShowOneMoreThanTheCount) {
  EXPECT_EQ(Box("<NEWCONTENT>"), "記事はありません");
  SetArticles({Article("a3", "2009/05/17 08:03:09", "Three"), Article("a2", "2009/04/01 23:59:00", "Two"),
                 Article("a1", "2009/03/01 00:00:00", "One")});
  m.Css.CONTENTVIEWCOUNT = 1;
  EXPECT_EQ(Box("<NEWCONTENT>"),
            "▼<a href=\"./velm.exe?demo+sl+a3\">Three</a><br>\r\n05/17 08:03<br>\r\n"
            "▼<a href=\"./velm.exe?demo+sl+a2\">Two</a><br>\r\n04/01 23:59<br>");
}

TEST_F(SideMenuTest, NewestCommentsGroupedByArticle) {
  SetArticles({Article("a2", "2009/05/02 00:00:00", "Second"), Article("a1", "2009/05/01 00:00:00", "First")});
  m.Css.USECOMMENT = true;
  EXPECT_EQ(Box("<NEWCOMMENT>"), "コメントはありません");
  in.NewComments = {Comment("a1", "Ann", "2009/05/10 10:00:00"), Comment("gone", "Eve", "2009/05/09 10:00:00"),
                    Comment("a2", "Bob", "2009/05/08 10:00:00"), Comment("a1", "Cy", "2009/05/07 10:00:00")};
  EXPECT_EQ(Box("<NEWCOMMENT>"),
            "▼<a href=\"./velm.exe?demo+sl+a1\">First</a><br>\r\n"
            " <span style=\"font-weight:bold\">Ann</span> [05/10 10:00]<br>\r\n"
            " <span style=\"font-weight:bold\">Cy</span> [05/07 10:00]<br>\r\n"
            "▼<a href=\"./velm.exe?demo+sl+a2\">Second</a><br>\r\n"
            " <span style=\"font-weight:bold\">Bob</span> [05/08 10:00]<br>");
  m.Css.USECOMMENT = false;
  EXPECT_EQ(Box("x<NewComment>x"), "x停止中x");
}

TEST_F(SideMenuTest, PageRankFromAFreshCacheOnly) {
  const std::string path = m.AccountFolder() + "pagerank.txt";
  EXPECT_EQ(Box("<PAGERANK>"), "0");
  Write(path, MakeRecordLine({FormatStamp(AddSeconds(Now(), -3600)), "4"}) + "\r\n");
  EXPECT_EQ(Box("rank <PageRank>"), "rank 4");
  Write(path, MakeRecordLine({FormatStamp(AddSeconds(Now(), -2 * 86400)), "4"}) + "\r\n");
  EXPECT_EQ(Box("<PAGERANK>"), "0");
  for (const std::string& garbage : {MakeRecordLine({FormatStamp(Now()), "four"}), MakeRecordLine({"yesterday", "4"}),
                                     MakeRecordLine({FormatStamp(AddSeconds(Now(), 5 * 86400)), "4"}),
                                     std::string("\xff\0\x81", 3)}) {
    Write(path, garbage);
    EXPECT_EQ(Box("<PAGERANK>"), "0") << garbage;
  }
}

TEST_F(SideMenuTest, ProfileLinksAndCounter) {
  EXPECT_EQ(Box("<PROFILE>"), "プロフィールは未設定です");
  Write(m.AccountFolder() + "profile.txt", "Hello<br>World");
  Write(m.AccountImageFolder() + "ProfileImage.PNG", "png");
  EXPECT_EQ(Box("<PROFILE>"),
            "Hello<br>World<div align=\"center\"><img src=\"./images/demo/ProfileImage.PNG\" width=\"144\" "
            "alt=\"Profile image\"></div>");

  EXPECT_EQ(Box("<LINKURL>"), "");
  Write(m.AccountFolder() + "url.link",
        MakeRecordLine({"k1", "http://a.example/", "A &amp; B"}) + "\r\n" +
            MakeRecordLine({"k2", "http://b.example/", "B", "cat", "note"}) + "\r\n");
  EXPECT_EQ(Lines({"LINKMARK=→", "<LINKURL>"})[1],
            "→<a href=\"http://a.example/\" target=\"_blank\">A &amp; B</a><br>\r\n"
            "→<a href=\"http://b.example/\" target=\"_blank\">B</a><br>");

  EXPECT_EQ(Box("<ACCESSCOUNT>"), "今日は 0回<br>\r\n昨日は 0回<br>\r\nトータル 0回<br>");
}

TEST_F(SideMenuTest, PhotoTagsChooseOncePerPage) {
  EXPECT_EQ(Box("<LASTPHOTOSUBJECT>|<LASTPHOTODATE>|<LASTPHOTOURL>|<LASTPHOTO>"), "|||");
  TStringList ids;
  for (const char* date : {"2009/05/01 10:00:00", "2009/05/02 10:00:00"}) {  // oldest first
    const std::string id = ArticleIdOf(date);
    ids.push_back(id);
    std::ofstream(m.AccountFolder() + "cindex.txt", std::ios::app | std::ios::binary)
        << MakeRecordLine({"c1", id, date, date, std::string("P") + date[9], "1"}) << "\r\n";
    Write(m.AccountFolder() + id + ".txt", "body");
    Write(m.AccountFolder() + id + ".iix", id + "-1.jpg\r\n");
    Write(m.AccountImageFolder() + id + "-1.jpg", "jpg");
  }
  EXPECT_EQ(Box("<LASTPHOTOSUBJECT>|<LastPhotoDate>|<LASTPHOTOURL>|<LASTPHOTO>"),
            "P2|2009/05/02 10:00:00|./velm.exe?demo+sl+" + ids[1] + "|<img src=\"./images/demo/" + ids[1] +
                "-1.jpg\" width=\"144\" alt=\"P2\" border=\"0\">");
  int picks = 0;
  static int* counter;
  counter = &picks;
  m.PhotoPick = [](size_t) -> size_t {
    ++*counter;
    return 1;
  };
  const TStringList l = Lines({"<RANDOMPHOTOSUBJECT>", "<RANDOMPHOTOURL>", "<RANDOMPHOTO>"});
  EXPECT_EQ(l[0], "P1");
  EXPECT_EQ(l[1], "./velm.exe?demo+sl+" + ids[0]);
  EXPECT_EQ(picks, 1);
}

TEST_F(SideMenuTest, EveryCalendarTagOfALine) {
  in.CalendarYear = 2009;
  in.CalendarMonth = 5;
  SetArticles({Article("a", "2009/05/03 10:00:00", "t")});
  const std::string red = "<CALENDAR sunbgcolor=\"red\" text=\"a>b\">";
  const std::string line = Box(red + " and <calendar> and <CALENDAR unclosed");
  EXPECT_EQ(line, m.CalendarHTML(red, 2009, 5, in.Summary) + " and " +
                      m.CalendarHTML("<calendar>", 2009, 5, in.Summary) + " and <CALENDAR unclosed");
  EXPECT_NE(line.find("background:red"), std::string::npos);
  EXPECT_NE(line.find("./velm.exe?demo+sv+20090503"), std::string::npos);
}

TEST_F(SideMenuTest, OddTemplatesRender) {
  Custom({});
  Write(m.AccountFolder() + "custommenu.txt", std::string("\0<PROFILE>\xff\r\n\x81", 14) + "<CATEGORY>\r\n<CALENDAR");
  const TStringList page = Cell();
  ASSERT_EQ(page.size(), 6u);
  EXPECT_EQ(page[1], std::string("\0プロフィールは未設定です\xff", 26));
  EXPECT_EQ(page[3], "<CALENDAR");

  TStringList big(50000, "<hr><PROFILE>");
  big.push_back("<MONTHCONTENT>");
  EXPECT_EQ(Lines(big).size(), big.size());
}

TEST(SideMenuSearchTest, SearchBoxKeepsTheWordEscaped) {
  char body[] = "searchword=%3Cb%3E%22x%22&other=1";
  FILE* in = fmemopen(body, sizeof body - 1, "r");
  setenv("CONTENT_LENGTH", std::to_string(sizeof body - 1).c_str(), 1);
  char name[] = "velm.exe";
  char* argv[] = {name, nullptr};
  TCGIRequest request(1, argv, in);
  unsetenv("CONTENT_LENGTH");
  TCGIResponse response("HTTP/1.1");
  TWebModule1 m(request, response);
  m.Account.Id = m.AccountWord = "demo";
  m.Sys.DATAFOLDER = "/nonexistent/";
  m.Sys.NaviTempList = {{"search", "search.txt"}};
  m.Css.MENUTEMPNAME = "search";
  m.ExeFolder = MakeTempFolder("velm-search");
  fs::create_directories(m.TemplateFolder());
  std::ofstream(m.TemplateFolder() + "search.txt") << "<SEARCHBOX>";
  TStringList page;
  m.SideMenuCell(page, {});
  fclose(in);
  fs::remove_all(m.ExeFolder);
  ASSERT_EQ(page.size(), 4u);
  EXPECT_EQ(page[1],
            "<form style=\"margin:0px\" action=\"./velm.exe?demo+dv\" method=\"post\"><input class=\"searchform\" "
            "type=\"text\" name=\"searchword\" value=\"&lt;b&gt;&quot;x&quot;\"><input class=\"searchbutton\" "
            "type=\"submit\" value=\"検索\"></form>");
}

// ---- sub column ----

class SubColumnTest : public SideMenuTest {
protected:
  TStringList Column() {
    TStringList page;
    m.SubColumnCell(page);
    return page;
  }
  static std::string Box(const std::string& text) { return "<div class=\"sidebox\">" + text + "</div>"; }
};

TEST_F(SubColumnTest, DefaultsUntilTheAccountHasItsBlocksOddFilesToo) {
  m.Sys.SIDEMENUMAX = 3;
  m.Sys.DefaultSideMenu = {{1, "D1"}, {3, "D3\r\nmore"}};
  EXPECT_EQ(Column(), (TStringList{"<td class=\"subcell\">", Box("D1"), Box("<br>"), Box("D3\r\nmore"), "</td>"}));

  m.Sys.SIDEMENUMAX = 11;
  Write(m.AccountFolder() + "sidemenu.txt",
        "SIDEMENU10START\r\nten\r\nSIDEMENU10END\r\n"
        "SIDEMENU3START\r\n\r\nSIDEMENU3END\r\n"                              // emptied by the owner
        " sidemenu4start \r\nx<RSSCONTENT key=\"k\" src=\"http://e/\">\r\nSIDEMENU2START\r\ny\r\nSIDEMENU4END\r\n"
        "SIDEMENU11START\r\nno end\r\n"
        "SIDEMENU12START\r\nbeyond\r\nSIDEMENU12END\r\n");
  const TStringList page = Column();
  ASSERT_EQ(page.size(), 13u);
  EXPECT_EQ(page[1], Box("D1"));
  EXPECT_EQ(page[2], Box("<br>"));  // its start line lies inside box 4 and has no end
  EXPECT_EQ(page[3], Box("<br>"));
  EXPECT_EQ(page[4], Box("x<RSSCONTENT key=\"k\" src=\"http://e/\">\r\nSIDEMENU2START\r\ny"));
  EXPECT_EQ(page[10], Box("ten"));
  EXPECT_EQ(page[11], Box("<br>"));

  // Box numbers are plain decimal: a leading zero makes the line box text.
  m.Sys.SIDEMENUMAX = 2;
  Write(m.AccountFolder() + "sidemenu.txt",
        "SIDEMENU1START\r\na\r\nSIDEMENU02START\r\nSIDEMENU1END\r\nSIDEMENU01START\r\nb\r\nSIDEMENU01END\r\n"
        "SIDEMENU2START\r\nc\r\nSIDEMENU2END\r\n");
  EXPECT_EQ(Column(), (TStringList{"<td class=\"subcell\">", Box("a\r\nSIDEMENU02START"), Box("c"), "</td>"}));

  m.Sys.SIDEMENUMAX = 11;
  Write(m.AccountFolder() + "sidemenu.txt", std::string("\xff\0SIDEMENU1START\r\n", 18) +
                                                "SIDEMENU99999999999999START\r\nSIDEMENU2START\r\n" +
                                                std::string("\0", 1) + "\r\nSIDEMENU2END");
  EXPECT_EQ(Column()[2], Box(std::string("\0", 1)));

  m.Sys.SIDEMENUMAX = 0;
  EXPECT_EQ(Column(), (TStringList{"<td class=\"subcell\">", "</td>"}));
}

// ---- link page ----

class LinkPageTest : public SideMenuTest {
protected:
  TStringList Page(const std::string& category) {
    m.Arg3 = category;
    TStringList page;
    m.LinkPageCell(page);
    return page;
  }
};

TEST_F(LinkPageTest, LinksOfTheNamedCategoryWithBanners) {
  Write(m.AccountFolder() + "url.link",
        MakeRecordLine({"k1", "http://plain/", "Plain"}) + "\r\n" +
            MakeRecordLine({"k2", "http://two/", "Two", "友達", "about &quot;two&quot;"}) + "\r\n" +
            MakeRecordLine({"k3", "http://three/", "Three", "友達", ""}) + "\r\n" +
            MakeRecordLine({"k4", "http://four/", "Four", "other", "x"}) + "\r\n" +
            MakeRecordLine({"../k5", "http://five/", "Five", "友達", ""}) + "\r\n");
  Write(m.AccountImageFolder() + "k3.JPG", "jpg");
  Write(m.AccountImageFolder() + "k3.gif", "gif");  // a ".jpg" banner wins
  Write(m.ImageFolder() + "k5.gif", "gif");  // outside the account's folder

  const std::string two = "<p><a href=\"http://two/\" target=\"_blank\">Two</a><br>about &quot;two&quot;</p>";
  const std::string five = "<p><a href=\"http://five/\" target=\"_blank\">Five</a><br></p>";
  EXPECT_EQ(Page("友達"),
            (TStringList{"<td class=\"contentcell\">",
                         "Link / 友達<br><br>\r\n" + two +
                             "\r\n<p><a href=\"http://three/\" target=\"_blank\">Three</a><br></p>\r\n" + five,
                         "</td>"}));
  m.Sys.USELINKBANNER = true;
  EXPECT_EQ(Page("友達")[1], "Link / 友達<br><br>\r\n" + two +
                                 "\r\n<p><a href=\"http://three/\" target=\"_blank\"><img src=\"./images/demo/k3.JPG\" "
                                 "alt=\"Three\" border=\"0\"></a><br></p>\r\n" + five);

  EXPECT_EQ(Page("")[1], "Link / <br><br>\r\n<p><a href=\"http://plain/\" target=\"_blank\">Plain</a><br></p>");
  EXPECT_EQ(Page("none"), (TStringList{"<td class=\"contentcell\">", "記事はありません", "</td>"}));
}

}  // namespace
