// The skeleton shared by the public pages.
#include "render/page_parts.h"

#include "store/file_access.h"
#include "text/DString.h"

namespace {

// The keyword popup script for the element id, parameter list, POST body and horizontal offset.
void KeywordScript(TStringList& page, const std::string& id, const std::string& params, const std::string& body,
                   int x) {
  page.insert(page.end(), {
      "var resbody  = \"Response\"; var ml = new Array(); var popload = 0 ;var SpaceX = " + std::to_string(x) +
          "; var SpaceY = 16; var onCY = 0;",
      "function _HTTPload(" + params + ")",
      "{ try { xmlb = new ActiveXObject(\"Msxml2.XMLHTTP\"); }",
      "catch (exc) { try { xmlb = new ActiveXObject(\"Microsoft.XMLHTTP\"); }",
      "catch (exc) { xmlb = false; } }",
      "if (!xmlb && typeof XMLHttpRequest!=\"undefined\") { xmlb = new XMLHttpRequest(); }",
      "if (xmlb) { xmlb.onreadystatechange = function(){",
      "if (xmlb.readyState <= 3) { resbody= \"now loading...\" }",
      "if (xmlb.readyState == 4 && xmlb.responseText ) { resbody= xmlb.responseText;} }",
      "xmlb.open(\"POST\", loadurl);  xmlb.send(" + body + "); popload = 1; } }",
      "function _Mover(" + params + ") {",
      "if (popload == 0) { brw=navigator.userAgent;",
      "if((brw.indexOf(\"Netscape\")!=-1)||(brw.indexOf(\"Firefox\")!=-1)){ onCY=10; _HTTPload(" + params + ") }",
      "else if((brw.indexOf(\"MSIE\")!=-1)||(brw.indexOf(\"Opera\")!=-1)){ onCY=window.event.clientY; _HTTPload(" +
          params + ") } } }",
      "function _Mmove(){ if (popload == 1) {ml = document.getElementById(\"" + id + "\"); ml.innerHTML = resbody; ",
      "ml.style.left = SpaceX + document.body.scrollLeft + \"px\";",
      "ml.style.top  = SpaceY + onCY + document.body.scrollTop + \"px\";",
      "ml.style.visibility = \"visible\"; } }",
      "function _MClose(){ ml = document.getElementById(\"" + id + "\"); popload = 0; ml.style.visibility = \"hidden\"; }",
  });
}

}  // namespace

std::string PageText(const TStringList& page) {
  size_t size = 0;
  for (const auto& l : page) size += l.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& l : page) {
    text += l;
    text += "\r\n";
  }
  return text;
}

void DocumentStart(TStringList& page) {
  page.push_back("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">");
  page.push_back("<html lang=\"ja\"><head>");
}

void FeedLinkLine(const TWebModule1& m, TStringList& page) {
  const std::string& v = m.Css.RSSVERSION;
  const std::string base = m.Sys.SYSTEMURL + "velm.exe?" + m.Account.Id;
  if (v == "1.0")
    page.push_back("<link rel=\"alternate\" type=\"application/rss+xml\" title=\"RSS\" href=\"" + base + "+rssl\" />");
  else if (v == "2.0")
    page.push_back("<link rel=\"alternate\" type=\"application/rss+xml\" title=\"RSS\" href=\"" + base + "+rssl20\" />");
  else if (v == "ATOM")
    page.push_back("<link rel=\"alternate\" type=\"application/atom+xml\" title=\"RSS\" href=\"" + base + "+atoml\" />");
  else
    page.push_back("");
}

void PageIconLine(const TWebModule1& m, TStringList& page) {
  if (FileExists(m.ExeFolder + "velm_favicon.ico"))
    page.push_back("<link rel=\"shortcut icon\" href=\"velm_favicon.ico\">");
}

std::string CharsetMeta(const TWebModule1& m) {
  return "<meta http-equiv=\"content-type\" content=\"text/html; charset=" + m.Sys.CHARSET + "\">";
}

void DescriptionMeta(const TWebModule1& m, TStringList& page) {
  if (!m.Account.Description.empty())
    // A double quote of the text would end the attribute.
    page.push_back("<meta name=\"description\" content=\"" + ReplaceAll(RemoveTags(m.Account.Description), "\"", "&quot;") +
                   "\">");
}

void TypeMetas(TStringList& page, bool scriptType) {
  page.push_back("<meta http-equiv=\"content-style-type\" content=\"text/css\">");
  if (scriptType) page.push_back("<meta http-equiv=\"content-script-type\" content=\"text/javascript\">");
}

void StyleBlock(const TWebModule1& m, TStringList& page, bool closeHead) {
  page.push_back("<style type=\"text/css\">");
  page.push_back("<!--");
  m.StyleSheetLines(page);
  page.push_back("-->");
  page.push_back(closeHead ? "</style></head><body>" : "</style>");
}

void ScriptBlock(const TWebModule1& m, TStringList& page, bool foldComments) {
  page.push_back("<script language=\"JavaScript\" type=\"text/JavaScript\">");
  page.push_back("<!--");
  if (foldComments)
    page.push_back(
        "function _opencomment(id) { if (document.getElementById(id).style.display == 'none') { "
        "document.getElementById(id).style.display = 'block'; } else { document.getElementById(id).style.display = "
        "'none'; } }");
  KeywordScript(page, "keyv", "loadurl,keyword", "\"popkey=\"+keyword", m.Sys.NAVICELLWIDTH);
  page.push_back(JoinLines(ReadCustomJava(m.AccountFolder())));
  page.push_back("-->");
  page.push_back("</script>");
}

void PopupDivisions(TStringList& page) {
  page.push_back("<div id=\"keyv\" class=\"keyvc\"></div>");
  page.push_back("<div id=\"EVIEW\" class=\"eviews\"></div>");
}

std::string AlignDivision(const TWebModule1& m) {
  return "<div align=\"" + (m.Css.USERALIGN.empty() ? m.Sys.SYSTEMALIGN : m.Css.USERALIGN) + "\">";
}

void LoginHeader(TWebModule1& m, TStringList& page) {
  if (!m.Sys.USELOGINHEADER) return;
  // The login values go into the page as attribute values or text: escaped, so a posted field
  // cannot add markup to the page.
  TStringList hed;
  const std::string hedPath = m.ExeFolder + "velmsystem.hed";
  if (FileExists(hedPath) && LoadLinesFromFile(hedPath, hed)) {
    for (std::string line : hed) {
      line = ReplaceAll(line, "<COOKIEID>", EscapeAttribute(m.InName));
      line = ReplaceAll(line, "<COOKIEPASS>", "");  // the password is never written into a page
      line = ReplaceAll(line, "<BLOGID>", m.Account.Id);
      page.push_back(line);
    }
    return;
  }
  // The login name may be filled in; the password field always starts empty.
  const std::string name = m.InName.empty() ? m.Request.ContentFieldValue("loginname") : m.InName;
  page.push_back("<div style=\"width:100%; text-align:right; background:" + m.Css.BACKGROUND +
                 "; color:" + m.Css.MENULOGCOLOR + "\">" + m.FormStart("lg") + "ログイン名" +
                 "<input class=\"loginform\" type=\"text\" name=\"loginname\" value=\"" + EscapeAttribute(name) +
                 "\">" + "パスワード" + "<input class=\"loginform\" type=\"password\" name=\"loginpass\" value=\"\"><input class=\"loginbutton\" type=\"submit\" value=\"" + "管理ログイン" +
                 "\"></form>");
  page.push_back("</div>");
}

void PlainPageHead(TWebModule1& m, TStringList& page) {
  DocumentStart(page);
  page.push_back(CharsetMeta(m));
  TypeMetas(page, false);
  page.push_back("<title>" + m.Account.Title + "</title>");
  StyleBlock(m, page, true);
  page.push_back(AlignDivision(m));
  LoginHeader(m, page);
}

std::string TitleCell(const TWebModule1& m) {
  if (m.Account.Description.empty() && m.Css.TIMAGEHEIGHT < 0) return "";
  return "<div class=\"titlecell\">" + m.Account.Description + "</div>";
}

std::string TableOpen(const TWebModule1& m) {
  return "<table cellspacing=\"" + std::to_string(m.Css.LARGESPACING) + "\" cellpadding=\"" + "0" +
         "\" class=\"largecell\" border=\"" + "0" + "\">";
}

const char* LayoutOrder(int type) {
  static const char* const kOrders[] = {"nc", "cn", "ncs", "scn", "nsc", "snc", "cns", "csn"};
  return kOrders[type >= 1 && type <= 7 ? type : 0];
}

void LayoutCells(TWebModule1& m, TStringList& page, const TWebModule1::TSideMenuInput& in,
                 const std::function<void(TStringList&)>& content) {
  for (const char* p = LayoutOrder(m.Css.LAYOUTTYPE); *p; ++p) {
    switch (*p) {
      case 'n': m.SideMenuCell(page, in); break;
      case 's': m.SubColumnCell(page); break;
      default: content(page); break;
    }
  }
}

std::string FormatLogDate(const std::string& date, int timeType) {
  // yyyy/mm/dd hh:nn:ss; the forms keep a tail of the stamp, some without the seconds.
  auto part = [&](size_t from, size_t to) { return from < date.size() ? date.substr(from, to - from) : std::string(); };
  switch (timeType) {
    case 1: return part(0, 16);
    case 2: return part(2, 19);
    case 3: return part(2, 16);
    case 4: return part(5, 19);
    case 5: return part(5, 16);
    default: return date;
  }
}

std::string PagingKeyOf(std::string_view date) {
  std::string key;
  key.reserve(14);
  for (char c : date)
    if (c != '/' && c != ':' && c != ' ') key += c;
  return key;
}
