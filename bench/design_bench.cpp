// The display settings page and its save, timed against a trivial CGI in the same run.
//   bench_design_bench [--quick]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"

namespace fs = std::filesystem;

namespace {

struct TTime { double wall, cpu; };

// One run of exe in cwd with the owner's cookies; the body (when given) comes from bodyFile.
TTime RunOnce(const std::string& exe, const std::string& cwd, const std::string& query, const std::string& bodyFile,
               long long bodySize) {
  std::vector<std::string> env = {"SERVER_PROTOCOL=HTTP/1.1", "QUERY_STRING=" + query, "REMOTE_ADDR=127.0.0.1",
                                  "HTTP_HOST=127.0.0.1", "TZ=Asia/Tokyo", "SCRIPT_NAME=/velm.exe",
                                  "HTTP_COOKIE=INNAME=owner; INPASS=secret"};
  if (bodyFile.empty()) {
    env.push_back("REQUEST_METHOD=GET");
  } else {
    env.push_back("REQUEST_METHOD=POST");
    env.push_back("CONTENT_TYPE=application/x-www-form-urlencoded");
    env.push_back("CONTENT_LENGTH=" + std::to_string(bodySize));
  }
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string path = exe;
  char* argv[] = {path.data(), nullptr};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, bodyFile.empty() ? "/dev/null" : bodyFile.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
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
  const double cpu = (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
  return {ms, cpu};
}

// Medians of wall and CPU time (user + system) over runs.
TTime MedianOf(int runs, const std::function<TTime(int)>& once) {
  once(-1);  // warm the page cache
  std::vector<double> wall, cpu;
  for (int i = 0; i < runs; ++i) {
    const TTime t = once(i);
    wall.push_back(t.wall);
    cpu.push_back(t.cpu);
  }
  return {Median(wall), Median(cpu)};
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const int runs = quick ? 15 : 60;
  const std::string dir = fs::absolute(fs::path(argv[0])).parent_path().string() + "/";
  const std::string velm = dir + "velm.exe", trivial = dir + "trivial_cgi";
  if (!fs::exists(velm) || !fs::exists(trivial)) {
    fprintf(stderr, "needs velm.exe and trivial_cgi beside this program\n");
    return 1;
  }

  // A blog with what the settings page reads: categories, user colours, templates and colours in velm.ini.
  const std::string root = "/tmp/velm-design-bench-" + std::to_string(getpid()) + "/";
  const std::string acc = root + "velmsystem/owner/";
  fs::create_directories(acc);
  fs::create_directories(root + "images/demo");
  fs::copy_file(velm, root + "velm.exe");
  {
    std::ofstream ini(root + "velm.ini", std::ios::binary);
    ini << "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nTEMPCOLORSTART\r\n";
    for (int i = 0; i < 40; ++i) ini << "\"色" << i << "\",\"#" << std::hex << 0x102030 + i * 0x10101 << std::dec << "\"\r\n";
    ini << "TEMPCOLOREND\r\nTEMPNAVISTART\r\n\"縦長\",\"navi1.txt\"\r\n\"横長\",\"navi2.txt\"\r\nTEMPNAVIEND\r\n";
  }
  std::ofstream(root + "velmsystem/account.ini") << "\"demo\",\"owner\",\"secret\"\r\n";
  std::ofstream(acc + "title.txt") << "ベンチマークのブログ\r\n速さを<br>測ります\r\n";
  std::ofstream(acc + "style.txt") << "BACKGROUND=#ffeedd\r\nLAYOUTTYPE=2\r\nUSECOMMENT=1\r\nMENUTEMPNAME=縦長\r\n";
  {
    std::ofstream cat(acc + "category.txt", std::ios::binary);
    for (int i = 0; i < 20; ++i) cat << "\"cat00000000000" << (10 + i) << "\",\"カテゴリ" << i << "\",\"1\"\r\n";
    std::ofstream colors(acc + "usercolor.txt", std::ios::binary);
    for (int i = 0; i < 20; ++i) colors << "\"わたしの色" << i << "\",\"#00" << (10 + i) << "ff\"\r\n";
  }
  std::ofstream(root + "images/demo/titleimage.png", std::ios::binary) << "\x89PNG";

  // The form as a browser posts it: every field of the page. Two layouts in turn, so that every
  // save really replaces style.txt.
  const std::string fields =
      "blogtitle=%83x%83%93%83%60&blogdescription=a%0D%0Ab&usecustommenu=0&background=%23ffeedd&useralign=&"
      "largecellwidth=800&titlebackground=white&titlecolor=black&menubackground=white&menulogcolor=black&"
      "navicellwidth=150&menubackground2=white&menulogcolor2=black&subcellwidth=100&contentbackground=white&"
      "contentlogcolor=black&contentlogsize=small&contenttitlecolor=black&contenttitlesize=medium&"
      "contentdatecolor=black&contentdatesize=x-small&contentcategorycolor=black&contentcategorysize=x-small&"
      "logcontentcolor=black&logcontentsize=x-small&commentanchorsize=x-small&trackbackanchorsize=x-small&"
      "navitempname=&contenttempname=&commenttempname=&contentviewcount=5&timetype=1&simagewidth=240&"
      "timageheight=0&titlerepeat=&titlealign=&largespacing=0&usecomment=1&useviewcomment=0&"
      "commentlimit=0&commentfolding=2&monthfolding=2&usetrackback=0&usecategoryrss=0&usekeyimage=0&"
      "accesslogtype=0&contentskipmethod=0&contentskiplength=200&singlelogtitle=0&updatepingdefault=0&"
      "categorycontentlist=0&rssversion=2.0&defaultpage=&useremail=&viewpassword=&albumviewcount=5&"
      "albumviewcolumn=2&albumphotomethod=0&photoframecolor=black&photoframetype=none&photoframewidth=1&layouttype=";
  const std::string bodies[2] = {root + "body2.txt", root + "body3.txt"};
  std::ofstream(bodies[0], std::ios::binary) << fields << "2";
  std::ofstream(bodies[1], std::ios::binary) << fields << "3";
  const long long size = static_cast<long long>(fields.size()) + 1;

  const std::string exe = root + "velm.exe";
  auto trivialRun = [&](int) { return RunOnce(trivial, root, "", "", 0); };
  const TTime triv = MedianOf(runs, trivialRun);
  const TTime page = MedianOf(runs, [&](int) { return RunOnce(exe, root, "demo+vv", "", 0); });
  const TTime save = MedianOf(runs, [&](int i) { return RunOnce(exe, root, "demo+us", bodies[i & 1], size); });
  const TTime same = MedianOf(runs, [&](int) { return RunOnce(exe, root, "demo+us", bodies[0], size); });
  const TTime triv2 = MedianOf(runs, trivialRun);
  // What the disk asks for one durable replacement of a small file (write, fsync, rename), the
  // part of a save that no code of the save can shorten.
  const TTime sync = MedianOf(runs, [&](int i) {
    const std::string tmp = root + "sync.tmp", path = root + "sync.txt";
    const double ms = Ms([&] {
      const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const std::string text = "LAYOUTTYPE=" + std::to_string(i) + "\r\n";
      if (fd < 0 || ::write(fd, text.data(), text.size()) < 0 || ::fsync(fd) != 0) perror("sync");
      ::close(fd);
      ::rename(tmp.c_str(), path.c_str());
    });
    return TTime{ms, 0};
  });
  const TTime floor = {std::min(triv.wall, triv2.wall), std::min(triv.cpu, triv2.cpu)};
  printf("%-26s %9s %9s %7s %9s %9s %7s\n", "request", "wall ms", "trivial", "ratio", "cpu ms", "trivial", "ratio");
  auto row = [&](const char* name, const TTime& t) {
    printf("%-26s %9.2f %9.2f %7.2f %9.2f %9.2f %7.2f\n", name, t.wall, floor.wall, t.wall / floor.wall, t.cpu, floor.cpu,
           t.cpu / std::max(floor.cpu, 0.001));
  };
  row("settings page", page);
  row("settings save (changed)", save);
  row("settings save (unchanged)", same);
  printf("%-26s %9.2f\n", "write+fsync+rename alone", sync.wall);
  fs::remove_all(root);
  return 0;
}
