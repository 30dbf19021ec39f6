// The account's link list (url.link) and the links' banner pictures.
#include "store/links.h"

#include <algorithm>
#include <functional>

#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace {

const char kLinkFile[] = "url.link";

TLinkURL LinkOf(const TCSVList& csv) {
  TLinkURL link;
  link.id = csv.Item(0);
  link.url = csv.Item(1);
  link.title = csv.Item(2);
  link.category = csv.Item(3);  // "" beyond the fields
  link.comment = csv.Item(4);
  return link;
}

std::string LineOf(const TLinkURL& l) { return MakeRecordLine({l.id, l.url, l.title, l.category, l.comment}); }

// Runs `edit` on the first line of 3 or 5 fields whose id is `id`, under the file's lock.
TLinkChange ChangeLinkLine(const std::string& accountFolder, const std::string& id, TLinkURL* old,
                           const std::function<TRewrite(TStringList&, size_t, TLinkURL&)>& edit) {
  bool found = false;
  const bool ok = RewriteLines(accountFolder + kLinkFile, [&](TStringList& lines, bool existed) {
    if (!existed) return TRewrite::Keep;
    TCSVList csv;
    for (size_t i = 0; i < lines.size(); ++i) {
      csv.SetLine(lines[i]);
      if ((csv.Count() != 3 && csv.Count() != 5) || csv.Item(0) != id) continue;
      found = true;
      TLinkURL link = LinkOf(csv);
      if (old) *old = link;
      return edit(lines, i, link);
    }
    return TRewrite::Keep;
  });
  if (!ok) return TLinkChange::Failed;
  return found ? TLinkChange::Done : TLinkChange::Missing;
}

}  // namespace

void LoadLinkList(const std::string& accountFolder, TLinkURLList& list) {
  list.clear();
  TStringList lines;
  if (!LoadLinesFromFile(accountFolder + kLinkFile, lines)) return;
  TCSVList csv;
  for (const auto& line : lines) {
    csv.SetLine(line);
    if (csv.Count() != 3 && csv.Count() != 5) continue;
    list.push_back(LinkOf(csv));
  }
}

TLinkChange AddLink(const std::string& accountFolder, TLinkURL& link) {
  const bool ok = RewriteLines(accountFolder + kLinkFile, [&](TStringList& lines, bool) {
    TCSVList csv;
    TStringList ids;
    for (const auto& line : lines) {
      csv.SetLine(line);
      ids.push_back(csv.Item(0));
    }
    do link.id = RandomCode(16);
    while (std::find(ids.begin(), ids.end(), link.id) != ids.end());
    TrimList(lines);
    lines.push_back(LineOf(link));
    return TRewrite::Save;
  });
  return ok ? TLinkChange::Done : TLinkChange::Failed;
}

TLinkChange ChangeLink(const std::string& accountFolder, const TLinkURL& link, TLinkURL* old) {
  return ChangeLinkLine(accountFolder, link.id, old, [&](TStringList& lines, size_t i, TLinkURL&) {
    lines[i] = LineOf(link);
    return TRewrite::Save;
  });
}

TLinkChange MoveLink(const std::string& accountFolder, const std::string& id, const std::string& category,
                     TLinkURL* old) {
  return ChangeLinkLine(accountFolder, id, old, [&](TStringList& lines, size_t i, TLinkURL& link) {
    link.category = category;
    lines[i] = LineOf(link);
    return TRewrite::Save;
  });
}

TLinkChange DeleteLink(const std::string& accountFolder, const std::string& id, TLinkURL* old) {
  return ChangeLinkLine(accountFolder, id, old, [&](TStringList& lines, size_t i, TLinkURL&) {
    lines.erase(lines.begin() + static_cast<long>(i));
    TrimList(lines);
    return lines.empty() ? TRewrite::Delete : TRewrite::Save;
  });
}

std::string FindLinkBanner(const std::string& accountImageFolder, const std::string& linkId) {
  if (!IsSafeFileWord(linkId)) return "";
  return FindFileNoCase(accountImageFolder, {linkId + ".jpg", linkId + ".gif", linkId + ".png"});
}
