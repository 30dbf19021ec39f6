// The key list of the picture codes: bounded appends, the picture's lookup, the post's check,
// and writers that are killed while others go on.
#include <signal.h>

#include <map>
#include <set>

#include "store/keylist.h"
#include "store_fixture.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

class KeyList : public StoreFolder {
protected:
  void SetUp() override {
    StoreFolder::SetUp();
    now = time(nullptr);
  }
  std::string Line(long long secondsAgo, const std::string& id, const std::string& code = "CODE5") const {
    return "\"" + FormatStamp(FromUnix(now - secondsAgo)) + "\",\"10.0.0.1\",\"" + id + "\",\"" + code + "\"";
  }
  V Lines() { return SplitLines(Read("keylist.txt")); }
  time_t now = 0;
};

TEST_F(KeyList, AppendsStayCheapAndTheListBounded) {
  // An hour's worth of dead lines at the head is dropped by the next append; fewer are left to
  // gather (a dead line under two hours old does not make an append rewrite the list).
  V lines;
  for (int i = 0; i < 1000; ++i) lines.push_back(Line(3 * 3600, "dead" + std::to_string(i)));
  lines.push_back(Line(1800, "live"));
  Write("keylist.txt", Crlf(lines));
  ASSERT_TRUE(AppendKeyLine(dir, Line(0, "new"), now));
  EXPECT_EQ(Lines(), V({Line(1800, "live"), Line(0, "new")}));

  Write("keylist.txt", Crlf({Line(5400, "dying"), "broken", Line(10, "live")}));
  ASSERT_TRUE(AppendKeyLine(dir, Line(0, "new"), now));
  EXPECT_EQ(Lines(), V({Line(5400, "dying"), "broken", Line(10, "live"), Line(0, "new")}));
  // A malformed head, or a head from the future (a clock set back), makes the append clean up.
  Write("keylist.txt", Crlf({"broken", Line(5400, "dying"), Line(10, "live")}));
  ASSERT_TRUE(AppendKeyLine(dir, Line(0, "new"), now));
  EXPECT_EQ(Lines(), V({Line(10, "live"), Line(0, "new")}));
  Write("keylist.txt", Crlf({Line(-7200, "future"), Line(10, "live")}));
  ASSERT_TRUE(AppendKeyLine(dir, Line(0, "new"), now));
  EXPECT_EQ(Lines(), V({Line(10, "live"), Line(0, "new")}));

  // A flood of live codes past the bound keeps the newest half of it, the new line last.
  std::string flood;
  int n = 0;
  while (static_cast<long long>(flood.size()) <= kKeyListMaxBytes) flood += Line(60, "f" + std::to_string(n++)) + "\r\n";
  Write("keylist.txt", flood);
  ASSERT_TRUE(AppendKeyLine(dir, Line(0, "new"), now));
  const std::string after = Read("keylist.txt");
  EXPECT_LE(static_cast<long long>(after.size()), kKeyListMaxBytes / 2);
  EXPECT_GT(static_cast<long long>(after.size()), kKeyListMaxBytes / 2 - 200);
  EXPECT_EQ(Lines().back(), Line(0, "new"));
  EXPECT_EQ(Lines()[Lines().size() - 2], Line(60, "f" + std::to_string(n - 1)));

  // A missing list is made; a last line without its break is ended first.
  std::filesystem::remove(dir + "keylist.txt");
  ASSERT_TRUE(AppendKeyLine(dir, Line(0, "a"), now));
  Write("keylist.txt", Read("keylist.txt") + Line(0, "b"));
  ASSERT_TRUE(AppendKeyLine(dir, Line(0, "c"), now));
  EXPECT_EQ(Read("keylist.txt"), Crlf({Line(0, "a"), Line(0, "b"), Line(0, "c")}));
}

// What the whole-request tests cannot pin down: the exact end of the hour, ids issued twice,
// and the list left behind by a check and a lookup.
TEST_F(KeyList, LookupAndCheck) {
  std::string code;
  EXPECT_EQ(LookupKey(dir, "x", now, code), TKeyLookup::NoList);
  EXPECT_TRUE(AppendKeyLine(dir, Line(3599, "edge", "AAAAA"), now));
  EXPECT_TRUE(AppendKeyLine(dir, Line(1200, "twice", "OLDER"), now));
  EXPECT_TRUE(AppendKeyLine(dir, Line(60, "twice", "NEWER"), now));
  EXPECT_TRUE(CheckKey(dir, "edge", "AAAAA", now, false));
  EXPECT_FALSE(CheckKey(dir, "edge", "AAAAA", now + 1, false));
  // The picture shows the first entry of an id, the check takes the newest; taking one removes
  // it with the dead lines, and the older twin answers next.
  EXPECT_EQ(LookupKey(dir, "twice", now, code), TKeyLookup::Found);
  EXPECT_EQ(code, "OLDER");
  EXPECT_FALSE(CheckKey(dir, "twice", "OLDER", now, true));
  EXPECT_TRUE(CheckKey(dir, "twice", "NEWER", now + 1, true));
  EXPECT_EQ(Lines(), V({Line(1200, "twice", "OLDER")}));
  EXPECT_TRUE(CheckKey(dir, "twice", "OLDER", now, true));
  EXPECT_FALSE(Exists("keylist.txt"));
  Write("keylist.txt", "");
  EXPECT_EQ(LookupKey(dir, "a", now, code), TKeyLookup::Missing);
  EXPECT_FALSE(CheckKey(dir, "", "", now, false));
}

// Issuers, posters and pictures in several processes, some killed at random: every line stays
// one record, and every code whose issue was acknowledged is there until a post took it.
TEST_F(KeyList, KilledWritersTearNothing) {
  V dead;
  for (int i = 0; i < 200; ++i) dead.push_back(Line(4 * 3600, "dead" + std::to_string(i)));
  Write("keylist.txt", Crlf(dead));
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  const int procs = 6, rounds = 60;
  std::vector<pid_t> kids;
  for (int k = 0; k < procs; ++k) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(report[0]);
      std::string code;
      for (int r = 0; r < rounds; ++r) {
        const std::string id = "k" + std::to_string(k) + "r" + std::to_string(r);
        const time_t t = time(nullptr);
        if (AppendKeyLine(dir, "\"" + FormatStamp(FromUnix(t)) + "\",\"a\",\"" + id + "\",\"C" + id + "\"", t)) {
          const std::string msg = "A " + id + "\n";
          (void)!write(report[1], msg.data(), msg.size());
        }
        if (r % 3 == 1) {
          const std::string prev = "k" + std::to_string(k) + "r" + std::to_string(r - 1);
          if (CheckKey(dir, prev, "C" + prev, time(nullptr), true)) {
            const std::string msg = "T " + prev + "\n";
            (void)!write(report[1], msg.data(), msg.size());
          }
        }
        if (r % 5 == 0) LookupKey(dir, id, time(nullptr), code);
      }
      _exit(0);
    }
    kids.push_back(pid);
  }
  close(report[1]);
  std::mt19937 random(11);
  usleep(20000 + random() % 30000);
  kill(kids[0], SIGKILL);
  usleep(random() % 30000);
  kill(kids[3], SIGKILL);
  std::string got;
  char buf[4096];
  for (ssize_t n; (n = read(report[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
  close(report[0]);
  for (pid_t k : kids) waitpid(k, nullptr, 0);

  std::set<std::string> issued, taken, listed;
  for (const std::string& l : SplitLines(got)) (l[0] == 'A' ? issued : taken).insert(l.substr(2));
  TCSVList c;
  for (const std::string& l : Lines()) {
    c.SetLine(l);
    ASSERT_EQ(c.Count(), 4) << l;
    ASSERT_EQ("C" + c.Item(2), c.Item(3));
    listed.insert(c.Item(2));
  }
  EXPECT_GE(issued.size(), static_cast<size_t>(rounds * (procs - 2)));
  EXPECT_FALSE(taken.empty());
  // A killed process may have taken a code without saying so: only the others are accounted.
  for (const std::string& id : issued)
    if (!taken.count(id) && id.compare(0, 2, "k0") != 0 && id.compare(0, 2, "k3") != 0) {
      EXPECT_TRUE(listed.count(id)) << id;
    }
  for (const std::string& id : taken) {
    EXPECT_FALSE(listed.count(id)) << id;
  }
  EXPECT_FALSE(listed.count("dead0"));
}

}  // namespace
