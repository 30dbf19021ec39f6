// The one door to the data files: the file access rule (lock, retry every 500 ms,
// 101 tries) and the locked atomic rewrite.
#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

using TStringList = std::vector<std::string>;

constexpr int kFileTries = 101;
constexpr int kFilePauseMs = 500;

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool ForceDirectories(const std::string& path);   // creates missing parents
bool DeleteFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
bool LinkFile(const std::string& from, const std::string& to);  // a second name for the same file
long long FileSize(const std::string& path);      // -1 when missing
time_t FileAge(const std::string& path);          // mtime, -1 when missing
std::string IncludeTrailingSlash(const std::string& path);
std::string ExeFolder();                          // folder of /proc/self/exe, ends in "/"

// ---- The file door: every data file is opened and locked here ----

// Read: shared lock, a missing file is not created. Append: exclusive lock, opened for reading
// and appending, created when missing. Rewrite: exclusive lock, created already locked when
// missing (Created() tells). Exclusive: exclusive lock on an existing file, not created.
enum class TOpen { Read, Append, Rewrite, Exclusive };

// An open data file under its lock; closed (and so unlocked) on destruction. Open follows the
// file access rule within one deadline of (tries - 1) x pause from its start: a lock held by
// another process, a file replaced or removed while waiting (the path is checked to still name
// the locked file) and an open that failed for a passing reason (descriptors or memory short,
// a signal) are retried until then; any other failure (a missing folder, a refused permission)
// ends it at once.
class TLockedFile {
public:
  TLockedFile() = default;
  ~TLockedFile() { Close(); }
  TLockedFile(const TLockedFile&) = delete;
  TLockedFile& operator=(const TLockedFile&) = delete;

  bool Open(const std::string& path, TOpen how, int tries = kFileTries, int pauseMs = kFilePauseMs);
  void Close();
  int Fd() const { return FFd; }
  bool Missing() const { return FMissing; }   // Read, Exclusive: the file does not exist
  bool Created() const { return FCreated; }   // Rewrite: this Open made the file
  const struct stat& Stat() const { return FStat; }
  // The whole file from its start (what is there now, however its size has changed).
  bool ReadAll(std::string& out) const;

private:
  int FFd = -1;
  bool FMissing = false, FCreated = false;
  struct stat FStat {};
};

// Removes the temporary files that rewrites left behind in path's folder (".<name>.<pid>.<n>.tmp"
// and ".<name>.<pid>.lock<n>.tmp") when they are older than ageSeconds: what a killed process
// could not remove itself. A large folder is swept only now and then (the more names it holds,
// the more seldom), so that a write does not cost a read of every name.
void RemoveStaleTemporaries(const std::string& path, int ageSeconds = 600);

bool LoadLinesFromFile(const std::string& path, TStringList& lines);
bool LoadTextFromFile(const std::string& path, std::string& text);
bool SaveLinesToFile(const std::string& path, const TStringList& lines);
bool AppendLineToFile(const std::string& path, const std::string& line);
bool SaveTextToFile(const std::string& path, const std::string& text, int tries = kFileTries - 1,
                    int pauseMs = kFilePauseMs);
std::string ReadFirstLine(const std::string& path, const std::string& def, int tries = kFileTries - 1,
                          int pauseMs = kFilePauseMs);
bool LoadStreamFromFile(const std::string& path, std::string& bytes);
bool SaveStreamToFile(const std::string& path, const std::string& bytes);
// A file made from others (an index that is made anew when stale): replaced atomically, without
// lock or sync, since a lost or old copy is only made again.
bool SaveDerivedFile(const std::string& path, const std::string& bytes);
// A file that is also read without the lock (a picture the web server sends itself): written
// beside the path, fsynced and renamed over it, so every reader gets the old file or the new one
// whole, never an empty or partial one. Concurrent writers: the last rename wins.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes);
// Whether a source modified at modifiedNs (ns since the epoch) may still change within the same
// file-system time stamp: a derived file made from it now is not kept, since a change of the
// same size in the same tick would leave its stamp unchanged.
bool TooFreshToDerive(long long modifiedNs);

// What a rewrite does with the file once the change has run.
enum class TRewrite { Keep, Save, Delete };

// Holds the exclusive lock from the read to the replacement; the new content is written
// to a temporary file in the same folder, fsynced and renamed over the path. `existed`
// tells whether the file was there. False when the lock could not be had or the write failed.
// A file whose loss in a crash costs nothing lasting (durable false) is renamed over unsynced:
// still whole, without waiting for the disk.
bool RewriteLines(const std::string& path,
                  const std::function<TRewrite(TStringList& lines, bool existed)>& change, bool durable = true);
bool RewriteText(const std::string& path,
                 const std::function<TRewrite(std::string& text, bool existed)>& change);
// Appends line + CR LF under the exclusive lock (a missing file is created; a last line without
// its break gets one first), unless `whole`, shown the file's first line (at most 4 KiB of it)
// and its size, asks for the whole file: then, under the same lock, `change` gets every line
// with the new one last, and the file is replaced atomically (Save), deleted (Delete) or left
// as it was (Keep). A durable append is synced before the lock goes. False when the lock could
// not be had or a read or write failed.
bool AppendLineOrRewrite(const std::string& path, const std::string& line,
                         const std::function<bool(const std::string& firstLine, long long size)>& whole,
                         const std::function<TRewrite(TStringList& lines)>& change, bool durable = true);

// ---- Locked walks of a file (file_access_log.cpp) ----

// What a backward walk does after seeing a line.
enum class TWalk { Next, Stop, Found };

// Appends line + CR LF under the exclusive lock (the file is created when missing; the retry
// rule; the path is re-checked after locking). When `walk` is given it first sees the file's
// non-empty lines from the last towards the first, read backwards in blocks: Next goes on, Stop
// ends the walk, Found ends it and nothing is appended (*found tells which). False when the lock
// could not be had or the write failed.
bool AppendLineUnlessFound(const std::string& path, const std::string& line,
                           const std::function<TWalk(const std::string& line)>& walk = {},
                           bool* found = nullptr);

// Hands path's non-empty lines to `walk` from the last towards the first under the shared lock
// (retry rule), reading backwards in blocks, so the newest lines of a long file cost only their
// own bytes; Stop or Found ends the walk. A missing file walks no line and gives true; false when
// the lock could not be had or a read failed.
bool WalkLinesBackward(const std::string& path, const std::function<TWalk(const std::string& line)>& walk);

// Reads exactly `size` bytes of an open file at offset `at` (retrying interrupted reads); false
// when the file ends first or a read fails.
bool ReadAt(int fd, char* data, size_t size, off_t at);

// Which file a path named when it was read.
struct TFileStamp {
  unsigned long long Device = 0, Inode = 0;
  long long Size = -1;   // -1: missing
  long long ModifiedNs = 0;
  std::string Text() const;  // the four numbers, for a derived file to name its source
};

// A data file mapped for reading under the shared lock of the file access rule (no copy of the
// bytes; pages are read as they are touched): the lock and the mapping last as long as the
// object. A missing file is empty.
class TMappedFile {
public:
  TMappedFile() = default;
  ~TMappedFile();
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;
  bool Open(const std::string& path);  // false only when the lock could not be had
  std::string_view Text() const { return {FData, FSize}; }
  const TFileStamp& Stamp() const { return FStamp; }

private:
  int FFd = -1;
  const char* FData = nullptr;
  size_t FSize = 0;
  TFileStamp FStamp;
};

// Reads path from byte `from` to its end under the shared lock (retry rule), handing the bytes
// to `chunk` in blocks. A missing file gives no bytes and true (stamp.Size -1); false when the
// lock could not be had.
bool ReadFileFrom(const std::string& path, long long from,
                  const std::function<void(const char* data, size_t size)>& chunk, TFileStamp& stamp);

// Holds the exclusive lock on path (retry rule, re-checked) while its lines are counted (CR LF,
// LF or CR; a final break adds no empty line) and `keep` runs with the count; when keep returns
// true the file is deleted before the lock is released. A missing file counts 0. False when
// the lock could not be had or keep returned false.
bool CountLinesThenDelete(const std::string& path, const std::function<bool(long long lines)>& keep);

// The first of `names` (in their order) that names a file in folder without regard to ASCII
// case, as the name is on disk (an exact match wins); "" when there is none. One folder scan.
std::string FindFileNoCase(const std::string& folder, const std::vector<std::string>& names);

// ---- A side file that is both a lock and a short note (file_access_note.cpp) ----

// Taken without waiting: one process holds a key's lock while the others go on without it.
// The note (a line of text) is read and replaced in place while the lock is held; the file is
// never renamed over, so the lock always names it.
class TLockNote {
public:
  TLockNote() = default;
  ~TLockNote();
  TLockNote(const TLockNote&) = delete;
  TLockNote& operator=(const TLockNote&) = delete;
  bool TryLock(const std::string& path);  // false when another process holds it (or it cannot be made)
  bool Write(const std::string& text);    // while held
  void Unlock();

private:
  int FFd = -1;
};
// The note of path without the lock ("" when missing or unreadable).
std::string PeekNote(const std::string& path);
