#include <sys/time.h>

#include <filesystem>
#include <set>

#include "store_fixture.h"

namespace {

using FileAccessTest = StoreFolder;

TEST_F(FileAccessTest, LinesAndRewrites) {
  const std::string p = dir + "a.txt";
  EXPECT_TRUE(RewriteLines(p, [](TStringList& l, bool existed) {
    EXPECT_FALSE(existed || !l.empty());
    return TRewrite::Keep;
  }));
  EXPECT_FALSE(Exists("a.txt"));  // a Keep on a missing file leaves no file behind
  ASSERT_TRUE(SaveLinesToFile(p, {}));  // an empty file is a file
  EXPECT_TRUE(RewriteText(p, [](std::string& t, bool existed) {
    EXPECT_TRUE(existed && t.empty());
    return TRewrite::Keep;
  }));
  EXPECT_TRUE(AppendLineToFile(p, "first") && AppendLineToFile(p, "二行目"));
  EXPECT_EQ(Read("a.txt"), "first\r\n二行目\r\n");
  Write("a.txt", "one\r\rthree\n\r\nfive");
  chmod(p.c_str(), 0600);
  ASSERT_TRUE(RewriteLines(p, [](TStringList& l, bool) {
    EXPECT_EQ(l, (TStringList{"one", "", "three", "", "five"}));
    l.erase(l.begin() + 1);
    return TRewrite::Save;
  }));
  EXPECT_EQ(Read("a.txt"), "one\r\nthree\r\n\r\nfive\r\n");
  struct stat st {};
  ASSERT_EQ(stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // the replacement keeps the permissions
  const std::string bin = std::string("\0\r\n\x82\xff", 5) + std::string(200000, 'x');
  std::string text;
  EXPECT_TRUE(SaveStreamToFile(dir + "bin", bin) && LoadStreamFromFile(dir + "bin", text));
  EXPECT_EQ(text, bin);
  std::set<std::string> names;  // no temporary file is left behind
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"a.txt", "bin"}));
  EXPECT_TRUE(RewriteLines(p, [](TStringList&, bool) { return TRewrite::Delete; }));
  EXPECT_FALSE(Exists("a.txt"));
  for (const auto& [bytes, first] : {std::pair<std::string, std::string>{"\rsecond", ""}, {"only", "only"}, {"", "def"}}) {
    Write("a.txt", bytes);
    EXPECT_EQ(ReadFirstLine(p, "def"), first) << bytes;
  }
  TStringList lines{"stale"};  // a missing file: no lines, the default line
  EXPECT_FALSE(LoadLinesFromFile(dir + "missing.txt", lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(ReadFirstLine(dir + "missing.txt", "def"), "def");
}

TEST_F(FileAccessTest, HeldLockMakesOthersWaitOrFail) {
  const std::string p = dir + "held.txt";
  ASSERT_TRUE(SaveLinesToFile(p, {"old"}));
  pid_t holder = HoldLock(p, LOCK_EX, 700, [] {});
  long long t0 = NowMs();
  EXPECT_FALSE(SaveTextToFile(p, "new", 5, 40));  // 4 pauses of 40 ms
  const long long spent = NowMs() - t0;
  EXPECT_GE(spent, 150);
  EXPECT_LT(spent, 600);
  EXPECT_EQ(Read("held.txt"), "old\r\n");
  EXPECT_EQ(ReadFirstLine(p, "locked", 2, 10), "locked");
  t0 = NowMs();
  TStringList lines;
  EXPECT_TRUE(LoadLinesFromFile(p, lines));  // waits for the holder's exit
  EXPECT_LT(NowMs() - t0, 700);  // not rounded up to a whole 500 ms step past the release
  EXPECT_EQ(lines, TStringList{"old"});
  waitpid(holder, nullptr, 0);

  holder = HoldLock(p, LOCK_SH, 300, [] {});
  EXPECT_EQ(ReadFirstLine(p, "def", 1, 0), "old");
  EXPECT_FALSE(SaveTextToFile(p, "new", 1, 0));
  waitpid(holder, nullptr, 0);
  EXPECT_TRUE(SaveTextToFile(p, "new", 1, 0));

  holder = HoldLock(p, LOCK_EX, 200, [&] {
    Write("held.txt.new", "replaced\r\n");
    rename((p + ".new").c_str(), p.c_str());
  });
  EXPECT_TRUE(AppendLineToFile(p, "appended"));
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(Read("held.txt"), "replaced\r\nappended\r\n");
}

// Only a failure that may pass is retried: a missing folder or a path through a file fails at
// once, through every door (not after 101 tries 500 ms apart).
TEST_F(FileAccessTest, LastingFailuresEndAtOnce) {
  Write("plain", "x");
  const long long t0 = NowMs();
  for (const std::string& p : {dir + "missing/f.txt", dir + "plain/f.txt"}) {
    EXPECT_FALSE(AppendLineToFile(p, "x")) << p;
    EXPECT_FALSE(AppendLineUnlessFound(p, "x")) << p;
    EXPECT_FALSE(SaveTextToFile(p, "x") || SaveLinesToFile(p, {"x"})) << p;
    EXPECT_FALSE(RewriteLines(p, [](TStringList&, bool) { return TRewrite::Save; })) << p;
    TStringList lines;
    EXPECT_FALSE(LoadLinesFromFile(p, lines)) << p;
    // A file in a missing folder is a missing file to the readers of what may not exist yet.
    const bool missing = p.find("missing") != std::string::npos;
    TFileStamp stamp;
    EXPECT_EQ(ReadFileFrom(p, 0, [](const char*, size_t) {}, stamp), missing) << p;
    EXPECT_EQ(CountLinesThenDelete(p, [](long long) { return true; }), missing) << p;
  }
  EXPECT_LT(NowMs() - t0, 500);
  // A missing file in an existing folder is no failure for the readers.
  TFileStamp stamp;
  EXPECT_TRUE(ReadFileFrom(dir + "none.txt", 0, [](const char*, size_t) {}, stamp));
  EXPECT_EQ(stamp.Size, -1);
  TLockedFile f;
  EXPECT_FALSE(f.Open(dir + "none.txt", TOpen::Read));
  EXPECT_TRUE(f.Missing());
}

// A rewrite removes what killed writers left behind in its folder, once it is ten minutes old
// (a killed save's files of an article are seldom written again); fresh ones and other names stay.
TEST_F(FileAccessTest, RewriteRemovesStaleTemporaries) {
  const std::string old[] = {".data.txt.4242.123456.tmp", ".data.txt.77.lock3.tmp", ".other.txt.4242.1.tmp"};
  const std::string keep[] = {".data.txt.4243.99.tmp", ".data.txt.x.1.tmp", "data.txt.1.2.tmp", ".4242.1.tmp"};
  for (const auto& n : old) Write(n, "left");
  for (const auto& n : keep) Write(n, "kept");
  const time_t past = time(nullptr) - 601;
  const struct timeval tv[2] = {{past, 0}, {past, 0}};
  for (const auto& n : old) utimes((dir + n).c_str(), tv);
  for (size_t i = 1; i < std::size(keep); ++i) utimes((dir + keep[i]).c_str(), tv);
  ASSERT_TRUE(SaveLinesToFile(dir + "data.txt", {"a"}));
  for (const auto& n : old) EXPECT_FALSE(std::filesystem::exists(dir + n)) << n;
  for (const auto& n : keep) EXPECT_TRUE(std::filesystem::exists(dir + n)) << n;
}

// In a folder of thousands of files the sweep runs now and then, not at every write; a stale
// temporary still goes within a few dozen rewrites.
TEST_F(FileAccessTest, LargeFolderIsSweptNowAndThen) {
  for (int i = 0; i < 3000; ++i) Write("article-" + std::to_string(i) + ".txt", "");
  Write(".data.txt.4242.1.tmp", "left");
  const time_t past = time(nullptr) - 601;
  const struct timeval tv[2] = {{past, 0}, {past, 0}};
  utimes((dir + ".data.txt.4242.1.tmp").c_str(), tv);
  int writes = 0;
  while (std::filesystem::exists(dir + ".data.txt.4242.1.tmp") && writes < 200)
    ASSERT_TRUE(SaveLinesToFile(dir + "data.txt", {std::to_string(++writes)}));
  EXPECT_GT(writes, 0);
  EXPECT_LT(writes, 200);
}

// Writers in several processes rewrite and append at once: nothing is lost, nothing torn; a
// reader meanwhile always sees whole lines.
TEST_F(FileAccessTest, ConcurrentWritersLoseNothing) {
  const std::string p = dir + "shared.txt";
  const int procs = 6, rounds = 40;
  std::vector<pid_t> kids;
  auto child = [&](auto body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    kids.push_back(pid);
  };
  for (int k = 0; k < procs; ++k)
    child([&] {
      for (int r = 0; r < rounds; ++r) {
        const std::string line = "\"" + std::to_string(k) + "\",\"" + std::to_string(r) + "\"";
        const bool ok = r % 2 ? AppendLineToFile(p, line) : RewriteLines(p, [&](TStringList& l, bool) {
          l.push_back(line);
          return TRewrite::Save;
        });
        if (!ok) return 1;
      }
      return 0;
    });
  child([&] {
    TCSVList c;
    for (int i = 0; i < 200; ++i) {
      TStringList l;
      LoadLinesFromFile(p, l);
      for (const auto& line : l) {
        c.SetLine(line);
        if (c.Count() != 2) return 2;
      }
    }
    return 0;
  });
  for (pid_t k : kids) {
    int st = 0;
    waitpid(k, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  }
  TStringList lines;
  ASSERT_TRUE(LoadLinesFromFile(p, lines));
  EXPECT_EQ(lines.size(), static_cast<size_t>(procs * rounds));
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), lines.size());
}

// A picture that the web server also sends: a reader that opened it keeps the old bytes whole,
// the path never names an empty or partial file, and nothing is left beside it.
TEST_F(FileAccessTest, FilesReadWithoutTheLockAreReplacedWhole) {
  const std::string p = dir + "pic.jpg";
  ASSERT_TRUE(ReplaceFileAtomically(p, "first"));  // made without an empty placeholder
  EXPECT_EQ(Read("pic.jpg"), "first");
  const int old = ::open(p.c_str(), O_RDONLY);
  ASSERT_GE(old, 0);
  ASSERT_TRUE(ReplaceFileAtomically(p, std::string(100000, 'n')));
  char buf[16] = {};
  EXPECT_EQ(::read(old, buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "first");
  ::close(old);
  EXPECT_EQ(Read("pic.jpg"), std::string(100000, 'n'));
  EXPECT_FALSE(ReplaceFileAtomically(dir + "missing/pic.jpg", "x"));
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"pic.jpg"}));
}

}  // namespace
