// The file access rule: every data file is read under a shared lock (flock) and changed under an
// exclusive one; a lock that cannot be had is retried, 101 tries with 500 ms between them.
// Writes never change a file in place (appends aside): the new content goes to a temporary file
// in the same folder that is fsynced and renamed over the path while the lock is held, so a
// reader sees the old or the new file whole. After every lock the path is checked to still name
// the locked file; a process that waited on a file that has since been replaced or removed
// lets it go and takes the one that is there now.
#include "store/file_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string_view>

#include "text/DString.h"

namespace {

constexpr size_t kBlock = 65536;

void SleepMs(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

long long NowMs() {
  timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// The retry budget of one operation: `tries` attempts with `pause` ms between them make a
// deadline of (tries - 1) x pause from the first attempt (50 s for the rule's 101 x 500 ms).
// Within it the lock is polled in short steps (1, 2, 4, 8, then every 16 ms) instead of once per
// 500 ms: a file held for a moment costs a moment, and the deadline stays what the rule says.
// Failed opens that may pass, locks held by others and reopens after a replacement all draw on
// the same deadline, so an operation never waits longer than that in all.
class TTries {
public:
  TTries(int tries, int pauseMs)
      : FPauseMs(std::max(pauseMs, 0)), FDeadline(NowMs() + static_cast<long long>(std::max(tries, 1) - 1) * FPauseMs) {}

  // Takes the lock on fd, waiting while the deadline allows. One attempt even past it. Locks are
  // held for microseconds (an appended line, a read): the first retries come after 50 us and
  // the steps double up to 16 ms, so a busy moment costs a moment.
  bool Lock(int fd, int op, bool& waited) {
    waited = false;
    for (long long stepUs = 50;; stepUs = std::min<long long>(stepUs * 2, 16000), waited = true) {
      if (flock(fd, op | LOCK_NB) == 0) return true;
      if (errno != EWOULDBLOCK && errno != EINTR) return false;
      const long long left = FDeadline - NowMs();
      if (left <= 0) return false;
      usleep(static_cast<useconds_t>(std::min(stepUs, left * 1000)));
    }
  }

  // A failed open that may pass later (descriptors or memory short, a signal): one pause.
  bool Pause() {
    const long long left = FDeadline - NowMs();
    if (left <= 0) return false;
    SleepMs(static_cast<int>(std::min<long long>(FPauseMs, left)));
    return true;
  }

private:
  int FPauseMs;
  long long FDeadline;
};

bool Transient(int err) { return err == EINTR || err == EMFILE || err == ENFILE || err == ENOMEM || err == EAGAIN; }

// Whether path still names the file open on fd.
bool StillNamed(int fd, const std::string& path, struct stat& held) {
  struct stat named {};
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A missing file for a rewrite is made already locked: a temporary file is created and locked,
// then linked in under the path (link fails when the path exists), so no other process can see
// the new file before this one holds it. -1 with errno EEXIST when the path exists after all.
int CreateLocked(const std::string& path) {
  static unsigned serial = 0;
  const std::string folder = FolderOf(path);
  const std::string tmp = folder + "." + path.substr(folder.size()) + "." + std::to_string(getpid()) + ".lock" +
                          std::to_string(serial++) + ".tmp";
  const int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ::link(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    ::close(fd);
    if (err == EPERM || err == ENOTSUP || err == EOPNOTSUPP)  // no hard links here: plain create
      return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    errno = err;
    return -1;
  }
  ::unlink(tmp.c_str());
  return fd;
}

}  // namespace

bool TLockedFile::Open(const std::string& path, TOpen how, int tries, int pauseMs) {
  Close();
  FMissing = FCreated = false;
  TTries budget(tries, pauseMs);
  const bool shared = how == TOpen::Read;
  const int flags = (shared ? O_RDONLY : how == TOpen::Append ? O_RDWR | O_APPEND : O_RDWR) | O_CLOEXEC;
  for (int round = 0; round < 100000; ++round) {  // a reopen follows only another writer's change
    bool created = false;
    int fd = ::open(path.c_str(), flags);
    if (fd < 0 && errno == ENOENT) {
      if (how == TOpen::Read || how == TOpen::Exclusive) {
        FMissing = true;
        return false;
      }
      fd = how == TOpen::Append ? ::open(path.c_str(), flags | O_CREAT, 0644) : CreateLocked(path);
      if (fd < 0 && errno == EEXIST) continue;  // another process created it just now: open that one
      created = fd >= 0 && how == TOpen::Rewrite;
    }
    if (fd < 0) {
      // Only a passing shortage is worth waiting for; a missing folder or a refused permission
      // stays as it is, and waiting 50 s for it would only hang the request.
      if (Transient(errno) && budget.Pause()) continue;
      return false;
    }
    bool waited;
    if (!budget.Lock(fd, shared ? LOCK_SH : LOCK_EX, waited)) {
      ::close(fd);
      return false;
    }
    // A reader that had its lock at once reads the file it opened a moment ago, whole: the path
    // is checked again only after a wait, or for a change.
    if (shared && !waited ? ::fstat(fd, &FStat) == 0 : StillNamed(fd, path, FStat)) {
      FFd = fd;
      FCreated = created;
      return true;
    }
    ::close(fd);  // replaced or removed while we waited
  }
  return false;
}

void TLockedFile::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

bool TLockedFile::ReadAll(std::string& out) const {
  // Sized for the file as it was seen when locked: every writer of the rule takes the exclusive
  // lock, so while this one is held nobody else changes it, and a full read of that size is the
  // whole file. A file of no known size is read to its end in doubled steps.
  const size_t seen = FStat.st_size > 0 ? static_cast<size_t>(FStat.st_size) : 0;
  out.assign(seen > 0 ? seen : 4096, '\0');
  size_t got = 0;
  for (;;) {
    if (got == out.size()) {
      if (seen > 0 && got == seen) return true;
      out.resize(out.size() * 2);
    }
    const ssize_t n = ::pread(FFd, out.data() + got, out.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      out.resize(got);
      return n == 0;
    }
    got += static_cast<size_t>(n);
  }
}

constexpr long long kSweepAlways = 16384;  // folder size (bytes of names) always swept

void RemoveStaleTemporaries(const std::string& path, int ageSeconds) {
  const std::string folder = FolderOf(path);
  const time_t now = time(nullptr);
  // A sweep reads every name of the folder, and an account folder holds two files an article.
  // A large folder is swept now and then, with a chance that falls as it grows: a write costs
  // about one small folder's sweep, whatever the folder holds. Every file's leftovers go, since
  // most files of an article are never written again.
  struct stat dir {};
  if (::stat(folder.empty() ? "." : folder.c_str(), &dir) == 0 && dir.st_size > kSweepAlways) {
    static std::mt19937_64 rng{std::random_device{}() ^ static_cast<unsigned long long>(getpid())};
    if (rng() % static_cast<unsigned long long>(dir.st_size / kSweepAlways + 1) != 0) return;
  }
  DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return;
  auto digits = [](std::string_view v) {
    return !v.empty() && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  while (const dirent* e = ::readdir(d)) {
    // "." name "." digits "." ["lock"] digits ".tmp"
    const std::string_view n = e->d_name;
    if (n.size() < 9 || n[0] != '.' || !n.ends_with(".tmp")) continue;
    std::string_view rest = n.substr(1, n.size() - 5);
    const size_t b = rest.rfind('.');
    if (b == std::string_view::npos) continue;
    std::string_view serial = rest.substr(b + 1);
    rest = rest.substr(0, b);
    const size_t a = rest.rfind('.');
    if (a == std::string_view::npos || a == 0) continue;
    if (serial.starts_with("lock")) serial.remove_prefix(4);
    if (!digits(rest.substr(a + 1)) || !digits(serial)) continue;
    const std::string tmp = folder + std::string(n);
    struct stat st {};
    if (::lstat(tmp.c_str(), &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > ageSeconds) ::unlink(tmp.c_str());
  }
  ::closedir(d);
}

namespace {

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Writes bytes (in 64 KiB blocks) to a new temporary file beside path, fsyncs it and renames it
// over path. `mode` is the replaced file's permission bits, or 0 to keep the default.
bool ReplaceAtomically(const std::string& path, const std::string& bytes, mode_t mode, bool sync = true) {
  static std::mt19937_64 rng{std::random_device{}() ^ static_cast<unsigned long long>(getpid())};
  const std::string folder = FolderOf(path);
  const std::string name = path.substr(folder.size());
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    tmp = folder + "." + name + "." + std::to_string(getpid()) + "." + std::to_string(rng() % 1000000000) + ".tmp";
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  RemoveStaleTemporaries(path);
  bool ok = mode == 0 || ::fchmod(fd, mode) == 0;
  for (size_t off = 0; ok && off < bytes.size(); off += kBlock)
    ok = WriteAll(fd, bytes.data() + off, std::min(kBlock, bytes.size() - off));
  ok = ok && (!sync || ::fsync(fd) == 0);
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(tmp.c_str(), path.c_str()) == 0) return true;
  ::unlink(tmp.c_str());
  return false;
}

std::string JoinCrLf(const TStringList& lines) {
  size_t size = 0;
  for (const auto& l : lines) size += l.size() + 2;
  std::string out;
  out.reserve(size);
  for (const auto& l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

bool LoadBytes(const std::string& path, std::string& bytes, int tries = kFileTries, int pauseMs = kFilePauseMs) {
  bytes.clear();
  TLockedFile f;
  if (!f.Open(path, TOpen::Read, tries, pauseMs)) return false;
  const bool ok = f.ReadAll(bytes);
  if (!ok) bytes.clear();
  return ok;
}

// The exclusive rewrite: the lock is held from the read to the replacement. With readOld false
// the old content is not read (the change replaces it whole).
bool RewriteBytes(const std::string& path, const std::function<TRewrite(std::string&, bool)>& change,
                  bool readOld = true, int tries = kFileTries, int pauseMs = kFilePauseMs, bool durable = true) {
  TLockedFile f;
  if (!f.Open(path, TOpen::Rewrite, tries, pauseMs)) return false;
  std::string bytes;
  bool ok = !readOld || f.Created() || f.ReadAll(bytes);
  if (ok) {
    switch (change(bytes, !f.Created())) {
      case TRewrite::Keep:
        if (f.Created()) ::unlink(path.c_str());  // made only to be locked: leave no trace
        break;
      case TRewrite::Save:
        ok = ReplaceAtomically(path, bytes, f.Created() ? 0 : (f.Stat().st_mode & 07777), durable);
        break;
      case TRewrite::Delete:
        ok = ::unlink(path.c_str()) == 0 || errno == ENOENT;
        break;
    }
  } else if (f.Created()) {
    ::unlink(path.c_str());
  }
  return ok;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return DirectoryExists(path);
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }
bool RenameFile(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }
bool LinkFile(const std::string& from, const std::string& to) { return ::link(from.c_str(), to.c_str()) == 0; }

long long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

time_t FileAge(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : static_cast<time_t>(-1);
}

std::string IncludeTrailingSlash(const std::string& path) {
  return !path.empty() && path.back() == '/' ? path : path + "/";
}

std::string ExeFolder() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  const std::string folder = FolderOf(std::string(buf, static_cast<size_t>(n)));
  return folder.empty() ? "./" : folder;
}

bool LoadLinesFromFile(const std::string& path, TStringList& lines) {
  lines.clear();
  std::string bytes;
  if (!LoadBytes(path, bytes)) return false;
  lines = SplitLines(bytes);
  return true;
}

bool LoadTextFromFile(const std::string& path, std::string& text) { return LoadBytes(path, text); }
bool LoadStreamFromFile(const std::string& path, std::string& bytes) { return LoadBytes(path, bytes); }

bool SaveTextToFile(const std::string& path, const std::string& text, int tries, int pauseMs) {
  return RewriteBytes(
      path,
      [&](std::string& b, bool) {
        b = text;
        return TRewrite::Save;
      },
      false, tries, pauseMs);
}

bool SaveLinesToFile(const std::string& path, const TStringList& lines) {
  return SaveTextToFile(path, JoinCrLf(lines), kFileTries, kFilePauseMs);
}

bool SaveStreamToFile(const std::string& path, const std::string& bytes) {
  return SaveTextToFile(path, bytes, kFileTries, kFilePauseMs);
}

std::string ReadFirstLine(const std::string& path, const std::string& def, int tries, int pauseMs) {
  TLockedFile f;
  if (!f.Open(path, TOpen::Read, tries, pauseMs)) return def;
  // Only the first line is wanted: read blocks until a line break shows.
  std::string bytes;
  char buf[4096];
  bool ok = true;
  size_t brk = std::string::npos;
  while (brk == std::string::npos) {
    const ssize_t n = ::read(f.Fd(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    const size_t from = bytes.size();
    bytes.append(buf, static_cast<size_t>(n));
    brk = bytes.find_first_of("\r\n", from);
  }
  if (!ok || bytes.empty()) return def;
  return brk == std::string::npos ? bytes : bytes.substr(0, brk);
}

bool AppendLineToFile(const std::string& path, const std::string& line) {
  TLockedFile f;
  if (!f.Open(path, TOpen::Append)) return false;
  const std::string bytes = line + "\r\n";
  return WriteAll(f.Fd(), bytes.data(), bytes.size());  // one write at the end (O_APPEND)
}

bool RewriteLines(const std::string& path, const std::function<TRewrite(TStringList& lines, bool existed)>& change,
                  bool durable) {
  return RewriteBytes(path, [&](std::string& bytes, bool existed) {
    TStringList lines = SplitLines(bytes);
    const TRewrite r = change(lines, existed);
    if (r == TRewrite::Save) bytes = JoinCrLf(lines);
    return r;
  }, true, kFileTries, kFilePauseMs, durable);
}

bool RewriteText(const std::string& path, const std::function<TRewrite(std::string& text, bool existed)>& change) {
  return RewriteBytes(path, change);
}

bool AppendLineOrRewrite(const std::string& path, const std::string& line,
                         const std::function<bool(const std::string& firstLine, long long size)>& whole,
                         const std::function<TRewrite(TStringList& lines)>& change, bool durable) {
  TLockedFile f;
  if (!f.Open(path, TOpen::Rewrite)) return false;
  const long long size = f.Created() ? 0 : static_cast<long long>(f.Stat().st_size);
  std::string head(static_cast<size_t>(std::min<long long>(size, 4096)), '\0');
  bool ok = head.empty() || ReadAt(f.Fd(), head.data(), head.size(), 0);
  head.resize(std::min(head.size(), head.find_first_of("\r\n")));
  if (ok && size > 0 && whole(head, size)) {
    std::string bytes;
    ok = f.ReadAll(bytes);
    if (ok) {
      TStringList lines = SplitLines(bytes);
      lines.push_back(line);
      switch (change(lines)) {
        case TRewrite::Keep: break;
        case TRewrite::Save: ok = ReplaceAtomically(path, JoinCrLf(lines), f.Stat().st_mode & 07777, durable); break;
        case TRewrite::Delete: ok = ::unlink(path.c_str()) == 0 || errno == ENOENT; break;
      }
    }
  } else if (ok) {
    char last = '\n';
    std::string bytes = line + "\r\n";
    if (size > 0 && ReadAt(f.Fd(), &last, 1, static_cast<off_t>(size - 1)) && last != '\n' && last != '\r')
      bytes.insert(0, "\r\n");
    ok = ::lseek(f.Fd(), 0, SEEK_END) >= 0 && WriteAll(f.Fd(), bytes.data(), bytes.size()) &&
         (!durable || ::fsync(f.Fd()) == 0);
  }
  return ok;
}

bool SaveDerivedFile(const std::string& path, const std::string& bytes) { return ReplaceAtomically(path, bytes, 0, false); }
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes) { return ReplaceAtomically(path, bytes, 0); }

bool TooFreshToDerive(long long modifiedNs) {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec - modifiedNs < 2000000000LL;
}
