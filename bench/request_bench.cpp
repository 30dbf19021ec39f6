// Whole requests of velm.exe on generated blogs, timed against a trivial CGI in the same run.
//   bench_request_bench [--quick]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <time.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "text/DHash.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

struct TSample { double ms; long maxrssKiB; };

TSample RunOnce(const std::string& exe, const std::string& query, const std::string& cwd) {
  std::vector<std::string> env = {"SERVER_PROTOCOL=HTTP/1.1", "REQUEST_METHOD=GET", "QUERY_STRING=" + query,
                                  "REMOTE_ADDR=127.0.0.1", "HTTP_USER_AGENT=bench", "TZ=Asia/Tokyo",
                                  "SCRIPT_NAME=/velm.exe"};
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string path = exe;
  char* argv[] = {path.data(), nullptr};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
  struct timespec t0 {}, t1 {};
  clock_gettime(CLOCK_MONOTONIC, &t0);
  pid_t pid;
  if (posix_spawn(&pid, path.c_str(), &fa, nullptr, argv, envp.data()) != 0) {
    perror("posix_spawn");
    exit(1);
  }
  int status;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  clock_gettime(CLOCK_MONOTONIC, &t1);
  posix_spawn_file_actions_destroy(&fa);
  return {(t1.tv_sec - t0.tv_sec) * 1e3 + (t1.tv_nsec - t0.tv_nsec) / 1e6, ru.ru_maxrss};
}

TSample Median(const std::string& exe, const std::string& query, const std::string& cwd, int runs) {
  std::vector<double> t;
  long rss = 0;
  RunOnce(exe, query, cwd);  // warm the page cache
  for (int i = 0; i < runs; ++i) {
    TSample s = RunOnce(exe, query, cwd);
    t.push_back(s.ms);
    rss = std::max(rss, s.maxrssKiB);
  }
  std::sort(t.begin(), t.end());
  return {t[t.size() / 2], rss};
}

std::string TwoD(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// A blog of n articles in 3 categories, one article a day backwards from 2026/12/01,
// `comments` comments and `logLines` access log lines.
struct TBlog { std::string root, newestId, olderKey; };

TBlog MakeBlog(const std::string& exe, int n, int comments, long logLines) {
  TBlog b;
  b.root = "/tmp/velm-bench-" + std::to_string(n) + "-" + std::to_string(getpid()) + "/";
  fs::remove_all(b.root);
  const std::string acc = b.root + "velmsystem/owner/";
  fs::create_directories(acc);
  fs::create_directories(b.root + "images/demo");
  fs::copy_file(exe, b.root + "velm.exe");
  std::ofstream(b.root + "velm.ini") << "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\n";
  std::ofstream(b.root + "velmsystem/account.ini") << "\"demo\",\"owner\",\"secret\"\r\n";
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
      time_t t = base - static_cast<time_t>(i) * 86400 + 9 * 3600 + (i % 3600);
      struct tm tm {};
      gmtime_r(&t, &tm);
      std::string stamp = std::to_string(tm.tm_year + 1900) + "/" + TwoD(tm.tm_mon + 1) + "/" + TwoD(tm.tm_mday) + " " +
                          TwoD(tm.tm_hour) + ":" + TwoD(tm.tm_min) + ":" + TwoD(tm.tm_sec);
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
      log << "\"2026/11/" << TwoD(static_cast<int>(1 + i * 29 / std::max(1L, logLines))) << " 10:00:00\",\"10.0.0."
          << i % 250 << "\",\"Mozilla/5.0 (X11; Linux x86_64)\",\"http://example.jp/\"\r\n";
  }
  // A blog that has not just changed: files made from the index, comments and log are kept.
  struct timespec past[2] {};
  clock_gettime(CLOCK_REALTIME, &past[0]);
  past[0].tv_sec -= 3600;
  past[1] = past[0];
  for (const auto& f : fs::directory_iterator(acc)) utimensat(AT_FDCWD, f.path().c_str(), past, 0);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const int runs = quick ? 15 : 60;
  const std::string dir = fs::absolute(fs::path(argv[0])).parent_path().string() + "/";
  const std::string velm = dir + "velm.exe", trivial = dir + "trivial_cgi";
  if (!fs::exists(velm) || !fs::exists(trivial)) {
    fprintf(stderr, "needs velm.exe and trivial_cgi beside this program\n");
    return 1;
  }
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
      TSample triv = Median(trivial, "", b.root, runs);
      TSample s = Median(exe, p.query, b.root, runs);
      printf("%-10d %-16s %10.2f %10.2f %8.2f %10ld\n", sc.articles, p.name, s.ms, triv.ms, s.ms / triv.ms, s.maxrssKiB);
      if (std::string(p.name) == "top") top.push_back(s.ms);
      fflush(stdout);
    }
    fs::remove_all(b.root);
  }
  if (top.size() == 3) printf("top page 10000 vs 100 articles: %.2f\n", top[2] / top[0]);
  return 0;
}
