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
  // The regular files of each folder asked about, listed again only when the folder has changed
  // since (its modification time moves with every file made, renamed or removed in it, but only
  // by the clock's tick: a folder changed within the last moments is listed every time): a page
  // asks for several pictures of the same folder.
  struct TListing {
    std::string Folder;
    struct timespec Changed {};
    std::vector<std::string> Files;
  };
  static std::vector<TListing> listings;
  struct stat dir {};
  if (::stat(folder.c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode)) return "";
  const bool fresh = TooFreshToDerive(dir.st_mtim.tv_sec * 1000000000LL + dir.st_mtim.tv_nsec);
  auto it = std::find_if(listings.begin(), listings.end(), [&](const TListing& l) { return l.Folder == folder; });
  if (it != listings.end() && (fresh || it->Changed.tv_sec != dir.st_mtim.tv_sec || it->Changed.tv_nsec != dir.st_mtim.tv_nsec)) {
    listings.erase(it);
    it = listings.end();
  }
  std::vector<std::string> listed;
  if (it == listings.end()) {
    if (DIR* d = ::opendir(folder.c_str())) {
      while (const dirent* e = ::readdir(d)) {
        if (e->d_type != DT_REG && e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) continue;
        struct stat st {};
        if (e->d_type != DT_REG && (::stat((folder + e->d_name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))) continue;
        listed.emplace_back(e->d_name);
      }
      ::closedir(d);
    }
    std::sort(listed.begin(), listed.end());  // the same choice whatever the folder order
    if (!fresh) it = listings.insert(listings.end(), {folder, dir.st_mtim, std::move(listed)});
  }
  const std::vector<std::string>& files = it != listings.end() ? it->Files : listed;
  for (const std::string& name : names) {
    if (std::binary_search(files.begin(), files.end(), name)) return name;  // an exact match wins
    for (const std::string& f : files)
      if (f.size() == name.size() && strcasecmp(f.c_str(), name.c_str()) == 0) return f;
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
