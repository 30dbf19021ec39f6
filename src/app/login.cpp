// Login and logout, the administration frame and start page, the view password.
#include <ctime>

#include "app/Unit1.h"
#include "app/stylesheet.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace {

constexpr double kDay = 86400.0;

// Whether the body holds a field of that name (an empty value counts).
bool HasContentField(TCGIRequest& r, const std::string& name) {
  for (const std::string& f : r.ContentFields()) {
    const size_t eq = f.find('=');
    if (SameText(f.substr(0, eq), name)) return true;
  }
  return false;
}

// Each line followed by CR LF.
std::string PageText(const TStringList& page) {
  std::string text;
  size_t size = 0;
  for (const auto& l : page) size += l.size() + 2;
  text.reserve(size);
  for (const auto& l : page) {
    text += l;
    text += "\r\n";
  }
  return text;
}

std::string ContentTypeHead(const std::string& charset) {
  return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja\"><head>"
         "<meta http-equiv=\"content-type\" content=\"text/html; charset=" + charset + "\">";
}

void LoginCookie(TCGIResponse& response, const std::string& name, const std::string& value, double expires) {
  TCookie& c = response.AddCookie();
  c.Name = name;
  c.Value = value;
  c.Expires = expires;
  c.HttpOnly = true;   // not readable by page scripts
  c.SameSite = "Lax";  // not sent on cross-site posts
}

// The page script behind the editor's buttons: insert a tag at the cursor of the body, copy
// the article form into the backup fields of a picture form, put the current time into cdate.
const char* const kEditorScript[] = {
    "function _AddTag(tag) { var f = document.wcontent; if (!f || !f.ucontent) return; var t = f.ucontent; t.focus();",
    "if (typeof t.selectionStart == \"number\") { var s = t.selectionStart; var e = t.selectionEnd;",
    "t.value = t.value.substring(0, s) + tag + t.value.substring(e); t.selectionStart = t.selectionEnd = s + tag.length; }",
    "else if (document.selection) { document.selection.createRange().text = tag; } else { t.value += tag; } }",
    "function _backupcontent(b) { var f = document.wcontent; if (!f || !b) return true;",
    "if (b.backupcat && f.category) b.backupcat.value = f.category.value;",
    "if (b.backupdate && f.cdate) b.backupdate.value = f.cdate.value;",
    "if (b.backuptitle && f.subject) b.backuptitle.value = f.subject.value;",
    "if (b.backupcontent && f.ucontent) b.backupcontent.value = f.ucontent.value;",
    "if (b.backuptb && f.trackback) b.backuptb.value = f.trackback.value;",
    "return true; }",
    "function _getdatetime() { var f = document.wcontent; if (!f || !f.cdate) return; var d = new Date();",
    "function p(n) { return (n < 10 ? \"0\" : \"\") + n; }",
    "f.cdate.value = d.getFullYear() + \"/\" + p(d.getMonth() + 1) + \"/\" + p(d.getDate()) + \" \" +",
    "p(d.getHours()) + \":\" + p(d.getMinutes()) + \":\" + p(d.getSeconds()); }",
};

struct TFeature {
  const char* Name;
  const char* Description;
  int Switch;  // 0 always, 1 USECUSTOMMENU=, 2 USECUSTOMFOOTER=
};

const TFeature kFeatures[] = {
    {"記事の作成", "記事の作成を行います。記事を作成する前にカテゴリを作成する必要があります", 0},
    {"更新Ping", "更新Ping(WeblogUpdate.ping)の送信を行います。", 0},
    {"記事の修正", "記事の修正及び削除を行います。記事の削除と同時に関連するコメントも全て削除されます。", 0},
    {"カテゴリの管理",
     "カテゴリの作成・名称変更・削除を行います。<br>カテゴリの名称変更を行うと元カテゴリの記事は新名称のカテゴリに移動します", 0},
    {"表示・動作", "タイトル、説明、レイアウト、サイズ、色等の表示に関連する設定の変更を行います", 0},
    {"ユーザーカラー", "ユーザー定義の色を登録します。", 0},
    {"カスタムメニュー", "メニューのカスタマイズを行います。テンプレート以外の独自のメニューを作る場合に利用します", 1},
    {"カスタムフッタ", "フッタのカスタマイズを行います。HTML を直接記述することにより自由なページを作成できます", 2},
    {"コメントブロック", "コメントに指定された文字列が含まれる場合にコメントを拒否します", 0},
    {"トラックバックブロック", "トラックバックに指定された文字列が含まれる場合にトラックバックを拒否します", 0},
    {"プロフィール", "プロフィールの設定をおこないます", 0},
    {"リンク", "外部へのリンクを設定します", 0},
    {"ガジェットエリア", "３列レイアウト時のガジェットエリアの内容を設定します", 0},
    {"Jpeg加工", "Jpeg画像のサイズ変更等の加工を行います", 0},
};

struct TMenuItem {
  const char* Command;
  const char* Label;
  int Show;  // 0 always, 1 USECUSTOMMENU=, 2 USECUSTOMFOOTER=, 3 when a category exists
};

const TMenuItem kMenu[] = {
    {"lg", "基本説明", 0},       {"wc", "記事の作成", 3},     {"up", "更新Ping", 3},
    {"lc", "記事の修正", 3},     {"cv", "カテゴリの管理", 0}, {"vv", "表示・動作", 0},
    {"hc", "ユーザーカラー", 0}, {"cm", "カスタムメニュー", 1}, {"cf", "カスタムフッタ", 2},
    {"cb", "コメントブロック", 0}, {"td", "トラックバックブロック", 0}, {"pv", "プロフィール", 0},
    {"lv", "リンク", 0},         {"mv", "ガジェットエリア", 0}, {"jm", "Jpeg加工", 0},
};

void StartPage(TWebModule1& m) {
  TStringList page;
  m.AdminFrame(page);
  page.push_back("</td><td class=\"settingcell\">");
  std::string help;
  const std::string helpPath = m.ExeFolder + "velmhelp.txt";
  if (FileExists(helpPath) && LoadTextFromFile(helpPath, help)) {
    help = ReplaceAllText(help, "<velmid>", m.Account.Id);
    page.push_back(ReplaceAllText(help, "<systemurl>", m.Sys.SYSTEMURL));
  } else {
    if (!m.Sys.ONLINEHELPLINK.empty()) page.push_back(m.Sys.ONLINEHELPLINK);
    page.push_back("<ul>");
    for (const TFeature& f : kFeatures) {
      if ((f.Switch == 1 && !m.Sys.USECUSTOMMENU) || (f.Switch == 2 && !m.Sys.USECUSTOMFOOTER)) continue;
      page.push_back(std::string("  <li><p><span style=\"color:blue; font-weight:bold\">") + f.Name + "</span><br>" +
                     f.Description + "</p></li>");
    }
    page.push_back("</ul>");
    const std::string url = m.BlogURL();
    const struct { const char* Head; const char* Color; const char* Tail; } notes[] = {
        {"このブログへの URL を告知する場合は<br>", "blue", ""},
        {"このブログの RSS1.0 を告知する場合は<br>", "#dd7700", "+RSS"},
        {"このブログの RSS2.0 を告知する場合は<br>", "#dd7700", "+RSS20"},
        {"このブログの ATOM を告知する場合は<br>", "#dd7700", "+ATOM"},
    };
    for (const auto& n : notes) {
      page.push_back(n.Head);
      page.push_back(std::string("<span style=\"color:") + n.Color + "\">" + url + n.Tail + "</span>" + "<br><br>");
    }
  }
  page.push_back("</td></tr>");
  page.push_back("</table></div></body></html>");
  m.Response.SetContent(PageText(page));
}

}  // namespace

void TWebModule1::AdminFrame(TStringList& page) {
  page.push_back("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">");
  page.push_back("<html lang=\"ja\"><head>");
  page.push_back("<meta http-equiv=\"content-type\" content=\"text/html; charset=" + Sys.CHARSET + "\">");
  page.push_back("<meta http-equiv=\"content-style-type\" content=\"text/css\">");
  page.push_back("<meta http-equiv=\"content-script-type\" content=\"text/javascript\">");
  page.push_back("<title>" + Account.Title + "</title>");

  page.push_back("<script language=\"JavaScript\" type=\"text/JavaScript\">");
  page.push_back("<!--");
  for (const char* line : kEditorScript) page.push_back(line);
  const TStringList custom = ReadCustomJava(AccountFolder());
  page.insert(page.end(), custom.begin(), custom.end());
  page.push_back("-->");
  page.push_back("</script>");

  page.push_back("<style type=\"text/css\">");
  page.push_back("<!--");
  WriteStyleSheet(page, {Sys, {Sys.SysLargeCellWidth, Sys.SysNaviCellWidth, Sys.SysSubCellWidth}, Account.Id,
                         AccountFolder(), AccountImageFolder(), Css});
  page.push_back("-->");
  page.push_back("</style>");
  page.push_back("</head><body>");

  page.push_back("<div align=\"" + Sys.SYSTEMALIGN + "\">");
  page.push_back("<table cellspacing=\"0\" cellpadding=\"0\" class=\"largecell\" border=\"0\">");
  page.push_back("<tr><td class=\"navicell\">");

  const std::string width = "width:" + std::to_string(Sys.SysNaviCellWidth) + "px";
  page.push_back("<form style=\"margin:0px\" action=\"./velm.exe?" + Account.Id +
                 "\" method=\"post\"><input style=\"" + width +
                 "; color:green\" type=\"submit\" value=\"ブログに戻る\"></form>");
  for (const TMenuItem& item : kMenu) {
    if ((item.Show == 1 && !Sys.USECUSTOMMENU) || (item.Show == 2 && !Sys.USECUSTOMFOOTER) ||
        (item.Show == 3 && CategoryList.empty()))
      continue;
    // The start page button posts no login fields: LG without them shows the start page to an
    // owner whose cookies pass (the password is never written into a page).
    page.push_back(FormStart(item.Command) + "<input style=\"" + width + "\" type=\"submit\" value=\"" + item.Label +
                   "\"></form>");
  }
  page.push_back(FormStart("qi") + "<input style=\"" + width +
                 "; color:red\" type=\"submit\" value=\"管理ログアウト\"></form>");
}

std::string TWebModule1::ViewPasswordCell() const {
  return "<td>このブログは閲覧にパスワードが必要です<br>" + FormStart("vpw") + "閲覧用パスワードの入力" +
         "<input type=\"password\" name=\"sviewpass\" value=\"\"><input type=\"submit\" value=\"" + "閲覧" +
         "\"></form></td>";
}

bool TWebModule1::ViewPasswordOK() {
  return Css.VIEWPASSWORD.empty() || Request.CookieFieldValue("VIEWPASS-" + Account.Id) == Css.VIEWPASSWORD;
}

int TWebModule1::DoLogin(const TCommandEntry&) {
  if (!HasContentField(Request, "loginname") && !HasContentField(Request, "loginpass")) {
    // The start page of an owner already logged in (the menu's button): the cookies decide and
    // stay as they are.
    if (!CheckLogin()) {
      LoginFailurePage();
      return 0;
    }
    StartPage(*this);
    return 1;
  }
  const std::string name = Request.ContentFieldValue("loginname");
  const std::string pass = Request.ContentFieldValue("loginpass");
  const double expires = static_cast<double>(time(nullptr)) + 365 * kDay;
  LoginCookie(Response, "INNAME", name, expires);
  LoginCookie(Response, "INPASS", pass, expires);
  if (!CheckCredentials(Account, name, pass)) {
    LoginFailurePage();
    return 0;
  }
  InName = name;
  InPass = pass;
  StartPage(*this);
  return 1;
}

int TWebModule1::DoLogout(const TCommandEntry&) {
  const double now = static_cast<double>(time(nullptr));
  LoginCookie(Response, "INNAME", "", now);
  LoginCookie(Response, "INPASS", "", now);
  Response.SetCustomHeader("Cache-Control", "no-cache;");
  const std::string url = BlogURL();
  const TStringList page = {
      ContentTypeHead(Sys.CHARSET),
      std::string("<title>") + "ログアウトしました" + "</title></head>",
      std::string("<body><div align=\"center\">") + "ログアウトしました" + "<br><a href=\"" + url + "\">" + url +
          "</a></span></body></html>",
  };
  Response.SetContent(PageText(page));
  return 1;
}

int TWebModule1::DoViewPassword(const TCommandEntry&) {
  TCookie& c = Response.AddCookie();
  c.Name = "VIEWPASS-" + Account.Id;
  c.Value = Request.ContentFieldValue("sviewpass");
  c.Expires = static_cast<double>(time(nullptr)) + 1825 * kDay;
  const TStringList page = {
      ContentTypeHead(Sys.CHARSET),
      std::string("<title>") + "閲覧用パスワードの保存完了" + "</title>",
      std::string("</head><body style=\"font-size:x-small\"><div align=\"center\">") + "閲覧用パスワードの保存完了" +
          "<br><a href=\"" + BlogURL() + "\">" + "ブログに戻る" + "</a></div></body></html>",
  };
  Response.SetContent(PageText(page));
  return 1;
}
