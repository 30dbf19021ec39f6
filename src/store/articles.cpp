// Articles: the index cindex.txt, bodies <id>.txt, attachment lists <id>.iix, workatt.txt and
// the side files written around articles.
#include "store/articles.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "store/DCSVList.h"
#include "store/file_access.h"
#include "store/index_summary.h"
#include "text/DHash.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

const char kIndexFile[] = "cindex.txt";

// The fields of one index line, as views into the line (or into the fallback splitter).
struct TFields {
  std::string_view f[7];
  int count = 0;  // 7 stands for "7 or more"
  std::string_view operator[](int i) const { return i < count && i < 7 ? f[i] : std::string_view(); }
};

bool IsIndexLine(const TFields& r) { return r.count == 5 || r.count == 6; }
bool IsIndexLine(const TCSVList& csv) { return csv.Count() == 5 || csv.Count() == 6; }

// The index is read on every public page, so its lines are split without copies where they
// have the plain form the system writes ("a","b",... with no quote or blank inside a quoted
// field that a double-byte character could hide). Any other line goes through TCSVList, so
// both ways give the same fields.
bool IsAscii(const char* p, const char* end) {
  uint64_t any = 0;
  for (; end - p >= 8; p += 8) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    any |= v;
  }
  for (; p < end; ++p) any |= static_cast<unsigned char>(*p);
  return (any & 0x8080808080808080ull) == 0;
}

bool SplitPlain(std::string_view line, TFields& r) {
  r.count = 0;
  const char* p = line.data();
  const char* end = p + line.size();
  while (p < end) {
    if (*p != '"') return false;
    ++p;
    const char* q = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
    if (!q) return false;
    if (!IsAscii(p, q)) {  // a double-byte character may hide a quote: walk by characters
      q = p;
      while (q < end && *q != '"') q += IsSjisLead(static_cast<unsigned char>(*q)) ? 2 : 1;
      if (q >= end) return false;  // a lead byte swallowed the quote
    }
    if (q + 1 < end && q[1] == '"') return false;  // doubled quote inside
    if (r.count < 7) r.f[r.count] = std::string_view(p, static_cast<size_t>(q - p));
    if (r.count < 7) ++r.count;
    p = q + 1;
    if (p == end) return true;
    if (*p != ',') return false;
    if (++p == end) return false;  // a trailing comma
  }
  return true;
}

// The lines the system writes, "category","40-byte id","stamp","stamp","subject","flag", split
// by their known widths: only the subject is searched. Any other line gives false and goes to
// SplitPlain; both give the fields TCSVList gives.
bool SplitCanonical(std::string_view line, TFields& r) {
  const char* const b = line.data();
  const size_t n = line.size();
  if (n < 100 || b[0] != '"' || b[n - 1] != '"' || b[n - 3] != '"' || b[n - 4] != ',' || b[n - 5] != '"') return false;
  const char* const q0 = static_cast<const char*>(std::memchr(b + 1, '"', n - 1));
  if (!q0) return false;
  const char* const id = q0 + 3;
  const char* const date = id + 43;
  const char* const update = date + 22;
  const char* const title = update + 22;
  const char* const titleEnd = b + n - 5;
  if (title > titleEnd || q0[1] != ',' || q0[2] != '"' || id[40] != '"' || id[41] != ',' || id[42] != '"' ||
      date[19] != '"' || date[20] != ',' || date[21] != '"' || update[19] != '"' || update[20] != ',' ||
      update[21] != '"')
    return false;
  // No quote inside the fixed fields and the subject; ASCII up to the subject and in the flag.
  if (std::memchr(id, '"', 40) || std::memchr(date, '"', 19) || std::memchr(update, '"', 19) ||
      std::memchr(title, '"', static_cast<size_t>(titleEnd - title)) || !IsAscii(b, title) ||
      static_cast<unsigned char>(b[n - 2]) >= 0x80 || b[n - 2] == '"')
    return false;
  // A double-byte character must not run into the quote that closes the subject.
  const char* q = title;
  while (q < titleEnd) q += IsSjisLead(static_cast<unsigned char>(*q)) ? 2 : 1;
  if (q != titleEnd) return false;
  r.count = 6;
  r.f[0] = std::string_view(b + 1, static_cast<size_t>(q0 - b - 1));
  r.f[1] = std::string_view(id, 40);
  r.f[2] = std::string_view(date, 19);
  r.f[3] = std::string_view(update, 19);
  r.f[4] = std::string_view(title, static_cast<size_t>(titleEnd - title));
  r.f[5] = std::string_view(b + n - 2, 1);
  return true;
}

// Splits one index line: the writers' form by position, other plain lines in place, anything
// else through csv (the fields are then views into it).
void SplitIndexLine(std::string_view line, TFields& r, TCSVList& csv) {
  if (SplitCanonical(line, r) || SplitPlain(line, r)) return;
  csv.SetLine(std::string(line));
  r.count = std::min(csv.Count(), 7);
  for (int i = 0; i < r.count; ++i) r.f[i] = csv.Item(i);
}

// The index lines of a text from the last to the first (lines end in CR LF, LF or CR, as the
// line readers split them), split into fields (valid until the next line).
class TBackwardIndex {
public:
  explicit TBackwardIndex(std::string_view text) : FText(text), FEnd(text.size()), FStop(text.size()) {}
  // The next line's fields; false after the first line.
  bool Next(TFields& r) {
    for (;;) {
      size_t from, to;
      if (!NextLine(from, to)) return false;
      if (to <= from) continue;  // an empty line holds no fields
      SplitIndexLine(FText.substr(from, to - from), r, FCsv);
      return true;
    }
  }

private:
  // Within the stretch up to an LF, lone CRs end lines too.
  bool NextLine(size_t& from, size_t& to) {
    const char* const b = FText.data();
    if (FInStretch) {
      if (const char* cr = FStop > FStart ? static_cast<const char*>(::memrchr(b + FStart, '\r', FStop - FStart))
                                          : nullptr) {
        from = static_cast<size_t>(cr - b) + 1;
        to = FStop;
        FStop = static_cast<size_t>(cr - b);
        return true;
      }
      FInStretch = false;
      from = FStart;
      to = FStop;
      return true;
    }
    if (FDone) return false;
    const char* lf = FEnd ? static_cast<const char*>(::memrchr(b, '\n', FEnd)) : nullptr;
    FStart = lf ? static_cast<size_t>(lf - b) + 1 : 0;
    FStop = FEnd > FStart && b[FEnd - 1] == '\r' ? FEnd - 1 : FEnd;
    if (lf) FEnd = static_cast<size_t>(lf - b);
    else FDone = true;
    FInStretch = true;
    return NextLine(from, to);
  }

  std::string_view FText;
  size_t FEnd, FStart = 0, FStop;
  bool FInStretch = false, FDone = false;
  TCSVList FCsv;
};

// The whole index read into memory, walked from its last line.
class TIndexWalk {
public:
  explicit TIndexWalk(const std::string& accountFolder) {
    LoadTextFromFile(accountFolder + kIndexFile, FText);
    FWalk = std::make_unique<TBackwardIndex>(FText);
  }
  // The previous line (walking from the last towards the first); false at the start.
  bool Prev(TFields& r) { return FWalk->Next(r); }

  size_t LineCount() const {  // at least the number of lines
    return static_cast<size_t>(std::count(FText.begin(), FText.end(), '\n')) + 1;
  }
  // The last index line whose article id is id: only the lines that hold the id are split.
  bool FindLast(const std::string& id, TFields& r) {
    if (id.empty()) return false;
    if (HasLoneCr()) {
      while (Prev(r))
        if (IsIndexLine(r) && r[1] == id) return true;
      return false;
    }
    std::vector<size_t> hits;
    const char* d = FText.data();
    for (const char* p = d; (p = static_cast<const char*>(::memmem(p, FText.size() - static_cast<size_t>(p - d),
                                                                    id.data(), id.size())));
         ++p)
      hits.push_back(static_cast<size_t>(p - d));
    for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
      const void* lf = ::memrchr(d, '\n', *it);
      const size_t begin = lf ? static_cast<size_t>(static_cast<const char*>(lf) - d) + 1 : 0;
      const void* next = std::memchr(d + *it, '\n', FText.size() - *it);
      size_t end = next ? static_cast<size_t>(static_cast<const char*>(next) - d) : FText.size();
      if (end > begin && d[end - 1] == '\r') --end;
      SplitIndexLine(std::string_view(FText).substr(begin, end - begin), r, FCsv);
      if (IsIndexLine(r) && r[1] == id) return true;
    }
    return false;
  }

private:
  bool HasLoneCr() const {
    for (size_t i = FText.find('\r'); i != std::string::npos; i = FText.find('\r', i + 1))
      if (i + 1 >= FText.size() || FText[i + 1] != '\n') return true;
    return false;
  }
  std::string FText;
  std::unique_ptr<TBackwardIndex> FWalk;
  TCSVList FCsv;
};

TContentIndex ContentOf(const TFields& r) {
  TContentIndex c;
  c.category.assign(r[0]);
  c.id.assign(r[1]);
  c.date.assign(r[2]);
  c.update.assign(r[3]);
  c.title.assign(r[4]);
  c.visible = !(r.count == 6 && r[5] == "0");
  return c;
}

std::string IndexLine(const TContentIndex& c) {
  return MakeRecordLine({c.category, c.id, c.date, c.update, c.title, c.visible ? "1" : "0"});
}

// Year and month (6) or year, month and day (8) of a stored timestamp; other lengths never match.
bool DateMatches(const std::string& filter, std::string_view date) {
  if (filter.empty()) return true;
  if (filter.size() != 6 && filter.size() != 8) return false;
  if (date.size() < (filter.size() == 6 ? 7u : 10u)) return false;
  if (date.substr(0, 4) != std::string_view(filter).substr(0, 4) || date.substr(5, 2) != std::string_view(filter).substr(4, 2))
    return false;
  return filter.size() == 6 || date.substr(8, 2) == std::string_view(filter).substr(6, 2);
}

// Steps 1 to 4 of the selection.
bool Selected(const TFields& r, const std::string& categoryFilter, bool includeHidden, const std::string& dateFilter) {
  if (!IsIndexLine(r)) return false;
  if (!categoryFilter.empty() && r[0] != categoryFilter) return false;
  if (!DateMatches(dateFilter, r[2])) return false;
  return includeHidden || !(r.count == 6 && r[5] == "0");
}

bool HasPictureName(const TStringList& names) {
  for (const auto& n : names) {
    const std::string u = UpperCase(n);
    for (const char* ext : {".JPG", ".GIF", ".PNG"}) {
      const size_t len = std::strlen(ext);
      if (u.size() >= len && u.compare(u.size() - len, len, ext) == 0) return true;
    }
  }
  return false;
}

// With USEEDITDATE= on the index runs by article date, ascending. Lines of equal dates keep
// their order, so saving one article does not reshuffle the others.
void SortByDate(TStringList& lines) {
  std::vector<std::pair<std::string, std::string>> keyed;
  keyed.reserve(lines.size());
  TCSVList csv;
  for (auto& l : lines) {
    csv.SetLine(l);
    keyed.emplace_back(csv.Item(2), std::move(l));
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < lines.size(); ++i) lines[i] = std::move(keyed[i].second);
}

// Index of the first line (from the top) with 5 or 6 fields whose field 1 is id; -1 when none.
long FindLine(const TStringList& lines, const std::string& id) {
  TCSVList csv;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find(id) == std::string::npos) continue;
    csv.SetLine(lines[i]);
    if (IsIndexLine(csv) && csv.Item(1) == id) return static_cast<long>(i);
  }
  return -1;
}

// Whether an article of the index (its text) or a file of the folder has this id. Only an index
// that holds the id's digits at all is split into lines.
// The first line from the top with 5 or 6 fields whose field 1 is id, as FindLine finds it in
// the lines of text: [begin, end) without its break. Only lines holding the id are split.
bool FindLineInText(const std::string& text, const std::string& id, size_t& begin, size_t& end) {
  if (id.empty()) return false;
  TCSVList csv;
  const char* const d = text.data();
  for (const char* p = d; (p = static_cast<const char*>(
                               ::memmem(p, text.size() - static_cast<size_t>(p - d), id.data(), id.size())));) {
    const size_t at = static_cast<size_t>(p - d);
    const size_t brk = text.find_last_of("\r\n", at);
    begin = brk == std::string::npos ? 0 : brk + 1;
    end = std::min(text.find_first_of("\r\n", at), text.size());
    csv.SetLine(text.substr(begin, end - begin));
    if (IsIndexLine(csv) && csv.Item(1) == id) return true;
    p = d + end;  // the next line
  }
  return false;
}

bool IdTaken(const std::string& accountFolder, const std::string& index, const std::string& id) {
  if (::memmem(index.data(), index.size(), id.data(), id.size()) && FindLine(SplitLines(index), id) >= 0) return true;
  return FileExists(accountFolder + id + ".txt") || FileExists(accountFolder + id + ".iix");
}

// Picture files of an article: <id>-<n><ext> for n 1..99 and the given extensions in any
// letter case. One scan of the folder.
void DeletePictures(const std::string& imageFolder, const std::string& id, const TStringList& exts) {
  DIR* dir = ::opendir(imageFolder.c_str());
  if (!dir) return;
  TStringList doomed;
  const std::string prefix = id + "-";
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    size_t p = prefix.size(), digits = 0;
    while (p < name.size() && name[p] >= '0' && name[p] <= '9') ++p, ++digits;
    if (digits == 0 || digits > 2) continue;
    const int n = std::stoi(name.substr(prefix.size(), digits));
    if (n < 1 || n > 99 || (digits == 2 && name[prefix.size()] == '0')) continue;
    const std::string ext = name.substr(p);
    for (const auto& x : exts)
      if (!x.empty() && SameText(x, ext)) {
        doomed.push_back(name);
        break;
      }
  }
  ::closedir(dir);
  for (const auto& name : doomed) DeleteFile(imageFolder + name);
}

}  // namespace

void LoadContentList(const std::string& accountFolder, const std::string& categoryFilter,
                     bool includeHiddenCategories, bool countPerCategory, bool includeHidden,
                     TContentList& list, TCategoryList& categories, const std::string& dateFilter) {
  list.clear();
  std::vector<std::string_view> hiddenIds;
  if (!includeHiddenCategories)
    for (const auto& k : categories)
      if (!k.visible) hiddenIds.push_back(k.id);
  TIndexWalk walk(accountFolder);
  if (categoryFilter.empty() && dateFilter.empty()) list.reserve(walk.LineCount());
  TFields r;
  while (walk.Prev(r)) {
    if (!Selected(r, categoryFilter, includeHidden, dateFilter)) continue;
    if (std::find(hiddenIds.begin(), hiddenIds.end(), r[0]) != hiddenIds.end()) continue;
    if (countPerCategory)
      for (auto& k : categories)
        if (k.id == r[0]) {
          ++k.count;
          break;
        }
    list.push_back(ContentOf(r));
  }
}

void LoadPhotoContentList(const std::string& accountFolder, const std::string& categoryFilter,
                          bool firstOnly, bool includeHidden, TContentList& list,
                          const std::string& dateFilter) {
  list.clear();
  TIndexWalk walk(accountFolder);
  TFields r;
  while (walk.Prev(r)) {
    if (!Selected(r, categoryFilter, includeHidden, dateFilter)) continue;
    const std::string id(r[1]);
    if (!IsArticleId(id)) continue;  // names a file
    if (!HasPictureName(LoadAttachNames(accountFolder, id))) continue;
    list.push_back(ContentOf(r));
    if (firstOnly) break;
  }
}

bool FindContent(const std::string& accountFolder, const std::string& id, TContentIndex& content) {
  TIndexWalk walk(accountFolder);
  TFields r;
  if (!walk.FindLast(id, r)) return false;
  content = ContentOf(r);
  return true;
}

std::string LoadArticleBody(const std::string& accountFolder, const std::string& id) {
  std::string text;
  if (IsArticleId(id)) LoadTextFromFile(accountFolder + id + ".txt", text);
  return text;
}

TStringList LoadAttachNames(const std::string& accountFolder, const std::string& id) {
  TStringList lines;
  if (IsArticleId(id)) LoadLinesFromFile(accountFolder + id + ".iix", lines);
  return lines;
}

TAttachFileList LoadAttachFileList(const std::string& accountFolder, const std::string& id,
                                   const std::string& imageFolder) {
  TAttachFileList list;
  for (const auto& name : LoadAttachNames(accountFolder, id)) {
    TAttachFileData a;
    a.folder = imageFolder;
    a.name = name;
    const long long size = IsSafeFileWord(name) ? FileSize(imageFolder + name) : -1;
    a.size = size < 0 ? 0 : static_cast<int>(std::min<long long>(size, 0x7FFFFFFF));
    a.token = "EXISTS";
    list.push_back(a);
  }
  return list;
}

TAttachFileList LoadWorkAttachList(const std::string& accountFolder, const std::string& imageFolder) {
  TAttachFileList list;
  TStringList lines;
  LoadLinesFromFile(accountFolder + "workatt.txt", lines);
  TCSVList csv;
  for (const auto& line : lines) {
    csv.SetLine(line);
    if (csv.Count() != 3) continue;
    TAttachFileData a;
    a.folder = imageFolder;
    a.name = csv.Item(0);
    long long size = 0;
    a.size = StrToIntStrict(csv.Item(1), size) && size >= 0 && size <= 0x7FFFFFFF ? static_cast<int>(size) : 0;
    a.token = csv.Item(2);
    list.push_back(a);
  }
  return list;
}

std::string ArticleIdOf(const std::string& stamp) { return Sha1Hex(stamp); }

std::string NewArticleId(const std::string& accountFolder, std::string& stamp) {
  std::string index;
  LoadTextFromFile(accountFolder + kIndexFile, index);
  std::string id = ArticleIdOf(stamp);
  for (int step = 0; step < 100000 && IdTaken(accountFolder, index, id); ++step) {
    stamp = FormatStamp(AddSeconds(ParseStamp(stamp), 1));
    id = ArticleIdOf(stamp);
  }
  return id;
}

std::string ReserveArticleId(const std::string& accountFolder, std::string& stamp) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string id = NewArticleId(accountFolder, stamp);
    const int fd = ::open((accountFolder + id + ".txt").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return id;
    }
    if (errno != EEXIST) return "";
    stamp = FormatStamp(AddSeconds(ParseStamp(stamp), 1));  // another save took it just now
  }
  return "";
}

bool AddContentIndex(const std::string& accountFolder, const TContentIndex& c, bool sortByDate) {
  if (sortByDate)
    return RewriteLines(accountFolder + kIndexFile, [&](TStringList& lines, bool) {
      TrimList(lines);
      lines.push_back(IndexLine(c));
      SortByDate(lines);
      return TRewrite::Save;
    });
  // The new line goes last: appended, so a save costs the same however long the index is.
  return AppendLineOrRewrite(
      accountFolder + kIndexFile, IndexLine(c), [](const std::string&, long long) { return false; },
      [](TStringList&) { return TRewrite::Keep; });
}

bool ModifyContentIndex(const std::string& accountFolder, const TContentIndex& c, bool sortByDate) {
  return ChangeContentIndex(accountFolder, c, sortByDate, {}) == TIndexChange::Done;
}

TIndexChange ChangeContentIndex(const std::string& accountFolder, const TContentIndex& c, bool sortByDate,
                                const std::function<bool()>& work) {
  bool found = false, worked = true;
  const std::string path = accountFolder + kIndexFile;
  const bool ok =
      sortByDate ? RewriteLines(path,
                                [&](TStringList& lines, bool) {
                                  const long at = FindLine(lines, c.id);
                                  if (at < 0) return TRewrite::Keep;
                                  found = true;
                                  if (work && !(worked = work())) return TRewrite::Keep;
                                  lines[static_cast<size_t>(at)] = IndexLine(c);
                                  TrimList(lines);
                                  SortByDate(lines);
                                  return TRewrite::Save;
                                })
                 // The line is replaced where it stands; the others are copied as they are.
                 : RewriteText(path, [&](std::string& text, bool) {
                     size_t begin = 0, end = 0;
                     if (!FindLineInText(text, c.id, begin, end)) return TRewrite::Keep;
                     found = true;
                     if (work && !(worked = work())) return TRewrite::Keep;
                     text.replace(begin, end - begin, IndexLine(c));
                     return TRewrite::Save;
                   });
  if (!found) return ok ? TIndexChange::Missing : TIndexChange::Failed;
  return ok && worked ? TIndexChange::Done : TIndexChange::Failed;
}

bool RemoveContentIndex(const std::string& accountFolder, const std::string& id) {
  bool found = false;
  const bool ok = RewriteLines(accountFolder + kIndexFile, [&](TStringList& lines, bool) {
    const long at = FindLine(lines, id);
    if (at < 0) return TRewrite::Keep;
    found = true;
    lines.erase(lines.begin() + at);
    TrimList(lines);
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  });
  return ok && found;
}

bool DeleteContent(const std::string& accountFolder, const std::string& imageFolder, const std::string& id,
                   const TStringList& uploadExts) {
  if (!IsArticleId(id)) return false;
  TContentIndex c;
  if (!FindContent(accountFolder, id, c)) return false;
  if (RemoveContentIndex(accountFolder, id)) DeleteFile(accountFolder + id + ".txt");
  DeletePictures(imageFolder, id, uploadExts);
  for (const auto& name : LoadAttachNames(accountFolder, id))  // pictures of types no longer listed
    if (IsSafeFileWord(name) && name.compare(0, id.size() + 1, id + "-") == 0) DeleteFile(imageFolder + name);
  DeleteArticleComments(accountFolder, id);
  DeleteFile(accountFolder + id + ".iix");
  return true;
}

void AppendViewLog(const std::string& accountFolder, const TContentIndex& c, const std::string& userAgent,
                   const std::string& referer) {
  AppendLineToFile(accountFolder + "slcount.log",
                   MakeRecordLine({FormatStamp(Now()), c.id, c.title, Escape(userAgent), Escape(referer)}));
}

bool AppendAllNews(const std::string& exeFolder, const std::string& name, int count, const std::string& stamp,
                   const std::string& blogTitle, const std::string& articleTitle, const std::string& accountId,
                   const std::string& articleId) {
  if (name.empty()) return true;
  const std::string path = name.find('/') == std::string::npos ? exeFolder + name : name;
  const std::string line = MakeRecordLine({stamp, blogTitle, articleTitle, accountId, articleId});
  return RewriteLines(path, [&](TStringList& lines, bool) {
    TrimList(lines);
    lines.push_back(line);
    if (count > 0 && lines.size() > static_cast<size_t>(count))
      lines.erase(lines.begin(), lines.end() - count);
    return TRewrite::Save;
  });
}

TContentIndex ToContentIndex(const TContentRef& r) {
  TContentIndex c;
  c.category.assign(r.category());
  c.id.assign(r.id());
  c.date.assign(r.date());
  c.update.assign(r.update());
  c.title.assign(r.title());
  c.visible = r.visible;
  return c;
}

namespace {
// The ref of five fields: in place when they lie evenly spaced within `text` (which outlives the
// ref), else copied together to the spill.
TContentRef MakeRef(const std::string_view (&f)[5], bool visible, std::string_view text,
                    std::deque<std::string>& spill) {
  TContentRef ref;
  ref.visible = visible;
  for (int i = 0; i < 5; ++i) ref.len[i] = static_cast<uint32_t>(f[i].size());
  const char* const first = f[0].data();
  const ptrdiff_t gap = f[1].data() - (first + f[0].size());
  bool even = !text.empty() && first >= text.data() && f[4].data() + f[4].size() <= text.data() + text.size() &&
              gap >= 0 && gap < 256;
  for (int i = 1; i < 4 && even; ++i) even = f[i + 1].data() == f[i].data() + f[i].size() + gap;
  if (even) {
    ref.at = first;
    ref.gap = static_cast<uint8_t>(gap);
    return ref;
  }
  std::string& s = spill.emplace_back();
  for (const std::string_view& v : f) s.append(v);
  ref.at = s.data();
  return ref;
}

const char kSummaryFile[] = "cindex.sum";
const char kSummaryHead[] = "VSUM1 ";

// The summary of the index text: from cindex.sum when it names this index, else made from every
// line and saved for the next page.
TIndexSummary SummaryOf(const std::string& accountFolder, const TMappedFile& index) {
  const std::string head = kSummaryHead + index.Stamp().Text() + "\n";
  std::string saved;
  TIndexSummary s;
  if (LoadStreamFromFile(accountFolder + kSummaryFile, saved) && saved.compare(0, head.size(), head) == 0 &&
      s.Parse(std::string_view(saved).substr(head.size())))
    return s;
  s = TIndexSummary();
  TBackwardIndex walk(index.Text());
  TFields r;
  while (walk.Next(r))
    if (Selected(r, "", true, "")) s.Add(r[0], r[2], !(r.count == 6 && r[5] == "0"));
  if (!TooFreshToDerive(index.Stamp().ModifiedNs)) SaveDerivedFile(accountFolder + kSummaryFile, head + s.Serialize());
  return s;
}
}  // namespace

struct TRefStore {
  TMappedFile index;
  std::deque<TContentRef> items;
  std::deque<std::string> spill;  // fields that do not lie evenly spaced in the index
  TContentList contents;          // the list a list of views was made of
  std::unique_ptr<TBackwardIndex> walk;  // none: every element is read
  std::vector<std::string> hiddenCategories;
  bool includeHidden = false;

  bool ReadMore() {
    if (!walk) return false;
    TFields r;
    while (walk->Next(r)) {
      if (!Selected(r, "", includeHidden, "")) continue;
      if (std::find(hiddenCategories.begin(), hiddenCategories.end(), r[0]) != hiddenCategories.end()) continue;
      const std::string_view f[5] = {r[0], r[1], r[2], r[3], r[4]};
      items.push_back(MakeRef(f, !(r.count == 6 && r[5] == "0"), index.Text(), spill));
      return true;
    }
    walk.reset();
    return false;
  }
};

bool TContentRefList::Has(size_t i) const {
  if (!FStore) return false;
  while (FStore->items.size() <= i)
    if (!FStore->ReadMore()) return false;
  return true;
}

size_t TContentRefList::size() const {
  if (!FStore) return 0;
  while (FStore->ReadMore()) {
  }
  return FStore->items.size();
}

const TContentRef& TContentRefList::operator[](size_t i) const { return FStore->items[i]; }

TContentRefList TContentRefList::Of(TContentList contents) {
  auto store = std::make_shared<TRefStore>();
  store->contents = std::move(contents);
  for (const TContentIndex& c : store->contents) {
    const std::string_view f[5] = {c.category, c.id, c.date, c.update, c.title};
    store->items.push_back(MakeRef(f, c.visible, {}, store->spill));
  }
  TContentRefList list;
  list.FStore = std::move(store);
  return list;
}

void LoadContentRefs(const std::string& accountFolder, bool includeHiddenCategories, bool includeHidden,
                     TContentRefList& list, TCategoryList& categories, TIndexSummary* summary) {
  auto store = std::make_shared<TRefStore>();
  store->index.Open(accountFolder + kIndexFile);
  store->walk = std::make_unique<TBackwardIndex>(store->index.Text());
  store->includeHidden = includeHidden;
  if (!includeHiddenCategories)
    for (const auto& k : categories)
      if (!k.visible) store->hiddenCategories.push_back(k.id);
  if (summary) {
    *summary = SummaryOf(accountFolder, store->index);
    summary->KeepShown(categories, includeHiddenCategories, includeHidden);
  }
  list.FStore = std::move(store);
}

void LoadNewestContentList(const std::string& accountFolder, const std::string& categoryFilter,
                           const TCategoryList& categories, size_t limit, TContentList& list) {
  list.clear();
  if (limit == 0) return;
  TCategoryList shown = categories;
  TContentRefList refs;
  LoadContentRefs(accountFolder, false, false, refs, shown, nullptr);
  for (const TContentRef& r : refs) {
    if (!categoryFilter.empty() && r.category() != categoryFilter) continue;
    list.push_back(ToContentIndex(r));
    if (list.size() >= limit) break;
  }
}
