// The display settings page and its save, timed against a trivial CGI in the same run.
//   bench_design_bench [--quick]
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"

namespace fs = std::filesystem;

namespace {

// One run of exe in root with the owner's cookies; the body (when given) comes from bodyFile.
TCGICost RunOnce(const std::string& exe, const std::string& root, const std::string& query, const std::string& bodyFile) {
  return RunCGI({.Exe = exe, .Dir = root, .Query = query, .BodyFile = bodyFile, .Env = {"HTTP_HOST=127.0.0.1", kOwnerCookie}});
}

// Medians of wall and CPU time (user + system) over runs, after one that warms the page cache.
TCGICost MedianOf(int runs, const std::function<TCGICost(int)>& once) { return Medians(Repeat(runs, once)); }

}  // namespace

int main(int argc, char** argv) {
  const int runs = QuickRun(argc, argv) ? 15 : 60;
  const std::string dir = BenchFolder(argv[0], {"velm.exe", "trivial_cgi"});
  const std::string velm = dir + "velm.exe", trivial = dir + "trivial_cgi";

  // A blog with what the settings page reads: categories, user colours, templates and colours in velm.ini.
  const std::string root = MakeInstallation(velm, "design");
  const std::string acc = root + kAccountFolder;
  {
    std::ofstream ini(root + "velm.ini", std::ios::binary | std::ios::app);
    ini << "TEMPCOLORSTART\r\n";
    for (int i = 0; i < 40; ++i) ini << "\"色" << i << "\",\"#" << std::hex << 0x102030 + i * 0x10101 << std::dec << "\"\r\n";
    ini << "TEMPCOLOREND\r\nTEMPNAVISTART\r\n\"縦長\",\"navi1.txt\"\r\n\"横長\",\"navi2.txt\"\r\nTEMPNAVIEND\r\n";
  }
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

  const std::string exe = root + "velm.exe";
  auto trivialRun = [&](int) { return RunOnce(trivial, root, "", ""); };
  const TCGICost triv = MedianOf(runs, trivialRun);
  const TCGICost page = MedianOf(runs, [&](int) { return RunOnce(exe, root, "demo+vv", ""); });
  const TCGICost save = MedianOf(runs, [&](int i) { return RunOnce(exe, root, "demo+us", bodies[i & 1]); });
  const TCGICost same = MedianOf(runs, [&](int) { return RunOnce(exe, root, "demo+us", bodies[0]); });
  const TCGICost triv2 = MedianOf(runs, trivialRun);
  // What the disk asks for one durable replacement of a small file (write, fsync, rename), the
  // part of a save that no code of the save can shorten.
  const TCGICost sync = MedianOf(runs, [&](int i) {
    const std::string tmp = root + "sync.tmp", path = root + "sync.txt";
    const double ms = Ms([&] {
      const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const std::string text = "LAYOUTTYPE=" + std::to_string(i) + "\r\n";
      if (fd < 0 || ::write(fd, text.data(), text.size()) < 0 || ::fsync(fd) != 0) perror("sync");
      ::close(fd);
      ::rename(tmp.c_str(), path.c_str());
    });
    return TCGICost{.Wall = ms};
  });
  const TCGICost floor = {.Wall = std::min(triv.Wall, triv2.Wall), .Cpu = std::min(triv.Cpu, triv2.Cpu)};
  PrintCostHeader(26, "request");
  auto row = [&](const char* name, const TCGICost& t) { PrintCostRow(26, name, t, floor); };
  row("settings page", page);
  row("settings save (changed)", save);
  row("settings save (unchanged)", same);
  printf("%-26s %9.2f\n", "write+fsync+rename alone", sync.Wall);
  fs::remove_all(root);
  return 0;
}
