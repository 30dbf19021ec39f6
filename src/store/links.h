// The account's link list (url.link) and the links' banner pictures.
#pragma once
#include <string>
#include <vector>

struct TLinkURL {
  std::string id, url, title, category, comment;
};
using TLinkURLList = std::vector<TLinkURL>;

// File order. Lines of 3 fields give id, url and title; lines of 5 fields all five;
// other lines are skipped. A missing file gives an empty list.
void LoadLinkList(const std::string& accountFolder, TLinkURLList& list);

// The banner of a link in the account's image folder, as named on disk (the extension keeps
// the case it was uploaded with): <id>.jpg before <id>.gif before <id>.png. "" when there is
// none or the id cannot name a file of that folder.
std::string FindLinkBanner(const std::string& accountImageFolder, const std::string& linkId);
