// Comments (comment.txt, Shift_JIS) and trackbacks (trackback.txt, UTF-8 lines).
//
// comment.txt runs from the oldest to the newest comment and can hold tens of thousands of
// lines, while every public page wants only the newest few. Those are read from the end of the
// file in blocks; nothing before the last wanted line is touched. Lookups by article read the
// whole file once per process and keep it, with an index from article id to its lines, for as
// long as the locked file is the same (inode, size and mtime).
#include "store/comments.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"
#include "text/jconvert.h"

namespace {

const char kCommentFile[] = "comment.txt";
const char kTrackBackFile[] = "trackback.txt";

bool IsBreak(char c) { return c == '\r' || c == '\n'; }

// Lines of an open file from the last to the first, read in blocks from the end. Empty lines
// are passed over (no reader accepts a line without fields).
class TBackwardLines {
public:
  explicit TBackwardLines(const TLockedFile& f) : FFd(f.Fd()), FPos(f.Stat().st_size) {}

  bool Next(std::string& line) {
    for (;;) {
      while (!FBuf.empty() && IsBreak(FBuf.back())) FBuf.pop_back();
      size_t k = FBuf.size();
      while (k > 0 && !IsBreak(FBuf[k - 1])) --k;
      if (k > 0 || (FPos == 0 && !FBuf.empty())) {
        line.assign(FBuf, k, std::string::npos);
        FBuf.resize(k);
        return true;
      }
      if (FPos == 0) return false;
      // The buffer holds at most a part of one line here: prepend the block before it.
      const off_t n = std::min<off_t>(FPos, FBlock);
      std::string block(static_cast<size_t>(n), '\0');
      off_t got = 0;
      while (got < n) {
        const ssize_t r = ::pread(FFd, block.data() + got, static_cast<size_t>(n - got), FPos - n + got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {  // the file ends earlier than it said: read what is there
          FPos = 0;
          break;
        }
        got += r;
      }
      if (FPos != 0) FPos -= n;
      block.resize(static_cast<size_t>(got));
      FBuf.insert(0, block);
      FBlock = std::min<off_t>(FBlock * 2, 1 << 20);
    }
  }

private:
  int FFd;
  off_t FPos;
  off_t FBlock = 16384;
  std::string FBuf;
};

// Calls f(line) for each non-empty line of text from the last to the first while f returns true.
template <class F>
void WalkBackward(std::string_view text, F&& f) {
  size_t end = text.size();
  while (end > 0) {
    while (end > 0 && IsBreak(text[end - 1])) --end;
    if (end == 0) break;
    size_t start = end;
    while (start > 0 && !IsBreak(text[start - 1])) --start;
    if (!f(text.substr(start, end - start))) return;
    end = start;
  }
}

// Calls f(offset, line, size) for each non-empty line of an open file, first to last, read in
// blocks (a line ends at LF, a CR before it dropped, or at a lone CR).
template <class F>
void ForEachLineOf(const TLockedFile& file, F&& f) {
  if (file.Stat().st_size <= 0) return;
  off_t bufAt = 0;  // file offset of buf[0]
  auto lines = [&](const char* base, size_t from, size_t n) {
    const char* b = base + from;
    while (const char* cr = static_cast<const char*>(memchr(b, '\r', n))) {
      if (cr > b) f(bufAt + (b - base), b, static_cast<size_t>(cr - b));
      n -= static_cast<size_t>(cr - b) + 1;
      b = cr + 1;
    }
    if (n > 0) f(bufAt + (b - base), b, n);
  };
  std::string buf(1 << 16, '\0');
  size_t held = 0;  // bytes of an unfinished line at the start of buf
  off_t pos = 0;
  for (;;) {
    if (held == buf.size()) buf.resize(buf.size() * 2);  // a line longer than the block
    const ssize_t n = ::pread(file.Fd(), buf.data() + held, buf.size() - held, pos);
    if (n < 0 && errno == EINTR) continue;
    const bool atEnd = n <= 0;
    const size_t size = held + (atEnd ? 0 : static_cast<size_t>(n));
    pos += atEnd ? 0 : n;
    const char* const base = buf.data();
    size_t start = 0;
    while (const char* lf = static_cast<const char*>(memchr(base + start, '\n', size - start))) {
      lines(base, start, static_cast<size_t>(lf - base) - start);
      start = static_cast<size_t>(lf - base) + 1;
    }
    if (atEnd) {
      lines(base, start, size - start);
      return;
    }
    held = size - start;
    memmove(buf.data(), base + start, held);
    bufAt += static_cast<off_t>(start);
  }
}

bool NoLeadByte(const char* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (IsSjisLead(static_cast<unsigned char>(p[i]))) return false;
  return true;
}

// Whether a comment line may belong to the article whose 40-byte id is `id`: a line of the
// writers' plain form ("f0","f1",... with an ASCII field 0) is decided by the bytes where the
// id stands, as ids are ASCII; a line of any other shape may, and is split by the caller.
bool MayBelong(const char* b, size_t n, const std::string& id) {
  const char* const e = b + n;
  const char* q0 = n > 3 && b[0] == '"' ? static_cast<const char*>(memchr(b + 1, '"', n - 1)) : nullptr;
  if (!q0 || e - q0 <= 3 || q0[1] != ',' || q0[2] != '"' || !NoLeadByte(b + 1, static_cast<size_t>(q0 - b - 1)))
    return true;
  const char* const f = q0 + 3;
  return e - f >= 41 && f[40] == '"' && memcmp(f, id.data(), 40) == 0;
}

bool IsCommentCount(int n) { return n >= 6 && n <= 8; }
bool IsHiddenComment(const TCSVList& c) { return c.Count() >= 7 && c.Item(6) == "1"; }

// ---------------------------------------------------------------------------------------------
// comment.idx and trackback.idx: where each article's lines lie in comment.txt and
// trackback.txt, so a page that wants a few articles' comments or pings reads just those lines,
// however long the file. Each is derived from its file, trusted only while that file is the one
// it was made from (device, inode, size, modification time), and made anew by the first reader
// that finds it stale.
//
// A header of kIndexHead bytes: "<magic> dev ino size sec nsec articles lines", blank-padded,
// "\n". Then one record of kRecord bytes per article, sorted by id: the id, the numbers of
// shown and of all lines (7 hex digits each), the place of its first offset (9 hex digits),
// "\n". Then the byte offsets of the articles' lines (15 hex digits and "\n" each), article by
// article, each article's in file order. Only lines that the readers take, of article ids, are
// listed.

constexpr size_t kIndexHead = 128, kRecord = 64, kOffset = 16;

// Which lines of a file an index lists: Classify gives the article id of a line the readers
// take and whether it is shown; false for any other line.
struct TIndexKind {
  const char* Source;
  const char* File;
  const char* Magic;
  bool (*Classify)(const char* b, size_t n, TCSVList& c, std::string& id, bool& shown);
};

bool ClassifyComment(const char* b, size_t n, TCSVList& c, std::string& id, bool& shown) {
  c.SetLine(std::string(b, n));
  if (!IsCommentCount(c.Count()) || !IsArticleId(c.Item(1))) return false;
  id = c.Item(1);
  shown = !IsHiddenComment(c);
  return true;
}

bool ClassifyTrackBack(const char* b, size_t n, TCSVList& c, std::string& id, bool& shown);

const TIndexKind kCommentIndex = {"comment.txt", "comment.idx", "VCIX1", ClassifyComment};
const TIndexKind kTrackBackIndex = {"trackback.txt", "trackback.idx", "VTIX1", ClassifyTrackBack};

struct TIndexRecord {
  int shown = 0, all = 0;
  long long first = 0;
};

std::string IndexStamp(const char* magic, const struct stat& st) {
  return std::string(magic) + " " + std::to_string(st.st_dev) + " " + std::to_string(st.st_ino) + " " +
         std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + " " +
         std::to_string(st.st_mtim.tv_nsec);
}

std::string IndexHeader(const char* magic, const struct stat& st, size_t articles, size_t lines) {
  std::string h = IndexStamp(magic, st) + " " + std::to_string(articles) + " " + std::to_string(lines);
  h.resize(kIndexHead - 1, ' ');
  return h + "\n";
}

std::string Hex(unsigned long long v, int width) {
  std::string out(static_cast<size_t>(width), '0');
  for (int i = width - 1; i >= 0 && v; --i, v >>= 4) out[static_cast<size_t>(i)] = "0123456789abcdef"[v & 15];
  return out;
}

bool ParseHex(const char* p, int width, long long& v) {
  v = 0;
  for (int i = 0; i < width; ++i) {
    const char c = p[i];
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) return false;
    v = v * 16 + d;
  }
  return true;
}

// Builds the index of the locked file, read in blocks.
bool BuildLineIndex(const std::string& accountFolder, const TLockedFile& file, const TIndexKind& kind) {
  struct TArticle {
    int shown = 0;
    std::vector<long long> offsets;
  };
  std::unordered_map<std::string, TArticle> articles;
  TCSVList c;
  std::string id;
  bool shown;
  ForEachLineOf(file, [&](off_t at, const char* b, size_t n) {
    if (!kind.Classify(b, n, c, id, shown)) return;
    TArticle& a = articles[id];
    a.offsets.push_back(at);
    if (shown) ++a.shown;
  });
  std::vector<std::pair<const std::string*, const TArticle*>> sorted;
  size_t lines = 0;
  for (const auto& [key, a] : articles) {
    sorted.emplace_back(&key, &a);
    lines += a.offsets.size();
  }
  std::sort(sorted.begin(), sorted.end(), [](const auto& x, const auto& y) { return *x.first < *y.first; });
  std::string out = IndexHeader(kind.Magic, file.Stat(), sorted.size(), lines);
  out.reserve(kIndexHead + sorted.size() * kRecord + lines * kOffset);
  long long first = 0;
  for (const auto& [key, a] : sorted) {
    out += *key + Hex(static_cast<unsigned>(a->shown), 7) + Hex(a->offsets.size(), 7) + Hex(first, 9) + "\n";
    first += static_cast<long long>(a->offsets.size());
  }
  for (const auto& entry : sorted)
    for (long long at : entry.second->offsets) out += Hex(static_cast<unsigned long long>(at), 15) + "\n";
  return SaveDerivedFile(accountFolder + kind.File, out);
}

// The index opened for its locked file; made anew when it is missing or stale.
class TLineIndex {
public:
  explicit TLineIndex(const TIndexKind& kind) : Kind(kind) {}
  ~TLineIndex() {
    if (FFd >= 0) ::close(FFd);
  }
  // False when no index can be had (the folder cannot be written, or the file changed within
  // the last moments): the caller scans.
  bool Open(const std::string& accountFolder, const TLockedFile& source) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (OpenFresh(accountFolder + Kind.File, source.Stat())) return true;
      const struct stat& st = source.Stat();
      if (attempt > 0 || TooFreshToDerive(st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec) ||
          !BuildLineIndex(accountFolder, source, Kind))
        return false;
    }
    return false;
  }
  // The index when it names the file as a plain stat of it finds it now (no lock is taken: the
  // counts are those of that moment); false otherwise.
  bool OpenIfFresh(const std::string& accountFolder) {
    struct stat st {};
    return ::stat((accountFolder + Kind.Source).c_str(), &st) == 0 && OpenFresh(accountFolder + Kind.File, st);
  }
  // The record of an article; false when it has no line.
  bool Find(const std::string& id, TIndexRecord& r) const {
    if (!IsArticleId(id)) return false;
    long long lo = 0, hi = FArticles;
    char rec[kRecord];
    while (lo < hi) {
      const long long mid = (lo + hi) / 2;
      if (!ReadAt(FFd, rec, kRecord, static_cast<off_t>(kIndexHead + mid * kRecord))) return false;
      const int cmp = memcmp(rec, id.data(), 40);
      if (cmp == 0) {
        long long shown, all, first;
        if (!ParseHex(rec + 40, 7, shown) || !ParseHex(rec + 47, 7, all) || !ParseHex(rec + 54, 9, first)) return false;
        r.shown = static_cast<int>(shown);
        r.all = static_cast<int>(all);
        r.first = first;
        return true;
      }
      if (cmp < 0) lo = mid + 1;
      else hi = mid;
    }
    return false;
  }
  // The offsets of an article's lines in the file, in file order.
  bool Offsets(const TIndexRecord& r, std::vector<long long>& out) const {
    out.clear();
    if (r.all <= 0) return true;
    if (r.first < 0 || r.first + r.all > FLines) return false;
    std::string bytes(static_cast<size_t>(r.all) * kOffset, '\0');
    const off_t at = static_cast<off_t>(kIndexHead + FArticles * kRecord + r.first * kOffset);
    if (!ReadAt(FFd, bytes.data(), bytes.size(), at)) return false;
    for (int i = 0; i < r.all; ++i) {
      long long v;
      if (!ParseHex(bytes.data() + static_cast<size_t>(i) * kOffset, 15, v)) return false;
      out.push_back(v);
    }
    return true;
  }

private:
  bool OpenFresh(const std::string& path, const struct stat& st) {
    if (FFd >= 0) ::close(FFd);
    FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0) return false;
    char head[kIndexHead];
    if (!ReadAt(FFd, head, kIndexHead, 0)) return false;
    const std::string h(head, kIndexHead);
    // The stamp part must match; the counts follow it.
    const std::string stamp = IndexStamp(Kind.Magic, st) + " ";
    if (h.compare(0, stamp.size(), stamp) != 0) return false;
    unsigned long long articles = 0, lines = 0;
    if (sscanf(h.c_str() + stamp.size(), "%llu %llu", &articles, &lines) != 2) return false;
    struct stat own {};
    if (articles > (1ULL << 32) || lines > (1ULL << 40) || ::fstat(FFd, &own) != 0 ||
        static_cast<unsigned long long>(own.st_size) != kIndexHead + articles * kRecord + lines * kOffset)
      return false;
    FArticles = static_cast<long long>(articles);
    FLines = static_cast<long long>(lines);
    return true;
  }
  const TIndexKind& Kind;
  int FFd = -1;
  long long FArticles = 0, FLines = 0;
};

// The line of a file that starts at `at` (without its break).
bool ReadLineAt(const TLockedFile& file, long long at, std::string& line) {
  line.clear();
  char block[512];
  for (;;) {
    const ssize_t n = ::pread(file.Fd(), block, sizeof block, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return !line.empty();
    const char* brk = nullptr;
    for (ssize_t i = 0; i < n && !brk; ++i)
      if (IsBreak(block[i])) brk = block + i;
    if (brk) {
      line.append(block, static_cast<size_t>(brk - block));
      return true;
    }
    line.append(block, static_cast<size_t>(n));
    at += n;
  }
}

// ---------------------------------------------------------------------------------------------
// The whole comment file, kept for the process while the file stays the same (the pages that
// walk all comments of an account).

struct TCommentFileMemo {
  bool valid = false;
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  struct timespec mtime {};
  std::string text;

  bool Matches(const std::string& p, const struct stat& st) const {
    return valid && path == p && dev == st.st_dev && ino == st.st_ino && size == st.st_size &&
           mtime.tv_sec == st.st_mtim.tv_sec && mtime.tv_nsec == st.st_mtim.tv_nsec;
  }

  bool Load(const std::string& p, const TLockedFile& f) {
    Clear();
    if (!f.ReadAll(text)) {
      text.clear();
      return false;
    }
    const struct stat& st = f.Stat();
    path = p;
    dev = st.st_dev;
    ino = st.st_ino;
    size = st.st_size;
    mtime = st.st_mtim;
    valid = true;
    return true;
  }

  void Clear() {
    valid = false;
    path.clear();
    text.clear();
  }
};

TCommentFileMemo& CommentMemo() {
  static TCommentFileMemo memo;
  return memo;
}

// Calls f(line) for the comment lines from the last to the first (only those that may belong
// to articleId when it is given) while f returns true. wantFew: the walk is expected to stop
// early, so a file not yet in memory is read from its end.
template <class F>
void WalkComments(const std::string& accountFolder, const std::string& articleId, bool wantFew, F&& f) {
  const std::string path = accountFolder + kCommentFile;
  TLockedFile file;
  if (!file.Open(path, TOpen::Read)) return;
  if (!articleId.empty()) {
    // An article's lines: through comment.idx, or a scan that keeps only its lines.
    std::vector<long long> offsets;
    TLineIndex index(kCommentIndex);
    TIndexRecord r;
    if (IsArticleId(articleId) && index.Open(accountFolder, file)) {
      if (!index.Find(articleId, r) || !index.Offsets(r, offsets)) return;
      std::string line;
      for (size_t i = offsets.size(); i-- > 0;)
        if (ReadLineAt(file, offsets[i], line) && !f(std::string_view(line))) return;
      return;
    }
    std::vector<std::string> found;
    ForEachLineOf(file, [&](off_t, const char* b, size_t n) {
      if (!IsArticleId(articleId) || MayBelong(b, n, articleId)) found.emplace_back(b, n);
    });
    for (size_t i = found.size(); i-- > 0;)
      if (!f(std::string_view(found[i]))) return;
    return;
  }
  TCommentFileMemo& memo = CommentMemo();
  if (!memo.Matches(path, file.Stat())) {
    if (wantFew) {
      TBackwardLines lines(file);
      std::string line;
      while (lines.Next(line))
        if (!f(std::string_view(line))) return;
      return;
    }
    if (!memo.Load(path, file)) return;
  }
  WalkBackward(memo.text, f);
}

void ForgetComments() { CommentMemo().Clear(); }

// The approved form of a comment line: its first six fields and "0". A quote inside a field
// (only a hand-written line can hold one) is doubled so the line reads back the same.
std::string ApprovedLine(const TCSVList& c) {
  std::vector<std::string> v;
  for (int i = 0; i < 6; ++i) v.push_back(ReplaceAll(c.Item(i), "\"", "\"\""));
  v.push_back("0");
  return MakeRecordLine(v);
}

std::string OneLine(std::string line) {
  line.erase(std::remove_if(line.begin(), line.end(), [](char c) { return IsBreak(c); }), line.end());
  return line;
}

// A trackback line in the system code page: UTF-8 lines are converted; anything else (a line
// written by hand in Shift_JIS, a ping in another character set) is read as it stands.
std::string DecodeTrackBackLine(const std::string& raw) {
  std::string_view s(raw);
  if (s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);  // a byte-order mark
  const std::string line(s);
  return IsValidUtf8(line) ? Utf8ToSjis(line) : line;
}

// True when an id can only be equal to a field of a line that holds its bytes as they are:
// letters and digits survive the UTF-8 conversion unchanged and never start inside a character.
bool PlainId(const std::string& id) {
  return !id.empty() && std::all_of(id.begin(), id.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
         });
}

// The writers' form of a trackback line in valid UTF-8: eight quoted fields with no quote inside
// (the receiver removes them), as `"f0","f1",...,"f7"`. Its fields are where the quotes say, and
// the same as the reader finds after the conversion (which makes no quote, comma or blank and
// leaves no half character). False for any other line.
bool PlainTrackBackFields(const char* b, size_t n, std::string_view (&f)[8]) {
  if (n < 2 || b[0] != '"' || b[n - 1] != '"') return false;
  size_t at = 1;
  for (int i = 0; i < 8; ++i) {
    const char* q = static_cast<const char*>(memchr(b + at, '"', n - at));
    if (!q) return false;
    const size_t end = static_cast<size_t>(q - b);
    f[i] = std::string_view(b + at, end - at);
    if (i == 7) {
      if (end != n - 1) return false;
    } else if (end + 3 > n || b[end + 1] != ',' || b[end + 2] != '"') {
      return false;
    }
    at = end + 3;
  }
  return IsValidUtf8(std::string(b, n));
}

bool ClassifyTrackBack(const char* b, size_t n, TCSVList& c, std::string& id, bool& shown) {
  std::string_view f[8];
  if (PlainTrackBackFields(b, n, f)) {
    id.assign(f[3]);
    shown = f[0] == "1";
  } else {
    c.SetLine(DecodeTrackBackLine(std::string(b, n)));
    if (c.Count() != 8) return false;
    id = c.Item(3);
    shown = c.Item(0) == "1";
  }
  return IsArticleId(id);
}

// A trackback record from its line; false for a line that the readers do not take.
bool ReadTrackBack(const std::string& raw, TCSVList& c, TTrackBack& t) {
  c.SetLine(DecodeTrackBackLine(raw));
  if (c.Count() != 8) return false;
  t.visible = c.Item(0) == "1";
  t.date = c.Item(1);
  t.id = c.Item(2);
  t.logid = c.Item(3);
  t.blogname = c.Item(4);
  t.title = c.Item(5);
  t.excerpt = c.Item(6);
  t.url = c.Item(7);
  return true;
}

// Appends one record line (CR LF added) under the lock. A last line without its break (a hand
// edit) would swallow the new one: a new line is started then. Every writer ends its line with
// CR LF, so a break seen here stays; at worst, when two writers race to mend the same file, one
// empty line results, which no reader counts.
bool AppendRecordLine(const std::string& path, std::string one) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    struct stat st {};
    char last = '\n';
    if (fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && !IsBreak(last))
      one.insert(0, "\r\n");
    ::close(fd);
  }
  return AppendLineToFile(path, one);
}

// Removes the trackback line nearest the end whose id is trackbackId (and whose article is
// articleId when one is given); receivedDate gets its receiving time.
bool RemoveTrackBack(const std::string& accountFolder, const std::string& trackbackId, const std::string* articleId,
                     std::string* receivedDate) {
  if (trackbackId.empty()) return false;
  bool removed = false;
  const bool ok = RewriteLines(accountFolder + kTrackBackFile, [&](TStringList& lines, bool existed) {
    if (!existed) return TRewrite::Keep;
    const bool plain = PlainId(trackbackId);
    TCSVList c;
    for (size_t i = lines.size(); i-- > 0;) {
      if (plain && lines[i].find(trackbackId) == std::string::npos) continue;
      c.SetLine(DecodeTrackBackLine(lines[i]));
      if (c.Count() != 8 || c.Item(2) != trackbackId || (articleId && c.Item(3) != *articleId)) continue;
      if (receivedDate) *receivedDate = c.Item(1);
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
      removed = true;
      break;
    }
    if (!removed) return TRewrite::Keep;
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  });
  return ok && removed;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void LoadCommentList(const std::string& accountFolder, const std::string& articleId, bool includeHidden,
                     TCommentList& list, int limit) {
  LoadCommentList(accountFolder, articleId, includeHidden, list, limit, {});
}

void LoadCommentList(const std::string& accountFolder, const std::string& articleId, bool includeHidden,
                     TCommentList& list, int limit, const std::function<bool(const std::string& logid)>& keep) {
  list.clear();
  TCSVList c;
  WalkComments(accountFolder, articleId, limit > 0, [&](std::string_view line) {
    c.SetLine(std::string(line));
    if (!IsCommentCount(c.Count())) return true;
    if (!articleId.empty() && c.Item(1) != articleId) return true;
    const bool hidden = IsHiddenComment(c);
    if (hidden && !includeHidden) return true;
    if (keep && !keep(c.Item(1))) return true;
    TCommentIndex r;
    r.category = c.Item(0);
    r.logid = c.Item(1);
    r.id = c.Item(2);
    r.date = c.Item(3);
    r.name = c.Item(4);
    r.comment = c.Item(5);
    r.visible = !hidden;
    if (c.Count() == 8) r.address = c.Item(7);
    list.push_back(std::move(r));
    return !(limit > 0 && static_cast<long long>(list.size()) >= static_cast<long long>(limit) + 1);
  });
}

void CountComments(const std::string& accountFolder, const std::string& articleId, int& hidden, int& total) {
  hidden = total = 0;
  TCSVList c;
  WalkComments(accountFolder, articleId, false, [&](std::string_view line) {
    c.SetLine(std::string(line));
    if (!IsCommentCount(c.Count())) return true;
    if (!articleId.empty() && c.Item(1) != articleId) return true;
    ++total;
    if (IsHiddenComment(c)) ++hidden;
    return true;
  });
}

std::vector<int> CountArticleComments(const std::string& accountFolder, const std::vector<std::string>& ids,
                                      bool includeHidden) {
  std::vector<int> shown, all;
  CountArticleComments(accountFolder, ids, shown, all);
  return includeHidden ? all : shown;
}

void CountArticleComments(const std::string& accountFolder, const std::vector<std::string>& ids, std::vector<int>& shown,
                          std::vector<int>& all) {
  shown.assign(ids.size(), 0);
  all.assign(ids.size(), 0);
  if (ids.empty()) return;
  TLineIndex index(kCommentIndex);
  TLockedFile file;
  const bool fresh = index.OpenIfFresh(accountFolder);
  if (!fresh && !file.Open(accountFolder + kCommentFile, TOpen::Read)) return;
  if (fresh || index.Open(accountFolder, file)) {
    TIndexRecord r;
    for (size_t i = 0; i < ids.size(); ++i)
      if (index.Find(ids[i], r)) {
        shown[i] = r.shown;
        all[i] = r.all;
      }
    return;
  }
  // No index can be kept: one pass over the file.
  std::unordered_multimap<std::string_view, size_t> wanted;
  for (size_t i = 0; i < ids.size(); ++i) wanted.emplace(ids[i], i);
  TCSVList c;
  ForEachLineOf(file, [&](off_t, const char* b, size_t n) {
    c.SetLine(std::string(b, n));
    if (!IsCommentCount(c.Count())) return;
    const bool hidden = IsHiddenComment(c);
    const auto [from, to] = wanted.equal_range(c.Item(1));
    for (auto it = from; it != to; ++it) {
      ++all[it->second];
      if (!hidden) ++shown[it->second];
    }
  });
}

void LoadTrackBackList(const std::string& accountFolder, const std::string& articleId, TTrackBackList& list) {
  list.clear();
  TLockedFile file;
  if (!file.Open(accountFolder + kTrackBackFile, TOpen::Read)) return;
  TCSVList c;
  TTrackBack t;
  auto take = [&](const std::string& raw) {
    if (ReadTrackBack(raw, c, t) && (articleId.empty() || t.logid == articleId)) list.push_back(t);
  };
  if (IsArticleId(articleId)) {
    // One article's pings: through trackback.idx, else a scan that splits only its lines.
    TLineIndex index(kTrackBackIndex);
    if (index.Open(accountFolder, file)) {
      TIndexRecord r;
      std::vector<long long> offsets;
      if (!index.Find(articleId, r) || !index.Offsets(r, offsets)) return;
      std::string line;
      for (long long at : offsets)
        if (ReadLineAt(file, at, line)) take(line);
      return;
    }
  }
  const bool plain = PlainId(articleId);
  ForEachLineOf(file, [&](off_t, const char* b, size_t n) {
    if (plain && !memmem(b, n, articleId.data(), articleId.size())) return;
    take(std::string(b, n));
  });
}

std::vector<int> CountArticleTrackBacks(const std::string& accountFolder, const std::vector<std::string>& ids) {
  std::vector<int> counts(ids.size(), 0);
  if (ids.empty()) return counts;
  TLineIndex index(kTrackBackIndex);
  TLockedFile file;
  const bool fresh = index.OpenIfFresh(accountFolder);
  if (!fresh && !file.Open(accountFolder + kTrackBackFile, TOpen::Read)) return counts;
  if (fresh || index.Open(accountFolder, file)) {
    TIndexRecord r;
    for (size_t i = 0; i < ids.size(); ++i)
      if (index.Find(ids[i], r)) counts[i] = r.all;
    return counts;
  }
  // No index now: one pass over the file, in blocks.
  std::unordered_multimap<std::string, size_t> wanted;
  for (size_t i = 0; i < ids.size(); ++i) wanted.emplace(ids[i], i);
  TCSVList c;
  std::string id;
  bool shown;
  ForEachLineOf(file, [&](off_t, const char* b, size_t n) {
    if (!ClassifyTrackBack(b, n, c, id, shown)) return;
    const auto [from, to] = wanted.equal_range(id);
    for (auto it = from; it != to; ++it) ++counts[it->second];
  });
  return counts;
}

bool AppendComment(const std::string& accountFolder, const std::string& line) {
  std::string one = OneLine(line);
  if (one.empty()) return false;
  ForgetComments();
  return AppendRecordLine(accountFolder + kCommentFile, one);
}

bool DeleteComment(const std::string& accountFolder, const std::string& articleId, const std::string& commentId) {
  bool removed = false;
  ForgetComments();
  const bool ok = RewriteLines(accountFolder + kCommentFile, [&](TStringList& lines, bool existed) {
    if (!existed) return TRewrite::Keep;
    TCSVList c;
    for (size_t i = lines.size(); i-- > 0;) {
      c.SetLine(lines[i]);
      if (!IsCommentCount(c.Count()) || c.Item(1) != articleId || c.Item(2) != commentId) continue;
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
      removed = true;
      break;
    }
    if (!removed) return TRewrite::Keep;
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  });
  return ok && removed;
}

bool ApproveComment(const std::string& accountFolder, const std::string& articleId, const std::string& commentId) {
  bool changed = false;
  ForgetComments();
  const bool ok = RewriteLines(accountFolder + kCommentFile, [&](TStringList& lines, bool existed) {
    if (!existed) return TRewrite::Keep;
    TCSVList c;
    for (size_t i = lines.size(); i-- > 0;) {
      c.SetLine(lines[i]);
      if (!IsCommentCount(c.Count()) || c.Item(1) != articleId || c.Item(2) != commentId) continue;
      lines[i] = ApprovedLine(c);
      changed = true;
      break;
    }
    return changed ? TRewrite::Save : TRewrite::Keep;
  });
  return ok && changed;
}

bool DeleteArticleComments(const std::string& accountFolder, const std::string& articleId) {
  ForgetComments();
  return RewriteLines(accountFolder + kCommentFile, [&](TStringList& lines, bool existed) {
    if (!existed) return TRewrite::Keep;
    TCSVList c;
    const size_t before = lines.size();
    std::erase_if(lines, [&](const std::string& l) {
      c.SetLine(l);
      return IsCommentCount(c.Count()) && c.Item(1) == articleId;
    });
    if (lines.size() == before) return TRewrite::Keep;
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  });
}

bool DeleteCategoryComments(const std::string& accountFolder, const std::string& categoryId) {
  if (categoryId.empty()) return true;  // no category has the empty id; empty fields are not one
  ForgetComments();
  return RewriteLines(accountFolder + kCommentFile, [&](TStringList& lines, bool existed) {
    if (!existed) return TRewrite::Keep;
    TCSVList c;
    const size_t before = lines.size();
    std::erase_if(lines, [&](const std::string& l) {
      c.SetLine(l);
      return c.Count() > 0 && c.Item(0) == categoryId;
    });
    if (lines.size() == before) return TRewrite::Keep;
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  });
}

bool AppendTrackBack(const std::string& accountFolder, const std::string& utf8Line) {
  const std::string one = OneLine(utf8Line);
  if (one.empty()) return false;
  return AppendRecordLine(accountFolder + kTrackBackFile, one);
}

bool DeleteTrackBack(const std::string& accountFolder, const std::string& trackbackId) {
  return RemoveTrackBack(accountFolder, trackbackId, nullptr, nullptr);
}

bool DeleteTrackBack(const std::string& accountFolder, const std::string& trackbackId, const std::string& articleId,
                     std::string& receivedDate) {
  receivedDate.clear();
  return RemoveTrackBack(accountFolder, trackbackId, &articleId, &receivedDate);
}
