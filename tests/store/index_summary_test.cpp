// The index summary (months, days, category counts) against the article walk it replaces, and
// cindex.sum kept beside the index.
#include <unordered_set>

#include "store/articles.h"
#include "store/index_summary.h"
#include "store_fixture.h"

namespace {

// What the side menu computed by walking every article.
V MonthsByWalk(const TContentList& l) {
  V out;
  std::unordered_set<std::string> seen;
  for (const auto& c : l)
    if (c.visible && c.date.size() >= 7 && c.date[4] == '/' && seen.insert(c.date.substr(0, 7)).second)
      out.push_back(c.date.substr(0, 7));
  return out;
}
uint32_t DaysByWalk(const TContentList& l, int year, int month) {
  char prefix[16];
  snprintf(prefix, sizeof prefix, "%04d/%02d/", year, month);
  uint32_t days = 0;
  for (const auto& c : l) {
    if (!c.visible || c.date.size() < 10 || c.date.compare(0, 8, prefix) != 0) continue;
    const char a = c.date[8], b = c.date[9];
    const int d = (a - '0') * 10 + (b - '0');
    if (a >= '0' && a <= '9' && b >= '0' && b <= '9' && d >= 1 && d <= 31) days |= 1u << d;
  }
  return days;
}

TEST(IndexSummary, AgreesWithWalkingEveryArticle) {
  std::mt19937 rng(5);
  const V dates = {"2009/05/17 08:03:09", "2009/05/01 00:00:00", "2009/04/30 23:59:59", "2008/12/31 10:00:00",
                   "2009/05/3x", "2009/05", "2009/5/01", "", "abcd/ef/gh", "2009/05/00 00:00:00",
                   "2009/05/32 00:00:00", "2009-05-02"};
  const V cats = {"c1", "c2", "c3", "", "odd: 1\n2"};
  for (int round = 0; round < 300; ++round) {
    TContentList list;
    for (int i = static_cast<int>(rng() % 40); i > 0; --i)
      list.push_back({cats[rng() % cats.size()], "", dates[rng() % dates.size()], "", "", rng() % 4 != 0});
    TCategoryList categories = {{"c1", "一", 0, true}, {"c2", "二", 0, false}, {"c1", "dup", 0, true},
                                {"odd: 1\n2", "奇", 0, true}, {"c3", "三", 0, true}, {"c3", "hidden twin", 0, false}};
    const bool withHiddenCategories = rng() % 2, withHidden = rng() % 2;

    // Round trip through the saved form first: the pages read it from cindex.sum.
    TIndexSummary shown;
    ASSERT_TRUE(shown.Parse(TIndexSummary::Of(list).Serialize()));
    shown.KeepShown(categories, withHiddenCategories, withHidden);

    TContentList kept;
    for (const auto& c : list)
      if ((withHidden || c.visible) && (withHiddenCategories || (c.category != "c2" && c.category != "c3")))
        kept.push_back(c);
    EXPECT_EQ(shown.Months(), MonthsByWalk(kept)) << round;
    for (int m : {4, 5, 12}) EXPECT_EQ(shown.Days(m == 12 ? 2008 : 2009, m), DaysByWalk(kept, m == 12 ? 2008 : 2009, m));
    int want[6] = {};  // a second category of the same id counts nothing
    for (const auto& c : kept)
      for (size_t k : {0, 1, 3, 4}) want[k] += c.category == categories[k].id;
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(categories[k].count, want[k]) << round << " " << k;
  }
}

TEST(IndexSummary, SavedFormRejectsAnythingElse) {
  TIndexSummary s;
  EXPECT_TRUE(s.Parse(""));
  for (const char* bad : {"x", "7:2009/05", "7:2009/052:c1 1 3 4", "7:2009/052:c1 1 3 4\nrest", "4:20092:c1 1 3 4\n",
                          "7:2009/052:c1 2 3 4\n", "7:2009/052:c1 1 0 4\n", "7:2009/052:c1 1 3 5\n", "99:2009/05\n",
                          "7:2009/052:c1 1 3 99999999999\n"})
    EXPECT_FALSE(s.Parse(bad)) << bad;
  EXPECT_TRUE(s.Parse("7:2009/052:c1 1 3 4\n0:0: 0 1 0\n"));
  ASSERT_EQ(s.Groups().size(), 2u);
  EXPECT_EQ(s.Groups()[0].days, 4u);
  EXPECT_EQ(s.Months(), V{"2009/05"});
}

class SummaryFile : public StoreFolder {
protected:
  V Months() {
    TContentRefList list;
    TIndexSummary s;
    LoadContentRefs(dir, false, false, list, cats, &s);
    return s.Months();
  }
  TCategoryList cats;
};

std::string Line(char id, const std::string& date, const std::string& category = "c1") {
  return MakeRecordLine({category, std::string(40, id), date, date, "題名", "1"}) + "\r\n";
}

TEST_F(SummaryFile, FollowsTheIndexAndDistrustsItsOwnCopy) {
  Write("cindex.txt", Line('a', "2009/04/01 10:00:00") + Line('b', "2009/05/01 10:00:00"));
  EXPECT_EQ(Months(), (V{"2009/05", "2009/04"}));
  EXPECT_FALSE(Exists("cindex.sum"));  // an index changed just now is not summed up for later
  Age("cindex.txt");
  EXPECT_EQ(Months(), (V{"2009/05", "2009/04"}));
  ASSERT_TRUE(Exists("cindex.sum"));

  // A new article is there at once; so is an article rewritten in place with the same length.
  ASSERT_TRUE(AddContentIndex(dir, {"c1", std::string(40, 'c'), "2009/06/01 10:00:00", "2009/06/01 10:00:00", "新", true}, false));
  EXPECT_EQ(Months(), (V{"2009/06", "2009/05", "2009/04"}));
  Age("cindex.txt");
  EXPECT_EQ(Months(), (V{"2009/06", "2009/05", "2009/04"}));
  std::string index = Read("cindex.txt");
  index.replace(index.find("2009/05/01 10:00:00"), 19, "2010/01/01 10:00:00");
  std::fstream(dir + "cindex.txt", std::ios::in | std::ios::out | std::ios::binary) << index;
  const V now = {"2009/06", "2010/01", "2009/04"};
  EXPECT_EQ(Months(), now);

  // A damaged or foreign summary is made anew.
  Age("cindex.txt");
  EXPECT_EQ(Months(), now);
  const std::string saved = Read("cindex.sum");
  for (const std::string& bad : {std::string(), saved.substr(0, saved.size() - 3), saved + "x",
                                 std::string("VSUM1 1 2 3 4\n7:1999/012:c1 1 1 2\n"), std::string(3000, '\xff')}) {
    ASSERT_TRUE(SaveStreamToFile(dir + "cindex.sum", bad));
    EXPECT_EQ(Months(), now);
  }
  std::filesystem::remove(dir + "cindex.txt");
  EXPECT_EQ(Months(), V{});
}

TEST_F(SummaryFile, ListReadsOnlyAsFarAsItIsWalkedAndItsElementsStayPut) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += Line(static_cast<char>('a' + i % 20), "2009/05/17 08:03:09", i % 3 ? "c1" : "c2");
  Write("cindex.txt", text);
  cats = {{"c2", "hidden", 0, false}};
  TContentRefList list;
  LoadContentRefs(dir, false, false, list, cats, nullptr);
  ASSERT_TRUE(list.Has(0));
  const TContentRef* first = &list[0];
  const std::string firstId(first->id());
  size_t walked = 0;
  for (const TContentRef& c : list) {
    EXPECT_EQ(c.category(), "c1");
    if (++walked == 10) break;
  }
  EXPECT_EQ(list.size(), 2000u);  // the rest, read now
  EXPECT_EQ(first, &list[0]);
  EXPECT_EQ(std::string(first->id()), firstId);
  EXPECT_FALSE(list.Has(2000));
  const TContentRefList copy = list;  // copies share what was read
  EXPECT_EQ(&copy[1999], &list[1999]);
}

}  // namespace
