// The profile (PV, PS), the user colours (HC, HS) and the gadget boxes (MV, MS).
#include <algorithm>

#include "admin/setting_cell.h"
#include "render/side_menu.h"
#include "store/DCSVList.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace {

const char kTable[] = "<table border=\"0\" cellpadding=\"5\" style=\"border-collapse:collapse; font-size:x-small\">";
constexpr int kUserColorRows = 20;

void ProfileForm(TWebModule1& m, TStringList& page) {
  std::string profile;
  LoadTextFromFile(m.AccountFolder() + "profile.txt", profile);
  page.push_back(m.FormStart("ps"));
  page.push_back(kTable);
  page.push_back("<tr style=\"background:#f0fff0\"><td>プロフィール</td><td><textarea name=\"userprofile\" rows=\"15\" "
                 "cols=\"30\">" + BrToTextarea(RemoveTrailingBreaks(profile)) + "</textarea></td></tr>");
  page.push_back("</table>");
  page.push_back("<input type=\"submit\" value=\"上記の内容に変更します\"></form>");
}

void UserColorForm(TWebModule1& m, TStringList& page) {
  page.push_back(m.FormStart("hs"));
  page.push_back("<table border=\"1\" cellpadding=\"3\" style=\"border-collapse:collapse; font-size:x-small\">");
  page.push_back("<tr><td>色の名前</td><td>カラーコード</td></tr>");
  const TColorList& colors = m.Css.UserColors;
  for (int i = 0; i < kUserColorRows; ++i) {
    const size_t n = static_cast<size_t>(i);
    const std::string name = n < colors.size() ? colors[n].Name : "";
    const std::string code = n < colors.size() ? colors[n].Value : "";
    const std::string no = std::to_string(i);
    // Stored names are escaped already; escaping again changes nothing but a quote of a file made by hand.
    page.push_back("<tr><td>" + TextInputStyled("width:150px", "colorname" + no, Escape(name)) + "</td><td>" +
                   TextInput("colorcode" + no, EscapeAttribute(code)) + "</td></tr>");
  }
  page.push_back("</table>");
  page.push_back("<input type=\"submit\" value=\"上記の内容で登録します\"></form>");
  page.push_back("<p>ユーザーカラーはシステムで設定されている以外の色を任意に設定することができます。カラーコードには "
                 "HTML形式（#xxxxxx もしくは色の定義名(red/blue等)を指定してください。</p>");
}

// What the RSSCONTENT tag of a gadget box does, folded until asked for.
const char* const kMacroHelp[] = {
    "<a href=\"javascript:void(0)\" onclick=\"var d = document.getElementById('macrohelp'); d.style.display = "
    "d.style.display == 'none' ? 'block' : 'none';\">マクロ説明</a>",
    "<div id=\"macrohelp\" style=\"display:none\">",
    "<p><b>&lt;RSSCONTENT key=\"名前\" src=\"http://...\" count=\"5\" cachetime=\"480\" desc=\"on\"&gt;</b><br>",
    "他のサイトの RSS/ATOM フィードの新しい記事をボックスに表示します。</p>",
    "<table border=\"1\" cellpadding=\"3\" style=\"border-collapse:collapse; font-size:x-small\">",
    "<tr><td>key</td><td>必須。取得結果を保存する名前です。英数字で指定してください（\\ / : * ? &lt; &gt; | は使えません）</td></tr>",
    "<tr><td>src</td><td>必須。フィードの URL です（http:// のみ）</td></tr>",
    "<tr><td>count</td><td>表示する記事の数です。0 又は省略時は全て表示します</td></tr>",
    "<tr><td>cachetime</td><td>取得結果を再利用する時間（分）です。480 以下又は省略時は 480 分です</td></tr>",
    "<tr><td>desc</td><td>on を指定すると記事の概要も表示します</td></tr>",
    "</table>",
    "</div>",
};

void GadgetPage(TWebModule1& m, const std::string& message) {
  TStringList page;
  OpenSettingCell(m, page);
  if (!message.empty()) page.push_back(message);
  page.push_back("<p>ガジェットエリアはレイアウトが３列の場合にユーザーが任意の内容を記述できるボックスです。"
                 "HTML で記述でき、上から番号の順に表示されます。</p>");
  for (const char* line : kMacroHelp) page.push_back(line);
  page.push_back(m.FormStart("ms"));
  page.push_back(kTable);
  const TStringList boxes = LoadSideMenuBoxes(m.AccountFolder(), m.Sys);
  for (size_t i = 0; i < boxes.size(); ++i) {
    const std::string no = std::to_string(i + 1);
    page.push_back(std::string("<tr style=\"background:") + (i % 2 ? "#c0ffc0" : "#f0fff0") + "\"><td>No " + no +
                   "</td><td><textarea name=\"sidemenu" + no + "\" rows=\"10\" cols=\"65\">" +
                   EscapeAttribute(boxes[i]) + "</textarea></td></tr>");
  }
  page.push_back("</table>");
  page.push_back("<input type=\"submit\" value=\"上記の内容で登録します\"></form>");
  CloseSettingCell(m, page);
}

}  // namespace

int TWebModule1::DoProfilePage(const TCommandEntry&) {
  TStringList page;
  OpenSettingCell(*this, page);
  ProfileForm(*this, page);
  CloseSettingCell(*this, page);
  return 1;
}

int TWebModule1::DoProfileSave(const TCommandEntry&) {
  const std::string profile = BreaksToBr(Request.ContentFieldValue("userprofile"));
  const bool ok = SaveLinesToFile(AccountFolder() + "profile.txt", {profile});
  TStringList page;
  OpenSettingCell(*this, page);
  page.push_back(ok ? BlueMessage("プロフィールの保存を行いました") : RedMessage("プロフィールの保存に失敗しました"));
  ProfileForm(*this, page);
  CloseSettingCell(*this, page);
  return ok ? 1 : 0;
}

int TWebModule1::DoUserColorPage(const TCommandEntry&) {
  TStringList page;
  OpenSettingCell(*this, page);
  UserColorForm(*this, page);
  CloseSettingCell(*this, page);
  return 1;
}

int TWebModule1::DoUserColorSave(const TCommandEntry&) {
  TStringList lines;
  for (int i = 0; i < kUserColorRows; ++i) {
    const std::string no = std::to_string(i);
    // The name is shown as option text, the code goes into style attributes and style.txt.
    const std::string name = Escape(OneLine(Request.ContentFieldValue("colorname" + no)));
    const std::string code = CssValue(Request.ContentFieldValue("colorcode" + no));
    if (!name.empty() && !code.empty()) lines.push_back(MakeRecordLine({name, code}));
  }
  const std::string path = AccountFolder() + "usercolor.txt";
  std::string message;
  if (lines.empty()) {
    const bool ok = RewriteText(path, [](std::string&, bool existed) { return existed ? TRewrite::Delete : TRewrite::Keep; });
    message = ok ? BlueMessage("ユーザーカラーをクリアしました") : RedMessage("設定の保存に失敗しました");
  } else {
    message = SaveLinesToFile(path, lines) ? BlueMessage("設定を保存しました") : RedMessage("設定の保存に失敗しました");
  }
  Css = ReadDesign(AccountFolder(), Sys.SIDEMENUCONTROL);
  TStringList page;
  OpenSettingCell(*this, page);
  page.push_back(message);
  UserColorForm(*this, page);
  CloseSettingCell(*this, page);
  return 1;
}

int TWebModule1::DoGadgetPage(const TCommandEntry&) {
  GadgetPage(*this, "");
  return 1;
}

int TWebModule1::DoGadgetSave(const TCommandEntry&) {
  TStringList lines;
  for (int n = 1; n <= Sys.SIDEMENUMAX; ++n) {
    const std::string no = std::to_string(n);
    lines.push_back("SIDEMENU" + no + "START");
    std::string text = Request.ContentFieldValue("sidemenu" + no);
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    // The box's text is one entry of the list: an empty box, or a text that ends in a line
    // break, leaves an empty line before its end mark.
    for (auto& line : SplitLines(text)) lines.push_back(std::move(line));
    if (text.empty() || text.back() == '\r' || text.back() == '\n') lines.emplace_back();
    lines.push_back("SIDEMENU" + no + "END");
  }
  const bool ok = SaveLinesToFile(AccountFolder() + "sidemenu.txt", lines);
  GadgetPage(*this, ok ? BlueMessage("設定を保存しました") : RedMessage("設定の保存に失敗しました"));
  return ok ? 1 : 0;
}
