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

// ---------------------------------------------------------------------------------------------
// Reading under the shared lock (the file access rule: 101 tries, 500 ms apart; the pause polls
// in short steps so a lock released early is taken at once).

bool LockShared(int fd) {
  for (int t = 0; t < kFileTries; ++t) {
    if (flock(fd, LOCK_SH | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (t + 1 == kFileTries) break;
    for (int waited = 0, step = 1; waited < kFilePauseMs;) {
      const int ms = std::min(step, kFilePauseMs - waited);
      usleep(static_cast<useconds_t>(ms) * 1000);
      waited += ms;
      if (flock(fd, LOCK_SH | LOCK_NB) == 0) return true;
      step = std::min(step * 2, 16);
    }
  }
  return false;
}

// An open, share-locked data file; closed (and unlocked) on destruction.
class TLockedFile {
public:
  TLockedFile() = default;
  TLockedFile(const TLockedFile&) = delete;
  TLockedFile& operator=(const TLockedFile&) = delete;
  ~TLockedFile() {
    if (FFd >= 0) ::close(FFd);
  }

  // False when the file is missing or the lock could not be had.
  bool Open(const std::string& path) {
    for (int round = 0; round < 1000; ++round) {
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return false;
      if (!LockShared(fd)) {
        ::close(fd);
        return false;
      }
      struct stat named {};
      if (fstat(fd, &FStat) == 0 && stat(path.c_str(), &named) == 0 && named.st_dev == FStat.st_dev &&
          named.st_ino == FStat.st_ino) {
        FFd = fd;
        return true;
      }
      ::close(fd);  // replaced or removed while we waited: take what the path names now
    }
    return false;
  }

  int Fd() const { return FFd; }
  const struct stat& Stat() const { return FStat; }

  bool ReadAll(std::string& out) const {
    // Straight into the string: the size is known and no writer can change it under our lock.
    out.resize(FStat.st_size > 0 ? static_cast<size_t>(FStat.st_size) : 0);
    size_t got = 0;
    for (;;) {
      if (got == out.size()) out.resize(got + 65536);
      const ssize_t n = ::pread(FFd, out.data() + got, out.size() - got, static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        out.resize(got);
        return n == 0;
      }
      got += static_cast<size_t>(n);
    }
  }

private:
  int FFd = -1;
  struct stat FStat {};
};

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

// ---------------------------------------------------------------------------------------------
// The whole comment file, kept for the process while the file stays the same.

struct TLineSpan {
  uint32_t pos, len;
};

// Field 1 of a line as the writers form it ("f0","f1",...), without splitting the line: the
// quoted fields 0 and 1 hold no quote and no double-byte character, and field 1 is not followed
// by a doubled quote. Lines of any other shape give false and are split when looked up.
bool NoLeadByte(const char* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (IsSjisLead(static_cast<unsigned char>(p[i]))) return false;
  return true;
}

bool FastArticleField(std::string_view line, std::string_view& field) {
  const size_t n = line.size();
  if (n < 4 || line[0] != '"') return false;
  const char* const b = line.data();
  const char* q0 = static_cast<const char*>(memchr(b + 1, '"', n - 1));  // must close field 0
  if (!q0 || b + n - q0 < 3 || q0[1] != ',' || q0[2] != '"') return false;
  const char* const s = q0 + 3;
  const char* q1 = static_cast<const char*>(memchr(s, '"', static_cast<size_t>(b + n - s)));
  if (!q1 || (q1 + 1 < b + n && q1[1] == '"')) return false;
  if (!NoLeadByte(b + 1, static_cast<size_t>(q0 - b - 1)) || !NoLeadByte(s, static_cast<size_t>(q1 - s))) return false;
  field = std::string_view(s, static_cast<size_t>(q1 - s));
  return true;
}

struct TCommentFileMemo {
  bool valid = false;
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  struct timespec mtime {};
  std::string text;
  bool indexed = false;
  int lookups = 0;
  std::unordered_map<std::string_view, std::vector<TLineSpan>> byArticle;  // keys point into text
  std::vector<TLineSpan> other;                                        // lines of other shapes

  bool Matches(const std::string& p, const struct stat& st) const {
    return valid && path == p && dev == st.st_dev && ino == st.st_ino && size == st.st_size &&
           mtime.tv_sec == st.st_mtim.tv_sec && mtime.tv_nsec == st.st_mtim.tv_nsec;
  }

  bool Load(const std::string& p, const TLockedFile& f) {
    Clear();
    if (!f.ReadAll(text) || text.size() > UINT32_MAX) {
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
    valid = indexed = false;
    lookups = 0;
    byArticle.clear();
    other.clear();
    path.clear();
    text.clear();
  }

  // Calls g(span, line) for each non-empty line, first to last.
  template <class G>
  void ForEachLine(G&& g) const {
    const char* const base = text.data();
    const char* const end = base + text.size();
    // The next CR and the next LF, each found with memchr.
    const char* cr = static_cast<const char*>(memchr(base, '\r', text.size()));
    const char* lf = static_cast<const char*>(memchr(base, '\n', text.size()));
    for (const char* p = base; p < end;) {
      if (cr && cr < p) cr = static_cast<const char*>(memchr(p, '\r', static_cast<size_t>(end - p)));
      if (lf && lf < p) lf = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
      const char* e = !cr ? (lf ? lf : end) : (!lf ? cr : std::min(cr, lf));
      if (e > p)
        g(TLineSpan{static_cast<uint32_t>(p - base), static_cast<uint32_t>(e - p)},
          std::string_view(p, static_cast<size_t>(e - p)));
      p = e + 1;
    }
  }

  void BuildIndex() {
    ForEachLine([&](TLineSpan span, std::string_view line) {
      std::string_view key;
      if (FastArticleField(line, key)) byArticle[key].push_back(span);
      else other.push_back(span);
    });
    indexed = true;
  }

  // Calls f(line) for the lines that may belong to the article, from the last to the first.
  // The first lookup of a file scans it; a second one builds the index for all that follow.
  template <class F>
  void WalkArticle(const std::string& articleId, F&& f) {
    if (!indexed && lookups++ == 0) {
      std::vector<TLineSpan> found;
      ForEachLine([&](TLineSpan span, std::string_view line) {
        std::string_view key;
        if (!FastArticleField(line, key) || key == articleId) found.push_back(span);
      });
      for (size_t i = found.size(); i-- > 0;)
        if (!f(std::string_view(text).substr(found[i].pos, found[i].len))) return;
      return;
    }
    if (!indexed) BuildIndex();
    static const std::vector<TLineSpan> none;
    const auto it = byArticle.find(articleId);
    const std::vector<TLineSpan>& mine = it == byArticle.end() ? none : it->second;
    size_t a = mine.size(), b = other.size();
    while (a > 0 || b > 0) {
      TLineSpan s;
      if (b == 0 || (a > 0 && mine[a - 1].pos > other[b - 1].pos)) s = mine[--a];
      else s = other[--b];
      if (!f(std::string_view(text).substr(s.pos, s.len))) return;
    }
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
  if (!file.Open(path)) return;
  TCommentFileMemo& memo = CommentMemo();
  if (!memo.Matches(path, file.Stat())) {
    if (wantFew && articleId.empty()) {
      TBackwardLines lines(file);
      std::string line;
      while (lines.Next(line))
        if (!f(std::string_view(line))) return;
      return;
    }
    if (!memo.Load(path, file)) return;
  }
  if (articleId.empty()) WalkBackward(memo.text, f);
  else memo.WalkArticle(articleId, f);
}

void ForgetComments() { CommentMemo().Clear(); }

bool IsCommentCount(int n) { return n >= 6 && n <= 8; }
bool IsHiddenComment(const TCSVList& c) { return c.Count() >= 7 && c.Item(6) == "1"; }

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
  list.clear();
  TCSVList c;
  WalkComments(accountFolder, articleId, limit > 0, [&](std::string_view line) {
    c.SetLine(std::string(line));
    if (!IsCommentCount(c.Count())) return true;
    if (!articleId.empty() && c.Item(1) != articleId) return true;
    const bool hidden = IsHiddenComment(c);
    if (hidden && !includeHidden) return true;
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

void LoadTrackBackList(const std::string& accountFolder, const std::string& articleId, TTrackBackList& list) {
  list.clear();
  const std::string path = accountFolder + kTrackBackFile;
  TStringList lines;
  if (!FileExists(path) || !LoadLinesFromFile(path, lines)) return;
  const bool plain = PlainId(articleId);
  TCSVList c;
  for (const std::string& raw : lines) {
    if (raw.empty()) continue;
    if (plain && raw.find(articleId) == std::string::npos) continue;
    c.SetLine(DecodeTrackBackLine(raw));
    if (c.Count() != 8) continue;
    if (!articleId.empty() && c.Item(3) != articleId) continue;
    TTrackBack t;
    t.visible = c.Item(0) == "1";
    t.date = c.Item(1);
    t.id = c.Item(2);
    t.logid = c.Item(3);
    t.blogname = c.Item(4);
    t.title = c.Item(5);
    t.excerpt = c.Item(6);
    t.url = c.Item(7);
    list.push_back(std::move(t));
  }
}

bool AppendComment(const std::string& accountFolder, const std::string& line) {
  std::string one = OneLine(line);
  if (one.empty()) return false;
  ForgetComments();
  const std::string path = accountFolder + kCommentFile;
  // A last line without its break (a hand edit) would swallow the new one: start a new line.
  // Every writer ends its line with CR LF, so a break seen here stays; at worst, when two
  // posters race to mend the same file, one empty line results, which no reader counts.
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
  return RewriteLines(accountFolder + kTrackBackFile, [&](TStringList& lines, bool) {
    lines.push_back(one);
    return TRewrite::Save;
  });
}

bool DeleteTrackBack(const std::string& accountFolder, const std::string& trackbackId) {
  return RemoveTrackBack(accountFolder, trackbackId, nullptr, nullptr);
}

bool DeleteTrackBack(const std::string& accountFolder, const std::string& trackbackId, const std::string& articleId,
                     std::string& receivedDate) {
  receivedDate.clear();
  return RemoveTrackBack(accountFolder, trackbackId, &articleId, &receivedDate);
}
