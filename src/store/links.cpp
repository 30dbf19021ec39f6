// The account's link list (url.link) and the links' banner pictures.
#include "store/links.h"

#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"

void LoadLinkList(const std::string& accountFolder, TLinkURLList& list) {
  list.clear();
  TStringList lines;
  if (!LoadLinesFromFile(accountFolder + "url.link", lines)) return;
  TCSVList csv;
  for (const auto& line : lines) {
    csv.SetLine(line);
    if (csv.Count() != 3 && csv.Count() != 5) continue;
    TLinkURL link;
    link.id = csv.Item(0);
    link.url = csv.Item(1);
    link.title = csv.Item(2);
    link.category = csv.Item(3);  // "" beyond the fields
    link.comment = csv.Item(4);
    list.push_back(std::move(link));
  }
}

std::string FindLinkBanner(const std::string& accountImageFolder, const std::string& linkId) {
  if (!IsSafeFileWord(linkId)) return "";
  return FindFileNoCase(accountImageFolder, {linkId + ".jpg", linkId + ".gif", linkId + ".png"});
}
