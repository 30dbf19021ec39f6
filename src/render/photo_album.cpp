// Photo album: picture cells, the PA list cell and the newest / random photo of the side menu.
#include "render/photo_album.h"

#include <time.h>
#include <unistd.h>

#include <random>

#include "app/Unit1.h"
#include "store/file_access.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

const char* const kCellOpen = "<td class=\"pt\" style=\"text-align:center\">";

bool IsPictureName(const std::string& name) {
  const std::string u = UpperCase(name);
  for (const char* ext : {".JPG", ".GIF", ".PNG"}) {
    const std::string e(ext);
    if (u.size() >= e.size() && u.compare(u.size() - e.size(), e.size(), e) == 0) return true;
  }
  return false;
}

std::string PagingKey(const std::string& date) {
  std::string key;
  for (char c : date)
    if (c != '/' && c != ':' && c != ' ') key += c;
  return key;
}

// "" lists from the newest; a fourteen-character word that is no date starts at 2008/01/01.
std::string StartKeyOf(const std::string& word) {
  if (word.size() != 14) return "";
  const std::string stamp = word.substr(0, 4) + "/" + word.substr(4, 2) + "/" + word.substr(6, 2) + " " +
                            word.substr(8, 2) + ":" + word.substr(10, 2) + ":" + word.substr(12, 2);
  return IsValidStamp(stamp) ? word : "20080101000000";
}

size_t ClockPick(size_t count) {
  static std::mt19937_64 gen = [] {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::seed_seq seed{static_cast<unsigned>(ts.tv_sec), static_cast<unsigned>(ts.tv_nsec),
                       static_cast<unsigned>(getpid())};
    return std::mt19937_64(seed);
  }();
  return std::uniform_int_distribution<size_t>(0, count - 1)(gen);
}

std::string PageLink(const std::string& account, const std::string& word, const std::string& key,
                     const std::string& label) {
  return "[<a href=\"./velm.exe?" + account + "+pa+" + word + "+" + key + "\">" + label + "</a>]";
}

}  // namespace

std::string PhotoCells(const TPhotoPlace& place, const TCSSValue& css, const TContentIndex& content,
                       bool urlOnly, int& column) {
  if (!IsArticleId(content.id) || !FileExists(place.AccountFolder + content.id + ".txt")) return "";
  TStringList names;
  if (!LoadLinesFromFile(place.AccountFolder + content.id + ".iix", names)) return "noread";
  const int columns = css.ALBUMVIEWCOLUMN < 1 ? 1 : css.ALBUMVIEWCOLUMN;
  std::string out;
  for (const auto& name : names) {
    if (!IsSafeFileWord(name) || !FileExists(place.ImageFolder + name)) continue;
    if (!IsPictureName(name)) continue;
    const std::string url = place.ImageURL + name;
    if (urlOnly) return url;
    if (column == 0) out += std::string("<tr>") + kCellOpen;
    out += "<a href=\"./velm.exe?" + place.AccountId + "+sl+" + content.id + "\"><img src=\"" + url +
           "\" width=\"" + std::to_string(css.SIMAGEWIDTH) + "\" alt=\"" + content.title +
           "\" border=\"0\"></a><br><span style=\"font-size:xx-small\">" + content.title + " [" +
           ShortStamp(content.date) + "]</span>";
    if (++column == columns) {
      column = 0;
      out += "</td></tr>";
    } else {
      out += std::string("</td>") + kCellOpen;
    }
    if (css.ALBUMPHOTOMETHOD == 1) break;
  }
  return out;
}

bool TWebModule1::ChoosePhoto(bool random, TContentIndex& content, std::string& imageHtml) {
  content = TContentIndex();
  imageHtml.clear();
  TContentList photos;
  LoadPhotoContentList(AccountFolder(), "", !random, false, photos, "");
  if (photos.empty()) return false;
  size_t index = 0;
  if (random) {
    index = PhotoPick ? PhotoPick(photos.size()) : ClockPick(photos.size());
    if (index >= photos.size()) index = photos.size() - 1;
  }
  content = photos[index];
  const TPhotoPlace place{Account.Id, AccountFolder(), AccountImageFolder(), Sys.IMAGEPATH + Account.Id + "/"};
  int column = 0;
  imageHtml = PhotoCells(place, Css, content, true, column);
  if (!random && imageHtml.empty()) imageHtml = content.id + ".dummy";
  return true;
}

void TWebModule1::PhotoAlbumCell(TStringList& page) {
  page.push_back("<td class=\"contentcell\">");
  const std::string word = Arg3.empty() ? "@" : Arg3;
  const bool byDate = Arg3.size() == 6 || Arg3.size() == 8;
  const std::string category = byDate || word == "@" ? "" : Arg3;
  TContentList photos;
  LoadPhotoContentList(AccountFolder(), category, false, false, photos, byDate ? Arg3 : "");

  const std::string startKey = StartKeyOf(Arg4);
  size_t start = 0;
  if (!startKey.empty())
    for (size_t i = 0; i < photos.size(); ++i)
      if (PagingKey(photos[i].date) < startKey) {
        start = i;
        break;
      }
  if (start >= photos.size()) {
    page.push_back("<br>対象記事はありません<br>");
    page.push_back("</td>");
    return;
  }

  const TPhotoPlace place{Account.Id, AccountFolder(), AccountImageFolder(), Sys.IMAGEPATH + Account.Id + "/"};
  const int pageSize = Css.ALBUMVIEWCOUNT < 0 ? 0 : Css.ALBUMVIEWCOUNT;
  page.push_back("<table border=\"0\" cellpadding=\"5\">");
  AlbumColumn = 0;
  size_t last = start;
  int count = 0;
  for (size_t i = start; i < photos.size(); ++i) {
    last = i;
    const std::string cells = PhotoCells(place, Css, photos[i], false, AlbumColumn);
    if (!cells.empty()) page.push_back(cells);
    if (++count == pageSize) break;
  }
  page.push_back("</table>");

  const std::string older =
      last + 1 < photos.size()
          ? PageLink(Account.Id, word, PagingKey(photos[last].date), "前ぺージ")
          : "<span style=\"color:silver\">[前ぺージ]</span>";
  const long long p = static_cast<long long>(start) - pageSize;
  const std::string newer = p < 1 ? PageLink(Account.Id, word, PagingKey("1997:01:01 00:00:00"), "最新ページ")
                                   : PageLink(Account.Id, word, PagingKey(photos[p - 1].date), "次ぺージ");
  page.push_back("<div align=\"center\">" + older + newer + "</div>");
  page.push_back("</td>");
}
