#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "store/DCSVList.h"
#include "store/comments.h"
#include "store/file_access.h"

namespace fs = std::filesystem;
using V = std::vector<std::string>;

namespace {

const std::string kA(40, 'a'), kB(40, 'b');

class CommentsTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velm-comments-XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
  }
  void TearDown() override { fs::remove_all(dir); }
  void Write(const std::string& name, const std::string& bytes) { std::ofstream(dir + name, std::ios::binary) << bytes; }
  std::string Read(const std::string& name) {
    std::string s;
    LoadTextFromFile(dir + name, s);
    return s;
  }
  V Ids(const std::string& art, bool hidden, int limit) {
    TCommentList l;
    LoadCommentList(dir, art, hidden, l, limit);
    V v;
    for (const auto& c : l) v.push_back(c.id);
    return v;
  }
  std::string dir;
};

std::string Comment(const std::string& cat, const std::string& art, const std::string& id, const std::string& flag = "0",
                    const std::string& addr = "10.0.0.1") {
  V f = {cat, art, id, "2009/05/17 08:03:09", "名前", "本文<br>"};
  if (!flag.empty()) f.push_back(flag);
  if (!addr.empty()) f.push_back(addr);
  return MakeRecordLine(f);
}

TEST_F(CommentsTest, ReadsNewestFirstWithTheFieldCountsAndFlags) {
  Write("comment.txt", Comment("c1", kA, "old", "", "") + "\r\n" + "\"c1\",\"" + kA + "\",\"five\",\"d\",\"n\"\r\n" +
                           Comment("c1", kB, "other") + "\r\n\r\n" + Comment("c1", kA, "waiting", "1") + "\r\n" +
                           Comment("c1", kA, "approved", "0", "") + "\n" + Comment("c1", kA, "nine") + ",\"x\"\r" +
                           Comment("c1", kA, "last"));  // 5 and 9 fields ignored; LF, CR, no final break
  EXPECT_EQ(Ids(kA, false, 0), (V{"last", "approved", "old"}));
  EXPECT_EQ(Ids("", false, 0), (V{"last", "approved", "other", "old"}));
  EXPECT_EQ(Ids("", true, 2), (V{"last", "approved", "waiting"}));  // L + 1
  TCommentList l;
  LoadCommentList(dir, kA, true, l, 0);
  ASSERT_EQ(l.size(), 4u);
  EXPECT_TRUE(l[1].visible && !l[2].visible);
  EXPECT_EQ(l[0].address + "|" + l[1].address, "10.0.0.1|");
  EXPECT_EQ(l[0].category + l[0].logid + l[0].date + l[0].name + l[0].comment,
            "c1" + kA + "2009/05/17 08:03:09名前本文<br>");
  int hidden = -1, total = -1;
  CountComments(dir, kA, hidden, total);
  EXPECT_EQ(hidden * 10 + total, 14);
  CountComments(dir, "", hidden, total);
  EXPECT_EQ(hidden * 10 + total, 15);

  ASSERT_TRUE(AppendComment(dir, Comment("c1", kA, "newer")));  // the kept copy is not reused
  EXPECT_EQ(Ids(kA, false, 1), (V{"newer", "last"}));
  fs::remove(dir + "comment.txt");
  EXPECT_EQ(Ids("", true, 10), V{});
}

// The newest comments come from the end of the file in blocks, lookups by article from a scan
// or an index of the whole file; all must read exactly what splitting every line reads.
TEST_F(CommentsTest, EveryReadingPathAgreesWithSplittingEveryLine) {
  std::mt19937 rng(11);
  const std::string arts[] = {kA, kB, "c" + std::string(39, '0')};
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
    file += line + (pick(4) == 0 ? "\n" : "\r\n");
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
    for (bool hidden : {true, false}) EXPECT_EQ(Ids(art, hidden, 0), expected(art, hidden, 0));
  EXPECT_EQ(Ids("", true, 0), expected("", true, 0));          // from memory
}

// comment.idx is made from comment.txt and must follow every change of it, and a damaged or
// foreign one must never be believed. It is made only from a file that has not changed for a
// while (a change within one file-system tick could keep size and time), so the test ages the
// file after each change.
TEST_F(CommentsTest, LineIndexFollowsTheFileAndCountsAgree) {
  const std::string kC = "c" + std::string(39, '0');
  auto age = [&] {
    struct timespec t[2] {};
    clock_gettime(CLOCK_REALTIME, &t[0]);
    t[0].tv_sec -= 10;
    t[1] = t[0];
    ASSERT_EQ(utimensat(AT_FDCWD, (dir + "comment.txt").c_str(), t, 0), 0);
  };
  Write("comment.txt", Comment("c1", kA, "a1") + "\r\n" + Comment("c1", kB, "b1", "1") + "\r\n" +
                           Comment("c1", kA, "a2", "1") + "\r\n" + Comment("c1", kA, "a3") + "\r\n");
  auto counts = [&](bool hidden) { return CountArticleComments(dir, {kA, kB, kC, kA, "short"}, hidden); };
  EXPECT_EQ(counts(true), (std::vector<int>{3, 1, 0, 3, 0}));
  EXPECT_FALSE(fs::exists(dir + "comment.idx"));  // too fresh to index
  age();
  EXPECT_EQ(counts(true), (std::vector<int>{3, 1, 0, 3, 0}));
  EXPECT_EQ(counts(false), (std::vector<int>{2, 0, 0, 2, 0}));
  EXPECT_EQ(Ids(kA, true, 0), (V{"a3", "a2", "a1"}));
  ASSERT_TRUE(fs::exists(dir + "comment.idx"));

  // Each write is seen at once: an append, an approval, a delete, a rewrite by hand of the same size.
  ASSERT_TRUE(AppendComment(dir, Comment("c1", kC, "c1")));
  EXPECT_EQ(Ids(kC, true, 0), V{"c1"});
  age();
  EXPECT_EQ(Ids(kC, true, 0), V{"c1"});
  ASSERT_TRUE(ApproveComment(dir, kB, "b1"));
  age();
  EXPECT_EQ(counts(false), (std::vector<int>{2, 1, 1, 2, 0}));
  ASSERT_TRUE(DeleteComment(dir, kA, "a1"));
  age();
  EXPECT_EQ(Ids(kA, true, 0), (V{"a3", "a2"}));
  std::string text = Read("comment.txt");
  const size_t at = text.find("\"a3\"");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 4, "\"a4\"");
  {
    std::fstream f(dir + "comment.txt", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(0);
    f.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  EXPECT_EQ(Ids(kA, true, 0), (V{"a4", "a2"}));
  age();
  EXPECT_EQ(Ids(kA, true, 0), (V{"a4", "a2"}));

  // Whatever lies in comment.idx, the readers give what splitting the file gives.
  const V want = Ids(kA, true, 0);
  const std::vector<int> wantCounts = counts(true);
  const std::string good = Read("comment.idx");
  ASSERT_FALSE(good.empty());
  for (const std::string& bad : {std::string(), std::string("VCIX1"), good.substr(0, good.size() / 2),
                                 good + "0000\n", std::string(4096, '\xff'), std::string(200, ' ')}) {
    Write("comment.idx", bad);
    EXPECT_EQ(Ids(kA, true, 0), want) << bad.size();
    Write("comment.idx", bad);
    EXPECT_EQ(counts(true), wantCounts) << bad.size();
  }
  // Once the file is gone nothing is read from the index that stays.
  ASSERT_TRUE(DeleteArticleComments(dir, kA) && DeleteArticleComments(dir, kB) && DeleteArticleComments(dir, kC));
  EXPECT_FALSE(fs::exists(dir + "comment.txt"));
  EXPECT_EQ(Ids(kC, true, 0), V{});
  EXPECT_EQ(counts(true), (std::vector<int>{0, 0, 0, 0, 0}));
}

TEST_F(CommentsTest, RewritesTouchOnlyTheirLines) {
  const std::string other = Comment("c1", kB, "x"), five = "\"c1\",\"" + kA + "\",\"five\",\"d\",\"n\"";
  Write("comment.txt", Comment("c1", kA, "x", "1") + "\r\n" + other + "\r\n" + Comment("c1", kA, "x", "1") + "\r\n" + five + "\r\n");
  EXPECT_TRUE(ApproveComment(dir, kA, "x"));  // the line nearest the end: six fields and "0"
  EXPECT_EQ(Read("comment.txt"), Comment("c1", kA, "x", "1") + "\r\n" + other + "\r\n" + Comment("c1", kA, "x", "0", "") +
                                     "\r\n" + five + "\r\n");
  EXPECT_FALSE(ApproveComment(dir, kA, "nope"));
  EXPECT_TRUE(DeleteComment(dir, kA, "x"));
  EXPECT_EQ(Read("comment.txt"), Comment("c1", kA, "x", "1") + "\r\n" + other + "\r\n" + five + "\r\n");
  EXPECT_TRUE(DeleteArticleComments(dir, kA));  // not the five-field line
  EXPECT_EQ(Read("comment.txt"), other + "\r\n" + five + "\r\n");
  EXPECT_TRUE(DeleteCategoryComments(dir, ""));  // no category has the empty id
  EXPECT_TRUE(DeleteCategoryComments(dir, "c2"));
  EXPECT_EQ(Read("comment.txt"), other + "\r\n" + five + "\r\n");
  EXPECT_TRUE(DeleteCategoryComments(dir, "c1"));  // any field count
  EXPECT_FALSE(fs::exists(dir + "comment.txt"));
  EXPECT_FALSE(DeleteComment(dir, kB, "x"));
  EXPECT_TRUE(DeleteArticleComments(dir, kB));
  EXPECT_FALSE(fs::exists(dir + "comment.txt"));  // a missing file stays missing

  Write("comment.txt", "\"c1\",\"" + kA + "\",\"q\",\"d\",\"a\"\"b\",\"t\",\"1\",\"ip\"\r\n");
  EXPECT_TRUE(ApproveComment(dir, kA, "q"));  // a hand-written doubled quote survives
  TCommentList l;
  LoadCommentList(dir, kA, false, l, 0);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].name + l[0].address, "a\"b");
  EXPECT_TRUE(DeleteComment(dir, kA, "q"));
  EXPECT_FALSE(fs::exists(dir + "comment.txt"));
}

std::string TrackBack(const std::string& shown, const std::string& id, const std::string& art, const std::string& title) {
  return MakeRecordLine({shown, "2009/05/17 08:03:09", id, art, "blog", title, "excerpt", "http://example.com/"});
}

TEST_F(CommentsTest, TrackBacksDecodeUtf8AndSurviveOtherBytes) {
  const std::string utf8 = "\xE6\x97\xA5\xE6\x9C\xAC";  // 日本 in UTF-8
  ASSERT_TRUE(AppendTrackBack(dir, "\xEF\xBB\xBF" + TrackBack("1", "t1", kA, utf8)));
  ASSERT_TRUE(AppendTrackBack(dir, TrackBack("0", "t2", kB, "b") + "\r\n"));  // stays one line
  ASSERT_TRUE(AppendTrackBack(dir, MakeRecordLine({"1", "d", "t3", kA, "blog", "title", "excerpt"})));  // 7 fields
  ASSERT_TRUE(AppendTrackBack(dir, TrackBack("1", "t4", kA, "表示")));    // Shift_JIS by hand
  ASSERT_TRUE(AppendTrackBack(dir, TrackBack("2", "t1", kB, "\xFF\xFE")));  // neither
  TTrackBackList l;
  LoadTrackBackList(dir, "", l);
  ASSERT_EQ(l.size(), 4u);
  EXPECT_EQ(l[0].title, "日本");
  EXPECT_EQ(l[2].title, "表示");
  EXPECT_EQ(l[3].title, "\xFF\xFE");
  EXPECT_TRUE(l[0].visible);
  EXPECT_FALSE(l[1].visible || l[3].visible);
  EXPECT_EQ(l[0].date + l[0].id + l[0].logid + l[0].blogname + l[0].excerpt + l[0].url,
            "2009/05/17 08:03:09t1" + kA + "blogexcerpthttp://example.com/");
  LoadTrackBackList(dir, kB, l);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0].id, "t2");

  std::string date = "stale";
  EXPECT_FALSE(DeleteTrackBack(dir, "t2", kA, date));  // the owner's delete needs both ids
  EXPECT_EQ(date, "");
  EXPECT_TRUE(DeleteTrackBack(dir, "t1", kB, date));
  EXPECT_EQ(date, "2009/05/17 08:03:09");
  EXPECT_EQ(Read("trackback.txt").substr(0, 3), "\xEF\xBB\xBF");  // other lines kept as bytes
  for (const char* id : {"t1", "t1", "t2", "t3", "t4"}) DeleteTrackBack(dir, id);
  EXPECT_EQ(Read("trackback.txt"), MakeRecordLine({"1", "d", "t3", kA, "blog", "title", "excerpt"}) + "\r\n");
  ASSERT_TRUE(SaveLinesToFile(dir + "trackback.txt", {TrackBack("1", "t5", kA, "x")}));
  EXPECT_TRUE(DeleteTrackBack(dir, "t5"));
  EXPECT_FALSE(fs::exists(dir + "trackback.txt"));
}

TEST_F(CommentsTest, ReaderWaitsForAWriterLock) {
  Write("comment.txt", Comment("c1", kA, "one") + "\r\n");
  const int fd = ::open((dir + "comment.txt").c_str(), O_RDWR);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  std::thread writer([&] {
    usleep(300 * 1000);
    flock(fd, LOCK_UN);
  });
  struct timespec t0 {}, t1 {};
  clock_gettime(CLOCK_MONOTONIC, &t0);
  const V ids = Ids("", true, 10);
  clock_gettime(CLOCK_MONOTONIC, &t1);
  writer.join();
  ::close(fd);
  EXPECT_EQ(ids, V{"one"});
  EXPECT_GE((t1.tv_sec - t0.tv_sec) * 1e3 + (t1.tv_nsec - t0.tv_nsec) / 1e6, 250.0);
}

}  // namespace
