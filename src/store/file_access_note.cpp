// Lock notes: a non-blocking exclusive lock on a side file that also holds one short line.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "store/file_access.h"

TLockNote::~TLockNote() { Unlock(); }

bool TLockNote::TryLock(const std::string& path) {
  Unlock();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  FFd = fd;
  return true;
}

bool TLockNote::Write(const std::string& text) {
  if (FFd < 0) return false;
  if (ftruncate(FFd, 0) != 0) return false;
  size_t off = 0;
  while (off < text.size()) {
    const ssize_t n = ::pwrite(FFd, text.data() + off, text.size() - off, static_cast<off_t>(off));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

void TLockNote::Unlock() {
  if (FFd >= 0) {
    ::close(FFd);  // closing releases the lock
    FFd = -1;
  }
}

std::string PeekNote(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  char buf[256];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) < 0 && errno == EINTR) {
  }
  ::close(fd);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}
