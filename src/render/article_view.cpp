// Articles through their templates: list cell with paging and search, single-article, preview
// and printable cells, comment list.
#include "render/article_view.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string_view>
#include <unordered_map>

#include "render/article_body.h"
#include "render/comment_post.h"
#include "render/page_parts.h"
#include "render/templates.h"
#include "store/file_access.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

const char kNewestKey[] = "19970101000000";  // precedes every article: the newest page

TStringList BuiltInArticleTemplate(bool trackback) {
  TStringList t = {
      "<LOGDATE> / <LOGCATEGORY><br><br>",
      "<LOGTOPIC> <br>",
      "<span style=\"font-size:x-small\">記事へのリンク</span> <input style=\"width:350px; height=18\" type=\"text\" "
      "value=\"<LOGLINK>\"><br>",
  };
  if (trackback)
    t.push_back(
        "<span style=\"font-size:x-small\">トラックバックURL</span> <input style=\"width:350px; height=18\" "
        "type=\"text\" value=\"<TRACKBACKURL>\"><br>");
  t.insert(t.end(), {"<hr>", "<LOG>", "<br clear=\"all\">", "<LOGUPDATE>",
                     trackback ? "<COMMENTLINK> <TRACKBACKVIEW>" : "<COMMENTLINK>"});
  return t;
}

const TStringList kBuiltInPrintable = {
    "<LOGDATE> / <LOGCATEGORY><br><br>", "<LOGTOPIC> <br>", "<hr>", "<LOG>", "<br clear=\"all\">", "<LOGUPDATE>",
    "<hr>"};

const TStringList kBuiltInComment = {"投稿者 : <POSTEDNAME> (<POSTEDDATE>)<br>", "<COMMENT><hr>"};

// The template of one page kind, loaded once, filled per article.
class TArticleDraw {
public:
  TArticleDraw(TWebModule1& m, TArticlePage kind) : M(m), Kind(kind) {
    TStringList lines;
    if (kind == TArticlePage::Printable) {
      const std::string path = m.TemplateFolder() + "velm_printable.txt";
      if (!FileExists(path) || !LoadLinesFromFile(path, lines)) lines = kBuiltInPrintable;
    } else if (!LoadNamedTemplate(m.Sys.ContentTempList, m.Css.CONTENTTEMPNAME, m.TemplateFolder(), lines)) {
      lines = BuiltInArticleTemplate(m.Css.USETRACKBACK);
    }
    Template = JoinLines(lines);
  }

  // The filled template; position is the article's place on the page (the body's element id).
  std::string Draw(const TContentIndex& c, const std::string& body, int position, int comments) {
    const bool printable = Kind == TArticlePage::Printable;
    const bool trackback = M.Css.USETRACKBACK;
    const std::string& account = M.Account.Id;
    const std::string count = std::to_string(comments);
    std::string s = ReplaceAllText(Template, "<LOGID>", c.id);
    if (!printable) s = ReplaceAllText(s, "<COMMENTCOUNT>", count);
    s = ReplaceAllText(s, "<CATEGORYID>", c.category);
    s = ReplaceAllText(s, "<LOGDATE>",
                       "<span class=\"logdate\">" + FormatLogDate(c.date, M.Css.TIMETYPE) + "</span>");
    s = ReplaceAllText(s, "<LOGTOPIC>", "<span class=\"logtopic\">" + c.title + "</span>");
    s = ReplaceAllText(s, "<LOGCATEGORY>",
                       "<span class=\"logcategory\">" + CategoryName(M.CategoryList, c.category) + "</span>");
    if (!printable) s = ReplaceAllText(s, "<LOGLINK>", M.Sys.SYSTEMURL + "velm.exe?" + account + "+sl+" + c.id);
    s = ReplaceAllText(s, "<LOGUPDATE>", "<div class=\"update\">[更新日付:" + c.update + "]</div>");
    if (Kind == TArticlePage::List) {
      s = ReplaceAllText(s, "<COMMENTLINK>",
                         M.Css.USECOMMENT ? "<span style=\"font-size:" + M.Css.COMMENTANCHORSIZE +
                                                "\"><a href=\"./velm.exe?" + account + "+sl+" + c.id + "\">" +
                                                "コメントを書く" + "(" + count + ")</a></span>"
                                          : "");
    }
    if (printable) {
      s = ReplaceAllText(s, "<PRINTABLELINK>", "");
      s = ReplaceAllText(s, "<TRACKBACKURL>", "");
      s = ReplaceAllText(s, "<TRACKBACKVIEW>", "");
    } else {
      s = ReplaceAllText(s, "<TRACKBACKURL>",
                         trackback ? M.Sys.SYSTEMURL + "velm.exe?" + account + "+tb+" + c.id : "");
      s = ReplaceAllText(s, "<TRACKBACKVIEW>",
                         trackback ? "<span style=\"font-size:" + M.Css.TRACKBACKANCHORSIZE +
                                         "\"><a href=\"./velm.exe?" + account + "+tv+" + c.id +
                                         "\" target=\"_blank\">" + "トラックバックを見る" + "(" +
                                         std::to_string(TrackBacks(c.id)) + ")</a></span>"
                                   : "");
    }
    s = ReplaceAllText(s, "<TRACKBACKCOUNT>", trackback ? std::to_string(TrackBacks(c.id)) : "");
    return ReplaceAllText(
        s, "<LOG>", "<div class=\"logcontent\" id=\"log" + std::to_string(position) + "\">" + body + "</div>");
  }

  // The ping counts of a page's articles, looked up together when the template shows them.
  void CountTrackBacks(const std::vector<std::string>& ids) {
    if (!M.Css.USETRACKBACK || PosText("<TRACKBACK", Template) == std::string::npos) return;
    const std::vector<int> counts = CountArticleTrackBacks(M.AccountFolder(), ids);
    for (size_t i = 0; i < ids.size(); ++i) TrackBackCounts[ids[i]] = counts[i];
  }

private:
  int TrackBacks(const std::string& id) {
    auto it = TrackBackCounts.find(id);
    if (it == TrackBackCounts.end()) it = TrackBackCounts.emplace(id, CountArticleTrackBacks(M.AccountFolder(), {id})[0]).first;
    return it->second;
  }

  TWebModule1& M;
  TArticlePage Kind;
  std::string Template;
  std::unordered_map<std::string, int> TrackBackCounts;
};

std::string BodyOf(TWebModule1& m, const TContentIndex& c, std::string& firstPicture) {
  return RenderArticleBody(m.Sys, m.Account.Id, m.Css, m.AccountFolder(), c.id, true, firstPicture);
}

// A paging link; a search result keeps its word by posting it along.
std::string PageLink(const TWebModule1& m, const std::string& word, const std::string& key, const std::string& label,
                     const std::string& searchWord) {
  const std::string target = "./velm.exe?" + m.Account.Id + "+sv+" + word + "+" + key;
  if (searchWord.empty()) return "[<a href=\"" + target + "\">" + label + "</a>]";
  return "[<form style=\"display:inline; margin:0px\" action=\"" + target +
         "\" method=\"post\"><input type=\"hidden\" name=\"searchword\" value=\"" + EscapeAttribute(searchWord) +
         "\"><input class=\"pagebutton\" type=\"submit\" value=\"" + label + "\"></form>]";
}

// The paging key of the fourth word: "" (from the newest) unless it has fourteen characters;
// a key that is no date starts at 2008/01/01.
std::string StartKey(const std::string& word) {
  if (word.size() != 14) return "";
  const std::string stamp = word.substr(0, 4) + "/" + word.substr(4, 2) + "/" + word.substr(6, 2) + " " +
                            word.substr(8, 2) + ":" + word.substr(10, 2) + ":" + word.substr(12, 2);
  return IsValidStamp(stamp) ? word : "20080101000000";
}

// A page of the list from `start` (the first article older than the paging key), and the links
// to the older and newer pages.
void RenderArticleList(TWebModule1& m, TStringList& page, const std::vector<const TContentRef*>& list, size_t start,
                       const std::string& categoryWord, const std::string& searchWord) {
  TArticleDraw draw(m, TArticlePage::List);
  const TCSSValue& css = m.Css;
  // The articles of this page (all from the start when the page size is never reached), and
  // their comments counted in one pass.
  const size_t pageSize = css.CONTENTVIEWCOUNT > 0 ? static_cast<size_t>(css.CONTENTVIEWCOUNT) : list.size();
  const size_t end = std::min(list.size(), start + pageSize);
  std::vector<std::string> ids;
  for (size_t i = start; i < end; ++i) ids.emplace_back(list[i]->id());
  const std::vector<int> comments = CountArticleComments(m.AccountFolder(), ids, false);
  draw.CountTrackBacks(ids);
  size_t last = start;
  int count = 0;
  for (size_t i = start; i < end; ++i) {
    last = i;
    const TContentIndex c = ToContentIndex(*list[i]);
    std::string firstPicture;
    std::string body = BodyOf(m, c, firstPicture);
    if (css.CONTENTSKIPMETHOD != 0)
      body = MakeTeaser(body, css.CONTENTSKIPMETHOD, css.CONTENTSKIPLENGTH, firstPicture, m.Sys.SYSTEMURL,
                        m.Account.Id, c.id, "");
    page.push_back(draw.Draw(c, body, count, comments[i - start]));
    ++count;
  }
  if (count == 0) {
    page.push_back("<br>対象記事はありません<br>");
    return;
  }
  const std::string word = categoryWord.empty() ? "@" : categoryWord;
  const std::string older =
      last + 1 < list.size() ? PageLink(m, word, PagingKeyOf(list[last]->date()), "前ぺージ", searchWord)
                             : "<span style=\"color:silver\">[前ぺージ]</span>";
  // A page size below 1 shows every article from the start: the newer page counts it as 0, so
  // p - 1 stays before the start and inside the list.
  const long long p = static_cast<long long>(start) - std::max(css.CONTENTVIEWCOUNT, 0);
  const std::string newer = p < 1 ? PageLink(m, word, kNewestKey, "最新ページ", searchWord)
                                  : PageLink(m, word, PagingKeyOf(list[static_cast<size_t>(p - 1)]->date()), "次ぺージ",
                                             searchWord);
  page.push_back("<div align=\"center\">" + older + newer + "</div>");
}

bool DateMatches(const std::string& filter, std::string_view date) {
  if (date.size() < (filter.size() == 6 ? 7u : 10u)) return false;
  if (date.compare(0, 4, filter, 0, 4) != 0 || date.compare(5, 2, filter, 4, 2) != 0) return false;
  return filter.size() == 6 || date.compare(8, 2, filter, 6, 2) == 0;
}

bool AsciiEqualNoCase(char a, char b) {
  if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
  if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
  return a == b;
}

// Whether an article's subject or text (without markup) holds the search word.
bool ArticleHolds(const TWebModule1& m, const TContentRef& c, const std::string& word) {
  if (ContainsWord(c.title(), word)) return true;
  const std::string id(c.id());
  return IsArticleId(id) && ContainsWord(RemoveTags(LoadArticleBody(m.AccountFolder(), id)), word);
}

}  // namespace

bool ContainsWord(std::string_view hay, std::string_view needle) {
  if (needle.empty()) return true;
  for (size_t i = 0; i + needle.size() <= hay.size();) {
    size_t k = 0;
    while (k < needle.size() && AsciiEqualNoCase(hay[i + k], needle[k])) {
      // A double-byte character matches only byte for byte.
      if (IsSjisLead(static_cast<unsigned char>(needle[k])) && k + 1 < needle.size()) {
        if (hay[i + k + 1] != needle[k + 1]) break;
        k += 2;
      } else {
        ++k;
      }
    }
    if (k >= needle.size()) return true;
    i += IsSjisLead(static_cast<unsigned char>(hay[i])) ? 2 : 1;
  }
  return false;
}

bool IsDateArchive(const std::string& word) { return word.size() == 6 || word.size() == 8; }

void CalendarMonthOf(const std::string& word, int& year, int& month) {
  const TDateTime now = Now();
  year = now.Year;
  month = now.Month;
  if (!IsDateArchive(word)) return;
  long long y = 0, mo = 0, d = 1;
  const bool digits = StrToIntStrict(word.substr(0, 4), y) && StrToIntStrict(word.substr(4, 2), mo) &&
                      (word.size() == 6 || StrToIntStrict(word.substr(6, 2), d)) &&
                      word.find_first_not_of("0123456789") == std::string::npos;
  if (digits && y >= 1 && IsValidDate(static_cast<int>(y), static_cast<int>(mo), static_cast<int>(d))) {
    year = static_cast<int>(y);
    month = static_cast<int>(mo);
  } else {
    year = 2008;
    month = 1;
  }
}

bool CommentsOpen(const TCSSValue& css, const TContentIndex& content) {
  if (!css.USECOMMENT) return false;
  if (css.COMMENTLIMIT == 0) return true;
  const long long passed = static_cast<long long>(time(nullptr)) - static_cast<long long>(ToUnix(ParseStamp(content.update)));
  return passed < 0 || passed / 86400 <= css.COMMENTLIMIT;
}

void ArticleListCell(TWebModule1& m, TStringList& page, const TContentRefList& contents,
                     const std::string& searchWord) {
  const std::string& word = m.Arg3;
  const bool byDate = IsDateArchive(word);
  const bool allCategories = word.empty() || word == "@";
  // The list ends where the page is known: the articles before the start key, a page from it
  // and one more for the older link (older index lines are not read at all).
  const std::string startKey = StartKey(m.Arg4);
  const size_t pageSize = m.Css.CONTENTVIEWCOUNT > 0 ? static_cast<size_t>(m.Css.CONTENTVIEWCOUNT) : 0;
  size_t start = startKey.empty() ? 0 : SIZE_MAX;
  std::vector<const TContentRef*> list;
  for (const TContentRef& c : contents) {
    if (byDate ? !DateMatches(word, c.date()) : !allCategories && c.category() != word) continue;
    if (!searchWord.empty() && !ArticleHolds(m, c, searchWord)) continue;
    if (start == SIZE_MAX && PagingKeyOf(c.date()) < startKey) start = list.size();
    list.push_back(&c);
    if (!searchWord.empty() && m.Sys.SEARCHRESULTCOUNT > 0 &&
        list.size() >= static_cast<size_t>(m.Sys.SEARCHRESULTCOUNT))
      break;
    if (pageSize && start != SIZE_MAX && list.size() > start + pageSize) break;
  }

  page.push_back("<td class=\"contentcell\">");
  if (list.empty()) {
    page.push_back(byDate ? "記事はありません(1)" : "記事はありません(2)");
  } else {
    const std::string header = byDate ? "" : allCategories ? "default" : word;
    if ((header.empty() || IsSafeFileWord(header)) && FileExists(m.AccountFolder() + header + ".ched"))
      page.push_back(CategoryHeader(m.AccountFolder(), header));
    RenderArticleList(m, page, list, start == SIZE_MAX ? 0 : start, word, searchWord);
  }
  page.push_back("</td>");
}

void ArticleCell(TWebModule1& m, TStringList& page, const TContentIndex& content, TArticlePage kind) {
  page.push_back("<td class=\"contentcell\">");
  if (kind == TArticlePage::Single && m.Sys.USECONTENTCOUNTER)
    AppendViewLog(m.AccountFolder(), content, m.Request.UserAgent(), m.Request.Referer());
  TArticleDraw draw(m, kind);
  std::string firstPicture;
  const std::string body = BodyOf(m, content, firstPicture);
  TCommentList comments;
  LoadCommentList(m.AccountFolder(), content.id, false, comments, 0);
  page.push_back(draw.Draw(content, body, 0, static_cast<int>(comments.size())));
  if (kind == TArticlePage::Single && m.Css.USECOMMENT) {
    page.push_back("<div align=\"center\">記事へのコメント</div><br>");
    CommentList(m, page, comments);
    if (CommentsOpen(m.Css, content)) CommentForm(m, page, content);
    else page.push_back("<span style=\"color:red\">コメントできる期限を越えています</span>");
  }
  page.push_back("</td>");
}

void CommentList(TWebModule1& m, TStringList& page, const TCommentList& comments) {
  if (comments.empty()) {
    page.push_back("コメントはありません<br><br>");
    return;
  }
  TStringList lines;
  if (!LoadNamedTemplate(m.Sys.CommentTempList, m.Css.COMMENTTEMPNAME, m.TemplateFolder(), lines))
    lines = kBuiltInComment;
  const std::string temp = JoinLines(lines);
  const int folding = m.Css.COMMENTFOLDING;
  bool folded = false;
  for (size_t i = 0; i < comments.size(); ++i) {
    const TCommentIndex& c = comments[i];
    std::string s = ReplaceAll(temp, "<POSTEDNAME>", c.name);
    s = ReplaceAll(s, "<POSTEDDATE>", c.date);
    s = ReplaceAll(s, "<COMMENT>", c.comment);
    if (folding != 0 && static_cast<long long>(i) == folding && !folded) {
      page.push_back(
          "<div align=\"center\"><a href=\"javascript:_opencomment('nextcomment')\">残りコメントの開閉</a></div><br>");
      page.push_back("<div id=\"nextcomment\" style=\"display:none\">");
      folded = true;
    }
    page.push_back(s);
  }
  if (folded) page.push_back("</div>");
}
