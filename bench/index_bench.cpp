// The article index every public page reads, at 100 and 10,000 articles, timed against a
// trivial CGI process: the list with per-category counts, a month archive and one lookup.
//   bench_index_bench [--quick]
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_support.h"
#include "store/DCSVList.h"
#include "store/articles.h"
#include "text/DHash.h"
#include "text/dates.h"

namespace fs = std::filesystem;

namespace {

// n articles over 20 categories, one a day back from 2026/11/30, every 50th hidden.
std::string MakeBlog(int n) {
  char tmpl[] = "/tmp/velm-index-bench-XXXXXX";
  const std::string dir = std::string(mkdtemp(tmpl)) + "/";
  std::ofstream out(dir + "cindex.txt", std::ios::binary);
  TDateTime d{2026, 11, 30, 12, 0, 0};
  std::string buf;
  for (int i = n - 1; i >= 0; --i) {
    const std::string stamp = FormatStamp(AddDays(d, -i));
    buf += MakeRecordLine({"cat" + std::to_string(100000000000 + i % 20), Sha1Hex(stamp), stamp, stamp,
                           "記事の題名 その" + std::to_string(i), i % 50 == 0 ? "0" : "1"}) + "\r\n";
  }
  out << buf;
  return dir;
}

TCategoryList Categories() {
  TCategoryList c;
  for (int i = 0; i < 20; ++i) c.push_back({"cat" + std::to_string(100000000000 + i), "分類", 0, i != 3});
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = QuickRun(argc, argv) ? 30 : 200;
  const double trivial = TrivialCGI(BenchFolder(argv[0], {"trivial_cgi"}) + "trivial_cgi", runs);
  printf("trivial CGI process: %.3f ms\n", trivial);
  for (int n : {100, 10000}) {
    const std::string dir = MakeBlog(n);
    TContentList list;
    TCategoryList cats = Categories();
    const double all = MedianMs(runs, [&] {
      for (auto& c : cats) c.count = 0;
      LoadContentList(dir, "", false, true, false, list, cats, "");
    });
    const double month = MedianMs(runs, [&] { LoadContentList(dir, "", false, false, false, list, cats, "202611"); });
    TContentIndex c;
    const std::string oldest = Sha1Hex(FormatStamp(AddDays(TDateTime{2026, 11, 30, 12, 0, 0}, -(n - 1))));
    const double find = MedianMs(runs, [&] { FindContent(dir, oldest, c); });
    printf("%6d articles: list with counts %.3f ms (%.3f of a trivial CGI), month %.3f ms (%.3f), "
           "find oldest %.3f ms (%.3f)\n",
           n, all, all / trivial, month, month / trivial, find, find / trivial);
    fs::remove_all(dir);
  }
  return 0;
}
