// The file access rule: every data file is read under a shared lock and replaced under an
// exclusive one; a lock that cannot be had is retried every 500 ms, 101 tries in all.
// Writes go to a temporary file in the same folder that is fsynced and renamed over the path,
// so readers see the old or the new file whole, never a torn one.
#include "store/file_access.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "text/DString.h"

namespace {

void SleepMs(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

// One try takes the lock at once or waits up to one pause; the pause polls in short steps, so a
// lock released early is taken at once while the deadline (tries x pause) stays the same.
bool LockWithRetry(int fd, int op, int tries, int pauseMs) {
  for (int t = 0; t < tries; ++t) {
    if (flock(fd, op | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (t + 1 == tries) break;
    int waited = 0, step = 1;
    while (waited < pauseMs) {
      const int ms = std::min(step, pauseMs - waited);
      SleepMs(ms);
      waited += ms;
      if (flock(fd, op | LOCK_NB) == 0) return true;
      step = std::min(step * 2, 16);
    }
  }
  return false;
}

bool SameFile(int fd, const std::string& path) {
  struct stat a {}, b {};
  if (fstat(fd, &a) != 0 || stat(path.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens and locks path; reopens while the path no longer names the locked file. -1 when it
// cannot be had; missing is set for a file that does not exist and was not to be created.
int OpenLocked(const std::string& path, int flags, int op, bool& missing, int tries = kFileTries,
               int pauseMs = kFilePauseMs) {
  missing = false;
  for (int round = 0; round < 1000; ++round) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == ENOENT && !(flags & O_CREAT)) missing = true;
      return -1;
    }
    if (!LockWithRetry(fd, op, tries, pauseMs)) {
      ::close(fd);
      return -1;
    }
    if (SameFile(fd, path)) return fd;
    ::close(fd);  // replaced or removed while we waited: take the file that is there now
  }
  return -1;
}

bool ReadAll(int fd, std::string& out) {
  out.clear();
  struct stat st {};
  if (fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    out.append(buf, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Writes bytes to a fresh temporary file beside path and renames it over path.
bool ReplaceAtomically(const std::string& path, const std::string& bytes) {
  static std::mt19937_64 rng{std::random_device{}()};
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string tmp = Folder(path) + "." + name + "." + std::to_string(getpid()) + "." +
                          std::to_string(rng() % 1000000000) + ".tmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t off = 0; ok && off < bytes.size(); off += 65536)
    ok = WriteAll(fd, bytes.data() + off, std::min<size_t>(65536, bytes.size() - off));
  ok = ok && ::fsync(fd) == 0;
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

bool LoadBytes(const std::string& path, std::string& bytes) {
  bytes.clear();
  bool missing;
  const int fd = OpenLocked(path, O_RDONLY, LOCK_SH, missing);
  if (fd < 0) return false;
  const bool ok = ReadAll(fd, bytes);
  ::close(fd);
  if (!ok) bytes.clear();
  return ok;
}

// The exclusive rewrite: the lock is held from the read to the replacement.
bool RewriteBytes(const std::string& path, const std::function<TRewrite(std::string&, bool)>& change,
                  int tries = kFileTries, int pauseMs = kFilePauseMs) {
  const bool existedBefore = FileExists(path);
  bool missing;
  const int fd = OpenLocked(path, O_RDWR | O_CREAT, LOCK_EX, missing, tries, pauseMs);
  if (fd < 0) return false;
  std::string bytes;
  if (!ReadAll(fd, bytes)) {
    ::close(fd);
    return false;
  }
  struct stat st {};
  fstat(fd, &st);
  // A file created just now to hold the lock is empty; it counts as missing.
  const bool existed = existedBefore || st.st_size > 0;
  bool ok = true;
  switch (change(bytes, existed)) {
    case TRewrite::Keep:
      if (!existed) ::unlink(path.c_str());
      break;
    case TRewrite::Save: ok = ReplaceAtomically(path, bytes); break;
    case TRewrite::Delete: ok = ::unlink(path.c_str()) == 0 || errno == ENOENT; break;
  }
  ::close(fd);
  return ok;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::string p;
  size_t i = 0;
  while (i <= path.size()) {
    const size_t slash = path.find('/', i);
    p = path.substr(0, slash == std::string::npos ? path.size() : slash);
    if (!p.empty() && !DirectoryExists(p) && ::mkdir(p.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
    i = slash + 1;
  }
  return DirectoryExists(path);
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }
bool RenameFile(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

long long FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

time_t FileAge(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mtime : static_cast<time_t>(-1);
}

std::string IncludeTrailingSlash(const std::string& path) {
  return !path.empty() && path.back() == '/' ? path : path + "/";
}

std::string ExeFolder() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string p(buf, static_cast<size_t>(n));
  return Folder(p).empty() ? "./" : Folder(p);
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

bool SaveLinesToFile(const std::string& path, const TStringList& lines) {
  const std::string bytes = JoinCrLf(lines);
  return RewriteBytes(path, [&](std::string& b, bool) {
    b = bytes;
    return TRewrite::Save;
  });
}

bool SaveTextToFile(const std::string& path, const std::string& text, int tries, int pauseMs) {
  return RewriteBytes(
      path,
      [&](std::string& b, bool) {
        b = text;
        return TRewrite::Save;
      },
      tries, pauseMs);
}

bool SaveStreamToFile(const std::string& path, const std::string& bytes) { return SaveTextToFile(path, bytes); }

std::string ReadFirstLine(const std::string& path, const std::string& def, int tries, int pauseMs) {
  bool missing;
  const int fd = OpenLocked(path, O_RDONLY, LOCK_SH, missing, tries, pauseMs);
  if (fd < 0) return def;
  std::string bytes;
  const bool ok = ReadAll(fd, bytes);
  ::close(fd);
  if (!ok) return def;
  TStringList lines = SplitLines(bytes);
  return lines.empty() ? def : lines[0];
}

bool AppendLineToFile(const std::string& path, const std::string& line) {
  bool missing;
  const int fd = OpenLocked(path, O_WRONLY | O_CREAT | O_APPEND, LOCK_EX, missing);
  if (fd < 0) return false;
  const std::string bytes = line + "\r\n";
  const bool ok = WriteAll(fd, bytes.data(), bytes.size());
  ::close(fd);
  return ok;
}

bool RewriteLines(const std::string& path, const std::function<TRewrite(TStringList& lines, bool existed)>& change) {
  return RewriteBytes(path, [&](std::string& bytes, bool existed) {
    TStringList lines = SplitLines(bytes);
    const TRewrite r = change(lines, existed);
    if (r == TRewrite::Save) bytes = JoinCrLf(lines);
    return r;
  });
}

bool RewriteText(const std::string& path, const std::function<TRewrite(std::string& text, bool existed)>& change) {
  return RewriteBytes(path, change);
}
