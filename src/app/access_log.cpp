// The access log: one line per view, the three counts, download and fold.
//
// The counts read access.log incrementally: access.cnt in the account folder remembers, for a
// byte offset of the log (always just after a line break), the number of lines and the lines
// per day before it, and the bytes that end there; only the bytes after it are read. It is
// trusted only while the log is the same file (device, inode), at least that long and still
// holds those bytes at that place; otherwise the whole log is counted again.
#include <algorithm>
#include <cstdio>
#include <map>

#include "app/Unit1.h"
#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

constexpr size_t kCheckBytes = 64;           // bytes before the offset that must still match
constexpr long long kCacheStep = 4 * 1024;   // rewrite access.cnt after this much new log

// Copy(s, from, n) with 1-based positions, cut at the end of s.
std::string Copy(const std::string& s, size_t from, size_t n) {
  if (from < 1 || from > s.size()) return "";
  return s.substr(from - 1, n);
}

// Year, month and day parts of a stored date-time (positions 1-4, 6-7, 9-10).
std::string DayKey(const std::string& stamp) {
  return Copy(stamp, 1, 4) + "/" + Copy(stamp, 6, 2) + "/" + Copy(stamp, 9, 2);
}

std::string DayKey(const TDateTime& d) { return FormatDay(d); }

using TDayCounts = std::map<std::string, long long>;

struct TCounts {
  long long Lines = 0;
  TDayCounts Days;
  void Add(const TCounts& o) {
    Lines += o.Lines;
    for (const auto& [k, v] : o.Days) Days[k] += v;
  }
};

// Splits bytes into lines as the line readers do (CR LF, LF or CR; a final break adds no
// empty line). Counted holds the lines up to the last break that is known to be complete
// (a CR at the very end may still be followed by its LF); Pending the rest.
class TLineCounter {
public:
  explicit TLineCounter(long long start) : FCommitted(start), FPos(start) {}

  void Feed(const char* data, size_t size) {
    size_t commitAt = 0;
    bool commitHere = false;
    size_t i = 0;
    while (i < size) {
      if (FAfterCR) {  // a CR ended the line; a LF right after it belongs to that break
        FAfterCR = false;
        const bool lf = data[i] == '\n';
        if (lf) ++i;
        Commit(FPos + static_cast<long long>(i), commitAt, commitHere, i);
        if (lf) continue;
      }
      size_t j = i;
      while (j < size && data[j] != '\n' && data[j] != '\r') ++j;
      FLine.append(data + i, j - i);
      if (j == size) break;
      EndLine();
      if (data[j] == '\r') {
        FAfterCR = true;
      } else {
        Commit(FPos + static_cast<long long>(j) + 1, commitAt, commitHere, j + 1);
      }
      i = j + 1;
    }
    if (commitHere) FCheck = Last(FTail, data, commitAt);
    FTail = Last(FTail, data, size);
    FPos += static_cast<long long>(size);
  }

  // At the end of the file: a line without a final break counts too.
  TCounts Total() {
    TCounts all = Counted;
    all.Add(Pending);
    if (!FLine.empty()) {
      all.Lines += 1;
      CountFields(FLine, all);
    }
    return all;
  }

  TCounts Counted;
  long long CommittedOffset() const { return FCommitted; }
  const std::string& CheckBytes() const { return FCheck; }
  void SetCheckBytes(const std::string& s) { FCheck = s; FTail = s; }

private:
  // The last kCheckBytes of tail followed by the first n bytes of data.
  static std::string Last(const std::string& tail, const char* data, size_t n) {
    if (n >= kCheckBytes) return std::string(data + n - kCheckBytes, kCheckBytes);
    std::string s = tail + std::string(data, n);
    return s.size() <= kCheckBytes ? s : s.substr(s.size() - kCheckBytes);
  }
  void CountFields(const std::string& line, TCounts& into) {
    FCSV.SetLine(line);
    if (FCSV.Count() >= 2) ++into.Days[DayKey(FCSV.Item(0))];
  }
  void EndLine() {
    Pending.Lines += 1;
    CountFields(FLine, Pending);
    FLine.clear();
  }
  void Commit(long long offset, size_t& commitAt, bool& commitHere, size_t at) {
    Counted.Add(Pending);
    Pending = TCounts();
    FCommitted = offset;
    commitAt = at;
    commitHere = true;
  }

  TCounts Pending;
  long long FCommitted, FPos;
  bool FAfterCR = false;
  std::string FLine, FTail, FCheck;
  TCSVList FCSV;
};

std::string Hex(const std::string& s) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

bool Unhex(const std::string& h, std::string& out) {
  if (h.size() % 2) return false;
  out.clear();
  auto v = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < h.size(); i += 2) {
    const int a = v(h[i]), b = v(h[i + 1]);
    if (a < 0 || b < 0) return false;
    out += static_cast<char>(a * 16 + b);
  }
  return true;
}

struct TCountCache {
  TFileStamp Stamp;
  long long Offset = 0;
  std::string Check;
  TCounts Counts;
};

const char kCacheMagic[] = "velm access counts 1";

std::string CacheText(const TCountCache& c) {
  std::string t = std::string(kCacheMagic) + "\n";
  t += std::to_string(c.Stamp.Device) + " " + std::to_string(c.Stamp.Inode) + " " + std::to_string(c.Offset) + " " +
       std::to_string(c.Counts.Lines) + "\n";
  t += "x" + Hex(c.Check) + "\n";
  for (const auto& [k, v] : c.Counts.Days) t += "x" + Hex(k) + " " + std::to_string(v) + "\n";
  t += "end\n";
  return t;
}

bool ParseCache(const std::string& text, TCountCache& c) {
  const TStringList lines = SplitLines(text);
  if (lines.size() < 4 || lines[0] != kCacheMagic || lines.back() != "end") return false;
  unsigned long long dev, ino;
  long long offset, count;
  if (sscanf(lines[1].c_str(), "%llu %llu %lld %lld", &dev, &ino, &offset, &count) != 4 || offset < 0 || count < 0)
    return false;
  c.Stamp.Device = dev;
  c.Stamp.Inode = ino;
  c.Offset = offset;
  c.Counts.Lines = count;
  if (lines[2].empty() || lines[2][0] != 'x' || !Unhex(lines[2].substr(1), c.Check)) return false;
  if (c.Check.size() > kCheckBytes || c.Check.size() > static_cast<size_t>(offset)) return false;
  for (size_t i = 3; i + 1 < lines.size(); ++i) {
    const size_t sp = lines[i].find(' ');
    std::string key;
    long long n;
    if (sp == std::string::npos || lines[i][0] != 'x' || !Unhex(lines[i].substr(1, sp - 1), key) ||
        !StrToIntStrict(lines[i].substr(sp + 1), n))
      return false;
    c.Counts.Days[key] = n;
  }
  return true;
}

// Counts the log's lines, per day too, through the side file.
bool CountLog(const std::string& logPath, const std::string& cachePath, TCounts& out) {
  TCountCache cache;
  std::string text;
  bool useCache = FileExists(cachePath) && LoadTextFromFile(cachePath, text) && ParseCache(text, cache);

  for (int pass = 0; pass < 2; ++pass) {
    const long long from = useCache ? cache.Offset - static_cast<long long>(cache.Check.size()) : 0;
    TLineCounter counter(useCache ? cache.Offset : 0);
    if (useCache) {
      counter.Counted = cache.Counts;
      counter.SetCheckBytes(cache.Check);
    }
    std::string seen;  // the bytes before the offset, as the log holds them now
    bool stale = false, first = true;
    TFileStamp stamp;
    const bool read = ReadFileFrom(
        logPath, from,
        [&](const char* data, size_t size) {
          if (first) {
            first = false;
            stale = useCache && (stamp.Device != cache.Stamp.Device || stamp.Inode != cache.Stamp.Inode ||
                                 stamp.Size < cache.Offset);
          }
          if (stale) return;
          if (useCache && seen.size() < cache.Check.size()) {
            const size_t take = std::min(size, cache.Check.size() - seen.size());
            seen.append(data, take);
            data += take;
            size -= take;
            if (seen.size() == cache.Check.size() && seen != cache.Check) stale = true;
            if (stale || size == 0) return;
          }
          counter.Feed(data, size);
        },
        stamp);
    if (!read) return false;
    if (stamp.Size < 0) {  // no log
      out = TCounts();
      return true;
    }
    if (useCache && (first || seen.size() < cache.Check.size())) {
      // Nothing was read past the offset: the log must still be exactly that long and the same file.
      stale = stale || stamp.Device != cache.Stamp.Device || stamp.Inode != cache.Stamp.Inode ||
              stamp.Size < cache.Offset || seen != cache.Check;
    }
    if (stale) {
      useCache = false;
      continue;
    }
    out = counter.Total();
    if (!useCache || counter.CommittedOffset() - cache.Offset >= kCacheStep) {
      TCountCache next;
      next.Stamp = stamp;
      next.Offset = counter.CommittedOffset();
      next.Check = counter.CheckBytes();
      next.Counts = counter.Counted;
      SaveDerivedFile(cachePath, CacheText(next));  // made anew when lost or stale: no lock, no sync
    }
    return true;
  }
  return false;
}

}  // namespace

void TWebModule1::LogAccess() {
  const std::string folder = AccountFolder();
  if (!DirectoryExists(folder) && !ForceDirectories(folder)) return;
  const TDateTime now = Now();
  // The client's values (at most 1023 bytes each): the agent without its double quotes, the
  // address and the referrer escaped as the view log escapes them, so no quote ends a field.
  const std::string address = Escape(Request.RemoteAddr());
  std::string agent = Request.UserAgent();
  agent.erase(std::remove(agent.begin(), agent.end(), '"'), agent.end());
  const std::string line =
      "\"" + FormatStamp(now) + "\",\"" + address + "\",\"" + agent + "\",\"" + Escape(Request.Referer()) + "\"";

  if (Css.ACCESSLOGTYPE != 1) {
    AppendLineUnlessFound(folder + "access.log", line);
    return;
  }
  // One line per address and day: walk today's lines from the end.
  const std::string today = DayKey(now);
  TCSVList csv;
  AppendLineUnlessFound(folder + "access.log", line, [&](const std::string& l) {
    csv.SetLine(l);
    if (csv.Count() < 2) return TWalk::Next;
    if (DayKey(csv.Item(0)) != today) return TWalk::Stop;
    return csv.Item(1) == address ? TWalk::Found : TWalk::Next;
  });
}

void TWebModule1::AccessCounts(long long& total, long long& today, long long& yesterday) {
  total = today = yesterday = 0;
  const std::string folder = AccountFolder();
  TCounts counts;
  if (!CountLog(folder + "access.log", folder + "access.cnt", counts) || counts.Lines == 0) return;
  long long folded = 0;
  if (!StrToIntStrict(ReadFirstLine(folder + "raccess.txt", "0"), folded)) folded = 0;
  total = counts.Lines + folded;
  const TDateTime now = Now();
  auto day = [&](const std::string& key) {
    auto it = counts.Days.find(key);
    return it == counts.Days.end() ? 0LL : it->second;
  };
  today = day(DayKey(now));
  yesterday = day(DayKey(AddDays(now, -1)));
}

void TWebModule1::CounterLines(TStringList& page) {
  long long total, today, yesterday;
  AccessCounts(total, today, yesterday);
  page.push_back("今日は " + std::to_string(today) + "回" + "<br>");
  page.push_back("昨日は " + std::to_string(yesterday) + "回" + "<br>");
  page.push_back("トータル " + std::to_string(total) + "回" + "<br>");
}

int TWebModule1::DoDownloadLog(const TCommandEntry&) {
  const std::string name = "velm_access" + FormatCompactDay(Now()) + ".log";
  Response.ContentType = "application/x-octet-stream";
  Response.SetCustomHeader("Content-Disposition", "attachment; filename=" + name);
  Response.SetCustomHeader("filename", name);
  std::string bytes;
  LoadStreamFromFile(AccountFolder() + "access.log", bytes);
  Response.SetContentStream(std::move(bytes));
  return 1;
}

int TWebModule1::DoFoldLog(const TCommandEntry&) {
  const std::string folder = AccountFolder();
  // The count, raccess.txt and the delete all happen under the log's exclusive lock, so a view
  // that arrives meanwhile waits and lands in a new log instead of being lost.
  CountLinesThenDelete(folder + "access.log", [&](long long lines) {
    if (!SaveTextToFile(folder + "raccess.txt", std::to_string(lines), kFileTries - 1, kFilePauseMs)) return false;
    DeleteFile(folder + "access.cnt");
    return true;
  });
  return 1;
}
