// The trackback receiver (TB), the trackback pop-up list (TV) and the answer reader.
#include "syndication/trackback.h"

#include <algorithm>

#include "app/Unit1.h"
#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

// Ping texts usually arrive in UTF-8; other bytes are taken as they stand (as the reader does).
std::string SystemText(const std::string& s) { return IsValidUtf8(s) ? Utf8ToSjis(s) : s; }

std::string StripPingField(std::string s) {
  s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t' || c == '"'; }),
          s.end());
  return s;
}

// At most n bytes of UTF-8 text, cut before a character that would not fit whole.
std::string CutUtf8(const std::string& s, size_t n) {
  if (s.size() <= n) return s;
  size_t end = n;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return s.substr(0, end);
}

// The charset parameter of a content type ("" when none).
std::string CharsetOf(const std::string& contentType) {
  const size_t at = PosText("charset=", contentType);
  if (at == std::string::npos) return "";
  std::string v = contentType.substr(at + 8);
  v = Trim(v.substr(0, v.find(';')));
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return v;
}

std::string AsciiUpper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The text between the first open tag and the first close tag, in the received case; empty
// when either is missing or the close tag comes first.
std::string ElementText(const std::string& body, const std::string& upper, const std::string& name) {
  const std::string open = "<" + name + ">", close = "</" + name + ">";
  const size_t start = upper.find(open), end = upper.find(close);
  if (start == std::string::npos || end == std::string::npos || end < start + open.size()) return "";
  return body.substr(start + open.size(), end - start - open.size());
}

bool IsWebURL(const std::string& url) { return StartsText("http://", url) || StartsText("https://", url); }

// Decides a ping; true when it was stored.
bool ReceivePing(TWebModule1& m) {
  // A blog behind its view password takes no pings (a pinger has no cookie), and a ping names
  // only a public article: a hidden one, or one of a hidden category, is as unknown as any id.
  if (!m.Css.USETRACKBACK || !m.ViewPasswordOK()) return false;
  TContentIndex article;
  if (!IsArticleId(m.Arg3) || !FindContent(m.AccountFolder(), m.Arg3, article) || !article.visible) return false;
  if (const TCategoryData* k = FindCategory(m.CategoryList, article.category); k && !k->visible) return false;

  TPingFields f = ConvertPing(m.Request.ContentFieldValue("blog_name"), m.Request.ContentFieldValue("title"),
                              m.Request.ContentFieldValue("excerpt"), m.Request.ContentFieldValue("url"),
                              CharsetOf(m.Request.ContentType()));
  TStringList block;
  const std::string blockPath = m.AccountFolder() + "trackbackblock.txt";
  if (FileExists(blockPath) && LoadLinesFromFile(blockPath, block) && TrackBackBlocked(block, f.Url, f.Excerpt, f.Title))
    return false;
  if (StripPingField(f.Url).empty()) return false;
  const TDateTime now = Now();
  return AppendTrackBack(m.AccountFolder(), TrackBackLine(FormatStamp(now), FormatCompactStamp(now) + RandomCode(3),
                                                          m.Arg3, f.BlogName, f.Title, f.Excerpt, f.Url));
}

}  // namespace

bool TrackBackBlocked(const TStringList& blockWords, const std::string& url, const std::string& excerpt,
                      const std::string& title) {
  if (blockWords.empty()) return false;
  const std::string u = UpperCase(SystemText(PercentDecode(url)));
  const std::string e = UpperCase(RemoveBlanks(SystemText(excerpt)));
  const std::string t = UpperCase(RemoveBlanks(SystemText(title)));
  for (const std::string& word : blockWords) {
    const std::string w = UpperCase(word);
    if (ContainsSjis(u, w) || ContainsSjis(e, w) || ContainsSjis(t, w)) return true;
  }
  return false;
}

void ReadTrackBackAnswer(const std::string& body, std::string& error, std::string& message) {
  const std::string upper = AsciiUpper(body);
  error = ElementText(body, upper, "ERROR");
  message = ElementText(body, upper, "MESSAGE");
}

TPingFields ConvertPing(const std::string& blogName, const std::string& title, const std::string& excerpt,
                        const std::string& url, const std::string& charset) {
  // One ping has one charset: detected over all its fields together.
  const int code = TextCode(blogName + "\n" + title + "\n" + excerpt + "\n" + url, charset);
  return {CodeToUtf8(blogName, code), CodeToUtf8(title, code), CodeToUtf8(excerpt, code), CodeToUtf8(url, code)};
}

std::string TrackBackLine(const std::string& received, const std::string& trackbackId, const std::string& logId,
                          const std::string& blogName, const std::string& title, const std::string& excerpt,
                          const std::string& url) {
  return MakeRecordLine({"1", received, trackbackId, logId, CutUtf8(StripPingField(blogName), kPingNameBytes),
                         CutUtf8(StripPingField(title), kPingNameBytes),
                         CutUtf8(StripPingField(excerpt), kPingTextBytes), CutUtf8(StripPingField(url), kPingTextBytes)});
}

void TWebModule1::TrackBackAnswer(bool ok) {
  // The answer is plain ASCII, so it is the same bytes in UTF-8.
  Response.ContentType = "application/x-www-form-urlencoded; charset=utf-8";
  Response.SetContent(std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<response>\r\n") +
                      (ok ? "<error>0</error>\r\n<message>Trackback Success</message>\r\n"
                          : "<error>1</error>\r\n<message>Trackback failed</message>\r\n") +
                      "</response>\r\n");
}

int TWebModule1::DoTrackBack(const TCommandEntry&) {
  const bool ok = ReceivePing(*this);
  TrackBackAnswer(ok);
  return ok ? 1 : 0;
}

int TWebModule1::DoTrackBackView(const TCommandEntry&) {
  TStringList page = {
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">",
      "<html lang=\"ja\"><head>",
      "<meta http-equiv=\"content-type\" content=\"text/html; charset=" + Sys.CHARSET + "\">",
      "<meta http-equiv=\"content-style-type\" content=\"text/css\">",
      "<title>トラックバック</title>",
      "</head>",
      "<body style=\"background:" + Css.CONTENTBACKGROUND + "; color:" + Css.CONTENTLOGCOLOR +
          "; font-size:" + Css.CONTENTLOGSIZE + "\">",
      "<a href=\"javascript:window.close()\" style=\"font-size:x-small\">[Close]</a><br><br>",
  };

  // Behind the view password no ping is shown.
  TTrackBackList list;
  if (ViewPasswordOK()) LoadTrackBackList(AccountFolder(), Arg3, list);
  // An empty log id loads every line: keep only those of this article.
  list.erase(std::remove_if(list.begin(), list.end(), [&](const TTrackBack& t) { return t.logid != Arg3; }),
             list.end());
  if (list.empty()) {
    page.push_back("トラックバックはありません");
  } else {
    page.push_back(
        "<table border=\"1\" style=\"border:1px dotted silver; border-collapse:collapse; font-size:" +
        Css.CONTENTLOGSIZE + "\">");
    // Trackback texts come from anyone: escaped, and only web addresses become links.
    for (const TTrackBack& t : list) {
      const std::string url = Escape(t.url), name = Escape(t.blogname);
      const std::string site =
          IsWebURL(t.url) ? "<a href=\"" + url + "\" target=\"" + Escape(t.id) + "\">" + name + "</a>" : name;
      page.push_back("<tr><td>" + Escape(t.date) + "</td><td>" + site + "</td><td style=\"color:" +
                     Css.CONTENTTITLECOLOR + "\">" + Escape(t.title) + "</td></tr>");
      page.push_back("<tr><td colspan=\"3\" style=\"color:" + Css.CONTENTLOGCOLOR + "\">" + Escape(t.excerpt) +
                     "</td></tr>");
      page.push_back("<tr><td colspan=\"3\" style=\"color:silver\">" + url + "</td></tr>");
    }
    page.push_back("</table>");
  }
  page.push_back("</body></html>");
  Response.SetContent(JoinLines(page) + "\r\n");
  return 1;
}
