// Locked walks of a file: the access log's append, its tail reads and its fold.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "store/file_access.h"

namespace {

constexpr size_t kBackBlock = 64 * 1024;
constexpr size_t kReadBlock = 1024 * 1024;

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The non-empty lines of the first `size` bytes, last first. True when the walk ended on Found;
// *failed tells a read error.
bool WalkBackwards(int fd, off_t size, const std::function<TWalk(const std::string&)>& walk,
                   bool* failed = nullptr) {
  std::string buf, carry, line;
  off_t pos = size;
  while (pos > 0) {
    const size_t n = static_cast<size_t>(std::min<off_t>(static_cast<off_t>(kBackBlock), pos));
    pos -= static_cast<off_t>(n);
    buf.resize(n);
    if (!ReadAt(fd, buf.data(), n, pos)) {
      if (failed) *failed = true;
      return false;
    }
    buf += carry;
    size_t end = buf.size();
    for (;;) {
      const size_t brk = end == 0 ? std::string::npos : buf.find_last_of("\r\n", end - 1);
      if (brk == std::string::npos) break;
      if (brk + 1 < end) {
        line.assign(buf, brk + 1, end - brk - 1);
        const TWalk w = walk(line);
        if (w != TWalk::Next) return w == TWalk::Found;
      }
      end = brk;
    }
    carry.assign(buf, 0, end);  // the start of a line that may go on in the block before
  }
  return !carry.empty() && walk(carry) == TWalk::Found;
}

}  // namespace

bool ReadAt(int fd, char* data, size_t size, off_t at) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, data, size, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
    at += n;
  }
  return true;
}

bool AppendLineUnlessFound(const std::string& path, const std::string& line,
                           const std::function<TWalk(const std::string& line)>& walk, bool* found) {
  if (found) *found = false;
  TLockedFile f;
  if (!f.Open(path, TOpen::Append)) return false;
  if (walk && f.Stat().st_size > 0 && WalkBackwards(f.Fd(), f.Stat().st_size, walk)) {
    if (found) *found = true;
    return true;
  }
  return WriteAll(f.Fd(), line + "\r\n");  // one write at the end (O_APPEND)
}

bool WalkLinesBackward(const std::string& path, const std::function<TWalk(const std::string& line)>& walk) {
  TLockedFile f;
  if (!f.Open(path, TOpen::Read)) return f.Missing();
  if (f.Stat().st_size <= 0) return true;
  bool failed = false;
  WalkBackwards(f.Fd(), f.Stat().st_size, walk, &failed);
  return !failed;
}

bool ReadFileFrom(const std::string& path, long long from,
                  const std::function<void(const char* data, size_t size)>& chunk, TFileStamp& stamp) {
  stamp = TFileStamp();
  TLockedFile f;
  if (!f.Open(path, TOpen::Read)) return f.Missing();
  const int fd = f.Fd();
  const struct stat& st = f.Stat();
  stamp.Device = st.st_dev;
  stamp.Inode = st.st_ino;
  stamp.Size = st.st_size;
  off_t at = std::max<long long>(from, 0);
  // No bigger than what is left to read: a counter reads a few new lines on most requests.
  std::string buf(static_cast<size_t>(std::clamp<long long>(st.st_size - at + 1, 1, kReadBlock)), '\0');
  for (;;) {
    const ssize_t n = ::pread(fd, buf.data(), buf.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    chunk(buf.data(), static_cast<size_t>(n));
    at += n;
  }
  return true;
}

bool CountLinesThenDelete(const std::string& path, const std::function<bool(long long lines)>& keep) {
  TLockedFile f;
  if (!f.Open(path, TOpen::Exclusive)) return f.Missing() && keep(0);
  const int fd = f.Fd();
  long long lines = 0;
  bool afterCR = false, open = false;  // open: bytes of a line not yet ended by a break
  std::string buf(kReadBlock, '\0');
  off_t at = 0;
  for (;;) {
    const ssize_t n = ::pread(fd, buf.data(), buf.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      const char c = buf[static_cast<size_t>(i)];
      if (c == '\n') {
        if (!afterCR) ++lines;
        afterCR = open = false;
      } else if (c == '\r') {
        ++lines;
        afterCR = true;
        open = false;
      } else {
        afterCR = false;
        open = true;
      }
    }
    at += n;
  }
  if (open) ++lines;
  // Still under the lock: a view that waits for it lands in a new file after the delete.
  bool ok = keep(lines);
  if (ok && ::unlink(path.c_str()) != 0 && errno != ENOENT) ok = false;
  return ok;
}

std::string FindFileNoCase(const std::string& folder, const std::vector<std::string>& names) {
  struct stat st {};
  std::vector<std::string> best(names.size());
  bool scanned = false;
  for (size_t i = 0; i < names.size(); ++i) {
    if (::stat((folder + names[i]).c_str(), &st) == 0 && S_ISREG(st.st_mode)) return names[i];
    if (!scanned) {
      scanned = true;
      DIR* d = ::opendir(folder.c_str());
      if (!d) return "";
      while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        for (size_t k = 0; k < names.size(); ++k) {
          if (n.size() != names[k].size() || strcasecmp(n.c_str(), names[k].c_str()) != 0) continue;
          if (::stat((folder + n).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
          if (best[k].empty() || n < best[k]) best[k] = n;  // the same choice whatever the folder order
        }
      }
      ::closedir(d);
    }
    if (!best[i].empty()) return best[i];
  }
  return "";
}

std::string TFileStamp::Text() const {
  return std::to_string(Device) + " " + std::to_string(Inode) + " " + std::to_string(Size) + " " +
         std::to_string(ModifiedNs);
}

TMappedFile::~TMappedFile() {
  if (FData) ::munmap(const_cast<char*>(FData), FSize);
  if (FFd >= 0) ::close(FFd);
}

bool TMappedFile::Open(const std::string& path) {
  TLockedFile f;
  if (!f.Open(path, TOpen::Read)) return f.Missing();
  FFd = ::dup(f.Fd());  // the lock belongs to the open file, which the copy keeps open
  if (FFd < 0) return false;
  const struct stat& st = f.Stat();
  FStamp = {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
  if (st.st_size <= 0) return true;
  void* p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, FFd, 0);
  if (p == MAP_FAILED) return false;
  FData = static_cast<const char*>(p);
  FSize = static_cast<size_t>(st.st_size);
  return true;
}
