#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "store/file_access.h"

namespace fs = std::filesystem;

namespace {

long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

class FileRule : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velm-rule-XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  std::vector<std::string> Leftovers() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().filename().string()[0] == '.') out.push_back(e.path().filename().string());
    return out;
  }
  // A child process that holds flock(op) on path for ms milliseconds; returns once it holds it.
  pid_t HoldLock(const std::string& path, int op, int ms) {
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open(path.c_str(), O_RDONLY);
      flock(fd, op);
      (void)!write(ready[1], "x", 1);
      usleep(ms * 1000);
      _exit(0);
    }
    char c;
    EXPECT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    close(ready[1]);
    return pid;
  }
  std::string dir;
};

TEST_F(FileRule, ExistedIsExact) {
  const std::string p = dir + "empty.txt";
  ASSERT_TRUE(SaveLinesToFile(p, {}));  // an empty file is a file
  bool seen = false;
  EXPECT_TRUE(RewriteText(p, [&](std::string& t, bool existed) {
    seen = existed;
    EXPECT_EQ(t, "");
    return TRewrite::Keep;
  }));
  EXPECT_TRUE(seen);
  EXPECT_TRUE(FileExists(p));
  EXPECT_TRUE(RewriteText(dir + "new.txt", [](std::string& t, bool existed) {
    EXPECT_FALSE(existed);
    t = "made";
    return TRewrite::Save;
  }));
  EXPECT_EQ(Bytes(dir + "new.txt"), "made");
  EXPECT_TRUE(RewriteLines(dir + "gone.txt", [](TStringList&, bool) { return TRewrite::Delete; }));
  EXPECT_FALSE(FileExists(dir + "gone.txt"));
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(FileRule, ReplacementKeepsPermissionsAndOddLineEnds) {
  const std::string p = dir + "mode.txt";
  Write(p, "one\r\rthree\n\r\nfive");
  chmod(p.c_str(), 0600);
  TStringList lines;
  ASSERT_TRUE(LoadLinesFromFile(p, lines));
  EXPECT_EQ(lines, (TStringList{"one", "", "three", "", "five"}));
  ASSERT_TRUE(RewriteLines(p, [](TStringList& l, bool) {
    l.erase(l.begin() + 1);
    return TRewrite::Save;
  }));
  EXPECT_EQ(Bytes(p), "one\r\nthree\r\n\r\nfive\r\n");
  struct stat st {};
  ASSERT_EQ(stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  Write(p, "\rsecond");
  EXPECT_EQ(ReadFirstLine(p, "def"), "");
  Write(p, "only");
  EXPECT_EQ(ReadFirstLine(p, "def"), "only");
  Write(p, "");
  EXPECT_EQ(ReadFirstLine(p, "def"), "def");
}

TEST_F(FileRule, PermanentFailuresDoNotWait) {
  const long long t0 = NowMs();
  EXPECT_FALSE(SaveLinesToFile(dir + "no/such/folder.txt", {"x"}));
  EXPECT_FALSE(AppendLineToFile(dir + "no/such/folder.txt", "x"));
  TStringList lines{"stale"};
  EXPECT_FALSE(LoadLinesFromFile(dir + "missing.txt", lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_LT(NowMs() - t0, 400);
}

// A pause ends as soon as the lock is free; a lock held past the deadline fails the write.
TEST_F(FileRule, DeadlineAndEarlyWakeUp) {
  const std::string p = dir + "held.txt";
  ASSERT_TRUE(SaveLinesToFile(p, {"old"}));
  pid_t holder = HoldLock(p, LOCK_EX, 700);
  long long t0 = NowMs();
  EXPECT_FALSE(SaveTextToFile(p, "new", 5, 40));  // 4 pauses of 40 ms
  const long long spent = NowMs() - t0;
  EXPECT_GE(spent, 150);
  EXPECT_LT(spent, 600);
  EXPECT_EQ(Bytes(p), "old\r\n");
  t0 = NowMs();
  TStringList lines;
  EXPECT_TRUE(LoadLinesFromFile(p, lines));  // waits for the holder's exit
  const long long waited = NowMs() - t0;
  EXPECT_EQ(lines, TStringList{"old"});
  EXPECT_LT(waited, 700);  // not rounded up to a whole 500 ms step past the release
  waitpid(holder, nullptr, 0);

  // A shared lock lets readers in and keeps writers out.
  holder = HoldLock(p, LOCK_SH, 300);
  EXPECT_EQ(ReadFirstLine(p, "def", 1, 0), "old");
  EXPECT_FALSE(SaveTextToFile(p, "new", 1, 0));
  waitpid(holder, nullptr, 0);
  EXPECT_TRUE(SaveTextToFile(p, "new", 1, 0));
}

// A writer that waited on a file which was replaced meanwhile writes to the new file.
TEST_F(FileRule, WaitersFollowTheReplacement) {
  const std::string p = dir + "log.txt";
  ASSERT_TRUE(SaveLinesToFile(p, {"old"}));
  const pid_t holder = fork();
  if (holder == 0) {
    const int fd = open(p.c_str(), O_RDONLY);
    flock(fd, LOCK_EX);
    usleep(200000);
    Write(p + ".new", "replaced\r\n");
    rename((p + ".new").c_str(), p.c_str());
    _exit(0);
  }
  usleep(50000);
  EXPECT_TRUE(AppendLineToFile(p, "appended"));
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(Bytes(p), "replaced\r\nappended\r\n");
}

}  // namespace
