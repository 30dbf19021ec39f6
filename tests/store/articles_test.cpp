#include <algorithm>

#include "store/articles.h"
#include "store/categories.h"
#include "store/comments.h"
#include "store/links.h"
#include "store_fixture.h"
#include "text/DString.h"

namespace {

class StoreTest : public StoreFolder {
protected:
  void SetUp() override {
    StoreFolder::SetUp();
    images = dir + "images/";
    std::filesystem::create_directories(images);
  }
  void Index(const V& lines) { Write("cindex.txt", Crlf(lines)); }
  V Ids(const std::string& cat = "", bool hiddenCats = true, bool hidden = true, const std::string& date = "") {
    TContentList l;
    LoadContentList(dir, cat, hiddenCats, false, hidden, l, cats, date);
    return IdsOf(l);
  }
  std::string images;
  TCategoryList cats;
};

std::string Id(char c) { return std::string(40, c); }
std::string Line(const std::string& cat, char id, const std::string& date, const std::string& vis = "1") {
  V f = {cat, Id(id), date, date, "題名"};
  if (!vis.empty()) f.push_back(vis);
  return MakeRecordLine(f);
}

TEST_F(StoreTest, SelectionNewestFirstWithEveryFilter) {
  EXPECT_TRUE(Ids().empty());  // no index yet
  Index({Line("c1", 'a', "2009/04/30 23:59:59"), Line("c1", 'b', "2009/05/01 00:00:00", ""),
         Line("c2", 'c', "2009/05/17 08:03:09", "0"), "\"c1\",\"short\"",
         Line("gone", 'd', "2009/05/17 10:00:00"), Line("c3", 'e', "2009/06/01 00:00:00"),
         MakeRecordLine({"c1", Id('f'), "2009/05/17 10:00:00", "x", "t", "1", "extra"})});
  cats = {{"c1", "一", 0, true}, {"c2", "二", 0, true}, {"c3", "三", 0, false}};

  EXPECT_EQ(Ids("", false, false), (V{Id('d'), Id('b'), Id('a')}));  // c3 hidden, c hidden, f 7 fields
  EXPECT_EQ(Ids(), (V{Id('e'), Id('d'), Id('c'), Id('b'), Id('a')}));
  EXPECT_EQ(Ids("", true, true, "200905"), (V{Id('d'), Id('c'), Id('b')}));
  EXPECT_EQ(Ids("", true, true, "20090517"), (V{Id('d'), Id('c')}));
  for (const char* date : {"2009051", "2009"}) EXPECT_TRUE(Ids("", true, true, date).empty()) << date;
  EXPECT_EQ(Ids("c1"), (V{Id('b'), Id('a')}));
  EXPECT_EQ(Ids("c3", true, false), (V{Id('e')}));
  EXPECT_TRUE(Ids("c3", false, false).empty());

  TContentList l;
  LoadContentList(dir, "", true, true, false, l, cats, "");
  EXPECT_EQ((std::vector<int>{cats[0].count, cats[1].count, cats[2].count}), (std::vector<int>{2, 0, 1}));
}

TEST_F(StoreTest, Attachments) {
  Write(Id('a') + ".iix", Crlf({Id('a') + "-1.jpg", Id('a') + "-2.GIF"}));
  Write("images/" + Id('a') + "-1.jpg", "12345");
  const TAttachFileList a = LoadAttachFileList(dir, Id('a'), images);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].name + "|" + std::to_string(a[0].size) + "|" + std::to_string(a[1].size), Id('a') + "-1.jpg|5|0");
  EXPECT_EQ(a[1].token + a[1].folder, "EXISTS" + images);
  EXPECT_TRUE(LoadAttachNames(dir, "../" + Id('a').substr(3)).empty());

  Write("workatt.txt", "\"abcdefghijklmnop.jpg\",\"2048\",\"TOKEN\"\r\n\"two\",\"fields\"\r\n"
                       "\"q.png\",\"many\",\"T2\"\r\n\"a\",\"1\",\"2\",\"3\"\r\n");
  const TAttachFileList w = LoadWorkAttachList(dir, images);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].token + "|" + std::to_string(w[0].size) + "|" + std::to_string(w[1].size), "TOKEN|2048|0");
}

TEST_F(StoreTest, IdsAreDigestsOfTheStampAndStepPastTakenSeconds) {
  EXPECT_EQ(ArticleIdOf("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  std::string stamp = "2009/12/31 23:59:59";
  const std::string first = NewArticleId(dir, stamp);
  EXPECT_EQ(stamp, "2009/12/31 23:59:59");
  EXPECT_EQ(first, ArticleIdOf(stamp));
  ASSERT_TRUE(AddContentIndex(dir, {"c", first, stamp, stamp, "t", true}, false));
  Write(ArticleIdOf("2010/01/01 00:00:00") + ".txt", "orphan body");  // a body alone also takes the id
  const std::string next = NewArticleId(dir, stamp);
  EXPECT_EQ(stamp, "2010/01/01 00:00:01");
  EXPECT_EQ(next, ArticleIdOf(stamp));
  // A reserved id holds an empty body at once: the next save of the same second steps past it.
  std::string a = "2011/05/05 05:05:05", b = a;
  const std::string held = ReserveArticleId(dir, a);
  EXPECT_EQ(held, ArticleIdOf("2011/05/05 05:05:05"));
  EXPECT_EQ(Read(held + ".txt"), "");
  EXPECT_EQ(ReserveArticleId(dir, b), ArticleIdOf("2011/05/05 05:05:06"));
  EXPECT_EQ(ReserveArticleId(dir + "missing/", b), "");
}

TEST_F(StoreTest, IndexRewritesKeepPlaceAndEqualDatesInOrder) {
  ASSERT_TRUE(AddContentIndex(dir, {"c1", Id('a'), "2009/05/02 00:00:00", "2009/05/02 00:00:00", "A", true}, false));
  ASSERT_TRUE(AddContentIndex(dir, {"c1", Id('b'), "2009/05/01 00:00:00", "2009/05/01 00:00:00", "B", false}, false));
  ASSERT_TRUE(ModifyContentIndex(dir, {"c2", Id('a'), "2009/05/03 00:00:00", "2010/01/01 00:00:00", "A2", true}, false));
  EXPECT_EQ(Read("cindex.txt"),  // replaced in place
            MakeRecordLine({"c2", Id('a'), "2009/05/03 00:00:00", "2010/01/01 00:00:00", "A2", "1"}) + "\r\n" +
                MakeRecordLine({"c1", Id('b'), "2009/05/01 00:00:00", "2009/05/01 00:00:00", "B", "0"}) + "\r\n");
  EXPECT_FALSE(ModifyContentIndex(dir, {"c2", Id('z'), "", "", "", true}, false) || RemoveContentIndex(dir, Id('z')));
  ASSERT_TRUE(RemoveContentIndex(dir, Id('a')) && RemoveContentIndex(dir, Id('b')));
  EXPECT_FALSE(Exists("cindex.txt"));  // the only article gone: no index file

  // Sorted by date, equal dates keep their order however often an article is saved.
  Index({Line("c", 'a', "2009/05/03 00:00:00"), Line("c", 'b', "2009/05/01 00:00:00"),
         Line("c", 'c', "2009/05/01 00:00:00"), Line("c", 'd', "2009/05/01 00:00:00")});
  ASSERT_TRUE(AddContentIndex(dir, {"c", Id('e'), "2009/05/02 00:00:00", "2009/05/02 00:00:00", "t", true}, true));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Ids(), (V{Id('a'), Id('e'), Id('d'), Id('c'), Id('b')}));
    ASSERT_TRUE(ModifyContentIndex(dir, {"c", Id('e'), "2009/05/02 00:00:00", "2010/01/01 00:00:00", "t", true}, true));
  }
  ASSERT_TRUE(ModifyContentIndex(dir, {"c", Id('a'), "2008/01/01 00:00:00", "2010/01/01 00:00:00", "t", true}, true));
  EXPECT_EQ(Ids(), (V{Id('e'), Id('d'), Id('c'), Id('b'), Id('a')}));
}

// Deleting an article takes its index line, body, attachment list, pictures <id>-1..99 and
// comments, not its trackbacks; deleting a category takes its header and all of its articles.
TEST_F(StoreTest, DeleteCascades) {
  const std::string a = Id('a'), b = Id('b'), c = Id('c');
  const std::string tb = Crlf({MakeRecordLine({"1", "2009/05/01 00:00:00", "t1", a, "b", "t", "e", "http://x/"})});
  Write("category.txt", "\"k1\",\"一\",\"1\"\r\n\"k2\",\"二\",\"1\"\r\n");
  Write("k1.ched", "<p>head</p>");
  Index({Line("k1", 'a', "2009/05/01 00:00:00"), Line("k2", 'b', "2009/05/02 00:00:00"),
         Line("k1", 'c', "2009/05/03 00:00:00")});
  for (const auto& id : {a, b, c}) {
    Write(id + ".txt", "body");
    AppendComment(dir, MakeRecordLine({id == b ? "k2" : "k1", id, "m" + id.substr(0, 1), "d", "n", "c", "1", "ip"}));
  }
  Write(a + ".iix", a + "-1.JPG\r\n" + a + "-2.bmp\r\n");
  Write(c + ".iix", c + "-1.jpg\r\n");
  for (const auto& n : {a + "-1.JPG", a + "-2.bmp", a + "-3.gif", a + "-99.png", a + "-100.jpg", b + "-1.jpg", c + "-1.jpg"})
    Write("images/" + n, "x");
  Write("trackback.txt", tb);

  EXPECT_FALSE(DeleteContent(dir, images, Id('z'), {".JPG", ".GIF", ".PNG"}));
  EXPECT_FALSE(DeleteContent(dir, images, "../../etc/passwd", {".JPG"}));
  ASSERT_TRUE(DeleteContent(dir, images, a, {".JPG", ".GIF", ".PNG"}));
  EXPECT_EQ(Ids(), (V{c, b}));
  for (const auto& n : {a + ".txt", a + ".iix", "images/" + a + "-1.JPG", "images/" + a + "-2.bmp",
                        "images/" + a + "-3.gif", "images/" + a + "-99.png"})
    EXPECT_FALSE(Exists(n)) << n;
  EXPECT_TRUE(Exists("images/" + a + "-100.jpg"));
  EXPECT_TRUE(Exists("images/" + b + "-1.jpg"));
  auto comments = [&] {
    TCommentList l;
    LoadCommentList(dir, "", true, l, 0);
    return IdsOf(l);
  };
  EXPECT_EQ(comments(), (V{"mc", "mb"}));
  EXPECT_EQ(Read("trackback.txt"), tb);

  EXPECT_EQ(DeleteCategory(dir, images, "zz"), TCategoryChange::Missing);
  ASSERT_EQ(DeleteCategory(dir, images, "k1"), TCategoryChange::Done);
  EXPECT_EQ(Read("category.txt"), "\"k2\",\"二\",\"1\"\r\n");
  EXPECT_EQ(Ids(), V{b});
  for (const auto& n : {std::string("k1.ched"), c + ".txt", c + ".iix", "images/" + c + "-1.jpg"}) EXPECT_FALSE(Exists(n)) << n;
  EXPECT_TRUE(Exists(b + ".txt"));
  EXPECT_EQ(comments(), V{"mb"});
  EXPECT_EQ(Read("trackback.txt"), tb);
  ASSERT_EQ(DeleteCategory(dir, images, "k2"), TCategoryChange::Done);
  for (const char* n : {"category.txt", "cindex.txt", "comment.txt"}) EXPECT_FALSE(Exists(n)) << n;
}

TEST_F(StoreTest, CategoryChanges) {
  Write("category.txt", "\"k1\",\"一\"\r\n\"bad\"\r\n\"k2\",\"二\",\"0\"\r\n");
  LoadCategoryList(dir, cats);
  ASSERT_EQ(cats.size(), 2u);
  EXPECT_TRUE(cats[0].visible && !cats[1].visible);  // two fields: shown

  std::string id;
  EXPECT_EQ(AddCategory(dir, "一"), TCategoryChange::Duplicate);
  ASSERT_EQ(AddCategory(dir, "a<b", &id), TCategoryChange::Done);
  EXPECT_EQ(id.size(), 16u);
  EXPECT_EQ(AddCategory(dir, "a<b"), TCategoryChange::Duplicate);  // compared after escaping
  EXPECT_EQ(RenameCategory(dir, "k2", "新"), TCategoryChange::Done);
  EXPECT_EQ(RenameCategory(dir, "nope", "x"), TCategoryChange::Missing);
  EXPECT_EQ(MoveCategoryUp(dir, "k1"), TCategoryChange::Done);  // the first line stays
  EXPECT_EQ(MoveCategoryUp(dir, id), TCategoryChange::Done);
  EXPECT_EQ(SetCategoryVisible(dir, "k1", false), TCategoryChange::Done);
  EXPECT_EQ(SetCategoryVisible(dir, "k2", true), TCategoryChange::Done);
  EXPECT_EQ(Read("category.txt"), "\"k1\",\"一\",\"0\"\r\n\"bad\"\r\n\"" + id + "\",\"a&lt;b\",\"1\"\r\n\"k2\",\"新\",\"1\"\r\n");
}

TEST_F(StoreTest, AllNewsAndLinks) {
  EXPECT_TRUE(AppendAllNews(dir, "", 3, "s", "b", "t", "demo", "i"));  // no name: nothing written
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(AppendAllNews(dir, "allnews.txt", 3, "s", "b", "t" + std::to_string(i), "demo", "i"));
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(AppendAllNews("/nonexistent/", dir + "all2.txt", 0, "s", "b", "t", "demo", "i"));
  TStringList lines;
  LoadLinesFromFile(dir + "allnews.txt", lines);
  ASSERT_EQ(lines.size(), 3u);
  TCSVList csv;
  csv.SetLine(lines[0]);
  EXPECT_EQ(csv.Item(2), "t2");
  LoadLinesFromFile(dir + "all2.txt", lines);
  EXPECT_EQ(lines.size(), 2u);  // 0 keeps all; a path with a folder is used as it stands

  // url.link: lines of 3 or 5 fields in file order (the rest is skipped); banners <id>.jpg
  // before .gif before .png.
  Write("url.link", "\"k1\",\"u1\",\"A\"\r\n\"k2\",\"u2\"\r\n\"k3\",\"u3\",\"C\",\"友達\",\"say\"\r\n\r\n"
                    "\"k4\",\"u4\",\"D\",\"x\"\r\n\"k5\",\"u5\",\"E\",\"\",\"\",\"extra\"\r\n\"k6\",\"u6\",\"F\"");
  TLinkURLList l{{"stale", "", "", "", ""}};
  LoadLinkList(images, l);
  EXPECT_TRUE(l.empty());
  LoadLinkList(dir, l);
  EXPECT_EQ(IdsOf(l), (V{"k1", "k3", "k6"}));
  for (const char* name : {"k1.png", "k1.gif", "k1.JPG"}) {  // each wins over the ones before
    Write(std::string("images/") + name, "x");
    EXPECT_EQ(FindLinkBanner(images, "k1"), name);
  }
  EXPECT_EQ(FindLinkBanner(images, "../images/k1"), "");  // an id that would leave the folder
}

// The index readers split plain lines without copies and walk the file backwards in blocks;
// whatever the bytes, they must agree with SplitLines + TCSVList walked from the last line, and
// the newest articles must be the head of the full selection.
TEST_F(StoreTest, IndexReadersAgreeWithTheRecordSplitter) {
  cats = {{"c1", "一", 0, true}, {"c2", "二", 0, false}};
  const V pieces = {"\"", "\",\"", ",", " ", "\t", "\r\n", "\n", "\r", "\"\"", "\x82", "\x82\xa0", "日本", "0", "1",
                    Id('a'), "2009/05/17 08:03:09", "c1", "c2"};
  auto key = [](const TContentIndex& c) {
    return c.category + "|" + c.id + "|" + c.date + "|" + c.update + "|" + c.title + "|" + (c.visible ? "1" : "0");
  };
  auto keys = [&](const TContentList& l, size_t n = SIZE_MAX) {
    V v;
    for (size_t i = 0; i < l.size() && i < n; ++i) v.push_back(key(l[i]));
    return v;
  };
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    // Now and then 3000 lines (about 300 KB), so the backward walk crosses several blocks.
    for (int l = round % 50 == 0 ? 3000 : static_cast<int>(rng() % 8); l > 0; --l) {
      if (rng() % 3) {
        text += MakeRecordLine({rng() % 3 ? "c1" : (rng() % 2 ? "c2" : "c3"), Id(static_cast<char>('a' + rng() % 6)),
                                "2009/05/17 08:03:" + std::to_string(l % 60), "u",
                                rng() % 2 ? "題\x82" + std::to_string(l) : "t,\"q\"", rng() % 4 ? "1" : "0"});
      } else {
        for (int k = static_cast<int>(rng() % 12); k > 0; --k) text += pieces[rng() % pieces.size()];
      }
      text += rng() % 4 ? "\r\n" : (rng() % 2 ? "\n" : "\r");
    }
    if (rng() % 3 == 0 && !text.empty()) text.pop_back();
    Write("cindex.txt", text);

    TContentList want, got;
    const TStringList split = SplitLines(text);
    TCSVList csv;
    for (auto it = split.rbegin(); it != split.rend(); ++it) {
      csv.SetLine(*it);
      if (csv.Count() == 5 || csv.Count() == 6)
        want.push_back({csv.Item(0), csv.Item(1), csv.Item(2), csv.Item(3), csv.Item(4),
                        !(csv.Count() == 6 && csv.Item(5) == "0")});
    }
    LoadContentList(dir, "", true, false, true, got, cats, "");
    ASSERT_EQ(keys(got), keys(want)) << "round " << round;
    TContentRefList refs;  // the views read the same records
    LoadContentRefs(dir, true, true, refs, cats, nullptr);
    got.clear();
    for (const TContentRef& r : refs) got.push_back(ToContentIndex(r));
    EXPECT_EQ(keys(got), keys(want)) << "round " << round;
    const auto known = std::find_if(want.begin(), want.end(), [](const TContentIndex& w) { return w.id.size() == 40; });
    TContentIndex c;
    if (known != want.end()) {  // the newest line of an id
      ASSERT_TRUE(FindContent(dir, known->id, c)) << "round " << round;
      EXPECT_EQ(key(c), key(*known)) << "round " << round;
    }
    for (const std::string cat : {"", "c1", "c3"}) {
      TContentList all, newest;
      LoadContentList(dir, cat, false, false, false, all, cats, "");
      const size_t limit = 1 + rng() % 12;
      LoadNewestContentList(dir, cat, cats, limit, newest);
      EXPECT_EQ(keys(newest, limit), keys(all, limit)) << "round " << round << " category " << cat;
    }
  }
  std::filesystem::remove(dir + "cindex.txt");
  TContentList none;
  LoadNewestContentList(dir, "", cats, 5, none);
  EXPECT_TRUE(none.empty());
}

}  // namespace
