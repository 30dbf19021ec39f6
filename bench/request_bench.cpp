// Whole requests of velm.exe on generated blogs, timed against a trivial CGI in the same run.
//   bench_request_bench [--quick]
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "text/DHash.h"

namespace fs = std::filesystem;

namespace {

// The median wall time and the largest resident size of runs GETs of exe in cwd.
TCGICost MedianGet(const std::string& exe, const std::string& query, const std::string& cwd, int runs) {
  return Medians(
      Repeat(runs, [&](int) { return RunCGI({.Exe = exe, .Dir = cwd, .Query = query, .Env = {"HTTP_USER_AGENT=bench"}}); }));
}

// A blog of n articles in 3 categories, one article a day backwards from 2026/12/01,
// `comments` comments and `logLines` access log lines.
struct TBlog { std::string root, newestId, olderKey; };

TBlog MakeBlog(const std::string& exe, int n, int comments, long logLines) {
  TBlog b;
  b.root = MakeInstallation(exe, std::to_string(n));
  const std::string acc = b.root + kAccountFolder;
  std::ofstream(acc + "title.txt") << "ベンチマークのブログ\r\n速さを測ります\r\n";
  std::ofstream(acc + "style.txt") << "USECOMMENT=1\r\nUSETRACKBACK=1\r\nACCESSLOGTYPE=0\r\n";
  std::ofstream(acc + "category.txt") << "\"cat0000000000001\",\"日記\",\"1\"\r\n\"cat0000000000002\",\"旅行\",\"1\"\r\n"
                                         "\"cat0000000000003\",\"料理\",\"1\"\r\n";
  std::vector<std::string> ids;
  {
    std::ofstream idx(acc + "cindex.txt", std::ios::binary);
    time_t base = 1796050800;  // 2026/12/01 00:00:00 +09:00
    std::vector<std::string> lines;
    for (int i = n - 1; i >= 0; --i) {
      const std::string stamp = JapanStamp(base - static_cast<time_t>(i) * 86400 + (i % 3600));
      std::string id = Sha1Hex(stamp + std::to_string(i));
      ids.push_back(id);
      idx << "\"cat000000000000" << (i % 3 + 1) << "\",\"" << id << "\",\"" << stamp << "\",\"" << stamp
          << "\",\"記事の題名 " << i << "\",\"1\"\r\n";
      std::ofstream body(acc + id + ".txt", std::ios::binary);
      for (int l = 0; l < 12; ++l) body << "今日はいい天気でした。散歩に出かけて、公園で本を読みました。<b>太字</b>の行 " << l << "\r\n";
      if (i == 6) b.olderKey = stamp.substr(0, 4) + stamp.substr(5, 2) + stamp.substr(8, 2) + stamp.substr(11, 2) +
                               stamp.substr(14, 2) + stamp.substr(17, 2);
    }
  }
  b.newestId = ids.back();
  {
    std::ofstream c(acc + "comment.txt", std::ios::binary);
    for (int i = 0; i < comments; ++i)
      c << "\"cat0000000000001\",\"" << ids[static_cast<size_t>(i) % ids.size()] << "\",\"cmt" << 1000000 + i
        << "abcdefghi\",\"2026/11/30 12:00:00\",\"読者" << i << "\",\"面白い記事でした。<br>また来ます。<br>\",\"0\",\"127.0.0.1\"\r\n";
  }
  {
    std::ofstream log(acc + "access.log", std::ios::binary);
    for (long i = 0; i < logLines; ++i)
      log << "\"" << FormatStamp(TDateTime{2026, 11, static_cast<int>(1 + i * 29 / std::max(1L, logLines)), 10, 0, 0})
          << "\",\"10.0.0."
          << i % 250 << "\",\"Mozilla/5.0 (X11; Linux x86_64)\",\"http://example.jp/\"\r\n";
  }
  BackdateFolder(acc);  // a blog that has not just changed: files made from the index, comments and log are kept
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = QuickRun(argc, argv) ? 15 : 60;
  const std::string dir = BenchFolder(argv[0], {"velm.exe", "trivial_cgi"});
  const std::string velm = dir + "velm.exe", trivial = dir + "trivial_cgi";
  struct TScale { int articles, comments; long log; };
  const std::vector<TScale> scales = {{100, 500, 1000}, {1000, 5000, 10000}, {10000, 50000, 1000000}};
  printf("%-10s %-16s %10s %10s %8s %10s\n", "articles", "page", "ms", "trivial", "ratio", "maxrss KiB");
  std::vector<double> top;
  for (const auto& sc : scales) {
    TBlog b = MakeBlog(velm, sc.articles, sc.comments, sc.log);
    const std::string exe = b.root + "velm.exe";
    struct { const char* name; std::string query; } pages[] = {
        {"top", "demo"}, {"single", "demo+sl+" + b.newestId}, {"older", "demo+sv+@+" + b.olderKey},
        {"rss2", "demo+rss20"}};
    for (const auto& p : pages) {
      const TCGICost triv = MedianGet(trivial, "", b.root, runs);
      const TCGICost s = MedianGet(exe, p.query, b.root, runs);
      printf("%-10d %-16s %10.2f %10.2f %8.2f %10ld\n", sc.articles, p.name, s.Wall, triv.Wall, s.Wall / triv.Wall, s.MaxRssKiB);
      if (std::string(p.name) == "top") top.push_back(s.Wall);
      fflush(stdout);
    }
    fs::remove_all(b.root);
  }
  if (top.size() == 3) printf("top page 10000 vs 100 articles: %.2f\n", top[2] / top[0]);
  return 0;
}
