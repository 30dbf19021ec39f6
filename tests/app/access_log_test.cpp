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
    fs::create_directories(folder);
    setenv("REMOTE_ADDR", "10.0.0.1", 1);
    setenv("HTTP_USER_AGENT", "Agent \"quoted\" 1.0", 1);
    setenv("HTTP_REFERER", "http://ref/?q=\"x\"", 1);
  }
  void TearDown() override { fs::remove_all(root); }
  std::string Log() const {
    std::string s;
    LoadTextFromFile(folder + "access.log", s);
    return s;
  }
  void Append(const std::string& bytes) const { std::ofstream(folder + "access.log", std::ios::app) << bytes; }
  static std::string Line(const TDateTime& d, const std::string& addr) {
    return "\"" + FormatStamp(d) + "\",\"" + addr + "\",\"UA\",\"\"";
  }
  // total, today, yesterday counted plainly from the whole file, and by the module.
  std::vector<long long> Reference() const {
    TStringList lines;
    LoadLinesFromFile(folder + "access.log", lines);
    if (lines.empty()) return {0, 0, 0};
    long long folded = 0, today = 0, yesterday = 0;
    StrToIntStrict(ReadFirstLine(folder + "raccess.txt", "0"), folded);
    TCSVList csv;
    for (const auto& l : lines) {
      csv.SetLine(l);
      const std::string f = csv.Item(0) + "          ";
      const std::string key = f.substr(0, 4) + "/" + f.substr(5, 2) + "/" + f.substr(8, 2);
      today += csv.Count() >= 2 && key == FormatDay(Now());
      yesterday += csv.Count() >= 2 && key == FormatDay(AddDays(Now(), -1));
    }
    return {static_cast<long long>(lines.size()) + folded, today, yesterday};
  }
  std::vector<long long> Counted(TWebModule1& m) const {
    std::vector<long long> c(3);
    m.AccessCounts(c[0], c[1], c[2]);
    return c;
  }
  static const TCommandEntry& LM() {
    return *std::find_if(CommandTable().begin(), CommandTable().end(),
                         [](const TCommandEntry& e) { return std::string(e.Word) == "LM"; });
  }
  std::string root = MakeTempFolder("velm-access"), folder = root + "data/owner/";
};

TEST_F(AccessLogTest, OneLinePerAddressAndDayWithTypeOne) {
  fs::remove_all(folder);  // created when missing
  TModuleFixture f(root);
  f.Module.LogAccess();
  EXPECT_EQ(Log().substr(20), "\",\"10.0.0.1\",\"Agent quoted 1.0\",\"http://ref/?q=\"x\"\"\r\n");
  std::ofstream(folder + "access.log", std::ios::trunc) << Line(AddDays(Now(), -1), "10.0.0.1") << "\r\n";
  f.Module.Css.ACCESSLOGTYPE = 1;
  f.Module.LogAccess();  // yesterday's line does not count
  std::string today;     // the walk passes other addresses and short lines, across read blocks
  for (int i = 0; i < 3000; ++i) today += Line(Now(), "10.1.0." + std::to_string(i % 200)) + (i % 7 ? "\r\n" : "\r\nx\n");
  Append(today);
  f.Module.LogAccess();
  EXPECT_EQ(SplitLines(Log()).size(), 2u + 3000 + 3000 / 7 + 1);
  // A line of an earlier day ends the walk, even with lines of today before it.
  Append(Line(AddDays(Now(), -1), "10.9.9.9") + "\r\n" + Line(Now(), "10.2.2.2") + "\r\n");
  f.Module.LogAccess();
  f.Module.LogAccess();
  EXPECT_EQ(SplitLines(Log()).size(), 2u + 3000 + 3000 / 7 + 1 + 3);
}

TEST_F(AccessLogTest, CountsFollowTheLogThroughItsSideFile) {
  TModuleFixture f(root);
  std::ofstream(folder + "raccess.txt") << "40";
  Append("");
  EXPECT_EQ(Counted(f.Module), Reference());  // an empty log shows 0, the folded count too
  std::mt19937 rnd(7);
  const std::string ends[] = {"\r\n", "\n", "\r", ""};
  auto some = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
      const int age = static_cast<int>(rnd() % 4);  // today, yesterday, older, not a date
      s += age == 3 ? "\"junk\"" : Line(AddDays(Now(), -age * (1 + static_cast<int>(rnd() % 3))), "10.0.0.3");
      s += (rnd() % 10 ? "" : "\r\n") + ends[rnd() % 3];
    }
    return s;
  };
  for (int step = 0; step < 120 && !HasFailure(); ++step) {
    const unsigned op = rnd() % 20;
    std::string all = Log();
    if (op < 10) Append(some(1 + static_cast<int>(rnd() % 3)));
    else if (op < 13) Append(some(400 + static_cast<int>(rnd() % 800)));  // past the side file's step
    else if (op == 13) Append(Line(Now(), "10.0.0.5") + ends[rnd() % 4]);  // maybe no break yet
    else if (op == 14) Append("\n");  // may complete a CR
    else if (op == 15) {
      // Rewritten in place with other bytes of the same length: the side file must not be trusted.
      for (size_t i = 0; i + 1 < all.size(); ++i)
        if (all[i] == '"' && all[i + 1] == '2') all[i + 1] = '1';
      std::ofstream(folder + "access.log", std::ios::trunc) << all;
    } else if (op == 16) fs::remove(folder + "access.log");
    else if (op == 17) std::ofstream(folder + "access.cnt") << "garbage";
    else std::ofstream(folder + "access.log", std::ios::trunc) << all.substr(0, all.size() / 2);
    EXPECT_EQ(Counted(f.Module), Reference()) << "step " << step << " op " << op;
  }
  // While the log only grows the side file is trusted: a count planted in it shows through.
  std::string cnt;
  LoadTextFromFile(folder + "access.cnt", cnt);
  TStringList parts = SplitLines(cnt);
  parts[1] = parts[1].substr(0, parts[1].rfind(' ') + 1) + "5000";
  std::ofstream(folder + "access.cnt", std::ios::trunc) << JoinLines(parts, "\n") + "\n";
  Append(Line(Now(), "10.0.0.2") + "\r\n");
  EXPECT_GT(Counted(f.Module)[0], 5000);
}

TEST_F(AccessLogTest, FoldMovesTheCountAndEmptiesTheLog) {
  TModuleFixture f(root);
  for (int i = 0; i < 5; ++i) f.Module.LogAccess();
  Append("\r\n");
  Counted(f.Module);
  f.Module.DoFoldLog(LM());
  EXPECT_FALSE(fs::exists(folder + "access.log") || fs::exists(folder + "access.cnt"));
  EXPECT_EQ(ReadFirstLine(folder + "raccess.txt", ""), "6");
  EXPECT_EQ(Counted(f.Module), (std::vector<long long>{0, 0, 0}));
  f.Module.LogAccess();
  EXPECT_EQ(Counted(f.Module), (std::vector<long long>{7, 1, 0}));
  TStringList page;
  f.Module.CounterLines(page);
  EXPECT_EQ(page, (TStringList{"今日は 1回<br>", "昨日は 0回<br>", "トータル 7回<br>"}));
}

// Views logged by several processes while another folds: each is in the log or in a fold.
TEST_F(AccessLogTest, NoViewIsLostToAConcurrentFold) {
  constexpr int kLoggers = 4, kViews = 60;
  std::vector<pid_t> pids;
  for (int p = 0; p < kLoggers; ++p) {
    if (const pid_t pid = fork()) {
      pids.push_back(pid);
      continue;
    }
    TModuleFixture f(root);
    for (int i = 0; i < kViews; ++i) {
      f.Module.LogAccess();
      if (i % 10 == 0) Counted(f.Module);
    }
    _exit(0);
  }
  long long folded = 0, n = 0;
  TModuleFixture f(root);
  for (int i = 0; i < 12; ++i) {
    usleep(3000);
    fs::remove(folder + "raccess.txt");
    f.Module.DoFoldLog(LM());
    if (StrToIntStrict(ReadFirstLine(folder + "raccess.txt", "0"), n)) folded += n;
  }
  for (pid_t pid : pids) waitpid(pid, nullptr, 0);
  EXPECT_EQ(folded + static_cast<long long>(SplitLines(Log()).size()), kLoggers * kViews);
}

}  // namespace
