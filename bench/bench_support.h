// Timing helpers shared by the benchmarks: wall time, medians and the trivial CGI floor.
#pragma once
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

inline double Ms(const std::function<void()>& f) {
  // <chrono> does not compile with a CP932 execution character set.
  timespec a, b;
  clock_gettime(CLOCK_MONOTONIC, &a);
  f();
  clock_gettime(CLOCK_MONOTONIC, &b);
  return (b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

inline double TrivialCGI(const std::string& exe, int runs) {
  std::vector<double> t;
  for (int i = 0; i <= runs; ++i) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    std::string path = exe;
    char* argv[] = {path.data(), nullptr};
    const double ms = Ms([&] {
      pid_t pid;
      if (posix_spawn(&pid, path.c_str(), &fa, nullptr, argv, environ) != 0) {
        perror("posix_spawn");
        exit(1);
      }
      int status;
      waitpid(pid, &status, 0);
    });
    posix_spawn_file_actions_destroy(&fa);
    if (i > 0) t.push_back(ms);  // the first run warms the page cache
  }
  return Median(t);
}
