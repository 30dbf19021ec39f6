// The issued picture codes (keylist.txt): append with bounded growth, lookup and check.
#include "store/keylist.h"

#include <algorithm>

#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/dates.h"

namespace {

const char kKeyList[] = "keylist.txt";
constexpr long long kLife = 3600;
// Codes live for an hour: a rewrite that a crash of the machine loses costs at most the codes
// of that hour, so the list is replaced whole but not synced, and neither a post nor a picture
// waits for the disk.
constexpr bool kDurable = false;

long long SecondsSince(const std::string& issued, time_t now) {
  return static_cast<long long>(now) - static_cast<long long>(ToUnix(ParseStamp(issued)));
}

// The fields of an entry line: issue time, address, id, code.
bool ReadEntry(const std::string& line, TCSVList& c) {
  c.SetLine(line);
  return c.Count() >= 4;
}

bool Live(const std::string& line, time_t now, TCSVList& c) { return ReadEntry(line, c) && KeyAlive(c.Item(0), now); }

// Drops the malformed and dead lines; true when any went.
bool DropDead(TStringList& lines, time_t now) {
  TCSVList c;
  const size_t before = lines.size();
  std::erase_if(lines, [&](const std::string& l) { return !Live(l, now, c); });
  return lines.size() != before;
}

}  // namespace

bool KeyAlive(const std::string& issued, time_t now) {
  const long long s = SecondsSince(issued, now);
  return s > -kLife && s < kLife;
}

bool AppendKeyLine(const std::string& folder, const std::string& line, time_t now) {
  // Lines come in issue order, so the first line tells whether an hour's worth of dead lines
  // has gathered at the head.
  auto whole = [&](const std::string& first, long long size) {
    TCSVList c;
    if (size > kKeyListMaxBytes || !ReadEntry(first, c)) return true;
    const long long s = SecondsSince(c.Item(0), now);
    return s >= 2 * kLife || s <= -kLife;
  };
  auto change = [&](TStringList& lines) {
    DropDead(lines, now);
    // A flood of live codes: keep the newest half of the bound.
    long long bytes = 0;
    size_t keep = lines.size();
    while (keep > 0 && bytes + static_cast<long long>(lines[keep - 1].size()) + 2 <= kKeyListMaxBytes / 2)
      bytes += static_cast<long long>(lines[--keep].size()) + 2;
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(keep, lines.size() - 1)));
    return TRewrite::Save;
  };
  return AppendLineOrRewrite(folder + kKeyList, line, whole, change, kDurable);
}

TKeyLookup LookupKey(const std::string& folder, const std::string& id, time_t now, std::string& code) {
  code.clear();
  const std::string path = folder + kKeyList;
  if (!FileExists(path)) return TKeyLookup::NoList;
  bool read = false, existed = true, found = false;
  const bool ok = RewriteLines(path, [&](TStringList& lines, bool there) {
    read = true;
    existed = there;
    if (!there) return TRewrite::Keep;
    const bool dropped = DropDead(lines, now);
    TCSVList c;
    for (const std::string& l : lines) {
      if (ReadEntry(l, c) && c.Item(2) == id) {
        code = c.Item(3);
        found = true;
        break;
      }
    }
    if (!dropped) return TRewrite::Keep;
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  }, kDurable);
  if (!read) return TKeyLookup::Unreadable;
  if (!existed) return TKeyLookup::NoList;
  if (!ok) return TKeyLookup::WriteFailed;
  return found ? TKeyLookup::Found : TKeyLookup::Missing;
}

bool CheckKey(const std::string& folder, const std::string& id, const std::string& code, time_t now, bool take) {
  if (id.empty()) return false;
  const std::string path = folder + kKeyList;
  if (!FileExists(path)) return false;
  TCSVList c;
  if (!take) {
    bool right = false;
    WalkLinesBackward(path, [&](const std::string& line) {
      if (!Live(line, now, c) || c.Item(2) != id) return TWalk::Next;
      right = c.Item(3) == code;
      return TWalk::Stop;
    });
    return right;
  }
  bool right = false;
  const bool ok = RewriteLines(path, [&](TStringList& lines, bool existed) {
    if (!existed) return TRewrite::Keep;
    for (size_t i = lines.size(); i-- > 0;) {
      if (!Live(lines[i], now, c) || c.Item(2) != id) continue;
      right = c.Item(3) == code;
      if (right) lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
    if (!right) return TRewrite::Keep;
    DropDead(lines, now);
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  }, kDurable);
  // A code that could not be taken out of the list would admit another post: refused.
  return ok && right;
}
