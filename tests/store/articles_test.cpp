#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "store/DCSVList.h"
#include "store/articles.h"
#include "store/categories.h"
#include "store/comments.h"
#include "store/file_access.h"
#include "text/DHash.h"
#include "text/DString.h"

namespace fs = std::filesystem;
using V = std::vector<std::string>;

namespace {

class StoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velm-articles-XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
    images = dir + "images/";
    fs::create_directories(images);
  }
  void TearDown() override { fs::remove_all(dir); }
  void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  std::string Read(const std::string& path) {
    std::string s;
    LoadTextFromFile(path, s);
    return s;
  }
  void Index(const V& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\r\n";
    Write(dir + "cindex.txt", s);
  }
  V Ids(const std::string& cat, bool hiddenCats, bool hidden, const std::string& date) {
    TContentList l;
    LoadContentList(dir, cat, hiddenCats, false, hidden, l, cats, date);
    V v;
    for (const auto& c : l) v.push_back(c.id);
    return v;
  }
  std::string dir, images;
  TCategoryList cats;
};

std::string Id(char c) { return std::string(40, c); }
std::string Line(const std::string& cat, char id, const std::string& date, const std::string& vis = "1") {
  V f = {cat, Id(id), date, date, "題名"};
  if (!vis.empty()) f.push_back(vis);
  return MakeRecordLine(f);
}

TEST_F(StoreTest, SelectionNewestFirstWithEveryFilter) {
  Index({Line("c1", 'a', "2009/04/30 23:59:59"), Line("c1", 'b', "2009/05/01 00:00:00", ""),
         Line("c2", 'c', "2009/05/17 08:03:09", "0"), "\"c1\",\"short\"",
         Line("gone", 'd', "2009/05/17 10:00:00"), Line("c3", 'e', "2009/06/01 00:00:00"),
         MakeRecordLine({"c1", Id('f'), "2009/05/17 10:00:00", "x", "t", "1", "extra"})});
  cats = {{"c1", "一", 0, true}, {"c2", "二", 0, true}, {"c3", "三", 0, false}};

  EXPECT_EQ(Ids("", false, false, ""), (V{Id('d'), Id('b'), Id('a')}));  // c3 hidden, c hidden, f 7 fields
  EXPECT_EQ(Ids("", true, true, ""), (V{Id('e'), Id('d'), Id('c'), Id('b'), Id('a')}));
  EXPECT_EQ(Ids("", true, true, "200905"), (V{Id('d'), Id('c'), Id('b')}));
  EXPECT_EQ(Ids("", true, true, "20090517"), (V{Id('d'), Id('c')}));
  EXPECT_TRUE(Ids("", true, true, "2009051").empty());
  EXPECT_TRUE(Ids("", true, true, "2009").empty());
  EXPECT_EQ(Ids("c1", true, true, ""), (V{Id('b'), Id('a')}));
  EXPECT_EQ(Ids("c3", true, false, ""), (V{Id('e')}));
  EXPECT_TRUE(Ids("c3", false, false, "").empty());

  TContentList l;
  LoadContentList(dir, "", true, true, false, l, cats, "");
  EXPECT_EQ(cats[0].count, 2);
  EXPECT_EQ(cats[1].count, 0);  // its only article is hidden
  EXPECT_EQ(cats[2].count, 1);
  const TContentIndex& b = l[2];
  EXPECT_EQ(b.category, "c1");
  EXPECT_TRUE(b.visible);  // five fields: public
  EXPECT_EQ(b.title, "題名");

  LoadContentList(dir, "", true, false, true, l, cats, "");
  EXPECT_FALSE(l[2].visible);
}

TEST_F(StoreTest, MissingOrOddIndexReadsEmpty) {
  EXPECT_TRUE(Ids("", true, true, "").empty());
  Write(dir + "cindex.txt", std::string("\"a\",\"b\0c\",\"\x82\",\"", 15) + "\r\n\r\n,,,,,\n\"");
  TContentList l;
  LoadContentList(dir, "", true, true, true, l, cats, "");
  TContentIndex c;
  EXPECT_FALSE(FindContent(dir, Id('a'), c));
}

TEST_F(StoreTest, FindContentTakesTheLastLineAndReadsVisibility) {
  Index({Line("c1", 'a', "2009/01/01 00:00:00", "0"), Line("c2", 'b', "2009/01/02 00:00:00", ""),
         Line("c9", 'a', "2009/01/03 00:00:00", "0")});
  TContentIndex c;
  ASSERT_TRUE(FindContent(dir, Id('a'), c));
  EXPECT_EQ(c.category, "c9");
  EXPECT_FALSE(c.visible);
  ASSERT_TRUE(FindContent(dir, Id('b'), c));
  EXPECT_TRUE(c.visible);
  EXPECT_FALSE(FindContent(dir, Id('c'), c));
}

TEST_F(StoreTest, PhotoListNeedsAPictureName) {
  Index({Line("c1", 'a', "2009/05/01 00:00:00"), Line("c1", 'b', "2009/05/02 00:00:00"),
         Line("c2", 'c', "2009/05/03 00:00:00", "0"), Line("c1", 'd', "2009/06/03 00:00:00"),
         Line("c1", 'e', "2009/06/04 00:00:00")});
  Write(dir + Id('a') + ".iix", Id('a') + "-1.gif\r\n");
  Write(dir + Id('b') + ".iix", Id('b') + "-1.txt\r\n");
  Write(dir + Id('c') + ".iix", Id('c') + "-1.PNG\r\n");
  Write(dir + Id('d') + ".iix", Id('d') + "-1.zip\r\n" + Id('d') + "-2.Jpg\r\n");
  TContentList l;
  LoadPhotoContentList(dir, "", false, false, l, "");
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0].id, Id('d'));
  EXPECT_EQ(l[1].id, Id('a'));
  LoadPhotoContentList(dir, "", false, true, l, "200905");
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0].id, Id('c'));
  LoadPhotoContentList(dir, "", true, true, l, "");
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].id, Id('d'));
  LoadPhotoContentList(dir, "c2", false, false, l, "");
  EXPECT_TRUE(l.empty());
}

TEST_F(StoreTest, AttachmentReaders) {
  Write(dir + Id('a') + ".iix", Id('a') + "-1.jpg\r\n" + Id('a') + "-2.GIF\r\n");
  Write(images + Id('a') + "-1.jpg", "12345");
  const TAttachFileList a = LoadAttachFileList(dir, Id('a'), images);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].name, Id('a') + "-1.jpg");
  EXPECT_EQ(a[0].size, 5);
  EXPECT_EQ(a[1].size, 0);  // missing on disk
  EXPECT_EQ(a[1].token, "EXISTS");
  EXPECT_EQ(a[1].folder, images);
  EXPECT_TRUE(LoadAttachNames(dir, "../" + Id('a').substr(3)).empty());

  Write(dir + "workatt.txt", "\"abcdefghijklmnop.jpg\",\"2048\",\"TOKEN\"\r\n\"two\",\"fields\"\r\n"
                             "\"q.png\",\"many\",\"T2\"\r\n\"a\",\"1\",\"2\",\"3\"\r\n");
  const TAttachFileList w = LoadWorkAttachList(dir, images);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].size, 2048);
  EXPECT_EQ(w[0].token, "TOKEN");
  EXPECT_EQ(w[1].size, 0);
}

TEST_F(StoreTest, IdsAreDigestsOfTheStampAndStepPastTakenSeconds) {
  EXPECT_EQ(ArticleIdOf("2009/05/17 08:03:09"), Sha1Hex("2009/05/17 08:03:09"));
  EXPECT_EQ(ArticleIdOf("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  std::string stamp = "2009/12/31 23:59:59";
  const std::string first = NewArticleId(dir, stamp);
  EXPECT_EQ(stamp, "2009/12/31 23:59:59");
  ASSERT_TRUE(AddContentIndex(dir, {"c", first, stamp, stamp, "t", true}, false));
  Write(dir + ArticleIdOf("2010/01/01 00:00:00") + ".txt", "orphan body");  // a body alone also takes the id
  stamp = "2009/12/31 23:59:59";
  const std::string next = NewArticleId(dir, stamp);
  EXPECT_EQ(stamp, "2010/01/01 00:00:01");
  EXPECT_EQ(next, ArticleIdOf(stamp));
}

TEST_F(StoreTest, IndexRewritesAddModifyRemove) {
  const std::string p = dir + "cindex.txt";
  ASSERT_TRUE(AddContentIndex(dir, {"c1", Id('a'), "2009/05/02 00:00:00", "2009/05/02 00:00:00", "A", true}, false));
  ASSERT_TRUE(AddContentIndex(dir, {"c1", Id('b'), "2009/05/01 00:00:00", "2009/05/01 00:00:00", "B", false}, false));
  EXPECT_EQ(Read(p), MakeRecordLine({"c1", Id('a'), "2009/05/02 00:00:00", "2009/05/02 00:00:00", "A", "1"}) + "\r\n" +
                         MakeRecordLine({"c1", Id('b'), "2009/05/01 00:00:00", "2009/05/01 00:00:00", "B", "0"}) + "\r\n");
  ASSERT_TRUE(ModifyContentIndex(dir, {"c2", Id('a'), "2009/05/03 00:00:00", "2010/01/01 00:00:00", "A2", true}, false));
  TContentIndex c;
  ASSERT_TRUE(FindContent(dir, Id('a'), c));
  EXPECT_EQ(c.category + c.date + c.update + c.title, "c22009/05/03 00:00:002010/01/01 00:00:00A2");
  TStringList lines;
  LoadLinesFromFile(p, lines);
  EXPECT_NE(lines[0].find(Id('a')), std::string::npos);  // replaced in place
  EXPECT_FALSE(ModifyContentIndex(dir, {"c2", Id('z'), "", "", "", true}, false));
  EXPECT_FALSE(RemoveContentIndex(dir, Id('z')));
  ASSERT_TRUE(RemoveContentIndex(dir, Id('a')));
  ASSERT_TRUE(RemoveContentIndex(dir, Id('b')));
  EXPECT_FALSE(FileExists(p));  // the only article gone: no index file
}

TEST_F(StoreTest, EditDateSortKeepsEqualDatesInOrder) {
  Index({Line("c", 'a', "2009/05/03 00:00:00"), Line("c", 'b', "2009/05/01 00:00:00"),
         Line("c", 'c', "2009/05/01 00:00:00"), Line("c", 'd', "2009/05/01 00:00:00")});
  ASSERT_TRUE(AddContentIndex(dir, {"c", Id('e'), "2009/05/02 00:00:00", "2009/05/02 00:00:00", "t", true}, true));
  EXPECT_EQ(Ids("", true, true, ""), (V{Id('a'), Id('e'), Id('d'), Id('c'), Id('b')}));
  for (int i = 0; i < 3; ++i)  // repeated saves do not reshuffle equal dates
    ASSERT_TRUE(ModifyContentIndex(dir, {"c", Id('e'), "2009/05/02 00:00:00", "2010/01/01 00:00:00", "t", true}, true));
  EXPECT_EQ(Ids("", true, true, ""), (V{Id('a'), Id('e'), Id('d'), Id('c'), Id('b')}));
  ASSERT_TRUE(ModifyContentIndex(dir, {"c", Id('a'), "2008/01/01 00:00:00", "2010/01/01 00:00:00", "t", true}, true));
  EXPECT_EQ(Ids("", true, true, ""), (V{Id('e'), Id('d'), Id('c'), Id('b'), Id('a')}));
}

TEST_F(StoreTest, DeleteCascadeRemovesEverythingButTrackbacks) {
  const std::string a = Id('a'), b = Id('b');
  Index({Line("c1", 'a', "2009/05/01 00:00:00"), Line("c1", 'b', "2009/05/02 00:00:00")});
  Write(dir + a + ".txt", "body");
  Write(dir + a + ".iix", a + "-1.JPG\r\n" + a + "-2.bmp\r\n");
  for (const auto& n : {a + "-1.JPG", a + "-2.bmp", a + "-3.gif", a + "-99.png", a + "-100.jpg", b + "-1.jpg"})
    Write(images + n, "x");
  AppendComment(dir, MakeRecordLine({"c1", a, "k1", "2009/05/01 00:00:00", "n", "c", "1", "1.2.3.4"}));
  AppendComment(dir, MakeRecordLine({"c1", b, "k2", "2009/05/01 00:00:00", "n", "c", "1", "1.2.3.4"}));
  Write(dir + "trackback.txt", MakeRecordLine({"1", "2009/05/01 00:00:00", "t1", a, "b", "t", "e", "http://x/"}) + "\r\n");
  const std::string tb = Read(dir + "trackback.txt");

  EXPECT_FALSE(DeleteContent(dir, images, Id('z'), {".JPG", ".GIF", ".PNG"}));
  ASSERT_TRUE(DeleteContent(dir, images, a, {".JPG", ".GIF", ".PNG"}));
  EXPECT_EQ(Ids("", true, true, ""), V{b});
  EXPECT_FALSE(FileExists(dir + a + ".txt"));
  EXPECT_FALSE(FileExists(dir + a + ".iix"));
  for (const auto& n : {a + "-1.JPG", a + "-2.bmp", a + "-3.gif", a + "-99.png"}) EXPECT_FALSE(FileExists(images + n)) << n;
  EXPECT_TRUE(FileExists(images + a + "-100.jpg"));
  EXPECT_TRUE(FileExists(images + b + "-1.jpg"));
  int hidden = 0, total = 0;
  CountComments(dir, a, hidden, total);
  EXPECT_EQ(total, 0);
  CountComments(dir, b, hidden, total);
  EXPECT_EQ(total, 1);
  EXPECT_EQ(Read(dir + "trackback.txt"), tb);
  EXPECT_FALSE(DeleteContent(dir, images, "../../etc/passwd", {".JPG"}));
}

TEST_F(StoreTest, SideFiles) {
  AppendViewLog(dir, {"c", Id('a'), "", "", "題名", true}, "Mozilla \"x\"", "");
  TCSVList csv;
  TStringList lines;
  LoadLinesFromFile(dir + "slcount.log", lines);
  ASSERT_EQ(lines.size(), 1u);
  csv.SetLine(lines[0]);
  ASSERT_EQ(csv.Count(), 5);
  EXPECT_EQ(csv.Item(1), Id('a'));
  EXPECT_EQ(csv.Item(3), "Mozilla &quot;x&quot;");

  EXPECT_TRUE(AppendAllNews(dir, "", 3, "s", "b", "t", "demo", "i"));
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(AppendAllNews(dir, "allnews.txt", 3, "s", "b", "t" + std::to_string(i), "demo", "i"));
  LoadLinesFromFile(dir + "allnews.txt", lines);
  ASSERT_EQ(lines.size(), 3u);
  csv.SetLine(lines[0]);
  EXPECT_EQ(csv.Item(2), "t2");
  ASSERT_TRUE(AppendAllNews("/nonexistent/", dir + "all2.txt", 0, "s", "b", "t", "demo", "i"));
  ASSERT_TRUE(AppendAllNews("/nonexistent/", dir + "all2.txt", 0, "s", "b", "t", "demo", "i"));
  LoadLinesFromFile(dir + "all2.txt", lines);
  EXPECT_EQ(lines.size(), 2u);  // 0 keeps all; a path with a folder is used as it stands
}

TEST_F(StoreTest, CategoryChanges) {
  Write(dir + "category.txt", "\"k1\",\"一\"\r\n\"bad\"\r\n\"k2\",\"二\",\"0\"\r\n");
  LoadCategoryList(dir, cats);
  ASSERT_EQ(cats.size(), 2u);
  EXPECT_TRUE(cats[0].visible);  // two fields: shown
  EXPECT_FALSE(cats[1].visible);

  std::string id;
  EXPECT_EQ(AddCategory(dir, "一"), TCategoryChange::Duplicate);
  ASSERT_EQ(AddCategory(dir, "a<b", &id), TCategoryChange::Done);
  EXPECT_EQ(id.size(), 16u);
  EXPECT_EQ(AddCategory(dir, "a<b"), TCategoryChange::Duplicate);  // compared after escaping
  LoadCategoryList(dir, cats);
  ASSERT_EQ(cats.size(), 3u);
  EXPECT_EQ(cats[2].name, "a&lt;b");

  EXPECT_EQ(RenameCategory(dir, "k2", "新"), TCategoryChange::Done);
  EXPECT_EQ(RenameCategory(dir, "nope", "x"), TCategoryChange::Missing);
  EXPECT_EQ(MoveCategoryUp(dir, "k1"), TCategoryChange::Done);
  const std::string before = Read(dir + "category.txt");
  EXPECT_EQ(MoveCategoryUp(dir, id), TCategoryChange::Done);
  EXPECT_EQ(SetCategoryVisible(dir, "k1", false), TCategoryChange::Done);
  EXPECT_EQ(SetCategoryVisible(dir, "k2", true), TCategoryChange::Done);
  EXPECT_NE(Read(dir + "category.txt"), before);
  EXPECT_EQ(Read(dir + "category.txt"), "\"k1\",\"一\",\"0\"\r\n\"bad\"\r\n\"" + id + "\",\"a&lt;b\",\"1\"\r\n\"k2\",\"新\",\"1\"\r\n");
  EXPECT_EQ(MoveCategoryUp(dir, "k1"), TCategoryChange::Done);  // first line stays
  EXPECT_EQ(Read(dir + "category.txt").substr(0, 4), "\"k1\"");
}

TEST_F(StoreTest, CategoryDeleteCascade) {
  Write(dir + "category.txt", "\"k1\",\"一\",\"1\"\r\n\"k2\",\"二\",\"1\"\r\n");
  Write(dir + "k1.ched", "<p>head</p>");
  Index({Line("k1", 'a', "2009/05/01 00:00:00"), Line("k2", 'b', "2009/05/02 00:00:00"),
         Line("k1", 'c', "2009/05/03 00:00:00")});
  Write(dir + Id('a') + ".txt", "A");
  Write(dir + Id('a') + ".iix", Id('a') + "-1.jpg\r\n");
  Write(images + Id('a') + "-1.jpg", "x");
  Write(dir + Id('b') + ".txt", "B");
  AppendComment(dir, MakeRecordLine({"k1", Id('a'), "m1", "2009/05/01 00:00:00", "n", "c", "1", "1.2.3.4"}));
  AppendComment(dir, MakeRecordLine({"k2", Id('b'), "m2", "2009/05/01 00:00:00", "n", "c", "1", "1.2.3.4"}));
  Write(dir + "trackback.txt", MakeRecordLine({"1", "2009/05/01 00:00:00", "t1", Id('a'), "b", "t", "e", "u"}) + "\r\n");

  EXPECT_EQ(DeleteCategory(dir, images, "zz"), TCategoryChange::Missing);
  ASSERT_EQ(DeleteCategory(dir, images, "k1"), TCategoryChange::Done);
  LoadCategoryList(dir, cats);
  ASSERT_EQ(cats.size(), 1u);
  EXPECT_FALSE(FileExists(dir + "k1.ched"));
  EXPECT_EQ(Ids("", true, true, ""), V{Id('b')});
  EXPECT_FALSE(FileExists(dir + Id('a') + ".txt"));
  EXPECT_FALSE(FileExists(dir + Id('a') + ".iix"));
  EXPECT_FALSE(FileExists(images + Id('a') + "-1.jpg"));
  EXPECT_TRUE(FileExists(dir + Id('b') + ".txt"));
  TCommentList comments;
  LoadCommentList(dir, "", true, comments, 0);
  ASSERT_EQ(comments.size(), 1u);
  EXPECT_EQ(comments[0].id, "m2");
  EXPECT_TRUE(FileExists(dir + "trackback.txt"));

  ASSERT_EQ(DeleteCategory(dir, images, "k2"), TCategoryChange::Done);
  EXPECT_FALSE(FileExists(dir + "category.txt"));
  EXPECT_FALSE(FileExists(dir + "cindex.txt"));
  EXPECT_FALSE(FileExists(dir + "comment.txt"));
}

}  // namespace

namespace {

// The reader splits plain lines without copies; whatever the bytes, it must agree with
// SplitLines + TCSVList walked from the last line.
TEST_F(StoreTest, FastIndexReadingAgreesWithTheRecordSplitter) {
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = {"\"", "\",\"", ",", " ", "\t", "\r\n", "\n", "\r", "\"\"", "\x82",
                                           "\x82\xa0", "日本", "0", "1", Id('a'), "2009/05/17 08:03:09", "c1", "x"};
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const int lines = static_cast<int>(rng() % 6);
    for (int l = 0; l < lines; ++l) {
      if (rng() % 2) {
        text += MakeRecordLine({"c1", Id(static_cast<char>('a' + rng() % 3)), "2009/05/17 08:03:09", "u",
                                rng() % 2 ? "題\x82" : "t,\"q\"", rng() % 3 ? "1" : "0"});
      } else {
        for (int k = static_cast<int>(rng() % 12); k > 0; --k) text += pieces[rng() % pieces.size()];
      }
      text += rng() % 4 ? "\r\n" : (rng() % 2 ? "\n" : "\r");
    }
    if (rng() % 3 == 0 && !text.empty()) text.pop_back();
    Write(dir + "cindex.txt", text);

    TContentList want;
    const TStringList split = SplitLines(text);
    TCSVList csv;
    for (auto it = split.rbegin(); it != split.rend(); ++it) {
      csv.SetLine(*it);
      if (csv.Count() != 5 && csv.Count() != 6) continue;
      want.push_back({csv.Item(0), csv.Item(1), csv.Item(2), csv.Item(3), csv.Item(4),
                      !(csv.Count() == 6 && csv.Item(5) == "0")});
    }
    TContentList got;
    LoadContentList(dir, "", true, false, true, got, cats, "");
    ASSERT_EQ(got.size(), want.size()) << "round " << round;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].category + "|" + got[i].id + "|" + got[i].date + "|" + got[i].update + "|" + got[i].title,
                want[i].category + "|" + want[i].id + "|" + want[i].date + "|" + want[i].update + "|" + want[i].title)
          << "round " << round;
      EXPECT_EQ(got[i].visible, want[i].visible);
    }
    // The views read the same records.
    TContentRefList refs;
    LoadContentRefs(dir, true, true, refs, cats, nullptr);
    ASSERT_EQ(refs.size(), want.size()) << "round " << round;
    for (size_t i = 0; i < refs.size(); ++i) {
      const TContentIndex r = ToContentIndex(refs[i]);
      EXPECT_EQ(r.category + "|" + r.id + "|" + r.date + "|" + r.update + "|" + r.title + "|" + (r.visible ? "1" : "0"),
                want[i].category + "|" + want[i].id + "|" + want[i].date + "|" + want[i].update + "|" +
                    want[i].title + "|" + (want[i].visible ? "1" : "0"))
          << "round " << round;
    }
    if (!want.empty()) {
      TContentIndex c;
      ASSERT_TRUE(FindContent(dir, want.back().id, c));
    }
  }
}


// The newest-articles reader walks the file backwards in blocks; it must give the head of the
// full selection, whatever the bytes and across block boundaries.
TEST_F(StoreTest, NewestArticlesAreTheHeadOfTheSelection) {
  cats = {{"c1", "一", 0, true}, {"c2", "二", 0, false}};
  auto ids = [](const TContentList& l, size_t n) {
    V v;
    for (size_t i = 0; i < l.size() && i < n; ++i) v.push_back(l[i].id + l[i].title + l[i].date);
    return v;
  };
  std::mt19937 rng(11);
  const std::vector<std::string> pieces = {"\"", "\",\"", ",", "\r\n", "\n", "\r", "\x82", "日本", "c2", "0"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    // Up to 3000 lines (about 300 KB), so the walk crosses several blocks.
    const int lines = round % 50 == 0 ? 3000 : static_cast<int>(rng() % 8);
    for (int l = 0; l < lines; ++l) {
      if (rng() % 4) {
        text += MakeRecordLine({rng() % 3 ? "c1" : (rng() % 2 ? "c2" : "c3"), Id(static_cast<char>('a' + rng() % 6)),
                                "2009/05/17 08:03:" + std::to_string(l % 60), "u", "題名" + std::to_string(l),
                                rng() % 5 ? "1" : "0"});
      } else {
        for (int k = static_cast<int>(rng() % 6); k > 0; --k) text += pieces[rng() % pieces.size()];
      }
      text += rng() % 5 ? "\r\n" : (rng() % 2 ? "\n" : "\r");
    }
    Write(dir + "cindex.txt", text);
    for (const std::string cat : {"", "c1", "c3"}) {
      TContentList all, newest;
      LoadContentList(dir, cat, false, false, false, all, cats, "");
      const size_t limit = 1 + rng() % 12;
      LoadNewestContentList(dir, cat, cats, limit, newest);
      EXPECT_EQ(ids(newest, limit), ids(all, limit)) << "round " << round << " category " << cat;
    }
  }
  fs::remove(dir + "cindex.txt");
  TContentList none;
  LoadNewestContentList(dir, "", cats, 5, none);
  EXPECT_TRUE(none.empty());
}

}  // namespace
