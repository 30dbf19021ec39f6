// The top page with two cached feed boxes in the gadget column against the same page whose
// boxes hold the same HTML as plain text; both through velm.exe, alternating, same run.
//   bench_feed_box_bench [--quick]
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "bench_support.h"
#include "text/DHash.h"
#include "text/dates.h"

namespace fs = std::filesystem;

namespace {

// The top page through velm.exe in root.
double RunPage(const std::string& root) {
  return RunCGI({.Exe = root + "velm.exe", .Dir = root, .Query = "demo", .ShowErrors = true}).Wall;
}

std::string BoxHTML(int key) {
  std::string items;
  for (int i = 0; i < 10; ++i)
    items += "2026/12/0" + std::to_string(1 + i % 9) + " <a href=\"http://example.jp/" + std::to_string(key) + "/" +
             std::to_string(i) + "\" target=\"_blank\">よそのブログの記事 " + std::to_string(i) + "</a><br>\r\n";
  return " \r\n" + items + "\r\n \r\n";
}

std::string MakeInstall(const std::string& exe, const std::string& name, bool feeds) {
  const std::string root = MakeInstallation(exe, "feedbox-" + name, feeds ? "USESIDEMENURSS=ON\r\n" : "");
  const std::string acc = root + kAccountFolder;
  std::ofstream(acc + "title.txt") << "ベンチマークのブログ\r\n";
  std::ofstream(acc + "style.txt") << "LAYOUTTYPE=2\r\nUSECOMMENT=1\r\nACCESSLOGTYPE=0\r\n";
  std::ofstream(acc + "category.txt") << "\"cat0000000000001\",\"日記\",\"1\"\r\n";
  std::ofstream idx(acc + "cindex.txt", std::ios::binary);
  for (int i = 0; i < 100; ++i) {
    const std::string stamp = FormatStamp(AddSeconds(TDateTime{2026, 1, 1, 9, 0, 0}, i * 86400LL));
    const std::string id = Sha1Hex(stamp);
    idx << "\"cat0000000000001\",\"" << id << "\",\"" << stamp << "\",\"" << stamp << "\",\"記事 " << i << "\",\"1\"\r\n";
    std::ofstream(acc + id + ".txt", std::ios::binary) << "今日はいい天気でした。散歩に出かけました。\r\n";
  }
  std::ofstream side(acc + "sidemenu.txt", std::ios::binary);
  for (int k = 1; k <= 2; ++k) {
    side << "SIDEMENU" << k << "START\r\nよそのブログ " << k << "<br>\r\n";
    if (feeds) {
      side << "<RSSCONTENT key=\"feed" << k << "\" src=\"http://127.0.0.1:9/feed" << k << "\" count=\"10\">\r\n";
      std::ofstream(acc + "feed" + std::to_string(k) + ".lastread", std::ios::binary) << BoxHTML(k);
      std::ofstream(acc + "feed" + std::to_string(k) + ".lastrss", std::ios::binary) << FormatStamp(Now()) << "\r\n";
    } else {
      side << BoxHTML(k) << "\r\n";
    }
    side << "SIDEMENU" << k << "END\r\n";
  }
  side.close();
  BackdateFolder(acc);  // a blog that has not just changed: the files made from the index are kept
  RunPage(root);  // makes the derived files
  return root;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = QuickRun(argc, argv) ? 20 : 100;
  const std::string dir = BenchFolder(argv[0], {"velm.exe"});
  setenv("TZ", "Asia/Tokyo", 1);  // the cache times are written as velm.exe reads them
  tzset();
  const std::string with = MakeInstall(dir + "velm.exe", "feeds", true);
  const std::string without = MakeInstall(dir + "velm.exe", "plain", false);
  std::vector<double> a, b;
  for (int i = 0; i < runs; ++i) {
    a.push_back(RunPage(with));
    b.push_back(RunPage(without));
  }
  // A read attempt takes the key's lock file: the boxes must have come from the caches.
  if (fs::exists(with + "velmsystem/owner/feed1.rsslock")) {
    fprintf(stderr, "the feed boxes were not served from their caches\n");
    return 1;
  }
  const double ma = Median(a), mb = Median(b);
  printf("top page, 2 cached feed boxes: %.3f ms; same boxes as plain text: %.3f ms; ratio %.3f\n", ma, mb, ma / mb);
  if (!getenv("VELM_BENCH_KEEP")) {
    fs::remove_all(with);
    fs::remove_all(without);
  }
  return ma / mb <= 1.2 ? 0 : 1;
}
