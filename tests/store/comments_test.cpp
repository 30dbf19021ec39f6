#include "store/comments.h"
#include "store_fixture.h"

namespace {

const std::string kA(40, 'a'), kB(40, 'b'), kC = "c" + std::string(39, '0');

class CommentsTest : public StoreFolder {
protected:
  V Ids(const std::string& art, bool hidden = true, int limit = 0) {
    TCommentList l;
    LoadCommentList(dir, art, hidden, l, limit);
    return IdsOf(l);
  }
};

std::string Comment(const std::string& cat, const std::string& art, const std::string& id, const std::string& flag = "0",
                    const std::string& addr = "10.0.0.1") {
  V f = {cat, art, id, "2009/05/17 08:03:09", "名前", "本文<br>"};
  if (!flag.empty()) f.push_back(flag);
  if (!addr.empty()) f.push_back(addr);
  return MakeRecordLine(f);
}

TEST_F(CommentsTest, CountsFieldsAndAFreshReadAfterAnAppend) {
  Write("comment.txt", Crlf({Comment("c1", kB, "other"), Comment("c1", kA, "waiting", "1"), Comment("c1", kA, "last", "0", "")}));
  int hidden = -1, total = -1;
  for (const auto& [art, want] : {std::pair<std::string, int>{kA, 12}, {"", 13}}) {
    CountComments(dir, art, hidden, total);
    EXPECT_EQ(hidden * 10 + total, want) << art;
  }
  TCommentList l;
  LoadCommentList(dir, "", true, l, 0);
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[2].logid + l[2].date + "|" + l[2].address + "|" + l[0].address, kB + "2009/05/17 08:03:09|10.0.0.1|");
  ASSERT_TRUE(AppendComment(dir, Comment("c1", kA, "newer")));  // what was read before is not reused
  EXPECT_EQ(Ids(kA, false, 1), (V{"newer", "last"}));
}

// The newest comments come from the end of the file in blocks, lookups by article from a scan
// or an index of the whole file; all must read exactly what splitting every line reads.
TEST_F(CommentsTest, EveryReadingPathAgreesWithSplittingEveryLine) {
  std::mt19937 rng(11);
  const std::string arts[] = {kA, kB, kC};
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  std::string file;
  V lines;
  for (int i = 0; i < 3000; ++i) {
    const std::string& art = arts[pick(3)];
    const std::string id = "id" + std::to_string(i), tail = "\",\"" + id + "\",\"d\",\"n\",\"t\"";
    std::string line;
    switch (pick(9)) {
      case 0: line = "c1 " + art + " " + id + " d n t 0"; break;
      case 1: line = "\"c\"\"1\",\"" + art + tail; break;
      case 2: line = "\"c1\",\"" + art + "\"\"x" + tail; break;
      case 3: line = "\"表\",\"" + art + tail; break;
      case 4: line = "\x82\",\"" + art + tail; break;
      case 5: line = Comment("c1", art, id) + std::string(static_cast<size_t>(pick(3)) * 20000, 'x'); break;
      case 6: line = Comment("c1", art, id, "1"); break;
      case 7: {
        const char* parts[] = {"\"", ",", " ", "\x82", "\xE0", "a", "\"\"", art.c_str(), id.c_str()};
        for (int k = pick(14); k >= 0; --k) line += parts[pick(9)];
        break;
      }
      default: line = Comment("c1", art, id); break;
    }
    lines.push_back(line);
    file += line + (i == 2999 ? "" : pick(3) ? "\r\n" : pick(2) ? "\n" : "\r");  // no final break
  }
  Write("comment.txt", file);
  auto expected = [&](const std::string& art, bool hidden, size_t limit) {
    V out;
    TCSVList c;
    for (size_t i = lines.size(); i-- > 0 && !(limit && out.size() == limit + 1);) {
      c.SetLine(lines[i]);
      if (c.Count() < 6 || c.Count() > 8 || (!art.empty() && c.Item(1) != art)) continue;
      if (hidden || c.Count() < 7 || c.Item(6) != "1") out.push_back(c.Item(2));
    }
    return out;
  };
  EXPECT_EQ(Ids("", true, 10), expected("", true, 10));        // from the end of the file
  EXPECT_EQ(Ids("", false, 2500), expected("", false, 2500));
  for (const auto& art : arts)                                  // a scan, then the index
    for (bool hidden : {true, false}) EXPECT_EQ(Ids(art, hidden), expected(art, hidden, 0));
  EXPECT_EQ(Ids(""), expected("", true, 0));          // from memory
}

// comment.idx is made from comment.txt and must follow every change of it, and a damaged or
// foreign one must never be believed.
TEST_F(CommentsTest, LineIndexFollowsTheFileAndCountsAgree) {
  Write("comment.txt", Crlf({Comment("c1", kA, "a1"), Comment("c1", kB, "b1", "1"), Comment("c1", kA, "a2", "1"),
                             Comment("c1", kA, "a3")}));
  auto counts = [&](bool hidden) { return CountArticleComments(dir, {kA, kB, kC, kA, "short"}, hidden); };
  EXPECT_EQ(counts(true), (std::vector<int>{3, 1, 0, 3, 0}));
  EXPECT_FALSE(Exists("comment.idx"));  // too fresh to index
  Age("comment.txt");
  EXPECT_EQ(counts(true), (std::vector<int>{3, 1, 0, 3, 0}));
  EXPECT_EQ(counts(false), (std::vector<int>{2, 0, 0, 2, 0}));
  EXPECT_EQ(Ids(kA), (V{"a3", "a2", "a1"}));
  ASSERT_TRUE(Exists("comment.idx"));

  // Each write is seen at once: an append, an approval, a delete, a rewrite by hand of the same size.
  ASSERT_TRUE(AppendComment(dir, Comment("c1", kC, "c1")));
  EXPECT_EQ(Ids(kC), V{"c1"});
  Age("comment.txt");
  EXPECT_EQ(Ids(kC), V{"c1"});
  ASSERT_TRUE(ApproveComment(dir, kB, "b1"));
  Age("comment.txt");
  EXPECT_EQ(counts(false), (std::vector<int>{2, 1, 1, 2, 0}));
  ASSERT_TRUE(DeleteComment(dir, kA, "a1"));
  Age("comment.txt");
  EXPECT_EQ(Ids(kA), (V{"a3", "a2"}));
  std::string text = Read("comment.txt");
  text.replace(text.find("\"a3\""), 4, "\"a4\"");
  std::fstream(dir + "comment.txt", std::ios::in | std::ios::out | std::ios::binary) << text;
  EXPECT_EQ(Ids(kA), (V{"a4", "a2"}));
  Age("comment.txt");
  EXPECT_EQ(Ids(kA), (V{"a4", "a2"}));

  // Whatever lies in comment.idx, the readers give what splitting the file gives.
  const V want = Ids(kA);
  const std::vector<int> wantCounts = counts(true);
  const std::string good = Read("comment.idx");
  ASSERT_FALSE(good.empty());
  for (const std::string& bad : {std::string(), std::string("VCIX1"), good.substr(0, good.size() / 2),
                                 good + "0000\n", std::string(4096, '\xff'), std::string(200, ' ')}) {
    Write("comment.idx", bad);
    EXPECT_EQ(Ids(kA), want) << bad.size();
    Write("comment.idx", bad);
    EXPECT_EQ(counts(true), wantCounts) << bad.size();
  }
  // Once the file is gone nothing is read from the index that stays.
  ASSERT_TRUE(DeleteArticleComments(dir, kA) && DeleteArticleComments(dir, kB) && DeleteArticleComments(dir, kC));
  EXPECT_FALSE(Exists("comment.txt"));
  EXPECT_EQ(Ids(kC), V{});
  EXPECT_EQ(counts(true), (std::vector<int>{0, 0, 0, 0, 0}));
}

TEST_F(CommentsTest, RewritesTouchOnlyTheirLines) {
  const std::string held = Comment("c1", kA, "x", "1"), other = Comment("c1", kB, "x"),
                    five = "\"c1\",\"" + kA + "\",\"five\",\"d\",\"n\"";
  Write("comment.txt", Crlf({held, other, held, five}));
  EXPECT_TRUE(ApproveComment(dir, kA, "x"));  // the line nearest the end: six fields and "0"
  EXPECT_EQ(Read("comment.txt"), Crlf({held, other, Comment("c1", kA, "x", "0", ""), five}));
  EXPECT_FALSE(ApproveComment(dir, kA, "nope"));
  EXPECT_TRUE(DeleteComment(dir, kA, "x"));
  EXPECT_EQ(Read("comment.txt"), Crlf({held, other, five}));
  EXPECT_TRUE(DeleteArticleComments(dir, kA));  // not the five-field line
  EXPECT_TRUE(DeleteCategoryComments(dir, ""));  // no category has the empty id
  EXPECT_TRUE(DeleteCategoryComments(dir, "c2"));
  EXPECT_EQ(Read("comment.txt"), Crlf({other, five}));
  EXPECT_TRUE(DeleteCategoryComments(dir, "c1"));  // any field count
  EXPECT_FALSE(Exists("comment.txt"));
  EXPECT_TRUE(DeleteArticleComments(dir, kB));
  EXPECT_FALSE(Exists("comment.txt"));  // a missing file stays missing

  Write("comment.txt", "\"c1\",\"" + kA + "\",\"q\",\"d\",\"a\"\"b\",\"t\",\"1\",\"ip\"\r\n");
  EXPECT_TRUE(ApproveComment(dir, kA, "q"));  // a hand-written doubled quote survives
  TCommentList l;
  LoadCommentList(dir, kA, false, l, 0);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].name + l[0].address, "a\"b");
}

std::string TrackBack(const std::string& shown, const std::string& id, const std::string& art, const std::string& title) {
  return MakeRecordLine({shown, "2009/05/17 08:03:09", id, art, "blog", title, "excerpt", "http://example.com/"});
}

// Trackback lines are read as UTF-8 when they are; the deletes keep every other line as bytes.
TEST_F(CommentsTest, TrackBacksReadAndDelete) {
  const std::string seven = MakeRecordLine({"1", "d", "t3", kA, "blog", "title", "excerpt"});
  ASSERT_TRUE(AppendTrackBack(dir, "\xEF\xBB\xBF" + TrackBack("1", "t1", kA, "\xE6\x97\xA5\xE6\x9C\xAC")));
  ASSERT_TRUE(AppendTrackBack(dir, TrackBack("2", "t2", kB, "\xFF\xFE") + "\r\n"));  // stays one line
  ASSERT_TRUE(AppendTrackBack(dir, seven));
  ASSERT_TRUE(AppendTrackBack(dir, TrackBack("1", "t1", kB, "b")));
  TTrackBackList l;
  LoadTrackBackList(dir, "", l);
  EXPECT_EQ(IdsOf(l), (V{"t1", "t2", "t1"}));
  EXPECT_EQ(l[0].title + l[1].title, "日本\xFF\xFE");  // the second is neither UTF-8 nor Shift_JIS
  EXPECT_TRUE(l[0].visible && !l[1].visible);

  std::string date = "stale";
  EXPECT_FALSE(DeleteTrackBack(dir, "t2", kA, date));  // the owner's delete needs both ids
  EXPECT_EQ(date, "");
  EXPECT_TRUE(DeleteTrackBack(dir, "t1", kB, date));
  EXPECT_EQ(date, "2009/05/17 08:03:09");
  EXPECT_EQ(Read("trackback.txt"), Crlf({"\xEF\xBB\xBF" + TrackBack("1", "t1", kA, "\xE6\x97\xA5\xE6\x9C\xAC"),
                                         TrackBack("2", "t2", kB, "\xFF\xFE"), seven}));
  for (const char* id : {"t1", "t2", "t3"}) DeleteTrackBack(dir, id);
  EXPECT_EQ(Read("trackback.txt"), seven + "\r\n");  // seven fields are no trackback
  ASSERT_TRUE(SaveLinesToFile(dir + "trackback.txt", {TrackBack("1", "t5", kA, "x")}));
  EXPECT_TRUE(DeleteTrackBack(dir, "t5"));
  EXPECT_FALSE(Exists("trackback.txt"));
}

TEST_F(CommentsTest, ReaderWaitsForAWriterLock) {
  Write("comment.txt", Comment("c1", kA, "one") + "\r\n");
  const pid_t writer = HoldLock(dir + "comment.txt", LOCK_EX, 300, [] {});
  const long long t0 = NowMs();
  EXPECT_EQ(Ids("", true, 10), V{"one"});
  EXPECT_GE(NowMs() - t0, 250);
  waitpid(writer, nullptr, 0);
}

}  // namespace
