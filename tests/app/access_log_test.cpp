// The access log: logging a view, the counts through their side file, the fold.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "module_fixture.h"
#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"
#include "text/dates.h"

namespace fs = std::filesystem;

namespace {

class AccessLogTest : public ::testing::Test {
protected:
  void SetUp() override {
    root = MakeTempFolder("velm-access");
    folder = root + "data/owner/";
    fs::create_directories(folder);
    setenv("REMOTE_ADDR", "10.0.0.1", 1);
    setenv("HTTP_USER_AGENT", "Agent \"quoted\" 1.0", 1);
    setenv("HTTP_REFERER", "http://ref.example/?q=\"x\"", 1);
  }
  void TearDown() override { fs::remove_all(root); }

  std::string Log() const {
    std::ifstream f(folder + "access.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  void Append(const std::string& bytes) const { std::ofstream(folder + "access.log", std::ios::binary | std::ios::app) << bytes; }
  static std::string Line(const TDateTime& d, const std::string& addr) {
    return "\"" + FormatStamp(d) + "\",\"" + addr + "\",\"UA\",\"\"";
  }

  // The counts read plainly from the whole file.
  struct TCount { long long total = 0, today = 0, yesterday = 0; };
  TCount Reference() const {
    TCount c;
    TStringList lines;
    LoadLinesFromFile(folder + "access.log", lines);
    if (lines.empty()) return c;
    long long folded = 0;
    StrToIntStrict(ReadFirstLine(folder + "raccess.txt", "0"), folded);
    c.total = static_cast<long long>(lines.size()) + folded;
    const std::string t = FormatDay(Now()), y = FormatDay(AddDays(Now(), -1));
    TCSVList csv;
    for (const auto& l : lines) {
      csv.SetLine(l);
      if (csv.Count() < 2) continue;
      const std::string f = csv.Item(0);
      const std::string key = f.substr(0, 4) + "/" + (f.size() > 5 ? f.substr(5, 2) : "") + "/" + (f.size() > 8 ? f.substr(8, 2) : "");
      c.today += key == t;
      c.yesterday += key == y;
    }
    return c;
  }
  TCount Counted(TWebModule1& m) const {
    TCount c;
    m.AccessCounts(c.total, c.today, c.yesterday);
    return c;
  }

  std::string root, folder;
};

#define EXPECT_COUNTS(m, what)                                 \
  do {                                                         \
    const TCount want = Reference(), got = Counted(m);         \
    EXPECT_EQ(got.total, want.total) << what;                  \
    EXPECT_EQ(got.today, want.today) << what;                  \
    EXPECT_EQ(got.yesterday, want.yesterday) << what;          \
  } while (0)

TEST_F(AccessLogTest, ViewLinesAndTheFolderTheyNeed) {
  fs::remove_all(folder);
  TModuleFixture f(root);
  f.Module.LogAccess();
  f.Module.LogAccess();
  const TStringList lines = SplitLines(Log());
  ASSERT_EQ(lines.size(), 2u);
  const std::string& l = lines[0];
  ASSERT_GT(l.size(), 20u);
  EXPECT_EQ(l[0], '"');
  EXPECT_TRUE(IsValidStamp(l.substr(1, 19)));
  EXPECT_EQ(l.substr(20), "\",\"10.0.0.1\",\"Agent quoted 1.0\",\"http://ref.example/?q=\"x\"\"");
  EXPECT_EQ(Log().substr(Log().size() - 2), "\r\n");
}

TEST_F(AccessLogTest, OneLinePerAddressAndDay) {
  const TDateTime now = Now(), yesterday = AddDays(now, -1);
  Append(Line(yesterday, "10.0.0.1") + "\r\n");
  TModuleFixture f(root);
  f.Module.Css.ACCESSLOGTYPE = 1;
  f.Module.LogAccess();  // only yesterday's line has this address
  f.Module.LogAccess();
  EXPECT_EQ(SplitLines(Log()).size(), 2u);

  // The walk passes lines with fewer than two fields and many lines of today, across blocks.
  std::string today;
  for (int i = 0; i < 3000; ++i) today += Line(now, "10.1.0." + std::to_string(i % 200)) + "\r\n" + (i % 7 ? "" : "\r\nx\n");
  Append(today);
  const size_t before = SplitLines(Log()).size();
  f.Module.LogAccess();
  EXPECT_EQ(SplitLines(Log()).size(), before);

  // A line of an earlier day ends the walk, even with lines of today before it.
  Append(Line(yesterday, "10.9.9.9") + "\r\n" + Line(now, "10.2.2.2") + "\r\n");
  f.Module.LogAccess();
  EXPECT_EQ(SplitLines(Log()).size(), before + 3);
  setenv("REMOTE_ADDR", "10.2.2.2", 1);
  TModuleFixture g(root);
  g.Module.Css.ACCESSLOGTYPE = 1;
  g.Module.LogAccess();
  EXPECT_EQ(SplitLines(Log()).size(), before + 3);

  // Any other type logs every view.
  g.Module.Css.ACCESSLOGTYPE = 2;
  g.Module.LogAccess();
  EXPECT_EQ(SplitLines(Log()).size(), before + 4);
}

TEST_F(AccessLogTest, CountsFollowTheLogThroughItsSideFile) {
  TModuleFixture f(root);
  TWebModule1& m = f.Module;
  EXPECT_COUNTS(m, "no log");
  std::ofstream(folder + "raccess.txt") << "40";
  Append("");
  EXPECT_COUNTS(m, "empty log: the folded count is not shown either");

  std::mt19937 rnd(7);
  const TDateTime now = Now();
  const std::string ends[] = {"\r\n", "\n", "\r", ""};
  auto some = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
      const int age = static_cast<int>(rnd() % 4);  // today, yesterday, older, not a date
      const std::string addr = "10.0.0." + std::to_string(rnd() % 9);
      s += age == 3 ? "\"junk\"" : Line(AddDays(now, -age * (1 + static_cast<int>(rnd() % 3))), addr);
      if (rnd() % 10 == 0) s += "\r\n";  // an empty line
      s += ends[rnd() % 3];
    }
    return s;
  };
  for (int step = 0; step < 120; ++step) {
    const unsigned op = rnd() % 20;
    if (op < 10) {
      Append(some(1 + static_cast<int>(rnd() % 3)));
    } else if (op < 13) {
      Append(some(400 + static_cast<int>(rnd() % 800)));  // past the side file's step
    } else if (op == 13) {
      Append(Line(now, "10.0.0.5") + ends[rnd() % 4]);   // maybe no break yet
    } else if (op == 14) {
      Append("\n");                                      // may complete a CR
    } else if (op == 15) {
      // Rewritten in place with other bytes of the same length: the side file must not be trusted.
      std::string all = Log();
      for (size_t i = 0; i + 1 < all.size(); ++i)
        if (all[i] == '"' && all[i + 1] == '2') all[i + 1] = '1';  // other years
      std::ofstream(folder + "access.log", std::ios::binary | std::ios::trunc) << all;
    } else if (op == 16) {
      fs::remove(folder + "access.log");                 // folded by hand
    } else if (op == 17) {
      std::ofstream(folder + "access.cnt") << "garbage";
    } else {
      std::string all = Log();                            // shorter than before
      std::ofstream(folder + "access.log", std::ios::binary | std::ios::trunc) << all.substr(0, all.size() / 2);
    }
    EXPECT_COUNTS(m, "step " << step << " op " << op);
    if (HasFailure()) break;
  }
}

// While the log only grows, the side file is trusted and only the new lines are read: a count
// planted in it shows through.
TEST_F(AccessLogTest, SideFileIsReadInsteadOfTheWholeLog) {
  TModuleFixture f(root);
  std::string lines;
  for (int i = 0; i < 2000; ++i) lines += Line(Now(), "10.0.0.1") + "\r\n";
  Append(lines);
  long long total, today, yesterday;
  f.Module.AccessCounts(total, today, yesterday);
  EXPECT_EQ(total, 2000);
  std::string cnt;
  ASSERT_TRUE(LoadTextFromFile(folder + "access.cnt", cnt));
  TStringList parts = SplitLines(cnt);
  ASSERT_GE(parts.size(), 2u);
  const size_t sp = parts[1].rfind(' ');
  parts[1] = parts[1].substr(0, sp + 1) + "5000";
  std::ofstream(folder + "access.cnt", std::ios::binary | std::ios::trunc) << JoinLines(parts, "\n") + "\n";
  Append(Line(Now(), "10.0.0.2") + "\r\n");
  f.Module.AccessCounts(total, today, yesterday);
  EXPECT_EQ(total, 5001);
  EXPECT_EQ(today, 2001);
}

TEST_F(AccessLogTest, FoldMovesTheCountAndEmptiesTheLog) {
  TModuleFixture f(root);
  TWebModule1& m = f.Module;
  const TCommandEntry& lm = *std::find_if(CommandTable().begin(), CommandTable().end(),
                                          [](const TCommandEntry& e) { return std::string(e.Word) == "LM"; });
  for (int i = 0; i < 5; ++i) m.LogAccess();
  Append("\r\n");
  long long total, today, yesterday;
  m.AccessCounts(total, today, yesterday);
  EXPECT_TRUE(fs::exists(folder + "access.cnt"));
  m.DoFoldLog(lm);
  EXPECT_FALSE(fs::exists(folder + "access.log"));
  EXPECT_FALSE(fs::exists(folder + "access.cnt"));
  EXPECT_EQ(ReadFirstLine(folder + "raccess.txt", ""), "6");
  m.AccessCounts(total, today, yesterday);
  EXPECT_EQ(total, 0);
  m.LogAccess();
  m.LogAccess();
  m.AccessCounts(total, today, yesterday);
  EXPECT_EQ(total, 8);
  EXPECT_EQ(today, 2);
  m.DoFoldLog(lm);
  EXPECT_EQ(ReadFirstLine(folder + "raccess.txt", ""), "2");

  TStringList page;
  m.LogAccess();
  m.CounterLines(page);
  EXPECT_EQ(page, (TStringList{"今日は 1回<br>", "昨日は 0回<br>", "トータル 3回<br>"}));
}

// Views logged by several processes while another folds: each is in the log or in a fold.
TEST_F(AccessLogTest, NoViewIsLostToAConcurrentFold) {
  constexpr int kLoggers = 4, kViews = 60, kFolds = 12;
  std::vector<pid_t> pids;
  for (int p = 0; p < kLoggers; ++p) {
    const pid_t pid = fork();
    if (pid == 0) {
      TModuleFixture f(root);
      for (int i = 0; i < kViews; ++i) {
        f.Module.LogAccess();
        if (i % 10 == 0) {
          long long t, d, y;
          f.Module.AccessCounts(t, d, y);
        }
      }
      _exit(0);
    }
    pids.push_back(pid);
  }
  long long folded = 0;
  {
    TModuleFixture f(root);
    const TCommandEntry& lm = *std::find_if(CommandTable().begin(), CommandTable().end(),
                                            [](const TCommandEntry& e) { return std::string(e.Word) == "LM"; });
    for (int i = 0; i < kFolds; ++i) {
      usleep(3000);
      fs::remove(folder + "raccess.txt");
      f.Module.DoFoldLog(lm);
      long long n = 0;
      if (StrToIntStrict(ReadFirstLine(folder + "raccess.txt", "0"), n)) folded += n;
    }
  }
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  TStringList rest;
  LoadLinesFromFile(folder + "access.log", rest);
  EXPECT_EQ(folded + static_cast<long long>(rest.size()), kLoggers * kViews);
}

}  // namespace
