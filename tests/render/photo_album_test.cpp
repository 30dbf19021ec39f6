// Photo album: the album list with its rows and paging.
#include <gtest/gtest.h>

#include "../app/module_fixture.h"
#include "store/DCSVList.h"

namespace {

const std::string kTd = "<td class=\"pt\" style=\"text-align:center\">";

class PhotoAlbumTest : public ::testing::Test {
protected:
  // Adds an article (oldest first) with an attachment list; `onDisk` pictures are written.
  std::string Article(const std::string& date, const std::string& title, const TStringList& attach,
                      const TStringList& onDisk, const std::string& category = "c1", bool visible = true) {
    const std::string id = ArticleIdOf(date);
    std::ofstream(m.AccountFolder() + "cindex.txt", std::ios::app | std::ios::binary)
        << MakeRecordLine({category, id, date, date, title, visible ? "1" : "0"}) << "\r\n";
    std::ofstream(m.AccountFolder() + id + ".txt", std::ios::binary) << "body";
    std::ofstream(m.AccountFolder() + id + ".iix", std::ios::binary) << JoinLines(attach, "\r\n") + "\r\n";
    for (const auto& f : onDisk) std::ofstream(m.AccountImageFolder() + f, std::ios::binary) << "img";
    return id;
  }
  // An article whose pictures <id>-1.jpg ... <id>-n.jpg all exist.
  std::string Photos(const std::string& date, const std::string& title, int n = 1) {
    TStringList names;
    for (int i = 1; i <= n; ++i) names.push_back(ArticleIdOf(date) + "-" + std::to_string(i) + ".jpg");
    return Article(date, title, names, names);
  }
  std::string Cell(const std::string& id, const std::string& file, const std::string& title,
                   const std::string& stamp) const {
    return "<a href=\"./velm.exe?demo+sl+" + id + "\"><img src=\"./images/demo/" + file + "\" width=\"240\" alt=\"" +
           title + "\" border=\"0\"></a><br><span style=\"font-size:xx-small\">" + title + " [" + stamp + "]</span>";
  }
  TStringList Album(const std::string& arg3 = "", const std::string& arg4 = "") {
    m.Arg3 = arg3, m.Arg4 = arg4;
    TStringList page;
    m.PhotoAlbumCell(page);
    return page;
  }
  // The titles shown on an album page, in order, and its paging division.
  static std::string Titles(const TStringList& page) {
    std::string out;
    const std::string text = JoinLines(page);
    for (size_t p = text.find("alt=\""); p != std::string::npos; p = text.find("alt=\"", p + 1))
      out += text.substr(p + 5, text.find('"', p + 5) - p - 5) + " ";
    return out;
  }
  static std::string Paging(const TStringList& page) { return page.size() >= 2 ? page[page.size() - 2] : ""; }

  TModuleFixture f;
  TWebModule1& m = f.Module;
};

TEST_F(PhotoAlbumTest, RowsRunAcrossArticlesAndStayOpenAtTheEnd) {
  const std::string a = Photos("2009/05/01 10:00:00", "old", 2), b = ArticleIdOf("2009/05/02 11:00:00");
  // Missing files, other types and names outside the account's folder are no pictures.
  Article("2009/05/02 11:00:00", "new", {"gone.jpg", "notes.txt", "../escape.jpg", b + "-1.jpg"}, {"notes.txt", b + "-1.jpg"});
  std::ofstream(m.ImageFolder() + "escape.jpg") << "outside";
  // Newest first: b's picture, then a's two; the third opens a row the table end closes.
  EXPECT_EQ(Album(), (TStringList{"<td class=\"contentcell\">", "<table border=\"0\" cellpadding=\"5\">",
                                  "<tr>" + kTd + Cell(b, b + "-1.jpg", "new", "05/02 11:00") + "</td>" + kTd,
                                  Cell(a, a + "-1.jpg", "old", "05/01 10:00") + "</td></tr><tr>" + kTd +
                                      Cell(a, a + "-2.jpg", "old", "05/01 10:00") + "</td>" + kTd,
                                  "</table>",
                                  "<div align=\"center\"><span style=\"color:silver\">[前ぺージ]</span>"
                                  "[<a href=\"./velm.exe?demo+pa+@+19970101000000\">最新ページ</a>]</div>",
                                  "</td>"}));
  m.Css.ALBUMVIEWCOLUMN = 3;  // one row holds all three, closed by the last picture
  EXPECT_TRUE(Album()[3].ends_with("</td></tr>"));
  m.Css.ALBUMVIEWCOLUMN = 0;  // below 1 still closes every row after one picture
  EXPECT_EQ(Album()[2], "<tr>" + kTd + Cell(b, b + "-1.jpg", "new", "05/02 11:00") + "</td></tr>");
  m.Css.ALBUMPHOTOMETHOD = 1;  // the first picture of each article only
  EXPECT_EQ(Titles(Album()), "new old ");
}

TEST_F(PhotoAlbumTest, PagingFollowsTheArticleDates) {
  for (int d = 1; d <= 7; ++d) Photos("2009/05/0" + std::to_string(d) + " 12:00:00", "p" + std::to_string(d));
  Article("2009/05/09 12:00:00", "hidden", {"h.jpg"}, {"h.jpg"}, "c1", false);
  m.Css.ALBUMVIEWCOUNT = m.Css.ALBUMVIEWCOLUMN = 3;
  const std::string link = "<a href=\"./velm.exe?demo+pa+@+", newest = "[" + link + "19970101000000\">最新ページ</a>]</div>";
  const std::string older = "<div align=\"center\">[" + link;

  EXPECT_EQ(Titles(Album()), "p7 p6 p5 ");
  EXPECT_EQ(Paging(Album()), older + "20090505120000\">前ぺージ</a>]" + newest);
  EXPECT_EQ(Titles(Album("@", "20090505120000")), "p4 p3 p2 ");
  EXPECT_EQ(Paging(Album("@", "20090505120000")), older + "20090502120000\">前ぺージ</a>]" + newest);  // 3 - 3 is below 1
  const TStringList last = Album("@", "20090502120000");
  EXPECT_EQ(Titles(last), "p1 ");
  EXPECT_EQ(Paging(last), "<div align=\"center\"><span style=\"color:silver\">[前ぺージ]</span>[" + link +
                              "20090505120000\">次ぺージ</a>]</div>");
  // A key that is no date starts at 2008/01/01; no article is older, so the list starts at the newest.
  EXPECT_EQ(Album("", "20091340000000"), Album());
  m.Css.ALBUMVIEWCOUNT = 0;  // shows everything
  EXPECT_EQ(Titles(Album()), "p7 p6 p5 p4 p3 p2 p1 ");
  // The third word picks a category or a month; a month of text only shows nothing.
  Article("2009/06/01 12:00:00", "text only", {"a.txt"}, {"a.txt"});
  Article("2009/07/01 12:00:00", "other", {"o.jpg"}, {"o.jpg"}, "c2");
  EXPECT_EQ(Titles(Album("c2")), "other ");
  EXPECT_NE(Paging(Album("c2")).find("+pa+c2+19970101000000"), std::string::npos);
  EXPECT_EQ(Titles(Album("200907")), "other ");
  const TStringList none{"<td class=\"contentcell\">", "<br>対象記事はありません<br>", "</td>"};
  for (const char* word : {"200906", "200904", "nosuch"}) EXPECT_EQ(Album(word), none) << word;
}

}  // namespace
