// The picture-code image (KEYIMAGE) and the comment post (SM) of a blog of 10,000 articles and
// 50,000 comments, timed against a trivial CGI in the same run.
//   bench_comment_bench [--quick]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "text/DHash.h"

namespace fs = std::filesystem;

namespace {

struct TCost {
  double Wall = 0, Cpu = 0;  // ms
};

// One run of exe (velm.exe in root by default) with the request's query and, for a post, its
// body on stdin: the wall time and the CPU time of the process.
TCost Run(const std::string& root, const std::string& query, const std::string& body = "", std::string exe = "") {
  std::vector<std::string> env = {"SERVER_PROTOCOL=HTTP/1.1", "QUERY_STRING=" + query, "REMOTE_ADDR=127.0.0.1",
                                  "HTTP_USER_AGENT=bench", "TZ=Asia/Tokyo", "SCRIPT_NAME=/velm.exe"};
  const std::string bodyFile = root + "body.txt";
  if (body.empty()) {
    env.push_back("REQUEST_METHOD=GET");
  } else {
    std::ofstream(bodyFile, std::ios::binary) << body;
    env.push_back("REQUEST_METHOD=POST");
    env.push_back("CONTENT_LENGTH=" + std::to_string(body.size()));
    env.push_back("CONTENT_TYPE=application/x-www-form-urlencoded");
  }
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string path = exe.empty() ? root + "velm.exe" : exe;
  char* argv[] = {path.data(), nullptr};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, body.empty() ? "/dev/null" : bodyFile.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&fa, root.c_str());
  struct rusage ru {};
  const double ms = Ms([&] {
    pid_t pid;
    if (posix_spawn(&pid, path.c_str(), &fa, nullptr, argv, envp.data()) != 0) {
      perror("posix_spawn");
      exit(1);
    }
    int status;
    wait4(pid, &status, 0, &ru);
  });
  posix_spawn_file_actions_destroy(&fa);
  const auto cpu = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return {ms, cpu(ru.ru_utime) + cpu(ru.ru_stime)};
}

std::string TwoD(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

std::string StampOf(time_t t) {
  struct tm tm {};
  localtime_r(&t, &tm);
  return std::to_string(tm.tm_year + 1900) + "/" + TwoD(tm.tm_mon + 1) + "/" + TwoD(tm.tm_mday) + " " + TwoD(tm.tm_hour) +
         ":" + TwoD(tm.tm_min) + ":" + TwoD(tm.tm_sec);
}

// A blog of n articles (the newest updated now, so it takes comments), 5 comments per article
// and `keys` live picture codes "key<i>" with the code "CODE5".
std::string MakeBlog(const std::string& exe, int n, int keys, std::string& newest) {
  const std::string root = "/tmp/velm-bench-comment-" + std::to_string(getpid()) + "/";
  fs::remove_all(root);
  const std::string acc = root + "velmsystem/owner/";
  fs::create_directories(acc);
  fs::create_directories(root + "images/demo");
  fs::copy_file(exe, root + "velm.exe");
  std::ofstream(root + "velm.ini") << "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\n";
  std::ofstream(root + "velmsystem/account.ini") << "\"demo\",\"owner\",\"secret\"\r\n";
  std::ofstream(acc + "title.txt") << "ベンチマークのブログ\r\n速さを測ります\r\n";
  std::ofstream(acc + "style.txt") << "USECOMMENT=1\r\nUSETRACKBACK=1\r\nCOMMENTLIMIT=30\r\n";
  std::ofstream(acc + "category.txt") << "\"cat0000000000001\",\"日記\",\"1\"\r\n";
  const time_t now = time(nullptr);
  std::vector<std::string> ids;
  {
    std::ofstream idx(acc + "cindex.txt", std::ios::binary);
    for (int i = n - 1; i >= 0; --i) {
      const std::string stamp = StampOf(now - static_cast<time_t>(i) * 3600 - 60);
      ids.push_back(Sha1Hex(stamp + std::to_string(i)));
      idx << "\"cat0000000000001\",\"" << ids.back() << "\",\"" << stamp << "\",\"" << stamp << "\",\"記事 " << i
          << "\",\"1\"\r\n";
    }
  }
  newest = ids.back();
  {
    std::ofstream c(acc + "comment.txt", std::ios::binary);
    for (int i = 0; i < 5 * n; ++i)
      c << "\"cat0000000000001\",\"" << ids[static_cast<size_t>(i) % ids.size()] << "\",\"cmt" << 1000000 + i
        << "abcdefghi\",\"2026/11/30 12:00:00\",\"読者" << i << "\",\"面白い記事でした。<br>\",\"0\",\"127.0.0.1\"\r\n";
  }
  {
    std::ofstream k(acc + "keylist.txt", std::ios::binary);
    for (int i = 0; i < keys; ++i) k << "\"" << StampOf(now - 60) << "\",\"127.0.0.1\",\"key" << i << "\",\"CODE5\"\r\n";
  }
  // Files made from the index and the comments are kept, as on a blog that has not just changed.
  struct timespec past[2] {};
  clock_gettime(CLOCK_REALTIME, &past[0]);
  past[0].tv_sec -= 3600;
  past[1] = past[0];
  for (const auto& f : fs::directory_iterator(acc)) utimensat(AT_FDCWD, f.path().c_str(), past, 0);
  return root;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  setenv("TZ", "Asia/Tokyo", 1);  // the stamps written here are read by velm.exe in Japan time
  tzset();
  const int runs = quick ? 15 : 60;
  const std::string dir = fs::absolute(fs::path(argv[0])).parent_path().string() + "/";
  const std::string velm = dir + "velm.exe", trivial = dir + "trivial_cgi";
  if (!fs::exists(velm) || !fs::exists(trivial)) {
    fprintf(stderr, "needs velm.exe and trivial_cgi beside this program\n");
    return 1;
  }
  std::string newest;
  const std::string root = MakeBlog(velm, 10000, 2 * runs + 2, newest);
  const std::string post = "category=cat0000000000001&commentname=%93%C7%8E%D2&comment=%96%CA%94%92%82%A2";
  std::vector<TCost> floor, keyWarm, keyCold, sm, smKey, triv;
  int key = 0;
  Run(root, "demo+keyimage+key0");  // warm the page cache and fontconfig's kept choice
  Run(root, "demo+sm+" + newest, post);
  for (int i = 0; i < runs; ++i) {
    triv.push_back(Run(root, "", "", trivial));
    floor.push_back(Run(root, "demo+nosuchcommand"));
    keyWarm.push_back(Run(root, "demo+keyimage+key" + std::to_string(i % 10)));
    fs::remove(root + "velmsystem/fontmatch.txt");
    keyCold.push_back(Run(root, "demo+keyimage+key" + std::to_string(i % 10)));
    sm.push_back(Run(root, "demo+sm+" + newest, post));
  }
  // With the picture code on, every post takes one code out of the list.
  std::ofstream(root + "velmsystem/owner/style.txt", std::ios::app) << "USEKEYIMAGE=1\r\n";
  for (int i = 0; i < runs; ++i)
    smKey.push_back(Run(root, "demo+sm+" + newest, post + "&checkid=key" + std::to_string(++key) + "&checkkey=CODE5"));
  auto median = [](const std::vector<TCost>& v, double TCost::*field) {
    std::vector<double> x;
    for (const TCost& c : v) x.push_back(c.*field);
    return Median(x);
  };
  const double tw = median(triv, &TCost::Wall), tc = median(triv, &TCost::Cpu);
  printf("%-30s %9s %9s %7s %9s %9s %7s\n", "request (10,000 articles)", "wall ms", "trivial", "ratio", "cpu ms", "trivial",
         "ratio");
  auto row = [&](const char* name, const std::vector<TCost>& v) {
    const double w = median(v, &TCost::Wall), c = median(v, &TCost::Cpu);
    printf("%-30s %9.2f %9.2f %7.2f %9.2f %9.2f %7.2f\n", name, w, tw, w / tw, c, tc, c / tc);
  };
  row("velm.exe, unknown command", floor);
  row("KEYIMAGE", keyWarm);
  row("KEYIMAGE, fontconfig asked", keyCold);
  row("SM", sm);
  row("SM with picture code", smKey);
  if (!getenv("VELM_BENCH_KEEP")) fs::remove_all(root);
  return 0;
}
