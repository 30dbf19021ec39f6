// The side menu cell (navicell), the sub column cell (subcell) and the link page content cell.
#include "render/side_menu.h"

#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "app/Unit1.h"
#include "render/calendar.h"
#include "render/templates.h"
#include "store/DCSVList.h"
#include "store/file_access.h"
#include "store/links.h"
#include "text/DString.h"
#include "text/dates.h"

const TStringList& DefaultMenuLines() {
  static const TStringList lines = {
      "<ATOMMARK>", "<hr>", "カレンダ<br>",   "<CALENDAR>",  "<hr>", "アーカイブ<br>", "<MONTHCONTENT>",
      "<hr>",       "カテゴリ<br>",   "<CATEGORY>",   "<hr>", "最新記事<br>", "<NEWCONTENT>", "<hr>",
      "最新コメント<br>", "<NEWCOMMENT>", "<hr>", "リンク<br>",   "<LINKURL>",   "<hr>", "プロフィール<br>",
      "<PROFILE>",  "<hr>", "アクセス数<br>", "<ACCESSCOUNT>", "<hr>"};
  return lines;
}

namespace {

const std::string kCrLf = "\r\n";
// The credit that ends every side menu ("<COPYRIGHT>").
const char* const kMenuCredit = "<div style=\"font-size:xx-small; text-align:center\">Powered by VELM 1.23</div>";

// The bullets written in front of box entries; template lines may set them for the page.
// (PHOTOMARK= lines are menu text only: no box of the menu writes photo entries.)
struct TMarks {
  std::string Month, Category, Content, Comment, Link;
};

void ReadMarkLines(const TStringList& lines, TMarks& marks) {
  static const struct {
    const char* Key;
    std::string TMarks::*Field;
  } kKeys[] = {{"MONTHMARK=", &TMarks::Month},     {"CATEGORYMARK=", &TMarks::Category},
               {"CONTENTMARK=", &TMarks::Content}, {"COMMENTMARK=", &TMarks::Comment},
               {"LINKMARK=", &TMarks::Link}};
  for (const auto& line : lines) {
    size_t b = 0;
    while (b < line.size() && static_cast<unsigned char>(line[b]) <= 0x20) ++b;
    if (b == line.size() || !strchr("MCLmcl", line[b])) continue;  // no key can start here
    const std::string t = Trim(line);
    for (const auto& k : kKeys)
      if (StartsText(k.Key, t)) {
        marks.*k.Field = t.substr(strlen(k.Key));
        break;
      }
  }
}

// One menu line under replacement, with its upper-case twin for the tag tests.
class TMenuLine {
public:
  explicit TMenuLine(const std::string& text) : FText(text), FUpper(UpperCase(text)) {}
  bool Has(const char* tag) const { return FUpper.find(tag) != std::string::npos; }
  // Every occurrence of the (upper-case) tag, letter case ignored.
  void Replace(const char* tag, const std::string& value) {
    if (!Has(tag)) return;
    FText = ReplaceAllText(FText, tag, value);
    FUpper = UpperCase(FText);
  }
  // Every occurrence, letter case significant.
  void ReplaceExact(const char* tag, const std::string& value) {
    if (FText.find(tag) == std::string::npos) return;
    FText = ReplaceAll(FText, tag, value);
    FUpper = UpperCase(FText);
  }
  // Every tag that starts with `open` (upper case) up to its closing ">" outside quotes is
  // replaced by make(tag text). An unclosed tag stays.
  template <class F>
  void ReplaceTags(const char* open, F make) {
    size_t pos = 0;
    while ((pos = FUpper.find(open, pos)) != std::string::npos) {
      bool quoted = false;
      size_t end = pos + strlen(open);
      for (; end < FText.size(); ++end) {
        if (FText[end] == '"') quoted = !quoted;
        else if (FText[end] == '>' && !quoted) break;
      }
      if (end >= FText.size()) return;
      const std::string html = make(FText.substr(pos, end - pos + 1));
      FText.replace(pos, end - pos + 1, html);
      FUpper.replace(pos, end - pos + 1, UpperCase(html));
      pos += html.size();
    }
  }
  std::string& Text() { return FText; }

private:
  std::string FText, FUpper;
};

// The boxes of one side menu; each is built the first time a line asks for it.
// The account's links, read once for the page (the menu box and the link page both show them).
const TLinkURLList& LinksOf(const TWebModule1& m, const TWebModule1::TSideMenuInput& in) {
  if (!in.Links) LoadLinkList(m.AccountFolder(), in.Links.emplace());
  return *in.Links;
}

class TSideMenu {
public:
  TSideMenu(TWebModule1& m, const TWebModule1::TSideMenuInput& in) : M(m), In(in) {
    Marks.Month = m.Sys.MONTHMARK;
    Marks.Category = m.Sys.CATEGORYMARK;
    Marks.Content = m.Sys.CONTENTMARK;
    Marks.Comment = m.Sys.COMMENTMARK;
    Marks.Link = m.Sys.LINKMARK;
  }

  // The custom menu, else the named template, else the built-in menu. A file that exists is
  // used as it is, even when it holds nothing; one that cannot be read counts as missing.
  TStringList Template() {
    TStringList lines;
    if (M.Css.USECUSTOMMENU && M.Sys.USECUSTOMMENU) {
      const std::string path = M.AccountFolder() + "custommenu.txt";
      if (FileExists(path) && LoadLinesFromFile(path, lines)) return lines;
    }
    if (LoadNamedTemplate(M.Sys.NaviTempList, M.Css.MENUTEMPNAME, M.TemplateFolder(), lines)) return lines;
    return DefaultMenuLines();
  }

  std::string Process(const std::string& text) {
    TMenuLine line(text);
    line.ReplaceExact("<COOKIEID>", Escape(M.InName));
    line.ReplaceExact("<COOKIEPASS>", "");  // the password is never written into a page
    if (line.Has("<RSSMARK>")) line.Replace("<RSSMARK>", FeedMark(0));
    if (line.Has("<RSSMARK20>")) line.Replace("<RSSMARK20>", FeedMark(1));
    if (line.Has("<ATOMMARK>")) line.Replace("<ATOMMARK>", FeedMark(2));
    if (line.Has("<PAGERANK>")) line.Replace("<PAGERANK>", Cached(FPageRank, &TSideMenu::PageRank));
    line.ReplaceTags("<CALENDAR", [this](const std::string& tag) { return Calendar(tag); });
    if (line.Has("<MONTHCONTENT>")) line.Replace("<MONTHCONTENT>", Cached(FMonths, &TSideMenu::MonthBox));
    if (line.Has("<CATEGORY>")) line.Replace("<CATEGORY>", Cached(FCategories, &TSideMenu::CategoryBox));
    PhotoTags(line, false, "<LASTPHOTOSUBJECT>", "<LASTPHOTODATE>", "<LASTPHOTOURL>", "<LASTPHOTO>");
    PhotoTags(line, true, "<RANDOMPHOTOSUBJECT>", "<RANDOMPHOTODATE>", "<RANDOMPHOTOURL>", "<RANDOMPHOTO>");
    if (line.Has("<NEWCONTENT>")) line.Replace("<NEWCONTENT>", Cached(FNewContents, &TSideMenu::NewContentBox));
    if (line.Has("<NEWCOMMENT>"))
      line.Replace("<NEWCOMMENT>", M.Css.USECOMMENT ? Cached(FNewComments, &TSideMenu::NewCommentBox) : "停止中");
    if (line.Has("<LINKURL>")) line.Replace("<LINKURL>", Cached(FLinks, &TSideMenu::LinkBox));
    if (line.Has("<PROFILE>")) line.Replace("<PROFILE>", Cached(FProfile, &TSideMenu::ProfileBox));
    if (line.Has("<ACCESSCOUNT>")) line.Replace("<ACCESSCOUNT>", Cached(FCounter, &TSideMenu::CounterBox));
    if (line.Has("<SEARCHBOX>")) line.Replace("<SEARCHBOX>", Cached(FSearch, &TSideMenu::SearchBox));
    if (line.Has("<COPYRIGHT>")) line.Replace("<COPYRIGHT>", kMenuCredit);
    return std::move(line.Text());
  }

  TMarks Marks;

private:
  using TBuild = std::string (TSideMenu::*)();
  std::string& Cached(std::optional<std::string>& slot, TBuild build) {
    if (!slot) slot = (this->*build)();
    return *slot;
  }

  const std::string& Account() const { return M.Account.Id; }
  std::string ArticleLink(const std::string& id) const { return "./velm.exe?" + Account() + "+sl+" + id; }

  // Feed marks: 0 RSS 1.0, 1 RSS 2.0, 2 Atom.
  std::string FeedMark(int kind) {
    static const struct {
      const char *Command, *Image, *Alt, *Text;
    } kKinds[] = {{"rssl", "rss10long.gif", "VELM-RSS 1.0", "RSS1.0"},
                  {"rssl20", "rss20long.gif", "VELM-RSS 2.0", "RSS2.0"},
                  {"atoml", "atom10long.gif", "VELM-RSS ATOM1.0", "ATOM1.0"}};
    if (FFeedMarks[kind]) return *FFeedMarks[kind];
    const auto& k = kKinds[kind];
    const std::string anchor = "<a href=\"./velm.exe?" + Account() + "+" + k.Command + "\" target=\"_blank\">";
    FFeedMarks[kind] = FileExists(M.ImageFolder() + k.Image)
                           ? anchor + "<img src=\"./images/" + k.Image + "\" alt=\"" + k.Alt + "\" border=\"0\"></a>"
                           : "[" + anchor + k.Text + "</a>]";
    return *FFeedMarks[kind];
  }

  // The rank cached in pagerank.txt while it is at most one day old; nothing is asked outside.
  std::string PageRank() {
    TCSVList csv;
    csv.SetLine(ReadFirstLine(M.AccountFolder() + "pagerank.txt", ""));
    if (csv.Count() != 2 || !IsValidStamp(csv.Item(0))) return "0";
    const time_t at = ToUnix(ParseStamp(csv.Item(0))), now = time(nullptr);
    if (at > now || now - at > 24 * 60 * 60) return "0";
    long long rank = 0;
    if (!StrToIntStrict(csv.Item(1), rank) || rank < 0) return "0";
    return std::to_string(rank);
  }

  std::string Calendar(const std::string& tag) {
    auto it = FCalendars.find(tag);
    if (it == FCalendars.end())
      it = FCalendars.emplace(tag, M.CalendarHTML(tag, In.CalendarYear, In.CalendarMonth, In.Summary)).first;
    return it->second;
  }

  std::string MonthBox() {
    if (In.Closed) return "";
    const TStringList months = In.Summary.Months();
    if (months.empty()) return "記事はありません<br>";
    TStringList lines = {
        "<script language=\"JavaScript\" type=\"text/JavaScript\">", "<!--", "function _openmonth(id) {",
        "  if (document.getElementById(id).style.display == 'none') { "
        "document.getElementById(id).style.display = 'block'; } else { "
        "document.getElementById(id).style.display = 'none'; }",
        "}", "-->", "</script>"};
    const int fold = M.Css.MONTHFOLDING;
    for (size_t i = 0; i < months.size(); ++i) {
      if (fold >= 0 && i == static_cast<size_t>(fold)) {
        lines.push_back(Marks.Month + "<a href=\"javascript:_openmonth('nextmonth')\">続き...</a><br>");
        lines.push_back("<div id=\"nextmonth\" style=\"display:none\">");
      }
      const std::string& m = months[i];  // "yyyy/mm"
      lines.push_back(Marks.Month + "<a href=\"./velm.exe?" + Account() + "+sv+" + m.substr(0, 4) + m.substr(5, 2) +
                      "\">" + m + "</a><br>");
    }
    if (fold >= 0 && months.size() > static_cast<size_t>(fold)) lines.push_back("</div>");
    return JoinLines(lines, kCrLf);
  }

  std::string CategoryBox() {
    if (In.Closed) return "";
    if (M.CategoryList.empty()) return "カテゴリはありません<br>";
    static const struct {
      const char *Version, *Command, *Image, *Alt;
    } kFeeds[] = {{"1.0", "rssl", "rss10long.gif", "RSS1.0"},
                  {"2.0", "rssl20", "rss20long.gif", "RSS2.0"},
                  {"ATOM", "atoml", "atom10long.gif", "ATOM1.0"}};
    const char *command = nullptr, *image = nullptr, *alt = nullptr;
    if (M.Css.USECATEGORYRSS)
      for (const auto& f : kFeeds)
        if (M.Css.RSSVERSION == f.Version) command = f.Command, image = f.Image, alt = f.Alt;
    TStringList lines;
    long long total = 0;
    for (const auto& c : M.CategoryList) {
      if (!c.visible) continue;
      const std::string feed = command ? "<a href=\"./velm.exe?" + Account() + "+" + command + "+" + c.id +
                                             "\"><img src=\"./images/" + image + "\" alt=\"" + alt +
                                             "\" border=\"0\"></a><br>"
                                       : "<br>";
      lines.push_back(Marks.Category + "<a href=\"./velm.exe?" + Account() + "+sv+" + c.id + "\">" + c.name + "(" +
                      std::to_string(c.count) + ")</a>" + feed);
      total += c.count;
    }
    lines.push_back(Marks.Category + "<a href=\"./velm.exe?" + Account() + "+dv\">全ての記事(" + std::to_string(total) +
                    ")</a>");
    return JoinLines(lines, kCrLf);
  }

  std::string NewContentBox() {
    if (In.Closed) return "";
    TStringList lines;
    int count = 0;
    for (const auto& c : In.Contents) {
      if (!c.visible) continue;
      lines.push_back(Marks.Content + "<a href=\"" + ArticleLink(std::string(c.id())) + "\">" + std::string(c.title()) +
                      "</a><br>");
      lines.push_back(ShortStamp(std::string(c.date())) + "<br>");
      if (++count > M.Css.CONTENTVIEWCOUNT) break;
    }
    return lines.empty() ? "記事はありません" : JoinLines(lines, kCrLf);
  }

  // Grouped by article in the order of each article's newest comment. A comment whose article
  // is not among the public articles is left out: its subject is not to be shown.
  std::string NewCommentBox() {
    if (In.Closed) return "";
    std::vector<std::string> order;
    std::unordered_map<std::string, std::vector<const TCommentIndex*>> groups;
    for (const auto& c : In.NewComments) {
      if (!c.visible) continue;
      auto& g = groups[c.logid];
      if (g.empty()) order.push_back(c.logid);
      g.push_back(&c);
    }
    std::unordered_map<std::string, std::string_view> titles;
    for (const auto& c : In.Contents) {
      if (titles.size() == groups.size()) break;
      if (c.visible && groups.count(std::string(c.id()))) titles.emplace(c.id(), c.title());
    }
    TStringList lines;
    for (const auto& id : order) {
      const auto t = titles.find(id);
      if (t == titles.end()) continue;
      lines.push_back(Marks.Comment + "<a href=\"" + ArticleLink(id) + "\">" + std::string(t->second) + "</a><br>");
      for (const TCommentIndex* c : groups[id])
        lines.push_back(" <span style=\"font-weight:bold\">" + c->name + "</span> [" + ShortStamp(c->date) + "]<br>");
    }
    return lines.empty() ? "コメントはありません" : JoinLines(lines, kCrLf);
  }

  std::string LinkBox() {
    if (In.Closed) return "";
    TStringList lines;
    for (const auto& l : LinksOf(M, In))
      lines.push_back(Marks.Link + "<a href=\"" + l.url + "\" target=\"_blank\">" + l.title + "</a><br>");
    return JoinLines(lines, kCrLf);
  }

  std::string ProfileBox() {
    std::string text;
    if (!LoadTextFromFile(M.AccountFolder() + "profile.txt", text)) text = "プロフィールは未設定です";
    const std::string image =
        FindFileNoCase(M.AccountImageFolder(), {"profileimage.jpg", "profileimage.gif", "profileimage.png"});
    if (!image.empty())
      text += "<div align=\"center\"><img src=\"" + M.Sys.IMAGEPATH + Account() + "/" + image + "\" width=\"" +
              std::to_string(M.Sys.NAVICELLWIDTH - 6) + "\" alt=\"Profile image\"></div>";
    return text;
  }

  std::string CounterBox() {
    TStringList lines;
    M.CounterLines(lines);
    return JoinLines(lines, kCrLf);
  }

  std::string SearchBox() {
    return M.FormStart("dv") + "<input class=\"searchform\" type=\"text\" name=\"searchword\" value=\"" +
           Escape(M.Request.ContentFieldValue("searchword")) +
           "\"><input class=\"searchbutton\" type=\"submit\" value=\"検索\"></form>";
  }

  // The newest or a random photo, chosen once per page: subject, stored date, article link and
  // the picture sized to the menu column. Without photos the tags become empty.
  struct TPhoto {
    bool Chosen = false, Found = false;
    TContentIndex Content;
    std::string URL;
  };
  void PhotoTags(TMenuLine& line, bool random, const char* subject, const char* date, const char* url,
                 const char* picture) {
    if (!line.Has(subject) && !line.Has(date) && !line.Has(url) && !line.Has(picture)) return;
    TPhoto& p = FPhotos[random ? 1 : 0];
    if (!p.Chosen) {
      p.Chosen = true;
      p.Found = !In.Closed && M.ChoosePhoto(random, p.Content, p.URL);
    }
    line.Replace(subject, p.Found ? p.Content.title : "");
    line.Replace(date, p.Found ? p.Content.date : "");
    line.Replace(url, p.Found ? ArticleLink(p.Content.id) : "");
    line.Replace(picture, p.Found ? "<img src=\"" + p.URL + "\" width=\"" + std::to_string(M.Sys.NAVICELLWIDTH - 6) +
                                        "\" alt=\"" + p.Content.title + "\" border=\"0\">"
                                  : "");
  }

  TWebModule1& M;
  const TWebModule1::TSideMenuInput& In;
  std::optional<std::string> FFeedMarks[3], FPageRank, FMonths, FCategories, FNewContents, FNewComments, FLinks,
      FProfile, FCounter, FSearch;
  std::map<std::string, std::string> FCalendars;
  TPhoto FPhotos[2];
};

}  // namespace

// The box texts of sidemenu.txt: box n is the lines between "SIDEMENU<n>START" and the first
// "SIDEMENU<n>END" after it (whole lines, blanks around and letter case ignored). A start
// without its end is no block. One pass.
void ReadSideMenuBlocks(const TStringList& lines, std::vector<std::optional<std::string>>& boxes) {
  const int count = static_cast<int>(boxes.size());
  std::vector<long long> start(boxes.size(), -1);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& raw = lines[i];
    size_t b = 0;
    while (b < raw.size() && static_cast<unsigned char>(raw[b]) <= 0x20) ++b;
    if (b == raw.size() || (raw[b] != 'S' && raw[b] != 's')) continue;
    const std::string t = UpperCase(Trim(raw));
    if (t.compare(0, 8, "SIDEMENU") != 0) continue;
    size_t d = 8;
    while (d < t.size() && t[d] >= '0' && t[d] <= '9') ++d;
    const std::string rest = t.substr(d);
    // The number in decimal without leading zeros, as the gadget save writes it.
    if (d == 8 || d - 8 > 9 || t[8] == '0' || (rest != "START" && rest != "END")) continue;
    const int n = std::stoi(t.substr(8, d - 8));
    if (n < 1 || n > count || boxes[n - 1]) continue;
    long long& s = start[n - 1];
    if (rest == "START") {
      if (s < 0) s = static_cast<long long>(i);
    } else if (s >= 0) {
      TStringList block(lines.begin() + s + 1, lines.begin() + static_cast<long long>(i));
      boxes[n - 1] = JoinLines(block, kCrLf);
    }
  }
}

void TWebModule1::SideMenuCell(TStringList& page, const TSideMenuInput& in) {
  page.push_back("<td class=\"navicell\">");
  TSideMenu menu(*this, in);
  TStringList lines = menu.Template();
  lines.push_back("<COPYRIGHT>");
  ReadMarkLines(lines, menu.Marks);
  for (const auto& line : lines) page.push_back(menu.Process(line));
  page.push_back("</td>");
}

TStringList LoadSideMenuBoxes(const std::string& accountFolder, const TSystemSettings& sys) {
  const int count = sys.SIDEMENUMAX > 0 ? sys.SIDEMENUMAX : 0;
  std::vector<std::optional<std::string>> boxes(static_cast<size_t>(count));
  if (count > 0) {
    TStringList lines;
    if (LoadLinesFromFile(accountFolder + "sidemenu.txt", lines)) ReadSideMenuBlocks(lines, boxes);
  }
  TStringList texts(static_cast<size_t>(count));
  for (int n = 1; n <= count; ++n) {
    if (boxes[n - 1]) {
      texts[n - 1] = *boxes[n - 1];
      continue;
    }
    for (const auto& d : sys.DefaultSideMenu)
      if (d.No == n) {
        texts[n - 1] = d.Text;
        break;
      }
  }
  return texts;
}

void TWebModule1::SubColumnCell(TStringList& page) {
  page.push_back("<td class=\"subcell\">");
  for (const auto& text : LoadSideMenuBoxes(AccountFolder(), Sys))
    page.push_back("<div class=\"sidebox\">" + (text.empty() ? std::string("<br>") : ExpandFeedBoxes(text)) + "</div>");
  page.push_back("</td>");
}

void TWebModule1::LinkPageCell(TStringList& page, const TSideMenuInput& in) {
  page.push_back("<td class=\"contentcell\">");
  TStringList data;
  const std::string* name = nullptr;
  for (const auto& l : LinksOf(*this, in)) {
    if (l.category != Arg3) continue;
    name = &l.category;
    std::string display = l.title;
    // A link without a banner file keeps its title rather than showing a broken picture.
    if (Sys.USELINKBANNER) {
      const std::string banner = FindLinkBanner(AccountImageFolder(), l.id);
      if (!banner.empty())
        display = "<img src=\"./images/" + Account.Id + "/" + banner + "\" alt=\"" + l.title + "\" border=\"0\">";
    }
    data.push_back("<p><a href=\"" + l.url + "\" target=\"_blank\">" + display + "</a><br>" + l.comment + "</p>");
  }
  if (!name) {
    page.push_back("記事はありません");
  } else {
    // The built-in link template "Link / <CATEGORYNAME><br><br>", "<LINKDATA>", filled in one
    // pass so that stored text is never searched for tags.
    page.push_back("Link / " + *name + "<br><br>" + kCrLf + JoinLines(data, kCrLf));
  }
  page.push_back("</td>");
}
