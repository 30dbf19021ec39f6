// The access log through whole requests: download, fold, one line per address and day, and
// views logged while the log is folded.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cgi_harness.h"
#include "store/file_access.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

const std::string kLog = "velmsystem/owner/access.log";

TCGIRun Get(const std::string& query, const std::string& cookie = "", const std::string& addr = "127.0.0.1") {
  TCGIRun r;
  r.query = query;
  r.cookie = cookie;
  r.remoteAddr = addr;
  r.userAgent = "Test \"Agent\"";
  return r;
}

size_t LineCount(const TTestInstall& inst) { return SplitLines(inst.Read(kLog)).size(); }

// The public top page logs its view once its page builder is there.
bool TopPageLogs(const TTestInstall& inst) {
  const size_t before = LineCount(inst);
  inst.Run(Get("demo", "", "192.0.2.1"));
  return LineCount(inst) > before;
}

TEST(AccessLog, DownloadCarriesTheLogAndItsName) {
  TTestInstall inst;
  const std::string bytes = "\"2009/05/17 08:03:09\",\"1.2.3.4\",\"UA\",\"http://x/\"\r\nnot csv \x82\xA0\r\n";
  inst.Write(kLog, bytes);
  const TCGIResult res = inst.Run(Get("demo+ll", inst.LoginCookie()));
  const std::string name = "velm_access" + FormatCompactDay(Now()) + ".log";
  EXPECT_EQ(res.header("Content-Type"), "application/x-octet-stream");
  EXPECT_EQ(res.header("Content-Disposition"), "attachment; filename=" + name);
  EXPECT_EQ(res.header("filename"), name);
  EXPECT_EQ(res.header("Content-Length"), std::to_string(bytes.size()));
  EXPECT_EQ(res.body, bytes);
}

TEST(AccessLog, FoldCountsRemovesAndReplaces) {
  TTestInstall inst;
  inst.Write(kLog, "\"2009/05/17 08:03:09\",\"1.2.3.4\",\"UA\",\"\"\r\n\r\nx\ny");
  TCGIResult res = inst.Run(Get("demo+lm", inst.LoginCookie()));
  EXPECT_EQ(res.body, "");
  EXPECT_FALSE(inst.Exists(kLog));
  EXPECT_EQ(inst.Read("velmsystem/owner/raccess.txt"), "4");
  inst.Write(kLog, "a\r\nb\r\n");
  inst.Run(Get("demo+lm", inst.LoginCookie()));
  EXPECT_EQ(inst.Read("velmsystem/owner/raccess.txt"), "2");
  inst.Run(Get("demo+lm", inst.LoginCookie()));  // nothing logged since
  EXPECT_EQ(inst.Read("velmsystem/owner/raccess.txt"), "0");
}

TEST(AccessLog, TypeOneLogsAnAddressOnceADay) {
  TTestInstall inst;
  inst.Write("velmsystem/owner/style.txt", "ACCESSLOGTYPE=1\r\n");
  // The same address yesterday does not count for today.
  inst.Write(kLog, "\"" + FormatStamp(AddDays(Now(), -1)) + "\",\"10.0.0.7\",\"UA\",\"\"\r\n");
  if (!TopPageLogs(inst)) GTEST_SKIP() << "the top page does not log views yet";
  const size_t start = LineCount(inst);
  inst.Run(Get("demo", "", "10.0.0.7"));
  inst.Run(Get("demo", "", "10.0.0.7"));
  inst.Run(Get("demo+sv+@", "", "10.0.0.7"));
  EXPECT_EQ(LineCount(inst), start + 1);
  inst.Run(Get("demo", "", "10.0.0.8"));
  EXPECT_EQ(LineCount(inst), start + 2);
  const TStringList lines = SplitLines(inst.Read(kLog));
  EXPECT_EQ(lines[start].substr(20), "\",\"10.0.0.7\",\"Test Agent\",\"\"");
}

// Several processes view the blog while others fold the log: every view is either still in
// access.log or was counted by a fold.
TEST(AccessLog, ConcurrentViewsAndFoldsLoseNothing) {
  TTestInstall inst;
  if (!TopPageLogs(inst)) GTEST_SKIP() << "the top page does not log views yet";
  inst.Remove(kLog);
  constexpr int kViewers = 3, kViews = 15, kFolds = 8;
  std::vector<pid_t> pids;
  for (int p = 0; p < kViewers; ++p) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (int i = 0; i < kViews; ++i) inst.Run(Get("demo", "", "10.1.0." + std::to_string(p)));
      _exit(0);
    }
    pids.push_back(pid);
  }
  long long folded = 0;
  for (int i = 0; i < kFolds; ++i) {
    inst.Remove("velmsystem/owner/raccess.txt");
    inst.Run(Get("demo+lm", inst.LoginCookie()));
    long long n = 0;
    if (StrToIntStrict(inst.Read("velmsystem/owner/raccess.txt"), n)) folded += n;
  }
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(folded + static_cast<long long>(LineCount(inst)), kViewers * kViews);
}

}  // namespace
