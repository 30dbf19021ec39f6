// Throttling of guesses: after kGuardFailures failed checks for one account from one client
// address within kGuardWindow seconds, checks from that address for that account fail without
// comparing for kGuardLock seconds. Other addresses are not affected. Login checks count in
// loginguard.txt, picture-code checks in keyguard.txt.
//
// The counts live in a guard file of the account folder, one line per address:
// "address","failure times (unix seconds, blank-separated)","locked until". The file is read
// under the shared lock by every check, changed under the exclusive one only by a failure, and
// holds at most kGuardLines addresses (expired ones go first, then the least recent).
#include <algorithm>
#include <ctime>

#include "app/Unit1.h"
#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace {

constexpr size_t kGuardFailures = 10, kGuardLines = 256;
constexpr long long kGuardWindow = 600, kGuardLock = 600;
const char kLoginGuard[] = "loginguard.txt";
const char kKeyGuard[] = "keyguard.txt";

struct TGuardEntry {
  std::string Address;
  std::vector<long long> Failures;  // oldest first, within the window
  long long LockedUntil = 0;
  long long Last() const { return std::max(LockedUntil - kGuardLock, Failures.empty() ? 0 : Failures.back()); }
};

bool ParseEntry(const std::string& line, TCSVList& csv, TGuardEntry& e) {
  csv.SetLine(line);
  if (csv.Count() != 3) return false;
  e = TGuardEntry();
  e.Address = csv.Item(0);
  long long v;
  for (size_t at = 0; at < csv.Item(1).size();) {
    const size_t end = std::min(csv.Item(1).find(' ', at), csv.Item(1).size());
    if (StrToIntStrict(csv.Item(1).substr(at, end - at), v)) e.Failures.push_back(v);
    at = end + 1;
  }
  if (StrToIntStrict(csv.Item(2), v)) e.LockedUntil = v;
  return true;
}

std::string EntryLine(const TGuardEntry& e) {
  std::string times;
  for (long long t : e.Failures) times += (times.empty() ? "" : " ") + std::to_string(t);
  return MakeRecordLine({e.Address, times, std::to_string(e.LockedUntil)});
}

// The address as a field: quotes and line breaks cannot stand in a record line.
std::string AddressKey(const std::string& address) {
  std::string key = address;
  std::erase_if(key, [](char c) { return c == '"' || c == '\r' || c == '\n'; });
  return key;
}

std::string GuardPath(const TWebModule1& m, const TAccountType& a, const char* file) {
  return m.Sys.DATAFOLDER + a.LoginName + "/" + file;
}

}  // namespace

bool TWebModule1::GuardLocked(const std::string& path) const {
  const std::string key = AddressKey(Request.RemoteAddr());
  const long long now = time(nullptr);
  bool locked = false;
  TCSVList csv;
  TGuardEntry e;
  WalkLinesBackward(path, [&](const std::string& line) {
    if (!ParseEntry(line, csv, e) || e.Address != key) return TWalk::Next;
    locked = e.LockedUntil > now;
    return TWalk::Stop;
  });
  return locked;
}

void TWebModule1::GuardFailed(const std::string& path) {
  const std::string folder = path.substr(0, path.rfind('/') + 1);
  if (!DirectoryExists(folder) && !ForceDirectories(folder)) return;
  const std::string key = AddressKey(Request.RemoteAddr());
  const long long now = time(nullptr);
  RewriteLines(path, [&](TStringList& lines, bool) {
    std::vector<TGuardEntry> entries;
    TCSVList csv;
    TGuardEntry e, mine;
    mine.Address = key;
    for (const std::string& line : lines) {
      if (!ParseEntry(line, csv, e)) continue;
      if (e.Address == key) mine = e;
      else if (e.LockedUntil > now || (!e.Failures.empty() && e.Failures.back() > now - kGuardWindow))
        entries.push_back(e);  // what has expired goes
    }
    std::erase_if(mine.Failures, [&](long long t) { return t <= now - kGuardWindow; });
    if (mine.LockedUntil <= now) {
      mine.LockedUntil = 0;
      mine.Failures.push_back(now);
      if (mine.Failures.size() >= kGuardFailures) {
        mine.Failures.clear();
        mine.LockedUntil = now + kGuardLock;
      }
    }
    // The least recent addresses go when the file is full.
    std::stable_sort(entries.begin(), entries.end(), [](const TGuardEntry& a, const TGuardEntry& b) { return a.Last() > b.Last(); });
    if (entries.size() >= kGuardLines) entries.resize(kGuardLines - 1);
    lines.clear();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) lines.push_back(EntryLine(*it));
    lines.push_back(EntryLine(mine));
    return TRewrite::Save;
  });
}

bool TWebModule1::CheckCredentials(const TAccountType& account, const std::string& name, const std::string& pass) {
  const std::string path = GuardPath(*this, account, kLoginGuard);
  if (GuardLocked(path)) return false;
  if (account.LoginName == name && account.Password == pass) return true;
  // No password is no guess: an owner who logged out keeps the name cookie and may still follow
  // links to the owner's pages.
  if (!pass.empty()) GuardFailed(path);
  return false;
}

bool TWebModule1::CheckKeyGuess(const std::function<bool()>& check) {
  const std::string path = GuardPath(*this, Account, kKeyGuard);
  if (GuardLocked(path)) return false;
  if (check()) return true;
  GuardFailed(path);
  return false;
}
