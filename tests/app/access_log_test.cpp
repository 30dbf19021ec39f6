// The access log: one line per address and day, the counts through their side file.
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

using TCounts = std::vector<long long>;

class AccessLogTest : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("REMOTE_ADDR", "10.0.0.1", 1);
    setenv("HTTP_USER_AGENT", "Agent \"quoted\" 1.0", 1);
    setenv("HTTP_REFERER", "http://ref/?q=\"x\"", 1);
  }
  std::string Log() const {
    std::string s;
    LoadTextFromFile(log, s);
    return s;
  }
  void Append(const std::string& bytes) const { std::ofstream(log, std::ios::app) << bytes; }
  static std::string Line(int daysAgo, const std::string& addr) {
    return "\"" + FormatStamp(AddDays(Now(), -daysAgo)) + "\",\"" + addr + "\",\"UA\",\"\"";
  }
  // total, today, yesterday counted plainly from the whole file.
  TCounts Reference() const {
    TStringList lines;
    LoadLinesFromFile(log, lines);
    TCounts c = {0, 0, 0};
    if (!lines.empty()) StrToIntStrict(ReadFirstLine(folder + "raccess.txt", "0"), c[0]);
    c[0] += static_cast<long long>(lines.size());
    TCSVList csv;
    for (const auto& l : lines) {
      csv.SetLine(l);
      const std::string f = csv.Item(0) + "          ";
      const std::string day = f.substr(0, 4) + "/" + f.substr(5, 2) + "/" + f.substr(8, 2);
      for (int ago : {0, 1}) c[1 + ago] += csv.Count() >= 2 && day == FormatDay(AddDays(Now(), -ago));
    }
    return c;
  }
  static TCounts Counted(TWebModule1& m) {
    TCounts c(3);
    m.AccessCounts(c[0], c[1], c[2]);
    return c;
  }
  TModuleFixture f;
  std::string folder = f.Module.AccountFolder(), log = folder + "access.log";
};

TEST_F(AccessLogTest, TypeOneWalksBackOverTodayOnly) {
  fs::remove_all(folder);  // made when missing
  f.Module.Css.ACCESSLOGTYPE = 1;
  f.Module.LogAccess();
  // A quote in the referrer is escaped: the line still splits into its four fields.
  EXPECT_EQ(Log().substr(20), "\",\"10.0.0.1\",\"Agent quoted 1.0\",\"http://ref/?q=&quot;x&quot;\"\r\n");
  std::string today;  // found behind other addresses and short lines, across read blocks
  for (int i = 0; i < 3000; ++i) today += Line(0, "10.1.0." + std::to_string(i % 200)) + (i % 7 ? "\r\n" : "\r\nx\n");
  Append(today);
  f.Module.LogAccess();
  const size_t lines = 1 + 3000 + 3000 / 7 + 1;
  EXPECT_EQ(SplitLines(Log()).size(), lines);
  // A line of an earlier day ends the walk, even with lines of today before it.
  Append(Line(1, "10.9.9.9") + "\r\n" + Line(0, "10.2.2.2") + "\r\n");
  f.Module.LogAccess();
  f.Module.LogAccess();
  EXPECT_EQ(SplitLines(Log()).size(), lines + 3);
}

TEST_F(AccessLogTest, CountsFollowTheLogThroughItsSideFile) {
  std::ofstream(folder + "raccess.txt") << "40";
  Append("");
  EXPECT_EQ(Counted(f.Module), Reference());  // an empty log shows 0, the folded count too
  std::mt19937 rnd(7);
  const std::string ends[] = {"\r\n", "\n", "\r", ""};
  auto some = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
      const int age = static_cast<int>(rnd() % 4);  // today, yesterday, older, not a date
      s += (age == 3 ? "\"junk\"" : Line(age * (1 + static_cast<int>(rnd() % 3)), "10.0.0.3")) +
           (rnd() % 10 ? "" : "\r\n") + ends[rnd() % 3];
    }
    return s;
  };
  for (int step = 0; step < 120 && !HasFailure(); ++step) {
    const unsigned op = rnd() % 20;
    std::string all = Log();
    if (op < 10) Append(some(1 + static_cast<int>(rnd() % 3)));
    else if (op < 13) Append(some(400 + static_cast<int>(rnd() % 800)));  // past the side file's step
    else if (op == 13) Append(Line(0, "10.0.0.5") + ends[rnd() % 4]);     // maybe no break yet
    else if (op == 14) Append("\n");                                      // may complete a CR
    else if (op == 15) {
      // Rewritten in place with other bytes of the same length: the side file must not be trusted.
      for (size_t i = 0; i + 1 < all.size(); ++i)
        if (all[i] == '"' && all[i + 1] == '2') all[i + 1] = '1';
      std::ofstream(log, std::ios::trunc) << all;
    } else if (op == 16) fs::remove(log);
    else if (op == 17) std::ofstream(folder + "access.cnt") << "garbage";
    else std::ofstream(log, std::ios::trunc) << all.substr(0, all.size() / 2);
    EXPECT_EQ(Counted(f.Module), Reference()) << "step " << step << " op " << op;
  }
  // While the log only grows the side file is trusted: a count planted in it shows through.
  std::string cnt;
  LoadTextFromFile(folder + "access.cnt", cnt);
  TStringList parts = SplitLines(cnt);
  parts[1] = parts[1].substr(0, parts[1].rfind(' ') + 1) + "5000";
  std::ofstream(folder + "access.cnt", std::ios::trunc) << JoinLines(parts, "\n") + "\n";
  Append(Line(0, "10.0.0.2") + "\r\n");
  EXPECT_GT(Counted(f.Module)[0], 5000);
  // The fold takes the side file with the log.
  f.Module.DoFoldLog(*std::find_if(CommandTable().begin(), CommandTable().end(),
                                   [](const TCommandEntry& e) { return std::string(e.Word) == "LM"; }));
  EXPECT_FALSE(fs::exists(log) || fs::exists(folder + "access.cnt"));
  f.Module.LogAccess();
  EXPECT_EQ(Counted(f.Module), Reference());
}

// The fold holds the log's lock from its count to its delete: no view logged meanwhile is lost.
TEST_F(AccessLogTest, NoViewIsLostToAConcurrentFold) {
  constexpr int kLoggers = 4, kViews = 60;
  const TCommandEntry& lm = *std::find_if(CommandTable().begin(), CommandTable().end(),
                                          [](const TCommandEntry& e) { return std::string(e.Word) == "LM"; });
  std::vector<pid_t> pids;
  for (int p = 0; p < kLoggers; ++p) {
    if (const pid_t pid = fork()) {
      pids.push_back(pid);
      continue;
    }
    TModuleFixture child(f.Root);
    for (int i = 0; i < kViews; ++i) child.Module.LogAccess();
    _exit(0);
  }
  long long folded = 0, n = 0;
  for (int i = 0; i < 12; ++i) {
    usleep(3000);
    fs::remove(folder + "raccess.txt");
    f.Module.DoFoldLog(lm);
    if (StrToIntStrict(ReadFirstLine(folder + "raccess.txt", "0"), n)) folded += n;
  }
  for (pid_t pid : pids) waitpid(pid, nullptr, 0);
  EXPECT_EQ(folded + static_cast<long long>(SplitLines(Log()).size()), kLoggers * kViews);
}

}  // namespace
