// A probe for the peer tests: velm's own network code run once from the command line.
//   net_probe mail <folder of velm.ini> <owner address> <poster name> <article id>
//   net_probe get <url> [https on|off] [CA file]
// Prints the result, then the client's log.
#include <cstdio>
#include <string>

#include "app/settings.h"
#include "net/comment_notice.h"
#include "net/httpclient.h"

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  TStringList log;
  if (what == "mail" && argc == 6) {
    TSystemSettings sys;
    if (!ReadSystemSettings(std::string(argv[2]) + "/", sys)) return 2;
    printf("result %d\n", SendCommentNotice(sys, argv[3], "demo", argv[4], argv[5], &log));
  } else if (what == "get" && argc >= 3) {
    THTTPClient c;
    c.CreateLog();
    c.WriteLogDate = false;
    c.UseHTTPS = argc > 3 && std::string(argv[3]) == "on";
    if (argc > 4) c.CAFile = argv[4];
    c.Deadline = 10;
    c.ConnectRetryCount = 0;
    c.SetURL(argv[2]);
    printf("status %s\ncomplete %d\nbody %zu\n", c.ServerResult().StatusLine.c_str(), c.BodyComplete() ? 1 : 0,
           c.BodyBuffer().size());
    log = *c.LogList();
  } else {
    fprintf(stderr, "usage: net_probe mail <folder> <owner> <name> <id> | get <url> [on|off] [ca]\n");
    return 2;
  }
  for (const auto& l : log) printf("log %s\n", l.c_str());
  return 0;
}
