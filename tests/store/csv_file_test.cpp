#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Split(const std::string& line) {
  TCSVList c;
  c.SetLine(line);
  std::vector<std::string> out;
  for (int i = 0; i < c.Count(); ++i) out.push_back(c.Item(i));
  return out;
}

using V = std::vector<std::string>;

TEST(CSV, SplittingRules) {
  EXPECT_EQ(Split("\"a\",\"b\",\"\""), (V{"a", "b", ""}));
  EXPECT_EQ(Split("a, b ,c"), (V{"a", "b", "c"}));
  EXPECT_EQ(Split("a b"), (V{"a", "b"}));
  EXPECT_EQ(Split("\"x\"\"y\""), (V{"x\"y"}));
  EXPECT_EQ(Split("\"a\",,\"b\""), (V{"a", "b"}));
  EXPECT_EQ(Split("\"abc"), V{});
  EXPECT_EQ(Split("ab\"cd\""), (V{"cd"}));
  EXPECT_EQ(Split("\"a\"b"), (V{"a", "b"}));
  EXPECT_EQ(Split("日本,x"), (V{"日本", "x"}));
  EXPECT_EQ(Split("\"表示\",\"ソフト\""), (V{"表示", "ソフト"}));  // trail bytes 0x5C and 0x5C-like
  EXPECT_EQ(Split("\"a b\tc,d\""), (V{"a b\tc,d"}));
  EXPECT_EQ(Split(""), V{});
  EXPECT_EQ(Split("   ,,\t "), V{});
  EXPECT_EQ(Split("x\x82"), (V{"x\x82"}));  // a lead byte as the last byte
  TCSVList c;
  c.SetLine("1,2,3,4,5,6");
  EXPECT_EQ(c.Item(7), "");
  EXPECT_EQ(c.Item(-1), "");
  c.SetLine("");
  EXPECT_EQ(c.Count(), 0);
  EXPECT_EQ(MakeRecordLine({"A", "", "C"}), "\"A\",\"\",\"C\"");
  EXPECT_EQ(Split(MakeRecordLine({"日本語", "", "x y"})), (V{"日本語", "", "x y"}));
}

TEST(CSV, OddShapesNeverReadOutOfBounds) {
  std::mt19937 rng(7);
  const char alphabet[] = {'"', ',', ' ', '\t', 'a', '\x82', '\xA0', '\xE0', '\x5C', '\xFC'};
  TCSVList c;
  for (int round = 0; round < 20000; ++round) {
    std::string line;
    const int len = static_cast<int>(rng() % 40);
    for (int i = 0; i < len; ++i) line += alphabet[rng() % sizeof alphabet];
    c.SetLine(line);
    for (int i = 0; i < c.Count(); ++i) ASSERT_NE(line.find(c.Item(i).substr(0, 1)), std::string::npos);
  }
  std::string huge(1 << 20, 'x');
  huge[500000] = ',';
  c.SetLine(huge);
  EXPECT_EQ(c.Count(), 2);
  c.SetLine(std::string(300, ','));
  EXPECT_EQ(c.Count(), 0);
  std::string many;
  for (int i = 0; i < 500; ++i) many += "\"f\",";
  c.SetLine(many);
  EXPECT_EQ(c.Count(), 500);
}

class FileAccessTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velm-files-XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Bytes(const std::string& name) {
    std::ifstream in(dir + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string dir;
};

TEST_F(FileAccessTest, LoadSaveAppend) {
  TStringList lines;
  EXPECT_FALSE(LoadLinesFromFile(dir + "none.txt", lines));
  EXPECT_TRUE(AppendLineToFile(dir + "a.txt", "first"));
  EXPECT_EQ(Bytes("a.txt"), "first\r\n");
  EXPECT_TRUE(AppendLineToFile(dir + "a.txt", "二行目"));
  ASSERT_TRUE(LoadLinesFromFile(dir + "a.txt", lines));
  EXPECT_EQ(lines, (TStringList{"first", "二行目"}));
  EXPECT_TRUE(SaveLinesToFile(dir + "b.txt", {}));
  EXPECT_TRUE(FileExists(dir + "b.txt"));
  EXPECT_EQ(FileSize(dir + "b.txt"), 0);
  std::ofstream(dir + "mixed.txt", std::ios::binary) << "a\nb\rc\r\n";
  ASSERT_TRUE(LoadLinesFromFile(dir + "mixed.txt", lines));
  EXPECT_EQ(lines, (TStringList{"a", "b", "c"}));
  EXPECT_TRUE(SaveLinesToFile(dir + "mixed.txt", lines));
  EXPECT_EQ(Bytes("mixed.txt"), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(ReadFirstLine(dir + "mixed.txt", "d"), "a");
  EXPECT_EQ(ReadFirstLine(dir + "nothing", "d"), "d");
  std::string text;
  EXPECT_TRUE(LoadTextFromFile(dir + "mixed.txt", text));
  EXPECT_EQ(text, "a\r\nb\r\nc\r\n");
  std::string bin(200000, '\0');
  for (size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<char>(i * 7);
  EXPECT_TRUE(SaveStreamToFile(dir + "bin", bin));
  EXPECT_TRUE(LoadStreamFromFile(dir + "bin", text));
  EXPECT_EQ(text, bin);
  EXPECT_TRUE(ForceDirectories(dir + "x/y/z"));
  EXPECT_TRUE(DirectoryExists(dir + "x/y/z"));
  EXPECT_EQ(IncludeTrailingSlash("/a"), "/a/");
  EXPECT_EQ(IncludeTrailingSlash("/a/"), "/a/");
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST_F(FileAccessTest, RewriteKeepSaveDelete) {
  const std::string p = dir + "r.txt";
  EXPECT_TRUE(RewriteLines(p, [](TStringList& l, bool existed) {
    EXPECT_FALSE(existed);
    EXPECT_TRUE(l.empty());
    return TRewrite::Keep;
  }));
  EXPECT_FALSE(FileExists(p));  // a Keep on a missing file leaves no file behind
  EXPECT_TRUE(RewriteLines(p, [](TStringList& l, bool) {
    l.push_back("x");
    return TRewrite::Save;
  }));
  EXPECT_EQ(Bytes("r.txt"), "x\r\n");
  EXPECT_TRUE(RewriteLines(p, [](TStringList& l, bool existed) {
    EXPECT_TRUE(existed);
    EXPECT_EQ(l, TStringList{"x"});
    return TRewrite::Delete;
  }));
  EXPECT_FALSE(FileExists(p));
}

TEST_F(FileAccessTest, HeldLockMakesOthersWaitOrFail) {
  const std::string p = dir + "held.txt";
  ASSERT_TRUE(SaveLinesToFile(p, {"old"}));
  int fd = open(p.c_str(), O_RDONLY);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  // A short deadline gives up and changes nothing.
  EXPECT_FALSE(SaveTextToFile(p, "new\r\n", 3, 20));
  EXPECT_EQ(Bytes("held.txt"), "old\r\n");
  EXPECT_EQ(ReadFirstLine(p, "locked", 2, 10), "locked");
  // A lock released while a reader waits is taken.
  pid_t child = fork();
  if (child == 0) {
    usleep(300000);
    flock(fd, LOCK_UN);
    _exit(0);
  }
  close(fd);  // the child still holds the lock through its copy of the descriptor
  TStringList lines;
  EXPECT_TRUE(LoadLinesFromFile(p, lines));
  EXPECT_EQ(lines, TStringList{"old"});
  waitpid(child, nullptr, 0);
}

// Writers in several processes rewrite and append at once: nothing is lost, nothing torn.
TEST_F(FileAccessTest, ConcurrentWritersLoseNothing) {
  const std::string p = dir + "shared.txt";
  const int procs = 6, rounds = 40;
  std::vector<pid_t> kids;
  for (int k = 0; k < procs; ++k) {
    pid_t pid = fork();
    if (pid == 0) {
      for (int r = 0; r < rounds; ++r) {
        const std::string tag = std::to_string(k) + "-" + std::to_string(r);
        bool ok = (r % 2 == 0) ? RewriteLines(p, [&](TStringList& l, bool) {
          l.push_back("\"rw\",\"" + tag + "\"");
          return TRewrite::Save;
        })
                               : AppendLineToFile(p, "\"ap\",\"" + tag + "\"");
        if (!ok) _exit(1);
      }
      _exit(0);
    }
    kids.push_back(pid);
  }
  // A reader meanwhile always sees whole lines.
  pid_t reader = fork();
  if (reader == 0) {
    TCSVList c;
    for (int i = 0; i < 200; ++i) {
      TStringList l;
      LoadLinesFromFile(p, l);
      for (const auto& line : l) {
        c.SetLine(line);
        if (c.Count() != 2) _exit(2);
      }
    }
    _exit(0);
  }
  for (pid_t k : kids) {
    int st = 0;
    waitpid(k, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  }
  int st = 0;
  waitpid(reader, &st, 0);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  TStringList lines;
  ASSERT_TRUE(LoadLinesFromFile(p, lines));
  EXPECT_EQ(lines.size(), static_cast<size_t>(procs * rounds));
  std::set<std::string> unique(lines.begin(), lines.end());
  EXPECT_EQ(unique.size(), lines.size());
}

}  // namespace
