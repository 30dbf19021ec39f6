// A fresh folder per test with byte-exact file helpers (names relative to it), and lock helpers.
#pragma once
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "store/DCSVList.h"
#include "store/file_access.h"

using V = std::vector<std::string>;

// The lines, each ended by CR LF as the store writes them.
inline std::string Crlf(const V& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\r\n";
  return s;
}
// The ids of a list of records, in order.
template <class L>
V IdsOf(const L& list) {
  V v;
  for (const auto& e : list) v.push_back(e.id);
  return v;
}

inline long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// A child process that holds flock(op) on path for ms milliseconds, then runs `then`; returns
// once the lock is held.
template <class F>
pid_t HoldLock(const std::string& path, int op, int ms, F then) {
  int ready[2];
  EXPECT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    flock(open(path.c_str(), O_RDONLY), op);
    (void)!write(ready[1], "x", 1);
    usleep(ms * 1000);
    then();
    _exit(0);
  }
  char c;
  EXPECT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  close(ready[1]);
  return pid;
}

class StoreFolder : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velm-store-XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  void Write(const std::string& name, const std::string& bytes) { std::ofstream(dir + name, std::ios::binary) << bytes; }
  std::string Read(const std::string& name) {
    std::ifstream in(dir + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) { return std::filesystem::exists(dir + name); }
  // Derived files are made only from a source that has not changed for a while (a change within
  // one file-system tick could keep size and time), so tests age the source after a change.
  void Age(const std::string& name) {
    struct timespec t[2] {};
    clock_gettime(CLOCK_REALTIME, &t[0]);
    t[0].tv_sec -= 10;
    t[1] = t[0];
    ASSERT_EQ(utimensat(AT_FDCWD, (dir + name).c_str(), t, 0), 0);
  }
  std::string dir;
};
