// Articles: the index cindex.txt, bodies <id>.txt, attachment lists <id>.iix, workatt.txt and
// the side files written around articles.
#include "store/articles.h"

#include <dirent.h>

#include <algorithm>
#include <cstring>

#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DHash.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

const char kIndexFile[] = "cindex.txt";

bool IsIndexLine(const TCSVList& csv) { return csv.Count() == 5 || csv.Count() == 6; }

TContentIndex ContentOf(const TCSVList& csv) {
  TContentIndex c;
  c.category = csv.Item(0);
  c.id = csv.Item(1);
  c.date = csv.Item(2);
  c.update = csv.Item(3);
  c.title = csv.Item(4);
  c.visible = !(csv.Count() == 6 && csv.Item(5) == "0");
  return c;
}

std::string IndexLine(const TContentIndex& c) {
  return MakeRecordLine({c.category, c.id, c.date, c.update, c.title, c.visible ? "1" : "0"});
}

// Year and month (6) or year, month and day (8) of a stored timestamp; other lengths never match.
bool DateMatches(const std::string& filter, const std::string& date) {
  if (filter.empty()) return true;
  if (filter.size() != 6 && filter.size() != 8) return false;
  if (date.size() < (filter.size() == 6 ? 7u : 10u)) return false;
  std::string key = date.substr(0, 4) + date.substr(5, 2);
  if (filter.size() == 8) key += date.substr(8, 2);
  return key == filter;
}

// Steps 1 to 4 of the selection; true when the line is kept (content filled).
bool Selected(const TCSVList& csv, const std::string& categoryFilter, bool includeHidden,
              const std::string& dateFilter, TContentIndex& content) {
  if (!IsIndexLine(csv)) return false;
  if (!categoryFilter.empty() && csv.Item(0) != categoryFilter) return false;
  if (!DateMatches(dateFilter, csv.Item(2))) return false;
  content = ContentOf(csv);
  return content.visible || includeHidden;
}

TStringList LoadIndexLines(const std::string& accountFolder) {
  TStringList lines;
  LoadLinesFromFile(accountFolder + kIndexFile, lines);
  return lines;
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

bool IdTaken(const std::string& accountFolder, const TStringList& lines, const std::string& id) {
  return FindLine(lines, id) >= 0 || FileExists(accountFolder + id + ".txt") ||
         FileExists(accountFolder + id + ".iix");
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
  const TStringList lines = LoadIndexLines(accountFolder);
  TCSVList csv;
  TContentIndex c;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    csv.SetLine(*it);
    if (!Selected(csv, categoryFilter, includeHidden, dateFilter, c)) continue;
    if (!includeHiddenCategories) {
      const bool hiddenCategory = std::any_of(categories.begin(), categories.end(), [&](const TCategoryData& k) {
        return !k.visible && k.id == c.category;
      });
      if (hiddenCategory) continue;
    }
    if (countPerCategory)
      for (auto& k : categories)
        if (k.id == c.category) {
          ++k.count;
          break;
        }
    list.push_back(std::move(c));
  }
}

void LoadPhotoContentList(const std::string& accountFolder, const std::string& categoryFilter,
                          bool firstOnly, bool includeHidden, TContentList& list,
                          const std::string& dateFilter) {
  list.clear();
  const TStringList lines = LoadIndexLines(accountFolder);
  TCSVList csv;
  TContentIndex c;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    csv.SetLine(*it);
    if (!Selected(csv, categoryFilter, includeHidden, dateFilter, c)) continue;
    if (!IsArticleId(c.id)) continue;  // names a file
    if (!HasPictureName(LoadAttachNames(accountFolder, c.id))) continue;
    list.push_back(std::move(c));
    if (firstOnly) break;
  }
}

bool FindContent(const std::string& accountFolder, const std::string& id, TContentIndex& content) {
  const TStringList lines = LoadIndexLines(accountFolder);
  TCSVList csv;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (it->find(id) == std::string::npos) continue;
    csv.SetLine(*it);
    if (IsIndexLine(csv) && csv.Item(1) == id) {
      content = ContentOf(csv);
      return true;
    }
  }
  return false;
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
  const TStringList lines = LoadIndexLines(accountFolder);
  std::string id = ArticleIdOf(stamp);
  for (int step = 0; step < 100000 && IdTaken(accountFolder, lines, id); ++step) {
    stamp = FormatStamp(AddSeconds(ParseStamp(stamp), 1));
    id = ArticleIdOf(stamp);
  }
  return id;
}

bool AddContentIndex(const std::string& accountFolder, const TContentIndex& c, bool sortByDate) {
  return RewriteLines(accountFolder + kIndexFile, [&](TStringList& lines, bool) {
    TrimList(lines);
    lines.push_back(IndexLine(c));
    if (sortByDate) SortByDate(lines);
    return TRewrite::Save;
  });
}

bool ModifyContentIndex(const std::string& accountFolder, const TContentIndex& c, bool sortByDate) {
  bool found = false;
  const bool ok = RewriteLines(accountFolder + kIndexFile, [&](TStringList& lines, bool) {
    const long at = FindLine(lines, c.id);
    if (at < 0) return TRewrite::Keep;
    found = true;
    lines[static_cast<size_t>(at)] = IndexLine(c);
    TrimList(lines);
    if (sortByDate) SortByDate(lines);
    return TRewrite::Save;
  });
  return ok && found;
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
