// The account's link list (url.link).
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
