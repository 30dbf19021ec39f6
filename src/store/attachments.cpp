// Pending pictures, attachment lists and bodies of the article editor.
#include "store/attachments.h"

#include <algorithm>

#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace {
const char kWorkFile[] = "workatt.txt";
}  // namespace

bool AppendWorkAttach(const std::string& accountFolder, const std::string& name, long long size,
                      const std::string& token) {
  return AppendLineToFile(accountFolder + kWorkFile, MakeRecordLine({name, std::to_string(size), token}));
}

bool RemoveWorkAttach(const std::string& accountFolder, const TStringList& names, TStringList* removed) {
  if (removed) removed->clear();
  if (names.empty()) return true;
  return RewriteLines(accountFolder + kWorkFile, [&](TStringList& lines, bool existed) {
    if (!existed) return TRewrite::Keep;
    TCSVList csv;
    const size_t before = lines.size();
    std::erase_if(lines, [&](const std::string& l) {
      csv.SetLine(l);
      if (csv.Count() != 3 || std::find(names.begin(), names.end(), csv.Item(0)) == names.end()) return false;
      if (removed) removed->push_back(csv.Item(0));
      return true;
    });
    if (lines.size() == before) return TRewrite::Keep;
    TrimList(lines);
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  });
}

bool RemoveAttachName(const std::string& accountFolder, const std::string& id, const std::string& name, bool& found) {
  found = false;
  if (!IsArticleId(id) || name.empty()) return true;
  return RewriteLines(accountFolder + id + ".iix", [&](TStringList& lines, bool existed) {
    if (!existed) return TRewrite::Keep;
    const auto it = std::find(lines.begin(), lines.end(), name);
    if (it == lines.end()) return TRewrite::Keep;
    found = true;
    lines.erase(it);
    TrimList(lines);
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  });
}

bool SaveAttachNames(const std::string& accountFolder, const std::string& id, const TStringList& names) {
  if (!IsArticleId(id)) return false;
  const std::string path = accountFolder + id + ".iix";
  if (!names.empty()) return SaveLinesToFile(path, names);
  if (!FileExists(path)) return true;
  return RewriteLines(path, [](TStringList&, bool existed) { return existed ? TRewrite::Delete : TRewrite::Keep; });
}

bool SaveArticleBody(const std::string& accountFolder, const std::string& id, const TStringList& lines) {
  return IsArticleId(id) && SaveLinesToFile(accountFolder + id + ".txt", lines);
}

bool CopyDataFile(const std::string& from, const std::string& to) {
  std::string bytes;
  return FileExists(from) && LoadStreamFromFile(from, bytes) && SaveStreamToFile(to, bytes);
}
