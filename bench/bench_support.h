// Shared by the benchmarks: timing and medians, a temporary installation of velm.exe, one CGI
// request run as a web server runs it, and the trivial CGI floor with the table rows against it.
#pragma once
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "../tests/app/module_fixture.h"
#include "text/dates.h"

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

// The median of runs calls of f, after a first call that warms the caches.
inline double MedianMs(int runs, const std::function<void()>& f) {
  std::vector<double> t;
  for (int i = 0; i <= runs; ++i) {
    const double ms = Ms(f);
    if (i > 0) t.push_back(ms);
  }
  return Median(t);
}

// "--quick": fewer runs.
inline bool QuickRun(int argc, char** argv) { return argc > 1 && std::string(argv[1]) == "--quick"; }

// The folder of this program, ending in '/': the build puts velm.exe and trivial_cgi there. Ends
// the program when one of `needs` is missing.
inline std::string BenchFolder(const char* argv0, std::initializer_list<const char*> needs) {
  const std::string dir = std::filesystem::absolute(std::filesystem::path(argv0)).parent_path().string() + "/";
  std::string names;
  bool found = true;
  for (const char* n : needs) {
    names += (names.empty() ? "" : " and ") + std::string(n);
    found = found && std::filesystem::exists(dir + n);
  }
  if (!found) {
    fprintf(stderr, "needs %s beside this program\n", names.c_str());
    exit(1);
  }
  return dir;
}

// "2026/12/01 09:00:00": the Japan time of t, whatever TZ says.
inline std::string JapanStamp(time_t t) {
  t += 9 * 3600;
  struct tm tm {};
  gmtime_r(&t, &tm);
  return FormatStamp(TDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
}

// The account folder of an installation made by MakeInstallation.
constexpr const char* kAccountFolder = "velmsystem/owner/";
constexpr const char* kOwnerCookie = "HTTP_COOKIE=INNAME=owner; INPASS=secret";

// A temporary installation in /tmp: velm.exe copied from exe, velm.ini with the charset, the
// address and then `ini`, the account "demo" of the owner "owner" (password "secret") with its
// folders. Returns its root, ending in '/'.
inline std::string MakeInstallation(const std::string& exe, const std::string& name, const std::string& ini = "") {
  const std::string root = MakeTempFolder(("velm-bench-" + name).c_str());
  std::filesystem::create_directories(root + kAccountFolder);
  std::filesystem::create_directories(root + "images/demo");
  std::filesystem::copy_file(exe, root + "velm.exe");
  std::ofstream(root + "velm.ini", std::ios::binary) << "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\n" << ini;
  std::ofstream(root + "velmsystem/account.ini", std::ios::binary) << "\"demo\",\"owner\",\"secret\"\r\n";
  return root;
}

// Dates a file an hour back, as on a blog that has not just changed: what is made from it is kept.
inline void Backdate(const std::string& path) {
  struct timespec past[2] {};
  clock_gettime(CLOCK_REALTIME, &past[0]);
  past[0].tv_sec -= 3600;
  past[1] = past[0];
  utimensat(AT_FDCWD, path.c_str(), past, 0);
}

inline void BackdateFolder(const std::string& folder) {
  for (const auto& f : std::filesystem::directory_iterator(folder)) Backdate(f.path());
}

// What one process took: wall and CPU time (user + system) in ms, its largest resident size and
// its wait status.
struct TCGICost {
  double Wall = 0, Cpu = 0;
  long MaxRssKiB = 0;
  int Status = 0;
};

// One request as a web server makes it: exe run in Dir (the current folder when empty), a GET of
// Query, or with BodyFile a form POST of that file on stdin; Env adds to the lines every request
// has (cookie, host, agent). The answer goes to /dev/null, and so do errors unless ShowErrors.
struct TBenchRequest {
  std::string Exe, Dir, Query, BodyFile;
  std::vector<std::string> Env;
  bool ShowErrors = false;
};

inline TCGICost RunCGI(const TBenchRequest& r) {
  std::vector<std::string> env = {"SERVER_PROTOCOL=HTTP/1.1", "QUERY_STRING=" + r.Query, "REMOTE_ADDR=127.0.0.1",
                                  "TZ=Asia/Tokyo", "SCRIPT_NAME=/velm.exe"};
  if (r.BodyFile.empty()) {
    env.push_back("REQUEST_METHOD=GET");
  } else {
    env.push_back("REQUEST_METHOD=POST");
    env.push_back("CONTENT_LENGTH=" + std::to_string(std::filesystem::file_size(r.BodyFile)));
    env.push_back("CONTENT_TYPE=application/x-www-form-urlencoded");
  }
  env.insert(env.end(), r.Env.begin(), r.Env.end());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string path = r.Exe;
  char* argv[] = {path.data(), nullptr};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, r.BodyFile.empty() ? "/dev/null" : r.BodyFile.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  if (!r.ShowErrors) posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  if (!r.Dir.empty()) posix_spawn_file_actions_addchdir_np(&fa, r.Dir.c_str());
  TCGICost cost;
  struct rusage ru {};
  cost.Wall = Ms([&] {
    pid_t pid;
    if (posix_spawn(&pid, path.c_str(), &fa, nullptr, argv, envp.data()) != 0) {
      perror("posix_spawn");
      exit(1);
    }
    wait4(pid, &cost.Status, 0, &ru);
  });
  posix_spawn_file_actions_destroy(&fa);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  cost.Cpu = ms(ru.ru_utime) + ms(ru.ru_stime);
  cost.MaxRssKiB = ru.ru_maxrss;
  return cost;
}

// Writes a request body to dir/body.txt for RunCGI; "" (a GET) for no body.
inline std::string BodyFile(const std::string& dir, const std::string& body) {
  if (body.empty()) return "";
  std::ofstream(dir + "body.txt", std::ios::binary | std::ios::trunc) << body;
  return dir + "body.txt";
}

// The median wall and CPU times of several runs, the largest resident size, and the first status
// that is not 0 (0 when every run succeeded).
inline TCGICost Medians(const std::vector<TCGICost>& runs) {
  std::vector<double> wall, cpu;
  TCGICost m;
  for (const TCGICost& c : runs) {
    wall.push_back(c.Wall);
    cpu.push_back(c.Cpu);
    m.MaxRssKiB = std::max(m.MaxRssKiB, c.MaxRssKiB);
    if (m.Status == 0) m.Status = c.Status;
  }
  m.Wall = Median(wall);
  m.Cpu = Median(cpu);
  return m;
}

// runs calls of once(i), after a call once(-1) that warms the page cache.
inline std::vector<TCGICost> Repeat(int runs, const std::function<TCGICost(int)>& once) {
  once(-1);
  std::vector<TCGICost> v;
  for (int i = 0; i < runs; ++i) v.push_back(once(i));
  return v;
}

// The median wall time of a trivial CGI process: the floor of every request.
inline double TrivialCGI(const std::string& exe, int runs) {
  return Medians(Repeat(runs, [&](int) { return RunCGI({.Exe = exe}); })).Wall;
}

// A table of requests against the trivial CGI: wall time and CPU time, each with the ratio.
inline void PrintCostHeader(int width, const char* first) {
  printf("%-*s %9s %9s %7s %9s %9s %7s\n", width, first, "wall ms", "trivial", "ratio", "cpu ms", "trivial", "ratio");
}

inline void PrintCostRow(int width, const char* name, const TCGICost& t, const TCGICost& trivial) {
  printf("%-*s %9.2f %9.2f %7.2f %9.2f %9.2f %7.2f\n", width, name, t.Wall, trivial.Wall, t.Wall / trivial.Wall, t.Cpu,
         trivial.Cpu, t.Cpu / std::max(trivial.Cpu, 0.001));
}
