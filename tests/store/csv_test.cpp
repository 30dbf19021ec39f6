#include <gtest/gtest.h>

#include <random>

#include "store/DCSVList.h"

namespace {

using V = std::vector<std::string>;

V Fields(TCSVList& c) {
  V out;
  for (int i = 0; i < c.Count(); ++i) out.push_back(c.Item(i));
  return out;
}

TEST(CSVShapes, QuotesAndDoubleByteCharacters) {
  TCSVList c;
  c.SetLine("\"a\"\"\"\"b\",\"\"\"\"");  // runs of doubled quotes
  EXPECT_EQ(Fields(c), (V{"a\"\"b", "\""}));
  c.SetLine("\"a\"\"");  // a doubled quote at the end never closes the field
  EXPECT_EQ(c.Count(), 0);
  c.SetLine("\"\x82\",\"b\"");  // the trail byte hides the first closing quote
  EXPECT_EQ(Fields(c), (V{"\x82\","}));
  c.SetLine("x\x82,y");  // ... and hides the comma
  EXPECT_EQ(Fields(c), (V{"x\x82,y"}));
  c.SetLine("\x82");
  EXPECT_EQ(Fields(c), (V{"\x82"}));
  c.SetLine("ab\"c d\"ef \"g");  // plain text before a quote is dropped, after it starts a field
  EXPECT_EQ(Fields(c), (V{"c d", "ef"}));
  c.SetLine("\t\"ソ\"\t表\t");
  EXPECT_EQ(Fields(c), (V{"ソ", "表"}));
  c.SetLine("\"x\"");  // slots of a longer earlier line stay out of sight
  EXPECT_EQ(c.Count(), 1);
  EXPECT_EQ(c.Item(1), "");
  EXPECT_EQ(c.Line(), "\"x\"");
}

// Random bytes: no crash, and every field without quotes in it is a piece of the line.
TEST(CSVShapes, RandomBytes) {
  std::mt19937 rng(20090517);
  TCSVList c;
  for (int round = 0; round < 30000; ++round) {
    std::string line(rng() % 48, '\0');
    for (auto& b : line) {
      const unsigned r = rng() % 8;
      b = r == 0 ? '"' : r == 1 ? ',' : r == 2 ? ' ' : static_cast<char>(rng() % 256);
    }
    c.SetLine(line);
    ASSERT_LE(c.Count(), static_cast<int>(line.size()));
    size_t total = 0;
    for (int i = 0; i < c.Count(); ++i) {
      const std::string& f = c.Item(i);
      total += f.size();
      if (f.find('"') == std::string::npos) {
        ASSERT_NE(line.find(f), std::string::npos) << i;
      }
    }
    ASSERT_LE(total, line.size());
  }
}

// What a writer stores (escaped text: no quote, no tab) reads back field for field.
TEST(CSVShapes, RecordLinesRoundTrip) {
  std::mt19937 rng(42);
  const std::vector<std::string> pieces = {"a", "Z9", " ", ",", "&amp;", "日本", "表示", "ｱ", "\\", "/", "&quot;"};
  TCSVList c;
  for (int round = 0; round < 3000; ++round) {
    V fields(1 + rng() % 9);
    for (auto& f : fields)
      for (unsigned k = rng() % 5; k > 0; --k) f += pieces[rng() % pieces.size()];
    c.SetLine(MakeRecordLine(fields));
    ASSERT_EQ(Fields(c), fields) << MakeRecordLine(fields);
  }
  std::string big(1 << 20, 'x');
  big[1000] = '\x82';  // a double-byte character in the middle of a 1 MB field
  c.SetLine(MakeRecordLine({big, "tail"}));
  ASSERT_EQ(c.Count(), 2);
  EXPECT_EQ(c.Item(0), big);
  EXPECT_EQ(c.Item(1), "tail");
}

}  // namespace
