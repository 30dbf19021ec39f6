#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <time.h>

#include "store/DCSVList.h"
#include "store/comments.h"
#include "store/file_access.h"

namespace fs = std::filesystem;

namespace {

const std::string kArticleA(40, 'a');
const std::string kArticleB(40, 'b');

class CommentsTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velm-comments-XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
  }
  void TearDown() override { fs::remove_all(dir); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir + name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) {
    std::string s;
    LoadTextFromFile(dir + name, s);
    return s;
  }
  // A comment line as the poster writes it.
  static std::string Comment(const std::string& cat, const std::string& art, const std::string& id,
                             const std::string& flag = "0", const std::string& addr = "10.0.0.1") {
    std::vector<std::string> f = {cat, art, id, "2009/05/17 08:03:09", "名前", "本文<br>"};
    if (!flag.empty()) f.push_back(flag);
    if (!addr.empty()) f.push_back(addr);
    return MakeRecordLine(f);
  }
  static std::vector<std::string> Ids(const TCommentList& l) {
    std::vector<std::string> v;
    for (const auto& c : l) v.push_back(c.id);
    return v;
  }

  std::string dir;
};

using V = std::vector<std::string>;

TEST_F(CommentsTest, ReadsNewestFirstWithTheFieldCountsAndFlags) {
  Write("comment.txt",
        Comment("c1", kArticleA, "old", "", "") + "\r\n" +           // 6 fields: shown
        "\"c1\",\"" + kArticleA + "\",\"five\",\"d\",\"n\"\r\n" +      // 5 fields: ignored
        Comment("c1", kArticleB, "other") + "\r\n" +
        "\r\n" +                                                       // empty line
        Comment("c1", kArticleA, "waiting", "1") + "\r\n" +            // 8 fields, hidden
        Comment("c1", kArticleA, "approved", "0", "") + "\n" +         // 7 fields, LF only
        Comment("c1", kArticleA, "nine") + ",\"x\"\r" +                // 9 fields: ignored, CR only
        Comment("c1", kArticleA, "last"));                             // no final break
  TCommentList l;
  LoadCommentList(dir, kArticleA, false, l, 0);
  EXPECT_EQ(Ids(l), (V{"last", "approved", "old"}));
  LoadCommentList(dir, kArticleA, true, l, 0);
  ASSERT_EQ(Ids(l), (V{"last", "approved", "waiting", "old"}));
  EXPECT_FALSE(l[2].visible);
  EXPECT_TRUE(l[1].visible);
  EXPECT_EQ(l[0].address, "10.0.0.1");
  EXPECT_EQ(l[1].address, "");
  EXPECT_EQ(l[0].category, "c1");
  EXPECT_EQ(l[0].logid, kArticleA);
  EXPECT_EQ(l[0].date, "2009/05/17 08:03:09");
  EXPECT_EQ(l[0].name, "名前");
  EXPECT_EQ(l[0].comment, "本文<br>");

  // Every article, and the L + 1 limit.
  LoadCommentList(dir, "", false, l, 0);
  EXPECT_EQ(Ids(l), (V{"last", "approved", "other", "old"}));
  LoadCommentList(dir, "", true, l, 2);
  EXPECT_EQ(Ids(l), (V{"last", "approved", "waiting"}));
  LoadCommentList(dir, kArticleA, false, l, 1);
  EXPECT_EQ(Ids(l), (V{"last", "approved"}));

  int hidden = -1, total = -1;
  CountComments(dir, kArticleA, hidden, total);
  EXPECT_EQ(hidden, 1);
  EXPECT_EQ(total, 4);
  CountComments(dir, "", hidden, total);
  EXPECT_EQ(hidden, 1);
  EXPECT_EQ(total, 5);

  fs::remove(dir + "comment.txt");
  LoadCommentList(dir, "", true, l, 10);
  EXPECT_TRUE(l.empty());
  CountComments(dir, kArticleA, hidden, total);
  EXPECT_EQ(total, 0);
  EXPECT_FALSE(fs::exists(dir + "comment.txt"));
}

// The newest comments come from the end of the file in blocks, lookups by article from an index
// of the whole file; both must read exactly what splitting every line reads.
TEST_F(CommentsTest, TailAndIndexAgreeWithSplittingEveryLine) {
  std::mt19937 rng(11);
  const std::string arts[] = {kArticleA, kArticleB, "c" + std::string(39, '0')};
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  std::string file;
  std::vector<std::string> lines;
  for (int i = 0; i < 3000; ++i) {
    const std::string& art = arts[pick(3)];
    const std::string id = "id" + std::to_string(i);
    std::string line;
    switch (pick(10)) {
      case 8: {  // odd bytes around the article id
        const char* parts[] = {"\"", ",", " ", "\t", "\x82", "\xE0", "a", "\"\"", art.c_str(), id.c_str()};
        for (int k = pick(14); k >= 0; --k) line += parts[pick(10)];
        break;
      }
      case 0: line = "c1 " + art + " " + id + " d n t 0"; break;                  // unquoted, blanks
      case 1: line = "\"c\"\"1\",\"" + art + "\",\"" + id + "\",\"d\",\"n\",\"t\""; break;  // doubled quote
      case 2: line = "\"c1\",\"" + art + "\"\"x\",\"" + id + "\",\"d\",\"n\",\"t\""; break;  // not the article
      case 3: line = "\"表\",\"" + art + "\",\"" + id + "\",\"d\",\"n\",\"t\""; break;       // Japanese field 0
      case 4: line = "\x82\",\"" + art + "\",\"" + id + "\",\"d\",\"n\",\"t\""; break;       // lead byte eats a quote
      case 5: line = Comment("c1", art, id) + std::string(static_cast<size_t>(pick(3)) * 20000, 'x'); break;  // long
      case 6: line = "\"c1\", \"" + art + "\" ,\"" + id + "\",\"d\",\"n\",\"t\",\"1\""; break;
      case 7: line = Comment("c1", art, id, "1"); break;
      default: line = Comment("c1", art, id); break;
    }
    lines.push_back(line);
    file += line + (pick(4) == 0 ? "\n" : "\r\n");
  }
  Write("comment.txt", file);

  auto expected = [&](const std::string& art, bool hidden, size_t limit) {
    V out;
    TCSVList c;
    for (size_t i = lines.size(); i-- > 0;) {
      c.SetLine(lines[i]);
      if (c.Count() < 6 || c.Count() > 8 || (!art.empty() && c.Item(1) != art)) continue;
      if (!hidden && c.Count() >= 7 && c.Item(6) == "1") continue;
      out.push_back(c.Item(2));
      if (limit && out.size() == limit + 1) break;
    }
    return out;
  };
  TCommentList l;
  LoadCommentList(dir, "", true, l, 10);  // from the end, nothing in memory yet
  EXPECT_EQ(Ids(l), expected("", true, 10));
  LoadCommentList(dir, "", false, l, 2500);
  EXPECT_EQ(Ids(l), expected("", false, 2500));
  for (const auto& art : arts) {
    LoadCommentList(dir, art, true, l, 0);
    EXPECT_EQ(Ids(l), expected(art, true, 0));
    LoadCommentList(dir, art, false, l, 0);
    EXPECT_EQ(Ids(l), expected(art, false, 0));
  }
  LoadCommentList(dir, "", false, l, 10);  // now from memory
  EXPECT_EQ(Ids(l), expected("", false, 10));
  LoadCommentList(dir, "", true, l, 0);
  EXPECT_EQ(Ids(l), expected("", true, 0));
}

TEST_F(CommentsTest, SeesEveryChangeOfTheFile) {
  Write("comment.txt", Comment("c1", kArticleA, "one") + "\r\n");
  TCommentList l;
  LoadCommentList(dir, kArticleA, true, l, 0);
  ASSERT_EQ(Ids(l), V{"one"});
  ASSERT_TRUE(AppendLineToFile(dir + "comment.txt", Comment("c1", kArticleA, "two")));
  LoadCommentList(dir, kArticleA, true, l, 0);
  EXPECT_EQ(Ids(l), (V{"two", "one"}));
  // A rewrite of the same size.
  ASSERT_TRUE(SaveLinesToFile(dir + "comment.txt", {Comment("c1", kArticleA, "uno"), Comment("c1", kArticleA, "dos")}));
  LoadCommentList(dir, kArticleA, true, l, 0);
  EXPECT_EQ(Ids(l), (V{"dos", "uno"}));
  // Another account's file of the same content.
  fs::create_directory(dir + "other");
  std::ofstream(dir + "other/comment.txt", std::ios::binary) << Comment("c1", kArticleA, "elsewhere") << "\r\n";
  LoadCommentList(dir + "other/", kArticleA, true, l, 0);
  EXPECT_EQ(Ids(l), V{"elsewhere"});
  ASSERT_TRUE(AppendComment(dir, Comment("c1", kArticleA, "tres")));
  LoadCommentList(dir, "", true, l, 0);
  EXPECT_EQ(Ids(l), (V{"tres", "dos", "uno"}));
}

TEST_F(CommentsTest, DeleteAndApproveTouchOnlyTheirLine) {
  const std::string other = Comment("c1", kArticleB, "x");
  Write("comment.txt", Comment("c1", kArticleA, "x", "1") + "\r\n" + other + "\r\n" +
                           Comment("c1", kArticleA, "x", "1") + "\r\n" + "garbage line\r\n");
  // Approve: the line nearest the end becomes six fields and "0".
  EXPECT_TRUE(ApproveComment(dir, kArticleA, "x"));
  EXPECT_EQ(Read("comment.txt"), Comment("c1", kArticleA, "x", "1") + "\r\n" + other + "\r\n" +
                                     Comment("c1", kArticleA, "x", "0", "") + "\r\n" + "garbage line\r\n");
  EXPECT_FALSE(ApproveComment(dir, kArticleA, "nope"));
  // Delete: again the one nearest the end, then the other, then the file goes with its last line.
  EXPECT_TRUE(DeleteComment(dir, kArticleA, "x"));
  EXPECT_EQ(Read("comment.txt"), Comment("c1", kArticleA, "x", "1") + "\r\n" + other + "\r\n" + "garbage line\r\n");
  EXPECT_TRUE(DeleteComment(dir, kArticleA, "x"));
  EXPECT_FALSE(DeleteComment(dir, kArticleA, "x"));
  EXPECT_EQ(Read("comment.txt"), other + "\r\n" + "garbage line\r\n");
  Write("comment.txt", other + "\r\n");
  EXPECT_TRUE(DeleteComment(dir, kArticleB, "x"));
  EXPECT_FALSE(fs::exists(dir + "comment.txt"));
  // A missing file stays missing.
  EXPECT_FALSE(DeleteComment(dir, kArticleB, "x"));
  EXPECT_FALSE(ApproveComment(dir, kArticleB, "x"));
  EXPECT_FALSE(fs::exists(dir + "comment.txt"));

  // A hand-written doubled quote survives the approval.
  Write("comment.txt", "\"c1\",\"" + kArticleA + "\",\"q\",\"d\",\"a\"\"b\",\"t\",\"1\",\"ip\"\r\n");
  EXPECT_TRUE(ApproveComment(dir, kArticleA, "q"));
  TCommentList l;
  LoadCommentList(dir, kArticleA, false, l, 0);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].name, "a\"b");
  EXPECT_EQ(l[0].address, "");
}

TEST_F(CommentsTest, DeleteOfAnArticleOrCategory) {
  const std::string five = "\"c1\",\"" + kArticleA + "\",\"five\",\"d\",\"n\"";
  Write("comment.txt", Comment("c1", kArticleA, "1") + "\r\n" + Comment("c2", kArticleB, "2") + "\r\n" + five +
                           "\r\n" + Comment("c2", kArticleA, "3", "1") + "\r\n" + "\"\",\"" + kArticleB +
                           "\",\"4\",\"d\",\"n\",\"t\"\r\n");
  EXPECT_TRUE(DeleteArticleComments(dir, kArticleA));
  EXPECT_EQ(Read("comment.txt"), Comment("c2", kArticleB, "2") + "\r\n" + five + "\r\n" + "\"\",\"" + kArticleB +
                                     "\",\"4\",\"d\",\"n\",\"t\"\r\n");
  EXPECT_TRUE(DeleteArticleComments(dir, "f" + std::string(39, '0')));  // nothing to remove
  // The category delete takes any line of that category, and never the uncategorized ones.
  EXPECT_TRUE(DeleteCategoryComments(dir, ""));
  EXPECT_TRUE(DeleteCategoryComments(dir, "c1"));
  EXPECT_EQ(Read("comment.txt"), Comment("c2", kArticleB, "2") + "\r\n" + "\"\",\"" + kArticleB +
                                     "\",\"4\",\"d\",\"n\",\"t\"\r\n");
  EXPECT_TRUE(DeleteCategoryComments(dir, "c2"));
  EXPECT_TRUE(DeleteArticleComments(dir, kArticleB));
  EXPECT_FALSE(fs::exists(dir + "comment.txt"));
  EXPECT_TRUE(DeleteArticleComments(dir, kArticleB));
  EXPECT_TRUE(DeleteCategoryComments(dir, "c2"));
  EXPECT_FALSE(fs::exists(dir + "comment.txt"));
}

// A trackback line as the receiver writes it: UTF-8.
std::string TrackBack(const std::string& shown, const std::string& id, const std::string& art,
                      const std::string& title) {
  return MakeRecordLine({shown, "2009/05/17 08:03:09", id, art, "blog", title, "excerpt", "http://example.com/"});
}

TEST_F(CommentsTest, TrackBacksDecodeUtf8AndSurviveOtherBytes) {
  const std::string utf8 = "\xE6\x97\xA5\xE6\x9C\xAC";  // 日本 in UTF-8
  Write("trackback.txt", "\xEF\xBB\xBF" + TrackBack("1", "t1", kArticleA, utf8) + "\r\n" +
                             TrackBack("0", "t2", kArticleB, "b") + "\r\n" +
                             MakeRecordLine({"1", "d", "t3", kArticleA, "blog", "title", "excerpt"}) + "\r\n" +  // 7
                             TrackBack("1", "t4", kArticleA, "表示") + "\r\n" +  // Shift_JIS by hand
                             TrackBack("1", "t5", kArticleA, "\xFF\xFE") + "\n" +  // neither
                             TrackBack("2", "t6", kArticleA, "t"));
  TTrackBackList l;
  LoadTrackBackList(dir, "", l);
  ASSERT_EQ(l.size(), 5u);
  EXPECT_EQ(l[0].id, "t1");
  EXPECT_EQ(l[0].title, "日本");
  EXPECT_TRUE(l[0].visible);
  EXPECT_FALSE(l[1].visible);
  EXPECT_EQ(l[2].title, "表示");
  EXPECT_EQ(l[3].title, "\xFF\xFE");
  EXPECT_FALSE(l[4].visible);
  EXPECT_EQ(l[0].date, "2009/05/17 08:03:09");
  EXPECT_EQ(l[0].logid, kArticleA);
  EXPECT_EQ(l[0].blogname, "blog");
  EXPECT_EQ(l[0].excerpt, "excerpt");
  EXPECT_EQ(l[0].url, "http://example.com/");
  LoadTrackBackList(dir, kArticleB, l);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].id, "t2");
  fs::remove(dir + "trackback.txt");
  LoadTrackBackList(dir, "", l);
  EXPECT_TRUE(l.empty());
  EXPECT_FALSE(fs::exists(dir + "trackback.txt"));
}

TEST_F(CommentsTest, TrackBackAppendAndDelete) {
  const std::string utf8 = "\xE6\x97\xA5";
  EXPECT_TRUE(AppendTrackBack(dir, TrackBack("1", "t1", kArticleA, utf8)));
  EXPECT_TRUE(AppendTrackBack(dir, TrackBack("1", "t2", kArticleA, "x") + "\r\n"));  // one line only
  EXPECT_TRUE(AppendTrackBack(dir, TrackBack("1", "t1", kArticleB, utf8)));
  EXPECT_EQ(Read("trackback.txt"), TrackBack("1", "t1", kArticleA, utf8) + "\r\n" + TrackBack("1", "t2", kArticleA, "x") +
                                       "\r\n" + TrackBack("1", "t1", kArticleB, utf8) + "\r\n");
  // The owner's delete needs both ids and tells the receiving time.
  std::string date = "stale";
  EXPECT_FALSE(DeleteTrackBack(dir, "t2", kArticleB, date));
  EXPECT_EQ(date, "");
  EXPECT_TRUE(DeleteTrackBack(dir, "t1", kArticleA, date));
  EXPECT_EQ(date, "2009/05/17 08:03:09");
  EXPECT_EQ(Read("trackback.txt"), TrackBack("1", "t2", kArticleA, "x") + "\r\n" + TrackBack("1", "t1", kArticleB, utf8) + "\r\n");
  EXPECT_TRUE(DeleteTrackBack(dir, "t1"));
  EXPECT_FALSE(DeleteTrackBack(dir, "t1"));
  EXPECT_FALSE(DeleteTrackBack(dir, ""));
  EXPECT_TRUE(DeleteTrackBack(dir, "t2"));
  EXPECT_FALSE(fs::exists(dir + "trackback.txt"));
  EXPECT_FALSE(DeleteTrackBack(dir, "t2"));
  EXPECT_FALSE(fs::exists(dir + "trackback.txt"));
}

TEST_F(CommentsTest, ReaderWaitsForAWriterLock) {
  Write("comment.txt", Comment("c1", kArticleA, "one") + "\r\n");
  const int fd = ::open((dir + "comment.txt").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  std::thread writer([&] {
    usleep(300 * 1000);
    flock(fd, LOCK_UN);
  });
  struct timespec t0 {}, t1 {};
  clock_gettime(CLOCK_MONOTONIC, &t0);
  TCommentList l;
  LoadCommentList(dir, "", true, l, 10);
  clock_gettime(CLOCK_MONOTONIC, &t1);
  const double waitedMs = (t1.tv_sec - t0.tv_sec) * 1e3 + (t1.tv_nsec - t0.tv_nsec) / 1e6;
  writer.join();
  ::close(fd);
  EXPECT_EQ(Ids(l), V{"one"});
  EXPECT_GE(waitedMs, 250.0);
}

// Posters append while the owner approves and deletes: no change is lost.
TEST_F(CommentsTest, ConcurrentPostsAndModerationLoseNothing) {
  constexpr int kProcs = 4, kEach = 15;
  std::vector<pid_t> kids;
  for (int p = 0; p < kProcs; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int i = 0; i < kEach; ++i) {
        const std::string id = "p" + std::to_string(p) + "-" + std::to_string(i);
        ok &= AppendComment(dir, Comment("c1", kArticleA, id, "1"));
        ok &= AppendComment(dir, Comment("c1", kArticleA, id + "-gone", "1"));
        ok &= ApproveComment(dir, kArticleA, id);
        ok &= DeleteComment(dir, kArticleA, id + "-gone");
      }
      _exit(ok ? 0 : 1);
    }
    kids.push_back(pid);
  }
  for (pid_t k : kids) {
    int st = 0;
    waitpid(k, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  }
  TCommentList l;
  LoadCommentList(dir, kArticleA, true, l, 0);
  EXPECT_EQ(l.size(), static_cast<size_t>(kProcs * kEach));
  for (const auto& c : l) EXPECT_TRUE(c.visible) << c.id;
}

}  // namespace
