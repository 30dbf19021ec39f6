// The newest comments of an account (every public page reads them) at 50 and 50,000 comments,
// and the lookups by article. Ends with the ratio of the newest-comments read, 50,000 vs 50.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "store/comments.h"

namespace fs = std::filesystem;

namespace {

std::string ArticleId(int i) {
  char id[41];
  snprintf(id, sizeof id, "%040x", static_cast<unsigned>(i) * 2654435761u);
  return id;
}

// An account folder with n comments spread over 1,000 articles, written as the poster writes them.
const std::string& Folder(int n) {
  static std::string folders[2];
  std::string& f = folders[n > 50 ? 1 : 0];
  if (!f.empty()) return f;
  f = "/tmp/velm-bench-comments-" + std::to_string(n) + "-" + std::to_string(getpid()) + "/";
  fs::create_directories(f);
  std::ofstream out(f + "comment.txt", std::ios::binary);
  for (int i = 0; i < n; ++i)
    out << "\"cat0000000000001\",\"" << ArticleId(i % 1000) << "\",\"cmt" << 1000000 + i
        << "abcdefghi\",\"2026/11/30 12:00:00\",\"読者" << i
        << "\",\"面白い記事でした。<br>また来ます。<br>\",\"" << (i % 50 == 0 ? 1 : 0) << "\",\"127.0.0.1\"\r\n";
  return f;
}

void Touch(const std::string& folder) {  // a new mtime: the file is read afresh
  struct timespec ts[2];
  clock_gettime(CLOCK_REALTIME, &ts[0]);
  ts[1] = ts[0];
  utimensat(AT_FDCWD, (folder + "comment.txt").c_str(), ts, 0);
}

void BM_Newest10(benchmark::State& state) {
  const std::string& folder = Folder(static_cast<int>(state.range(0)));
  TCommentList list;
  for (auto _ : state) {
    LoadCommentList(folder, "", false, list, 10);
    benchmark::DoNotOptimize(list.data());
  }
}
BENCHMARK(BM_Newest10)->Arg(50)->Arg(50000)->Unit(benchmark::kMicrosecond);

// The first lookup of a process: the whole file is read and indexed.
void BM_ArticleFirstLookup(benchmark::State& state) {
  const std::string& folder = Folder(static_cast<int>(state.range(0)));
  TCommentList list;
  for (auto _ : state) {
    state.PauseTiming();
    Touch(folder);
    state.ResumeTiming();
    LoadCommentList(folder, ArticleId(7), false, list, 0);
    benchmark::DoNotOptimize(list.data());
  }
}
BENCHMARK(BM_ArticleFirstLookup)->Arg(50)->Arg(50000)->Unit(benchmark::kMicrosecond);

// Further lookups in the same process (an article list counts the comments of each article).
void BM_ArticleNextLookups(benchmark::State& state) {
  const std::string& folder = Folder(static_cast<int>(state.range(0)));
  int hidden = 0, total = 0, i = 0;
  for (auto _ : state) {
    CountComments(folder, ArticleId(i++ % 1000), hidden, total);
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_ArticleNextLookups)->Arg(50)->Arg(50000)->Unit(benchmark::kMicrosecond);

double MedianNewestUs(int n) {
  const std::string& folder = Folder(n);
  Touch(folder);  // not from memory: read from the end of the file
  TCommentList list;
  std::vector<double> t;
  for (int r = 0; r < 2001; ++r) t.push_back(1e3 * Ms([&] { LoadCommentList(folder, "", false, list, 10); }));
  return Median(t);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double small = MedianNewestUs(50), large = MedianNewestUs(50000);
  printf("newest 10 comments: %.1f us at 50, %.1f us at 50,000 comments; ratio %.2f\n", small, large, large / small);
  fs::remove_all(Folder(50));
  fs::remove_all(Folder(50000));
  return 0;
}
