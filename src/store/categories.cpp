// Categories: category.txt and the .ched header files.
#include "store/categories.h"

#include <algorithm>
#include <functional>

#include "store/DCSVList.h"
#include "store/articles.h"
#include "store/comments.h"
#include "store/file_access.h"
#include "text/DString.h"

void LoadCategoryList(const std::string& accountFolder, TCategoryList& list) {
  list.clear();
  TStringList lines;
  LoadLinesFromFile(accountFolder + "category.txt", lines);
  TCSVList csv;
  for (const auto& line : lines) {
    csv.SetLine(line);
    if (csv.Count() < 2) continue;
    TCategoryData c;
    c.id = csv.Item(0);
    c.name = csv.Item(1);
    c.visible = csv.Count() == 2 || csv.Item(2) == "1";
    list.push_back(c);
  }
}

const TCategoryData* FindCategory(const TCategoryList& list, const std::string& id) {
  for (const auto& c : list)
    if (c.id == id) return &c;
  return nullptr;
}

std::string CategoryName(const TCategoryList& list, const std::string& id) {
  const TCategoryData* c = FindCategory(list, id);
  return c ? c->name : "Any Category";
}

std::string CategoryHeader(const std::string& accountFolder, const std::string& id) {
  std::string text;
  if (!id.empty() && !IsSafeFileWord(id)) return text;  // the date archive reads ".ched" itself
  LoadTextFromFile(accountFolder + id + ".ched", text);
  return text;
}

namespace {

const char kCategoryFile[] = "category.txt";

// Runs `edit` on the index (0-based) of the first line with at least 2 fields whose field 0 is
// id, under the file's lock. Missing when no line carries the id.
TCategoryChange ChangeCategoryLine(const std::string& accountFolder, const std::string& id,
                                   const std::function<TRewrite(TStringList&, size_t, const TCSVList&)>& edit) {
  bool found = false;
  const bool ok = RewriteLines(accountFolder + kCategoryFile, [&](TStringList& lines, bool) {
    TCSVList csv;
    for (size_t i = 0; i < lines.size(); ++i) {
      csv.SetLine(lines[i]);
      if (csv.Count() < 2 || csv.Item(0) != id) continue;
      found = true;
      return edit(lines, i, csv);
    }
    return TRewrite::Keep;
  });
  if (!ok) return TCategoryChange::Failed;
  return found ? TCategoryChange::Done : TCategoryChange::Missing;
}

std::string VisibilityOf(const TCSVList& csv) { return csv.Count() == 2 ? "1" : csv.Item(2); }

}  // namespace

TCategoryChange AddCategory(const std::string& accountFolder, const std::string& name, std::string* newId) {
  const std::string escaped = Escape(name);
  bool duplicate = false;
  std::string id;
  const bool ok = RewriteLines(accountFolder + kCategoryFile, [&](TStringList& lines, bool) {
    TCSVList csv;
    TStringList ids;
    for (const auto& line : lines) {
      csv.SetLine(line);
      if (csv.Count() < 2) continue;
      if (csv.Item(1) == escaped) {
        duplicate = true;
        return TRewrite::Keep;
      }
      ids.push_back(csv.Item(0));
    }
    do id = RandomCode(16);
    while (std::find(ids.begin(), ids.end(), id) != ids.end());
    TrimList(lines);
    lines.push_back(MakeRecordLine({id, escaped, "1"}));
    return TRewrite::Save;
  });
  if (!ok) return TCategoryChange::Failed;
  if (duplicate) return TCategoryChange::Duplicate;
  if (newId) *newId = id;
  return TCategoryChange::Done;
}

TCategoryChange RenameCategory(const std::string& accountFolder, const std::string& id, const std::string& name) {
  const std::string escaped = Escape(name);
  bool duplicate = false;
  const TCategoryChange r = ChangeCategoryLine(accountFolder, id, [&](TStringList& lines, size_t i, const TCSVList& csv) {
    // Names stay unique: another category of that name refuses the rename.
    TCSVList other;
    for (size_t j = 0; j < lines.size(); ++j) {
      if (j == i) continue;
      other.SetLine(lines[j]);
      if (other.Count() >= 2 && other.Item(1) == escaped) {
        duplicate = true;
        return TRewrite::Keep;
      }
    }
    lines[i] = MakeRecordLine({id, escaped, VisibilityOf(csv)});
    return TRewrite::Save;
  });
  return duplicate ? TCategoryChange::Duplicate : r;
}

TCategoryChange MoveCategoryUp(const std::string& accountFolder, const std::string& id) {
  return ChangeCategoryLine(accountFolder, id, [&](TStringList& lines, size_t i, const TCSVList&) {
    if (i == 0) return TRewrite::Keep;
    std::swap(lines[i - 1], lines[i]);
    return TRewrite::Save;
  });
}

TCategoryChange SetCategoryVisible(const std::string& accountFolder, const std::string& id, bool visible) {
  return ChangeCategoryLine(accountFolder, id, [&](TStringList& lines, size_t i, const TCSVList& csv) {
    lines[i] = MakeRecordLine({id, csv.Item(1), visible ? "1" : "0"});
    return TRewrite::Save;
  });
}

TCategoryChange DeleteCategory(const std::string& accountFolder, const std::string& imageFolder,
                               const std::string& id) {
  const TCategoryChange r = ChangeCategoryLine(accountFolder, id, [&](TStringList& lines, size_t i, const TCSVList&) {
    lines.erase(lines.begin() + static_cast<long>(i));
    TrimList(lines);
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  });
  if (r != TCategoryChange::Done) return r;
  if (IsSafeFileWord(id)) DeleteFile(accountFolder + id + ".ched");
  // The category's articles: body, listed pictures, attachment list, index line.
  const bool indexOk = RewriteLines(accountFolder + "cindex.txt", [&](TStringList& lines, bool existed) {
    if (!existed) return TRewrite::Keep;
    TCSVList csv;
    TStringList kept;
    for (auto& line : lines) {
      csv.SetLine(line);
      if (csv.Count() < 2 || csv.Item(0) != id) {
        kept.push_back(std::move(line));
        continue;
      }
      const std::string article = csv.Item(1);
      if (!IsArticleId(article)) continue;
      DeleteFile(accountFolder + article + ".txt");
      for (const auto& name : LoadAttachNames(accountFolder, article))
        if (IsSafeFileWord(name)) DeleteFile(imageFolder + name);
      DeleteFile(accountFolder + article + ".iix");
    }
    if (kept.size() == lines.size()) return TRewrite::Keep;
    lines.swap(kept);
    TrimList(lines);
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  });
  const bool commentsOk = DeleteCategoryComments(accountFolder, id);
  return indexOk && commentsOk ? TCategoryChange::Done : TCategoryChange::Failed;
}
