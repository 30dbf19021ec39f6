// Photo album: picture cells, the album list with its paging, the newest and random photo.
#include <gtest/gtest.h>

#include <set>

#include "../app/module_fixture.h"
#include "render/photo_album.h"
#include "store/DCSVList.h"

namespace fs = std::filesystem;

namespace {

class PhotoAlbumTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(m.AccountFolder());
    fs::create_directories(m.AccountImageFolder());
  }
  void TearDown() override { fs::remove_all(root); }

  // Adds an article (oldest first) with a body and, when given, an attachment list; the
  // pictures named in `onDisk` are written to the image folder.
  std::string Article(const std::string& date, const std::string& title, const TStringList& attach,
                      const TStringList& onDisk, const std::string& category = "c1", bool visible = true) {
    const std::string id = ArticleIdOf(date);
    std::ofstream(m.AccountFolder() + "cindex.txt", std::ios::app | std::ios::binary)
        << MakeRecordLine({category, id, date, date, title, visible ? "1" : "0"}) << "\r\n";
    std::ofstream(m.AccountFolder() + id + ".txt", std::ios::binary) << "body";
    if (!attach.empty()) {
      std::ofstream iix(m.AccountFolder() + id + ".iix", std::ios::binary);
      for (const auto& a : attach) iix << a << "\r\n";
    }
    for (const auto& f : onDisk) std::ofstream(m.AccountImageFolder() + f, std::ios::binary) << "img";
    return id;
  }
  // An article whose pictures <id>-1.jpg ... <id>-n.jpg all exist.
  std::string Photos(const std::string& date, const std::string& title, int n) {
    const std::string id = ArticleIdOf(date);
    TStringList names;
    for (int i = 1; i <= n; ++i) names.push_back(id + "-" + std::to_string(i) + ".jpg");
    return Article(date, title, names, names);
  }
  TPhotoPlace Place() const {
    return {"demo", m.AccountFolder(), m.AccountImageFolder(), "./images/demo/"};
  }
  std::string Cell(const std::string& id, const std::string& file, const std::string& title,
                   const std::string& stamp) const {
    return "<a href=\"./velm.exe?demo+sl+" + id + "\"><img src=\"./images/demo/" + file +
           "\" width=\"240\" alt=\"" + title + "\" border=\"0\"></a><br><span style=\"font-size:xx-small\">" +
           title + " [" + stamp + "]</span>";
  }
  TStringList Album(const std::string& arg3 = "", const std::string& arg4 = "") {
    m.Arg3 = arg3;
    m.Arg4 = arg4;
    TStringList page;
    m.PhotoAlbumCell(page);
    return page;
  }
  static std::string Text(const TStringList& page) { return JoinLines(page); }
  // The paging division of an album page.
  static std::string Paging(const TStringList& page) { return page.size() >= 2 ? page[page.size() - 2] : ""; }

  std::string root = MakeTempFolder("velm-album");
  TModuleFixture f{root};
  TWebModule1& m = f.Module;
};

const std::string kTd = "<td class=\"pt\" style=\"text-align:center\">";

TEST_F(PhotoAlbumTest, CellsSkipMissingAndNonPictureFiles) {
  const std::string id = ArticleIdOf("2009/05/17 08:03:09");
  Article("2009/05/17 08:03:09", "Sea &amp; sky",
          {"gone.jpg", "notes.txt", "../escape.jpg", id + "-4.PNG", id + "-5.gif"},
          {"notes.txt", id + "-4.PNG", id + "-5.gif"});
  std::ofstream(m.ImageFolder() + "escape.jpg") << "outside";  // exists, outside the account folder
  TContentIndex c;
  ASSERT_TRUE(FindContent(m.AccountFolder(), id, c));

  int column = 0;
  EXPECT_EQ(PhotoCells(Place(), m.Css, c, true, column), "./images/demo/" + id + "-4.PNG");
  EXPECT_EQ(column, 0);
  EXPECT_EQ(PhotoCells(Place(), m.Css, c, false, column),
            "<tr>" + kTd + Cell(id, id + "-4.PNG", "Sea &amp; sky", "05/17 08:03") + "</td>" + kTd +
                Cell(id, id + "-5.gif", "Sea &amp; sky", "05/17 08:03") + "</td></tr>");
  EXPECT_EQ(column, 0);

  // No body file: nothing; a body without a readable attachment list: "noread".
  fs::remove(m.AccountFolder() + id + ".txt");
  EXPECT_EQ(PhotoCells(Place(), m.Css, c, false, column), "");
  std::ofstream(m.AccountFolder() + id + ".txt") << "body";
  fs::remove(m.AccountFolder() + id + ".iix");
  EXPECT_EQ(PhotoCells(Place(), m.Css, c, false, column), "noread");
  EXPECT_EQ(PhotoCells(Place(), m.Css, c, true, column), "noread");
}

TEST_F(PhotoAlbumTest, RowsRunAcrossArticlesAndStayOpenAtTheEnd) {
  const std::string a = Photos("2009/05/01 10:00:00", "old", 2);
  const std::string b = Photos("2009/05/02 11:00:00", "new", 1);
  // Newest first: b's picture, then a's two; the third opens a row the table end closes.
  EXPECT_EQ(Album(), (TStringList{"<td class=\"contentcell\">", "<table border=\"0\" cellpadding=\"5\">",
                                  "<tr>" + kTd + Cell(b, b + "-1.jpg", "new", "05/02 11:00") + "</td>" + kTd,
                                  Cell(a, a + "-1.jpg", "old", "05/01 10:00") + "</td></tr><tr>" + kTd +
                                      Cell(a, a + "-2.jpg", "old", "05/01 10:00") + "</td>" + kTd,
                                  "</table>",
                                  "<div align=\"center\"><span style=\"color:silver\">[前ぺージ]</span>"
                                  "[<a href=\"./velm.exe?demo+pa+@+19970101000000\">最新ページ</a>]</div>",
                                  "</td>"}));
  // Three columns: one row holds all three, closed by the last picture.
  m.Css.ALBUMVIEWCOLUMN = 3;
  TStringList page = Album();
  EXPECT_EQ(page[3].substr(page[3].size() - 10), "</td></tr>");
  // A column setting below 1 still closes every row after one picture.
  m.Css.ALBUMVIEWCOLUMN = 0;
  page = Album();
  EXPECT_EQ(page[2], "<tr>" + kTd + Cell(b, b + "-1.jpg", "new", "05/02 11:00") + "</td></tr>");
}

TEST_F(PhotoAlbumTest, FirstPictureOnlyMethod) {
  const std::string a = Photos("2009/05/01 10:00:00", "four", 4);
  m.Css.ALBUMPHOTOMETHOD = 1;
  const TStringList page = Album();
  ASSERT_EQ(page.size(), 6u);
  EXPECT_EQ(page[2], "<tr>" + kTd + Cell(a, a + "-1.jpg", "four", "05/01 10:00") + "</td>" + kTd);
}

TEST_F(PhotoAlbumTest, PagingFollowsTheArticleDates) {
  std::vector<std::string> ids;  // oldest first
  for (int d = 1; d <= 7; ++d) ids.push_back(Photos("2009/05/0" + std::to_string(d) + " 12:00:00", "p" + std::to_string(d), 1));
  Article("2009/05/08 12:00:00", "text only", {"a.txt"}, {"a.txt"});
  Article("2009/05/09 12:00:00", "hidden", {"h.jpg"}, {"h.jpg"}, "c1", false);
  m.Css.ALBUMVIEWCOUNT = 3;
  m.Css.ALBUMVIEWCOLUMN = 3;
  const std::string older = "<div align=\"center\">[<a href=\"./velm.exe?demo+pa+@+";

  std::string page = Text(Album());  // days 7, 6, 5
  EXPECT_NE(page.find("p7"), std::string::npos);
  EXPECT_NE(page.find("p5"), std::string::npos);
  EXPECT_EQ(page.find("p4"), std::string::npos);
  EXPECT_EQ(page.find("hidden"), std::string::npos);
  EXPECT_EQ(Paging(Album()), older + "20090505120000\">前ぺージ</a>][<a href=\"./velm.exe?demo+pa+@+19970101000000\">"
                                  "最新ページ</a>]</div>");

  page = Text(Album("@", "20090505120000"));  // days 4, 3, 2
  EXPECT_NE(page.find("p4"), std::string::npos);
  EXPECT_NE(page.find("p2"), std::string::npos);
  EXPECT_EQ(page.find("p5"), std::string::npos);
  EXPECT_EQ(page.find("p1"), std::string::npos);
  EXPECT_EQ(Paging(Album("@", "20090505120000")),
            older + "20090502120000\">前ぺージ</a>][<a href=\"./velm.exe?demo+pa+@+19970101000000\">"
                    "最新ページ</a>]</div>");  // 3 - 3 is below 1

  const TStringList last = Album("@", "20090502120000");  // day 1, the last page
  EXPECT_NE(Text(last).find("p1"), std::string::npos);
  EXPECT_EQ(Paging(last), "<div align=\"center\"><span style=\"color:silver\">[前ぺージ]</span>"
                          "[<a href=\"./velm.exe?demo+pa+@+20090505120000\">次ぺージ</a>]</div>");

  // A key that is no date starts at 2008/01/01; no article is older, so the list starts at the newest.
  EXPECT_EQ(Album("", "20091340000000"), Album());
  // Page size 0 shows everything.
  m.Css.ALBUMVIEWCOUNT = 0;
  page = Text(Album());
  EXPECT_NE(page.find("p7"), std::string::npos);
  EXPECT_NE(page.find("p1"), std::string::npos);
}

TEST_F(PhotoAlbumTest, NothingToShow) {
  const TStringList none{"<td class=\"contentcell\">", "<br>対象記事はありません<br>", "</td>"};
  EXPECT_EQ(Album(), none);
  Article("2009/05/08 12:00:00", "text only", {"a.txt"}, {"a.txt"});
  EXPECT_EQ(Album(), none);
}

TEST_F(PhotoAlbumTest, ThirdWordFiltersByCategoryOrDate) {
  Photos("2009/04/30 12:00:00", "april", 1);
  Article("2009/05/01 12:00:00", "other", {"o.jpg"}, {"o.jpg"}, "c2");
  TStringList page = Album("c2");
  EXPECT_NE(page[2].find("other"), std::string::npos);
  EXPECT_EQ(page[2].find("april"), std::string::npos);
  EXPECT_NE(Paging(page).find("+pa+c2+19970101000000"), std::string::npos);
  page = Album("200904");
  EXPECT_NE(page[2].find("april"), std::string::npos);
  EXPECT_EQ(page[2].find("other"), std::string::npos);
  EXPECT_EQ(Album("200906").size(), 3u);
  EXPECT_EQ(Album("nosuch").size(), 3u);
}

TEST_F(PhotoAlbumTest, NewestPhoto) {
  TContentIndex c;
  std::string url = "stale";
  EXPECT_FALSE(m.ChoosePhoto(false, c, url));
  EXPECT_EQ(url, "");
  EXPECT_EQ(c.id, "");

  const std::string a = Photos("2009/05/01 10:00:00", "first", 2);
  EXPECT_TRUE(m.ChoosePhoto(false, c, url));
  EXPECT_EQ(c.id, a);
  EXPECT_EQ(c.title, "first");
  EXPECT_EQ(c.date, "2009/05/01 10:00:00");
  EXPECT_EQ(url, "./images/demo/" + a + "-1.jpg");

  // The newest photo article has lost its pictures: a dummy address of its id.
  const std::string b = Article("2009/05/02 10:00:00", "lost", {"gone.jpg"}, {});
  EXPECT_TRUE(m.ChoosePhoto(false, c, url));
  EXPECT_EQ(c.id, b);
  EXPECT_EQ(url, b + ".dummy");
}

TEST_F(PhotoAlbumTest, RandomPhoto) {
  const std::string a = Photos("2009/05/01 10:00:00", "a", 1);
  const std::string b = Article("2009/05/02 10:00:00", "b", {"gone.jpg"}, {});
  const std::string c3 = Photos("2009/05/03 10:00:00", "c", 1);
  TContentIndex c;
  std::string url;

  // The pick is an index into the photo articles, newest first.
  m.PhotoPick = [](size_t n) { return n - 1; };
  EXPECT_TRUE(m.ChoosePhoto(true, c, url));
  EXPECT_EQ(c.id, a);
  EXPECT_EQ(url, "./images/demo/" + a + "-1.jpg");
  m.PhotoPick = [](size_t) { return size_t{1}; };
  EXPECT_TRUE(m.ChoosePhoto(true, c, url));
  EXPECT_EQ(c.id, b);
  EXPECT_EQ(url, "");  // no dummy address for the random photo
  m.PhotoPick = [](size_t) { return size_t{99}; };
  EXPECT_TRUE(m.ChoosePhoto(true, c, url));
  EXPECT_EQ(c.id, a);

  // The clock-seeded generator reaches every article.
  m.PhotoPick = nullptr;
  std::set<std::string> seen;
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(m.ChoosePhoto(true, c, url));
    seen.insert(c.id);
  }
  EXPECT_EQ(seen, (std::set<std::string>{a, b, c3}));
}

}  // namespace
