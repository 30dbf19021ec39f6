// The access log through whole requests: download, fold, one line per address and day.
#include <gtest/gtest.h>

#include "cgi_harness.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

const std::string kLog = "velmsystem/owner/access.log", kFolded = "velmsystem/owner/raccess.txt";

TCGIRun Get(const std::string& query, const std::string& cookie = "", const std::string& addr = "127.0.0.1") {
  TCGIRun r;
  r.query = query;
  r.cookie = cookie;
  r.remoteAddr = addr;
  r.userAgent = "Test \"Agent\"";
  return r;
}

TEST(AccessLog, DownloadAndFold) {
  TTestInstall inst;
  const std::string bytes = "\"2009/05/17 08:03:09\",\"1.2.3.4\",\"UA\",\"\"\r\n\r\nnot csv \x82\xA0\ny";
  inst.Write(kLog, bytes);
  const TCGIResult res = inst.Run(Get("demo+ll", inst.LoginCookie()));
  const std::string name = "velm_access" + FormatCompactDay(Now()) + ".log";
  EXPECT_EQ(res.header("Content-Type"), "application/x-octet-stream");
  EXPECT_EQ(res.header("Content-Disposition"), "attachment; filename=" + name);
  EXPECT_EQ(res.header("filename"), name);
  EXPECT_EQ(res.body, bytes);

  EXPECT_EQ(inst.Run(Get("demo+lm", inst.LoginCookie())).body, "");
  EXPECT_FALSE(inst.Exists(kLog));
  EXPECT_EQ(inst.Read(kFolded), "4");
  inst.Write(kLog, "a\r\nb\r\n");
  inst.Run(Get("demo+lm", inst.LoginCookie()));
  EXPECT_EQ(inst.Read(kFolded), "2");  // replaced, not added
}

TEST(AccessLog, TypeOneLogsAnAddressOnceADay) {
  TTestInstall inst;
  inst.Write("velmsystem/owner/style.txt", "ACCESSLOGTYPE=1\r\n");
  // The same address yesterday does not count for today.
  inst.Write(kLog, "\"" + FormatStamp(AddDays(Now(), -1)) + "\",\"10.0.0.7\",\"UA\",\"\"\r\n");
  inst.Run(Get("demo", "", "10.0.0.7"));
  ASSERT_EQ(SplitLines(inst.Read(kLog)).size(), 2u);  // the top page logged this view
  inst.Run(Get("demo", "", "10.0.0.7"));
  inst.Run(Get("demo", "", "10.0.0.8"));
  const TStringList lines = SplitLines(inst.Read(kLog));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].substr(20), "\",\"10.0.0.7\",\"Test Agent\",\"\"");
  EXPECT_EQ(lines[2].substr(20, 12), "\",\"10.0.0.8\"");
}

}  // namespace
