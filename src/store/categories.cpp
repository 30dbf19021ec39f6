// Categories: category.txt and the .ched header files.
#include "store/categories.h"

#include "store/DCSVList.h"
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

std::string CategoryHeader(const std::string& accountFolder, const std::string& id) {
  std::string text;
  if (!id.empty() && !IsSafeFileWord(id)) return text;  // the date archive reads ".ched" itself
  LoadTextFromFile(accountFolder + id + ".ched", text);
  return text;
}
