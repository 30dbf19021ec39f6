// The side menu cell and the sub column cell.
#include <gtest/gtest.h>

#include "../app/module_fixture.h"
#include "render/side_menu.h"
#include "store/DCSVList.h"
#include "text/dates.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const std::string kNavi = "<td class=\"navicell\">";
const std::string kCredit = "<div style=\"font-size:xx-small; text-align:center\">Powered by VELM 1.23</div>";

TContentIndex Article(const std::string& id, const std::string& date, const std::string& title = "t") {
  return {"c1", id, date, date, title, true};
}

class SideMenuTest : public ::testing::Test {
protected:
  TStringList Cell() {
    TStringList page;
    m.SideMenuCell(page, in);
    return page;
  }
  // The processed lines of a custom menu (both switches on), without the cell's frame and the credit.
  TStringList Lines(const TStringList& menu) {
    m.Css.USECUSTOMMENU = m.Sys.USECUSTOMMENU = true;
    WriteFile(m.AccountFolder() + "custommenu.txt", JoinLines(menu) + "\r\n");
    TStringList page = Cell();
    EXPECT_TRUE(page.size() >= 3 && page.front() == kNavi && page.rbegin()[1] == kCredit && page.back() == "</td>");
    return page.size() < 3 ? TStringList{} : TStringList(page.begin() + 1, page.end() - 2);
  }
  std::string Box(const std::string& tag) { return Lines({tag}).at(0); }
  void SetArticles(const TContentList& list) {
    in.Contents = TContentRefList::Of(list);
    in.Summary = TIndexSummary::Of(list);
  }

  TModuleFixture f{"", "searchword=%3Cb%3E%22x%22&other=1"};
  TWebModule1& m = f.Module;
  TWebModule1::TSideMenuInput in;
};

TEST_F(SideMenuTest, TemplateChoiceCustomThenNamedThenBuiltIn) {
  const TStringList builtIn = Cell();
  ASSERT_EQ(builtIn.size(), DefaultMenuLines().size() + 3);
  m.Sys.NaviTempList = {{"other", "missing.txt"}, {"mine", "nav.txt"}};
  m.Css.MENUTEMPNAME = "mine";
  WriteFile(m.TemplateFolder() + "nav.txt", "NAMED\r\n");
  EXPECT_EQ(Cell(), (TStringList{kNavi, "NAMED", kCredit, "</td>"}));
  WriteFile(m.AccountFolder() + "custommenu.txt", "CUSTOM");
  m.Css.USECUSTOMMENU = true;
  EXPECT_EQ(Cell()[1], "NAMED");  // the custom menu needs both switches
  m.Sys.USECUSTOMMENU = true;
  EXPECT_EQ(Cell(), (TStringList{kNavi, "CUSTOM", kCredit, "</td>"}));
  // A file that exists is used even when it holds nothing; only a missing one falls back.
  WriteFile(m.AccountFolder() + "custommenu.txt", " \r\n\r\n");
  EXPECT_EQ(Cell(), (TStringList{kNavi, " ", "", kCredit, "</td>"}));
  fs::remove(m.AccountFolder() + "custommenu.txt");
  EXPECT_EQ(Cell()[1], "NAMED");
  WriteFile(m.TemplateFolder() + "nav.txt", "");
  EXPECT_EQ(Cell(), (TStringList{kNavi, kCredit, "</td>"}));
  for (const char* name : {"other", "Mine"}) {  // a missing file; a name that does not match exactly
    m.Css.MENUTEMPNAME = name;
    EXPECT_EQ(Cell(), builtIn) << name;
  }
}

TEST_F(SideMenuTest, MonthArchiveFolds) {
  TContentList list;
  for (const char* d : {"2009/05/17", "2009/05/01", "2009/04/30", "2009/02/01", "2008/12/24", "2009/05/02", "2008/11/01"})
    list.push_back(Article("x", std::string(d) + " 10:00:00"));
  list.push_back({"c1", "h", "2007/01/01 10:00:00", "", "hidden", false});
  SetArticles(list);
  const std::string script =
      "<script language=\"JavaScript\" type=\"text/JavaScript\">\r\n<!--\r\nfunction _openmonth(id) {\r\n"
      "  if (document.getElementById(id).style.display == 'none') { document.getElementById(id).style.display = "
      "'block'; } else { document.getElementById(id).style.display = 'none'; }\r\n}\r\n-->\r\n</script>\r\n";
  const std::string fold = "■<a href=\"javascript:_openmonth('nextmonth')\">続き...</a><br>\r\n"
                           "<div id=\"nextmonth\" style=\"display:none\">\r\n";
  std::string months[5];
  int i = 0;
  for (std::string six : {"200905", "200904", "200902", "200812", "200811"})
    months[i++] = "■<a href=\"./velm.exe?demo+sv+" + six + "\">" + six.substr(0, 4) + "/" + six.substr(4) + "</a><br>\r\n";
  const std::string two = months[0] + months[1], rest = months[2] + months[3] + months[4], all = two + rest;
  const std::pair<int, std::string> cases[] = {{2, two + fold + rest + "</div>"},
                                               {0, fold + all + "</div>"},
                                               {5, all.substr(0, all.size() - 2)},
                                               {-1, all.substr(0, all.size() - 2)}};  // closes no division it did not open
  for (const auto& [folding, box] : cases) {
    m.Css.MONTHFOLDING = folding;
    EXPECT_EQ(Box("<MONTHCONTENT>"), script + box) << folding;
  }
  SetArticles({});
  EXPECT_EQ(Box("<MONTHCONTENT>"), "記事はありません<br>");
}

TEST_F(SideMenuTest, CategoryBoxLeavesHiddenCategoriesOut) {
  EXPECT_EQ(Box("<CATEGORY>"), "カテゴリはありません<br>");
  m.CategoryList = {{"c1", "One", 2, true}, {"c2", "Two", 5, false}, {"c3", "Three", 1, true}};
  const std::string plain = "▼<a href=\"./velm.exe?demo+sv+c1\">One(2)</a><br>\r\n"
                            "▼<a href=\"./velm.exe?demo+sv+c3\">Three(1)</a><br>\r\n"
                            "▼<a href=\"./velm.exe?demo+dv\">全ての記事(3)</a>";
  EXPECT_EQ(Box("<CATEGORY>"), plain);
  m.Css.USECATEGORYRSS = true;
  m.Css.RSSVERSION = "ATOM";
  EXPECT_NE(Box("<CATEGORY>").find("One(2)</a><a href=\"./velm.exe?demo+atoml+c1\"><img src=\"./images/atom10long.gif\" "
                                   "alt=\"ATOM1.0\" border=\"0\"></a><br>\r\n"),
            std::string::npos);
  for (const char* other : {"atom", "1.00", ""}) {  // only the exact versions have a feed
    m.Css.RSSVERSION = other;
    EXPECT_EQ(Box("<CATEGORY>"), plain) << other;
  }
}

TEST_F(SideMenuTest, NewestArticlesAndCommentsGroupedByArticle) {
  m.Css.USECOMMENT = true;
  EXPECT_EQ(Box("<NEWCONTENT>|<NEWCOMMENT>"), "記事はありません|コメントはありません");
  SetArticles({Article("a3", "2009/05/17 08:03:09", "Three"), Article("a2", "2009/04/01 23:59:00", "Two"),
               Article("a1", "2009/03/01 00:00:00", "One")});
  m.Css.CONTENTVIEWCOUNT = 1;  // one more than the count is shown
  EXPECT_EQ(Box("<NEWCONTENT>"), "▼<a href=\"./velm.exe?demo+sl+a3\">Three</a><br>\r\n05/17 08:03<br>\r\n"
                                 "▼<a href=\"./velm.exe?demo+sl+a2\">Two</a><br>\r\n04/01 23:59<br>");
  for (const auto& [logid, name, day] : {std::tuple{"a1", "Ann", "10"}, {"gone", "Eve", "09"}, {"a2", "Bob", "08"},
                                         {"a1", "Cy", "07"}})
    in.NewComments.push_back({"c1", logid, "id", std::string("2009/05/") + day + " 10:00:00", name, "text", true, ""});
  const std::string by = " <span style=\"font-weight:bold\">";
  EXPECT_EQ(Box("<NEWCOMMENT>"), "▼<a href=\"./velm.exe?demo+sl+a1\">One</a><br>\r\n" + by + "Ann</span> [05/10 10:00]<br>\r\n" +
                                     by + "Cy</span> [05/07 10:00]<br>\r\n▼<a href=\"./velm.exe?demo+sl+a2\">Two</a><br>\r\n" +
                                     by + "Bob</span> [05/08 10:00]<br>");
  m.Css.USECOMMENT = false;
  EXPECT_EQ(Box("x<NewComment>x"), "x停止中x");
}

TEST_F(SideMenuTest, OddTemplatesRender) {
  EXPECT_EQ(Lines({"\0<PROFILE>\xff"s, "\x81<CATEGORY>", "<CALENDAR"}),
            (TStringList{"\0プロフィールは未設定です\xff"s, "\x81カテゴリはありません<br>", "<CALENDAR"}));
  TStringList big(50000, "<hr><PROFILE>");
  big.push_back("<MONTHCONTENT>");
  EXPECT_EQ(Lines(big).size(), big.size());
}

TEST_F(SideMenuTest, SearchBoxKeepsThePostedWordEscaped) {
  EXPECT_EQ(Box("<SEARCHBOX>"),
            "<form style=\"margin:0px\" action=\"./velm.exe?demo+dv\" method=\"post\"><input class=\"searchform\" "
            "type=\"text\" name=\"searchword\" value=\"&lt;b&gt;&quot;x&quot;\"><input class=\"searchbutton\" "
            "type=\"submit\" value=\"検索\"></form>");
}

TEST_F(SideMenuTest, SubColumnFromDefaultsUntilTheAccountHasItsBlocks) {
  auto box = [](const std::string& text) { return "<div class=\"sidebox\">" + text + "</div>"; };
  auto column = [&](int max, const std::string& file) {
    m.Sys.SIDEMENUMAX = max;
    if (!file.empty()) WriteFile(m.AccountFolder() + "sidemenu.txt", file);
    TStringList page;
    m.SubColumnCell(page);
    return page;
  };
  m.Sys.DefaultSideMenu = {{1, "D1"}, {3, "D3\r\nmore"}};
  EXPECT_EQ(column(3, ""), (TStringList{"<td class=\"subcell\">", box("D1"), box("<br>"), box("D3\r\nmore"), "</td>"}));
  const TStringList page = column(11, "SIDEMENU10START\r\nten\r\nSIDEMENU10END\r\n"
                                      "SIDEMENU3START\r\n\r\nSIDEMENU3END\r\n"  // emptied by the owner
                                      " sidemenu4start \r\nx<RSSCONTENT key=\"k\" src=\"http://e/\">\r\nSIDEMENU2START\r\n"
                                      "y\r\nSIDEMENU4END\r\nSIDEMENU11START\r\nno end\r\nSIDEMENU12START\r\nbeyond\r\n"
                                      "SIDEMENU12END\r\n");
  ASSERT_EQ(page.size(), 13u);
  // Box 2's start line lies inside box 4, box 11 has no end; the text of a box is not processed.
  EXPECT_EQ(TStringList(page.begin() + 1, page.begin() + 5),
            (TStringList{box("D1"), box("<br>"), box("<br>"),
                         box("x<RSSCONTENT key=\"k\" src=\"http://e/\">\r\nSIDEMENU2START\r\ny")}));
  EXPECT_EQ(page[10] + page[11], box("ten") + box("<br>"));
  // Box numbers are plain decimal: a leading zero makes the line box text.
  EXPECT_EQ(column(2, "SIDEMENU1START\r\na\r\nSIDEMENU02START\r\nSIDEMENU1END\r\nSIDEMENU01START\r\nb\r\nSIDEMENU01END\r\n"
                      "SIDEMENU2START\r\nc\r\nSIDEMENU2END\r\n"),
            (TStringList{"<td class=\"subcell\">", box("a\r\nSIDEMENU02START"), box("c"), "</td>"}));
  EXPECT_EQ(column(11, "\xff\0SIDEMENU1START\r\nSIDEMENU99999999999999START\r\nSIDEMENU2START\r\n\0\r\nSIDEMENU2END"s)[2],
            box("\0"s));
  EXPECT_EQ(column(0, ""), (TStringList{"<td class=\"subcell\">", "</td>"}));
}

// Values that reach the page from cookies and files are escaped, and the password never reaches
// it; the rank cache counts only while it is at most a day old.
TEST_F(SideMenuTest, CookiesEscapedAndPageRankFromAFreshCacheOnly) {
  m.InName = "me<b>";
  m.InPass = "pw\"";
  EXPECT_EQ(Box("<cookieid>|<COOKIEID>|<COOKIEPASS>"), "<cookieid>|me&lt;b&gt;|");
  const std::string path = m.AccountFolder() + "pagerank.txt";
  EXPECT_EQ(Box("<PAGERANK>"), "0");
  WriteFile(path, MakeRecordLine({FormatStamp(AddSeconds(Now(), -3600)), "4"}) + "\r\n");
  EXPECT_EQ(Box("rank <PageRank>"), "rank 4");
  for (const std::string& stale : {MakeRecordLine({FormatStamp(AddSeconds(Now(), -2 * 86400)), "4"}),
                                   MakeRecordLine({FormatStamp(Now()), "four"}), "\xff\0\x81"s}) {
    WriteFile(path, stale);
    EXPECT_EQ(Box("<PAGERANK>"), "0") << stale;
  }
}

// The link page: links of the named category; banners only from the account's own folder, a
// .jpg before a .gif, and a link without a banner file keeps its title.
TEST_F(SideMenuTest, LinkPageOfTheNamedCategoryWithBanners) {
  auto page = [&](const std::string& category) {
    m.Arg3 = category;
    TStringList p;
    m.LinkPageCell(p, TWebModule1::TSideMenuInput());
    return p;
  };
  WriteFile(m.AccountFolder() + "url.link",
            MakeRecordLine({"k1", "http://plain/", "Plain"}) + "\r\n" +
                MakeRecordLine({"k2", "http://two/", "Two", "友達", "about"}) + "\r\n" +
                MakeRecordLine({"k3", "http://three/", "Three", "友達", ""}) + "\r\n" +
                MakeRecordLine({"../k5", "http://five/", "Five", "友達", ""}) + "\r\n");
  WriteFile(m.AccountImageFolder() + "k3.JPG", "jpg");
  WriteFile(m.AccountImageFolder() + "k3.gif", "gif");
  WriteFile(m.ImageFolder() + "k5.gif", "gif");  // outside the account's folder
  m.Sys.USELINKBANNER = true;
  EXPECT_EQ(page("友達"),
            (TStringList{"<td class=\"contentcell\">",
                         "Link / 友達<br><br>\r\n<p><a href=\"http://two/\" target=\"_blank\">Two</a><br>about</p>\r\n"
                         "<p><a href=\"http://three/\" target=\"_blank\"><img src=\"./images/demo/k3.JPG\" alt=\"Three\" "
                         "border=\"0\"></a><br></p>\r\n<p><a href=\"http://five/\" target=\"_blank\">Five</a><br></p>",
                         "</td>"}));
  EXPECT_EQ(page("")[1], "Link / <br><br>\r\n<p><a href=\"http://plain/\" target=\"_blank\">Plain</a><br></p>");
  EXPECT_EQ(page("none"), (TStringList{"<td class=\"contentcell\">", "記事はありません", "</td>"}));
}

}  // namespace
