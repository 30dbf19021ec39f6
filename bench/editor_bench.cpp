// The owner's editor on generated blogs of 100 and 10,000 articles: a new article's save (SS,
// every fsync included), a change of an article, and the article chooser (LC), timed against a
// trivial CGI in the same run. Each save is undone between runs, outside the timing.
//   bench_editor_bench [--quick]
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "text/DHash.h"

namespace fs = std::filesystem;

namespace {

std::string TwoD(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// One request of velm.exe in root: the query, a form body on stdin, the owner's cookies.
double RunOnce(const std::string& root, const std::string& query, const std::string& body) {
  const std::string bodyFile = root + "body.txt";
  std::ofstream(bodyFile, std::ios::binary) << body;
  std::vector<std::string> env = {"SERVER_PROTOCOL=HTTP/1.1", "REQUEST_METHOD=" + std::string(body.empty() ? "GET" : "POST"),
                                  "QUERY_STRING=" + query, "REMOTE_ADDR=127.0.0.1", "TZ=Asia/Tokyo",
                                  "HTTP_HOST=127.0.0.1", "SCRIPT_NAME=/velm.exe", "HTTP_COOKIE=INNAME=owner; INPASS=secret",
                                  "CONTENT_LENGTH=" + std::to_string(body.size()),
                                  "CONTENT_TYPE=application/x-www-form-urlencoded"};
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string exe = root + "velm.exe";
  char* argv[] = {exe.data(), nullptr};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, bodyFile.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&fa, root.c_str());
  const double ms = Ms([&] {
    pid_t pid;
    if (posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, envp.data()) != 0) {
      perror("posix_spawn");
      exit(1);
    }
    int status;
    waitpid(pid, &status, 0);
  });
  posix_spawn_file_actions_destroy(&fa);
  return ms;
}

// A blog that has not just changed: the files made from the index and the comments are kept.
void Backdate(const std::string& path) {
  struct timespec past[2] {};
  clock_gettime(CLOCK_REALTIME, &past[0]);
  past[0].tv_sec -= 3600;
  past[1] = past[0];
  utimensat(AT_FDCWD, path.c_str(), past, 0);
}

struct TBlog {
  std::string root, account, newestId;
};

// n articles, one a day back from 2026/12/01, in 3 categories, with 5 comments per article.
TBlog MakeBlog(const std::string& exe, int n) {
  TBlog b;
  b.root = "/tmp/velm-editor-bench-" + std::to_string(n) + "-" + std::to_string(getpid()) + "/";
  fs::remove_all(b.root);
  b.account = b.root + "velmsystem/owner/";
  fs::create_directories(b.account);
  fs::create_directories(b.root + "images/demo");
  fs::copy_file(exe, b.root + "velm.exe");
  std::ofstream(b.root + "velm.ini") << "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\n";
  std::ofstream(b.root + "velmsystem/account.ini") << "\"demo\",\"owner\",\"secret\"\r\n";
  std::ofstream(b.account + "category.txt") << "\"cat0000000000001\",\"日記\",\"1\"\r\n\"cat0000000000002\",\"旅行\",\"1\"\r\n"
                                               "\"cat0000000000003\",\"料理\",\"1\"\r\n";
  std::ofstream idx(b.account + "cindex.txt", std::ios::binary);
  std::ofstream comments(b.account + "comment.txt", std::ios::binary);
  const time_t base = 1796050800;  // 2026/12/01 00:00:00 +09:00
  for (int i = n - 1; i >= 0; --i) {
    const time_t t = base - static_cast<time_t>(i) * 86400 + 9 * 3600 + (i % 3600);
    struct tm tm {};
    gmtime_r(&t, &tm);
    const std::string stamp = std::to_string(tm.tm_year + 1900) + "/" + TwoD(tm.tm_mon + 1) + "/" + TwoD(tm.tm_mday) + " " +
                              TwoD(tm.tm_hour) + ":" + TwoD(tm.tm_min) + ":" + TwoD(tm.tm_sec);
    const std::string id = Sha1Hex(stamp);
    idx << "\"cat000000000000" << (i % 3 + 1) << "\",\"" << id << "\",\"" << stamp << "\",\"" << stamp
        << "\",\"記事の題名 " << i << "\",\"1\"\r\n";
    std::ofstream(b.account + id + ".txt", std::ios::binary) << "今日はいい天気でした。<b>散歩</b>に出かけました。\r\n";
    for (int c = 0; c < 5; ++c)
      comments << "\"cat0000000000001\",\"" << id << "\",\"cmt" << i << "x" << c << "\",\"2026/11/30 12:00:00\",\"読者\",\""
               << "面白い記事でした。<br>\",\"" << (c == 0 ? 1 : 0) << "\",\"127.0.0.1\"\r\n";
    b.newestId = id;
  }
  idx.close();
  comments.close();
  for (const auto& e : fs::directory_iterator(b.account)) Backdate(e.path());
  return b;
}

// Puts the account folder back as it was after a save: the index and the files the save made.
void Restore(const TBlog& b, const std::string& index, const std::vector<std::string>& before) {
  std::ofstream(b.account + "cindex.txt", std::ios::binary | std::ios::trunc) << index;
  Backdate(b.account + "cindex.txt");
  for (const auto& e : fs::directory_iterator(b.account))
    if (std::find(before.begin(), before.end(), e.path().filename()) == before.end()) fs::remove(e.path());
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const int runs = quick ? 15 : 61;
  const std::string dir = fs::absolute(fs::path(argv[0])).parent_path().string() + "/";
  const std::string velm = dir + "velm.exe", trivial = dir + "trivial_cgi";
  if (!fs::exists(velm) || !fs::exists(trivial)) {
    fprintf(stderr, "needs velm.exe and trivial_cgi beside this program\n");
    return 1;
  }
  // Both blogs at once, their runs taken in turns with the trivial CGI's, so that a busy
  // machine weighs on every column alike.
  struct TSetup {
    TBlog blog;
    std::string index;
    std::vector<std::string> before;
  };
  std::vector<TSetup> setups;
  for (int n : {100, 10000}) {
    TSetup s{MakeBlog(velm, n), "", {}};
    std::ifstream f(s.blog.account + "cindex.txt", std::ios::binary);
    s.index.assign(std::istreambuf_iterator<char>(f), {});
    RunOnce(s.blog.root, "demo", "");  // the derived index files of a page, as a used blog has them
    for (const auto& e : fs::directory_iterator(s.blog.account)) s.before.push_back(e.path().filename());
    setups.push_back(std::move(s));
  }
  const std::string text = "subject=%8BL%8E%96&category=cat0000000000001&cvisible=1&ucontent=" + std::string(2000, 'a');
  struct TRequest {
    const char* name;
    std::string query, body;
    bool changes, edit;
  };
  const TRequest requests[] = {
      {"SS new", "demo+ss", text, true, false},
      {"SS change", "demo+ss", text, true, true},
      {"LC chooser", "demo+lc", "", false, false},
      {"LC month", "demo+lc", "syear=2026&smonth=11&scategory=", false, false},
  };
  printf("%-14s %12s %12s %10s %12s %12s\n", "request", "100 ms", "10000 ms", "trivial", "10000/100", "10000/triv");
  for (const TRequest& r : requests) {
    std::vector<double> t[2], triv;
    for (int i = 0; i <= runs; ++i) {
      for (size_t k = 0; k < setups.size(); ++k) {
        const TSetup& s = setups[k];
        const std::string body = r.edit ? "elogid=" + s.blog.newestId + "&" + r.body : r.body;
        const double ms = RunOnce(s.blog.root, r.query, body);
        if (i > 0) t[k].push_back(ms);  // the first run warms the caches
        if (r.changes) Restore(s.blog, s.index, s.before);
      }
      const double tr = TrivialCGI(trivial, 1);
      if (i > 0) triv.push_back(tr);
    }
    const double a = Median(t[0]), b = Median(t[1]), c = Median(triv);
    printf("%-14s %12.2f %12.2f %10.2f %12.2f %12.2f\n", r.name, a, b, c, b / a, b / c);
    fflush(stdout);
  }
  if (!getenv("VELM_BENCH_KEEP"))
    for (const TSetup& s : setups) fs::remove_all(s.blog.root);
  return 0;
}
