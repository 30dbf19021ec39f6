// The access log's per-view work at 1,000,000 lines, timed against a trivial CGI process.
//   bench_access_bench [--quick]
// Counting (after the first count) at 1,000,000 lines vs 10 lines; type-1 logging at 1,000,000
// lines (earlier days, plus today's lines that the walk must pass).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "text/dates.h"

namespace fs = std::filesystem;

namespace {

// `lines` views of earlier days (spread over the 30 days before today), then `today` of today.
void MakeLog(const std::string& path, long lines, int today) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream log(path, std::ios::binary | std::ios::trunc);
  const TDateTime now = Now();
  std::string buf;
  for (long i = 0; i < lines; ++i) {
    TDateTime d = AddDays(now, -30 + static_cast<int>(i * 30 / std::max(1L, lines)));
    d.Hour = static_cast<int>(i % 24);
    buf += "\"" + FormatStamp(d) + "\",\"10.0." + std::to_string(i % 200) + "." + std::to_string(i % 250) +
           "\",\"Mozilla/5.0 (Windows NT 10.0; Win64; x64)\",\"http://example.jp/\"\r\n";
    if (buf.size() > (1 << 20)) {
      log << buf;
      buf.clear();
    }
  }
  for (int i = 0; i < today; ++i)
    buf += "\"" + FormatStamp(now) + "\",\"192.168.0." + std::to_string(i % 250) + "\",\"Mozilla/5.0\",\"\"\r\n";
  log << buf;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = QuickRun(argc, argv) ? 30 : 200;
  const std::string dir = BenchFolder(argv[0], {"trivial_cgi"});
  const std::string big = MakeTempFolder("velm-access-bench"), small = MakeTempFolder("velm-access-bench");
  constexpr int kToday = 500;
  MakeLog(big + "data/owner/access.log", 1000000 - kToday, kToday);
  MakeLog(small + "data/owner/access.log", 10, 0);
  setenv("REMOTE_ADDR", "172.16.0.1", 1);
  setenv("HTTP_USER_AGENT", "bench", 1);

  const double trivial = TrivialCGI(dir + "trivial_cgi", runs);
  printf("trivial CGI process: %.3f ms\n", trivial);

  // Each view logs a line and then counts, as a page with the counter does.
  auto countCost = [&](const std::string& root, double& first) {
    TModuleFixture f(root);
    long long total, today, yesterday;
    first = Ms([&] { f.Module.AccessCounts(total, today, yesterday); });
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
      f.Module.LogAccess();
      t.push_back(Ms([&] { f.Module.AccessCounts(total, today, yesterday); }));
    }
    printf("  %s: total %lld, today %lld, yesterday %lld\n", root.c_str(), total, today, yesterday);
    return Median(t);
  };
  double firstBig, firstSmall;
  const double countBig = countCost(big, firstBig), countSmall = countCost(small, firstSmall);
  printf("first count, 1,000,000 lines: %.1f ms (once, writes the side file)\n", firstBig);
  printf("count, 1,000,000 lines: %.3f ms  (%.3f of a trivial CGI)\n", countBig, countBig / trivial);
  printf("count, 10 lines:        %.3f ms  (%.3f of a trivial CGI)\n", countSmall, countSmall / trivial);
  printf("count 1,000,000 vs 10 lines: %.2f\n", countBig / countSmall);

  // Type 1: a new address each time, so the walk passes all of today's lines and appends.
  std::vector<double> t1, t0;
  {
    TModuleFixture f(big);
    f.Module.Css.ACCESSLOGTYPE = 1;
    for (int i = 0; i < runs; ++i) {
      setenv("REMOTE_ADDR", ("172.17." + std::to_string(i / 250) + "." + std::to_string(i % 250)).c_str(), 1);
      TModuleFixture g(big);
      g.Module.Css.ACCESSLOGTYPE = 1;
      t1.push_back(Ms([&] { g.Module.LogAccess(); }));
    }
    f.Module.Css.ACCESSLOGTYPE = 0;
    for (int i = 0; i < runs; ++i) t0.push_back(Ms([&] { f.Module.LogAccess(); }));
  }
  const double log1 = Median(t1), log0 = Median(t0);
  printf("type-1 log, 1,000,000 lines (%d+ of today): %.3f ms  (%.3f of a trivial CGI)\n", kToday, log1, log1 / trivial);
  printf("type-0 log, 1,000,000 lines:                %.3f ms  (%.3f of a trivial CGI)\n", log0, log0 / trivial);
  fs::remove_all(big);
  fs::remove_all(small);
  return 0;
}
