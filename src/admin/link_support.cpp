// The page title fetch behind the link support pop-up (LS) and the title button of the link page (LV).
#include "admin/links_admin.h"
#include "admin/page_title.h"
#include "admin/setting_cell.h"
#include "render/page_parts.h"
#include "syndication/net_settings.h"
#include "text/DString.h"

namespace {

constexpr long long kTitlePageBytes = 1 << 20;  // the title stands in the head: more is never read

// The title of the page at url in Shift_JIS; "" when it cannot be had.
std::string FetchPageTitle(const TWebModule1& m, const std::string& url) {
  THTTPClient client;
  ConfigureHTTPClient(client, m.Sys, TNetUse::OwnerAction);
  client.UserAgent = "VELM AUTOLINKCHECK AGENT(" + (m.Sys.SYSTEMURL.empty() ? std::string("velm") : m.Sys.SYSTEMURL) + ")";
  client.MaxBodySize = kTitlePageBytes;
  client.SetURL(url);
  if (ClassifyStatus(client.ServerResult().StatusLine) != 200) return "";
  return PageTitle(client.HeaderBuffer(), client.BodyBuffer());
}

}  // namespace

int TWebModule1::DoLinkPage(const TCommandEntry&) {
  const std::string checked = Trim(OneLine(Request.ContentFieldValue("checkurl")));
  if (checked.empty() || !Sys.USELINKSUPPORT) {
    LinkPage(*this, "", "", "");
    return 1;
  }
  const std::string title = FetchPageTitle(*this, checked);
  LinkPage(*this, title.empty() ? RedMessage("タイトルを取得できませんでした") : "", checked, title);
  return 1;
}

int TWebModule1::DoLinkSupport(const TCommandEntry&) {
  // The address comes back as it was posted; blanks around it are not part of what is fetched.
  const std::string url = OneLine(Request.ContentFieldValue("targeturl"));
  std::string title, note;
  if (!Trim(url).empty()) {
    if (!Sys.USELINKSUPPORT) note = "<span style=\"color:red\">リンクサポートは利用できません</span><br>";
    else if ((title = FetchPageTitle(*this, Trim(url))).empty()) note = "<span style=\"color:red\">タイトルを取得できませんでした</span><br>";
  }
  TStringList page;
  DocumentStart(page);
  page.push_back(CharsetMeta(*this));
  TypeMetas(page, true);
  page.push_back(std::string("<title>VELM ") + "リンクサポート" + "</title>");
  page.push_back("<script type=\"text/javascript\"><!--");
  page.push_back("function _urlcat() { document.getElementById('anchor').value = '<a href=\"' + "
                 "document.getElementById('v1').value + '\" target=\"_blank\">' + document.getElementById('v2').value + "
                 "'<\\/a>'; }");
  page.push_back("function _toclip() { var a = document.getElementById('anchor'); a.select(); "
                 "if (navigator.clipboard) { navigator.clipboard.writeText(a.value); } else { document.execCommand('copy'); } }");
  page.push_back("// --></script>");
  page.push_back("</head>");
  page.push_back("<body style=\"font-size:x-small\">");
  page.push_back("リンクタイトル取得<br>");
  page.push_back(FormStart("ls") + "URL<br><input type=\"text\" name=\"targeturl\" id=\"v1\" value=\"" + EscapeAttribute(url) +
                 "\" size=\"60\"><input type=\"submit\" value=\"" + "取得" + "\"></form>");
  page.push_back(note + "取得タイトル <span style=\"color:red\">取得できない又は文字バケの場合は手動で入力</span><br>");
  page.push_back("<input type=\"text\" name=\"targettitle\" id=\"v2\" value=\"" + Escape(title) +
                 "\" size=\"60\"><input type=\"button\" value=\"結合\" onclick=\"_urlcat()\"><br>");
  page.push_back("リンクアンカー<br>");
  page.push_back("<input type=\"text\" id=\"anchor\" value=\"\" size=\"70\"><br>");
  page.push_back("<input type=\"button\" value=\"クリップボード\" onclick=\"_toclip()\"><input type=\"button\" value=\"Close\" "
                 "onclick=\"window.close()\">");
  page.push_back("</body></html>");
  Response.SetContent(PageText(page));
  return 1;
}
