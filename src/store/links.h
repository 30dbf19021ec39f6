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

enum class TLinkChange { Done, Missing, Failed };

// Adds a link at the end of url.link with a new id of 16 random characters that no line has
// (set in link.id). The fields are written as given: callers escape them first.
TLinkChange AddLink(const std::string& accountFolder, TLinkURL& link);
// Replaces the line of 3 or 5 fields whose id is link.id by the five fields of link; the line
// as it was is left in *old.
TLinkChange ChangeLink(const std::string& accountFolder, const TLinkURL& link, TLinkURL* old = nullptr);
// The link's category becomes category; a line of 3 fields is written with 5.
TLinkChange MoveLink(const std::string& accountFolder, const std::string& id, const std::string& category,
                     TLinkURL* old = nullptr);
// Removes the line whose field 0 is id (url.link is deleted when no line remains).
TLinkChange DeleteLink(const std::string& accountFolder, const std::string& id, TLinkURL* old = nullptr);
