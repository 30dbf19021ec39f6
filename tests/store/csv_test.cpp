#include <gtest/gtest.h>

#include "store/DCSVList.h"

namespace {

using V = std::vector<std::string>;

V Fields(TCSVList& c) {
  V out;
  for (int i = 0; i < c.Count(); ++i) out.push_back(c.Item(i));
  return out;
}

TEST(CSV, SplittingRules) {
  const std::pair<std::string, V> cases[] = {
      {"\"a\",\"b\",\"\"", {"a", "b", ""}},
      {"a, b ,c d", {"a", "b", "c", "d"}},
      {"\t\"ソ\"\t表\t", {"ソ", "表"}},
      {"\"a\",,\"b\"", {"a", "b"}},
      {"   ,,\t ", {}},
      {"\"abc", {}},
      {"ab\"c d\"ef \"g", {"c d", "ef"}},  // plain text before a quote is dropped, after it starts a field
      {"\"a b\tc,d\"", {"a b\tc,d"}},
      {"\"a\"\"\"\"b\",\"\"\"\"", {"a\"\"b", "\""}},  // runs of doubled quotes
      {"\"a\"\"", {}},                             // a doubled quote at the end never closes the field
      {"\"表示\",\"ソフト\"", {"表示", "ソフト"}},  // trail bytes 0x5C and 0x5C-like
      {"\"\x82\",\"b\"", {"\x82\","}},              // the trail byte hides the first closing quote
      {"x\x82,y", {"x\x82,y"}},                     // ... and hides the comma
      {"x\x82", {"x\x82"}},                         // a lead byte as the last byte
      // What a writer stores (escaped text: no quote, no tab) reads back, however many fields.
      {MakeRecordLine({"a b", "", "日本,表示", "ｱ\\/", "&quot;"}), {"a b", "", "日本,表示", "ｱ\\/", "&quot;"}},
      {MakeRecordLine(V(500, "f")), V(500, "f")},
  };
  TCSVList c;
  for (const auto& [line, want] : cases) {
    c.SetLine(line);
    EXPECT_EQ(Fields(c), want) << line;
  }
  c.SetLine("1,2,3,4,5,6");
  c.SetLine("\"x\"");  // slots of a longer earlier line stay out of sight
  EXPECT_EQ(c.Count(), 1);
  EXPECT_EQ(c.Item(1) + c.Item(-1), "");
  EXPECT_EQ(c.Line(), "\"x\"");
  EXPECT_EQ(MakeRecordLine({"A", "", "C"}), "\"A\",\"\",\"C\"");
  std::string big(1 << 20, 'x');
  big[1000] = '\x82';  // a double-byte character in the middle of a 1 MB field
  c.SetLine(MakeRecordLine({big, "tail"}));
  EXPECT_EQ(Fields(c), (V{big, "tail"}));
}

}  // namespace
