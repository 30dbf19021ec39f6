// The runner of one fuzz target (a file of fuzz/ that defines LLVMFuzzerTestOneInput).
//
//   fuzz_<target>                    one input from standard input (what afl-fuzz feeds)
//   fuzz_<target> FILE               one input from FILE (afl-fuzz with @@, or a reproducer)
//   fuzz_<target> -t SECONDS PATH... every file under the PATHs once, then random mutations of
//                                    them until SECONDS have passed (the corpus replay of the tests)
//
// An input that a sanitizer stops on is written to ./crash-<target>-<n> before the process ends.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) && __has_include(<sanitizer/common_interface_defs.h>)
#include <sanitizer/common_interface_defs.h>
#define VELM_DEATH_CALLBACK 1
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using TBytes = std::vector<uint8_t>;
const TBytes* gCurrent = nullptr;
const char* gName = "target";

bool ReadFile(const std::string& path, TBytes& out) {
  FILE* f = path.empty() ? stdin : fopen(path.c_str(), "rb");
  if (!f) return false;
  out.clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  if (f != stdin) fclose(f);
  return true;
}

void Collect(const std::string& path, std::vector<std::string>& files) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return;
  if (!S_ISDIR(st.st_mode)) {
    files.push_back(path);
    return;
  }
  DIR* d = opendir(path.c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (const dirent* e = readdir(d))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const auto& n : names) Collect(path + "/" + n, files);
}

[[maybe_unused]] void SaveCurrent() {
  if (!gCurrent) return;
  for (int n = 0; n < 1000; ++n) {
    const std::string path = std::string("crash-") + gName + "-" + std::to_string(n);
    if (access(path.c_str(), F_OK) == 0) continue;
    if (FILE* f = fopen(path.c_str(), "wb")) {
      fwrite(gCurrent->data(), 1, gCurrent->size(), f);
      fclose(f);
      fprintf(stderr, "input written to %s\n", path.c_str());
    }
    return;
  }
}

void Run(const TBytes& input) {
  gCurrent = &input;
  LLVMFuzzerTestOneInput(input.data(), input.size());
  gCurrent = nullptr;
}

// One random change of the kinds a byte fuzzer makes: flips, interesting bytes, inserted,
// deleted or repeated stretches, and pieces of another input.
void Mutate(TBytes& b, const std::vector<TBytes>& pool, std::mt19937_64& rng) {
  auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
  static const uint8_t kBytes[] = {0, 1, 0x7f, 0x80, 0xff, '"', ',', '<', '>', '=', '&', '%', '+', '\r', '\n',
                                   0x1b, 0x81, 0x82, 0x8e, 0xa1, 0xe0, 0xef, 0xfc, ';', ' ', '/', '.'};
  const int rounds = 1 + static_cast<int>(rng() % 4);
  for (int r = 0; r < rounds; ++r) {
    switch (rng() % 6) {
      case 0:
        if (!b.empty()) b[pick(b.size())] ^= static_cast<uint8_t>(1u << (rng() % 8));
        break;
      case 1:
        if (!b.empty()) b[pick(b.size())] = kBytes[pick(sizeof kBytes)];
        break;
      case 2:
        b.insert(b.begin() + static_cast<long>(pick(b.size() + 1)), kBytes[pick(sizeof kBytes)]);
        break;
      case 3:
        if (!b.empty()) {
          const size_t at = pick(b.size()), n = 1 + pick(std::min<size_t>(b.size() - at, 16));
          b.erase(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
        }
        break;
      case 4:
        if (!b.empty() && b.size() < 65536) {
          const size_t at = pick(b.size()), n = 1 + pick(std::min<size_t>(b.size() - at, 64));
          const TBytes piece(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
          for (size_t k = 1 + pick(8); k > 0; --k) b.insert(b.begin() + static_cast<long>(at), piece.begin(), piece.end());
        }
        break;
      default:
        if (!pool.empty()) {
          const TBytes& o = pool[pick(pool.size())];
          if (o.empty()) break;
          const size_t at = pick(o.size()), n = 1 + pick(std::min<size_t>(o.size() - at, 256));
          b.insert(b.begin() + static_cast<long>(pick(b.size() + 1)), o.begin() + static_cast<long>(at),
                   o.begin() + static_cast<long>(at + n));
        }
        break;
    }
  }
  if (b.size() > (1u << 20)) b.resize(1u << 20);
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* slash = strrchr(argv[0], '/')) gName = slash + 1;
  else gName = argv[0];
  if (strncmp(gName, "fuzz_", 5) == 0) gName += 5;
#ifdef VELM_DEATH_CALLBACK
  __sanitizer_set_death_callback(SaveCurrent);
#endif
  // A target's own check fails with abort(): its input is kept as well.
  signal(SIGABRT, [](int) {
    SaveCurrent();
    signal(SIGABRT, SIG_DFL);
  });
  if (argc <= 1 || (argc == 2 && strcmp(argv[1], "-t") != 0)) {
    TBytes input;
    if (!ReadFile(argc == 2 ? argv[1] : "", input)) {
      fprintf(stderr, "cannot read %s\n", argv[1]);
      return 2;
    }
    Run(input);
    return 0;
  }
  double seconds = 0;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "-t") == 0 && i + 1 < argc) seconds = atof(argv[++i]);
    else Collect(argv[i], files);
  }
  std::vector<TBytes> pool;
  for (const auto& f : files) {
    TBytes b;
    if (ReadFile(f, b)) pool.push_back(std::move(b));
  }
  if (pool.empty()) pool.emplace_back();
  for (const TBytes& b : pool) Run(b);
  auto now = [] {
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
  };
  const double until = now() + seconds;
  std::mt19937_64 rng(12345);
  unsigned long long mutated = 0;
  TBytes b;
  while (now() < until) {
    b = pool[rng() % pool.size()];
    Mutate(b, pool, rng);
    Run(b);
    ++mutated;
  }
  printf("%s: %zu corpus inputs, %llu mutated inputs, no failure\n", gName, pool.size(), mutated);
  return 0;
}
