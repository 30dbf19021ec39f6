// Record line splitting and file loading under the file access rule.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "store/DCSVList.h"
#include "store/file_access.h"

namespace {

std::vector<std::string> IndexLines(int n) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) {
    char id[41];
    snprintf(id, sizeof id, "%040x", i * 2654435761u);
    lines.push_back("\"aB3dE5gH7jK9mN1p\",\"" + std::string(id) +
                    "\",\"2009/05/17 08:03:09\",\"2009/05/17 08:03:09\",\"今日の出来事 " + std::to_string(i) + "\",\"1\"");
  }
  return lines;
}

void BM_Split100k(benchmark::State& state) {
  const auto lines = IndexLines(100000);
  TCSVList csv;
  for (auto _ : state) {
    size_t fields = 0;
    for (const auto& l : lines) {
      csv.SetLine(l);
      fields += static_cast<size_t>(csv.Count());
    }
    benchmark::DoNotOptimize(fields);
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_Split100k)->Unit(benchmark::kMillisecond);

std::string TenMegabytes() {
  const std::string path = "/tmp/velm-bench-10mb-" + std::to_string(getpid()) + ".txt";
  std::ofstream out(path, std::ios::binary);
  const auto lines = IndexLines(1000);
  size_t written = 0;
  while (written < 10u * 1024 * 1024)
    for (const auto& l : lines) {
      out << l << "\r\n";
      written += l.size() + 2;
    }
  return path;
}

void BM_LoadLines10MB(benchmark::State& state) {
  const std::string path = TenMegabytes();
  for (auto _ : state) {
    TStringList lines;
    LoadLinesFromFile(path, lines);
    benchmark::DoNotOptimize(lines.size());
  }
  DeleteFile(path);
}
BENCHMARK(BM_LoadLines10MB)->Unit(benchmark::kMillisecond);

void BM_LoadText10MB(benchmark::State& state) {
  const std::string path = TenMegabytes();
  for (auto _ : state) {
    std::string text;
    LoadTextFromFile(path, text);
    benchmark::DoNotOptimize(text.size());
  }
  DeleteFile(path);
}
BENCHMARK(BM_LoadText10MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
