// The owner's editor on generated blogs of 100 and 10,000 articles: a new article's save (SS,
// every fsync included), a change of an article, and the article chooser (LC), timed against a
// trivial CGI in the same run. Each save is undone between runs, outside the timing.
//   bench_editor_bench [--quick]
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

// One request of velm.exe in root: the query, a form body on stdin, the owner's cookies.
double RunOnce(const std::string& root, const std::string& query, const std::string& body) {
  return RunCGI({.Exe = root + "velm.exe", .Dir = root, .Query = query, .BodyFile = BodyFile(root, body),
                 .Env = {"HTTP_HOST=127.0.0.1", kOwnerCookie}})
      .Wall;
}

struct TBlog {
  std::string root, account, newestId;
};

// n articles, one a day back from 2026/12/01, in 3 categories, with 5 comments per article.
TBlog MakeBlog(const std::string& exe, int n) {
  TBlog b;
  b.root = MakeInstallation(exe, "editor-" + std::to_string(n));
  b.account = b.root + kAccountFolder;
  std::ofstream(b.account + "category.txt") << "\"cat0000000000001\",\"日記\",\"1\"\r\n\"cat0000000000002\",\"旅行\",\"1\"\r\n"
                                               "\"cat0000000000003\",\"料理\",\"1\"\r\n";
  std::ofstream idx(b.account + "cindex.txt", std::ios::binary);
  std::ofstream comments(b.account + "comment.txt", std::ios::binary);
  const time_t base = 1796050800;  // 2026/12/01 00:00:00 +09:00
  for (int i = n - 1; i >= 0; --i) {
    const std::string stamp = JapanStamp(base - static_cast<time_t>(i) * 86400 + (i % 3600));
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
  BackdateFolder(b.account);  // the files made from the index and the comments are kept
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
  const int runs = QuickRun(argc, argv) ? 15 : 61;
  const std::string dir = BenchFolder(argv[0], {"velm.exe", "trivial_cgi"});
  const std::string velm = dir + "velm.exe", trivial = dir + "trivial_cgi";
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
