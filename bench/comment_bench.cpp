// The picture-code image (KEYIMAGE) and the comment post (SM) of a blog of 10,000 articles and
// 50,000 comments, timed against a trivial CGI in the same run.
//   bench_comment_bench [--quick]
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "text/DHash.h"

namespace fs = std::filesystem;

namespace {

// One request of velm.exe in root with the query and, for a post, its body.
TCGICost Run(const std::string& root, const std::string& query, const std::string& body = "") {
  return RunCGI({.Exe = root + "velm.exe", .Dir = root, .Query = query, .BodyFile = BodyFile(root, body),
                 .Env = {"HTTP_USER_AGENT=bench"}});
}

// A blog of n articles (the newest updated now, so it takes comments), 5 comments per article
// and `keys` live picture codes "key<i>" with the code "CODE5".
std::string MakeBlog(const std::string& exe, int n, int keys, std::string& newest) {
  const std::string root = MakeInstallation(exe, "comment");
  const std::string acc = root + kAccountFolder;
  std::ofstream(acc + "title.txt") << "ベンチマークのブログ\r\n速さを測ります\r\n";
  std::ofstream(acc + "style.txt") << "USECOMMENT=1\r\nUSETRACKBACK=1\r\nCOMMENTLIMIT=30\r\n";
  std::ofstream(acc + "category.txt") << "\"cat0000000000001\",\"日記\",\"1\"\r\n";
  const time_t now = time(nullptr);
  std::vector<std::string> ids;
  {
    std::ofstream idx(acc + "cindex.txt", std::ios::binary);
    for (int i = n - 1; i >= 0; --i) {
      const std::string stamp = JapanStamp(now - static_cast<time_t>(i) * 3600 - 60);
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
    for (int i = 0; i < keys; ++i) k << "\"" << JapanStamp(now - 60) << "\",\"127.0.0.1\",\"key" << i << "\",\"CODE5\"\r\n";
  }
  BackdateFolder(acc);  // the files made from the index and the comments are kept
  return root;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = QuickRun(argc, argv) ? 15 : 60;
  const std::string dir = BenchFolder(argv[0], {"velm.exe", "trivial_cgi"});
  const std::string velm = dir + "velm.exe", trivial = dir + "trivial_cgi";
  std::string newest;
  const std::string root = MakeBlog(velm, 10000, 2 * runs + 2, newest);
  const std::string post = "category=cat0000000000001&commentname=%93%C7%8E%D2&comment=%96%CA%94%92%82%A2";
  std::vector<TCGICost> floor, keyWarm, keyCold, sm, smKey, triv;
  int key = 0;
  Run(root, "demo+keyimage+key0");  // warm the page cache and fontconfig's kept choice
  Run(root, "demo+sm+" + newest, post);
  for (int i = 0; i < runs; ++i) {
    triv.push_back(RunCGI({.Exe = trivial, .Dir = root, .Env = {"HTTP_USER_AGENT=bench"}}));
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
  const TCGICost floorCost = Medians(triv);
  PrintCostHeader(30, "request (10,000 articles)");
  auto row = [&](const char* name, const std::vector<TCGICost>& v) { PrintCostRow(30, name, Medians(v), floorCost); };
  row("velm.exe, unknown command", floor);
  row("KEYIMAGE", keyWarm);
  row("KEYIMAGE, fontconfig asked", keyCold);
  row("SM", sm);
  row("SM with picture code", smKey);
  if (!getenv("VELM_BENCH_KEEP")) fs::remove_all(root);
  return 0;
}
