// The free-text settings: comment block lists (CB, BS, BSIP), the trackback block list (TD, DS),
// the custom menu (CM, CS) and the custom footer (CF, CZ).
#include "admin/setting_cell.h"
#include "render/side_menu.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace {

const char kChange[] = "<br><input type=\"submit\" value=\"上記の内容に変更します\"></form>";

std::string FileText(const std::string& path) {
  TStringList lines;
  LoadLinesFromFile(path, lines);
  return JoinLines(lines);
}

// The rule builder of the IP block list: four values written as one record line.
const char* const kRuleBuilder[] = {
    "<form style=\"margin:0px\" name=\"makefilter\" action=\"#\" onsubmit=\"return false\">",
    "処理<select name=\"fdone\" size=\"1\"><option value=\"REJECT\">拒否</option><option value=\"PASS\">パス</option>"
    "</select>",
    "タイプ<select name=\"ftype\" size=\"1\"><option value=\"IP\">単独IP(Data1にIP)</option>"
    "<option value=\"IPS\">IPS(Data1にIP、Data2にサブネットマスク)</option>"
    "<option value=\"IPR\">IPR(Data1に開始IP、Data2に終了IP)</option></select><br>",
    "データ1<input type=\"text\" name=\"data1\" value=\"\"> データ2<input type=\"text\" name=\"data2\" value=\"\"><br>",
    "<input type=\"button\" value=\"フィルタを作成\" onclick=\"_makefilter()\"> "
    "<input type=\"text\" name=\"filter\" value=\"\" style=\"width:250px\">",
    "</form>",
    "<script type=\"text/javascript\"><!--",
    "function _makefilter() { var f = document.makefilter;",
    "f.elements['filter'].value = '\"' + f.fdone.value + '\",\"' + f.ftype.value + '\",\"' + f.data1.value + '\",\"' +"
    " f.data2.value + '\"'; }",
    "//--></script>",
};

// The tags of the custom menu, with what each shows.
const struct {
  const char* Tag;
  const char* Text;
} kMenuTags[] = {
    {"&lt;ATOMMARK&gt;", "ATOM フィードへのリンクマーク"},
    {"&lt;RSSMARK&gt;", "RSS1.0 フィードへのリンクマーク"},
    {"&lt;RSSMARK20&gt;", "RSS2.0 フィードへのリンクマーク"},
    {"&lt;CALENDAR&gt;",
     "カレンダー。&lt;CALENDAR monthbgcolor=\"blue\" text=\"black\"&gt; のように下記のオプションで色を指定できます"},
    {"&lt;MONTHCONTENT&gt;", "月別の記事一覧"},
    {"&lt;PHOTOALBUM&gt;", "フォトアルバムへのリンク"},
    {"&lt;CATEGORY&gt;", "カテゴリ一覧"},
    {"&lt;NEWCONTENT&gt;", "最新記事の一覧"},
    {"&lt;LINKURL&gt;", "リンクの一覧"},
    {"&lt;PROFILE&gt;", "プロフィール"},
    {"&lt;ACCESSCOUNT&gt;", "アクセス数"},
    {"&lt;SEARCHBOX&gt;", "記事の検索ボックス"},
    {"&lt;RANDOMPHOTO&gt;", "記事の画像からランダムに選んだ一枚"},
    {"&lt;RANDOMPHOTOSUBJECT&gt;", "ランダムに選んだ画像の記事の件名"},
    {"&lt;RANDOMPHOTODATE&gt;", "ランダムに選んだ画像の記事の日付"},
    {"&lt;RANDOMPHOTOURL&gt;", "ランダムに選んだ画像の記事の URL"},
    {"&lt;LASTPHOTO&gt;", "最新の記事の画像"},
    {"&lt;LASTPHOTOSUBJECT&gt;", "最新の画像の記事の件名"},
    {"&lt;LASTPHOTODATE&gt;", "最新の画像の記事の日付"},
    {"&lt;LASTPHOTOURL&gt;", "最新の画像の記事の URL"},
    {"&lt;CRANK count=\"10\"&gt;", "ランキング。count で表示する件数を指定します"},
};

// The colour options of the calendar tag and their defaults.
const struct {
  const char* Name;
  const char* Default;
  const char* Use;
} kCalendarOptions[] = {
    {"monthbgcolor", "blue", "年月の行の背景色"},
    {"sunbgcolor", "#ffe0e0", "日曜日の背景色"},
    {"satbgcolor", "#e0ffff", "土曜日の背景色"},
    {"bgcolor", "white", "平日の背景色"},
    {"monthtext", "white", "年月の文字色"},
    {"suntext", "black", "日曜日の文字色"},
    {"sattext", "black", "土曜日の文字色"},
    {"text", "black", "平日の文字色"},
    {"monthlink", "white", "前月・次月のリンクの色"},
    {"link", "blue", "今日のリンクの色"},
    {"nowbgcolor", "#c0ffc0", "今日の背景色"},
    {"nowtext", "black", "今日の文字色"},
    {"outdaybgcolor", "white", "前月・次月の日の背景色"},
    {"outdaytext", "silver", "前月・次月の日の文字色"},
    {"nowdatebgcolor", "white", "今日の日付の行の背景色"},
    {"nowdatetext", "black", "今日の日付の行の文字色"},
};

// One procedure for every free-text file: the lines of the posted field replace the file, and
// no line at all removes it.
void SaveFreeText(TWebModule1& m, const std::string& title, const std::string& file, const std::string& field,
                  bool enabled, const char* disabled) {
  TStringList page;
  OpenSettingCell(m, page);
  if (!enabled) {
    page.push_back(disabled);
    CloseSettingCell(m, page, kListPageClose);
    return;
  }
  TStringList lines = SplitLines(m.Request.ContentFieldValue(field));
  TrimList(lines);
  const std::string path = m.AccountFolder() + file;
  if (lines.empty()) {
    if (FileExists(path)) {
      const bool ok =
          RewriteLines(path, [](TStringList&, bool existed) { return existed ? TRewrite::Delete : TRewrite::Keep; });
      page.push_back(title + (ok ? "をクリアしました" : "のクリアに失敗しました"));
    }
  } else {
    page.push_back(title + (SaveLinesToFile(path, lines) ? "を保存しました" : "の保存に失敗しました"));
  }
  CloseSettingCell(m, page, kListPageClose);
}

}  // namespace

int TWebModule1::DoCommentBlockPage(const TCommandEntry&) {
  TStringList page;
  OpenSettingCell(*this, page);
  page.push_back(FormStart("bs"));
  page.push_back(TextArea("commentspam", 80, 10, FileText(AccountFolder() + "commentblock.txt")));
  page.push_back(kChange);
  page.push_back(
      "コメントブロックは投稿者名・コメント内容に指定された単語が含まれる場合にコメントを拒否します。<br>"
      "１行に１単語を指定してください。<br>半角の英数字は大文字小文字を区別されません。"
      "またコメント内の全角半角のスペースは除去されて処理が行われます");
  page.push_back("<hr>");
  page.push_back(FormStart("bsip"));
  page.push_back(TextArea("commentspam", 80, 10, FileText(AccountFolder() + "commentipblock.txt")));
  page.push_back(kChange);
  page.push_back(
      "コメントIPブロックは指定したIPアドレスからのコメントを拒否します。<br>１行に１ルールを指定して下さい。<br>"
      "<b>\"処理\",\"タイプ\",\"データ1\",\"データ2\"</b><br>");
  for (const char* line : kRuleBuilder) page.push_back(line);
  CloseSettingCell(*this, page, kListPageClose);
  return 1;
}

int TWebModule1::DoTrackBackBlockPage(const TCommandEntry&) {
  TStringList page;
  OpenSettingCell(*this, page);
  page.push_back(FormStart("ds"));
  page.push_back(TextArea("trackbackspam", 80, 25, FileText(AccountFolder() + "trackbackblock.txt")));
  page.push_back(kChange);
  page.push_back(
      "トラックバックブロックはトラックバックされた URL、タイトル、概要に指定した文字列が含まれる場合に"
      "トラックバックを拒否します１行に１文字列を指定してください。<br>半角の英数字は大文字小文字を区別されません。"
      "またコメント内の全角半角のスペースは除去されて処理が行われます");
  CloseSettingCell(*this, page, kListPageClose);
  return 1;
}

int TWebModule1::DoCustomMenuPage(const TCommandEntry&) {
  TStringList page;
  OpenSettingCell(*this, page);
  const std::string path = AccountFolder() + "custommenu.txt";
  std::string text;
  if (FileExists(path)) {
    text = FileText(path);
  } else {
    text = JoinLines(DefaultMenuLines());
    page.push_back(Colored("blue", "未設定の為、デフォルトが読み込まれています") + "<br>");
  }
  page.push_back(FormStart("cs"));
  page.push_back(TextArea("custommenu", 80, 25, text));
  page.push_back(kChange);
  page.push_back(
      "カスタムメニューはサイドメニューの内容を HTML と下記のマクロで自由に記述できます。<br>"
      "表示・動作の設定でカスタムメニューを使用するように設定すると、ブログのメニューとして表示されます。<br>"
      "何も記述せずに登録するとデフォルトのメニューに戻ります。<br>");
  page.push_back(
      "<a href=\"javascript:void(0)\" onclick=\"var d = document.getElementById('macrohelp'); "
      "d.style.display = d.style.display == 'none' ? 'block' : 'none'; return false;\">マクロ説明</a>");
  page.push_back("<div id=\"macrohelp\" style=\"display:none\">");
  page.push_back("<table border=\"1\" cellpadding=\"3\" style=\"border-collapse:collapse; font-size:x-small\">");
  for (const auto& t : kMenuTags) {
    page.push_back(std::string("<tr><td>") + t.Tag + "</td><td>" + t.Text + "</td></tr>");
    if (std::string(t.Tag) != "&lt;CALENDAR&gt;") continue;
    std::string options =
        "<tr><td></td><td><table border=\"1\" cellpadding=\"2\" style=\"border-collapse:collapse; "
        "font-size:x-small\"><tr><td>オプション</td><td>既定値</td><td>内容</td></tr>";
    for (const auto& o : kCalendarOptions)
      options += std::string("<tr><td>") + o.Name + "</td><td>" + o.Default + "</td><td>" + o.Use + "</td></tr>";
    page.push_back(options + "</table></td></tr>");
  }
  page.push_back("</table></div>");
  CloseSettingCell(*this, page, kListPageClose);
  return 1;
}

int TWebModule1::DoCustomFooterPage(const TCommandEntry&) {
  TStringList page;
  OpenSettingCell(*this, page);
  page.push_back(FormStart("cz"));
  page.push_back(TextArea("customfooter", 80, 25, ReadCustomFooter(AccountFolder())));
  page.push_back("<br><input type=\"submit\" value=\"上記の内容で登録します\"></form>");
  page.push_back(
      "カスタムフッタの設定は、全体の下に任意のHTMLを出力することができます。<br>"
      "ページの最後に記述した HTML がそのまま出力されます。何も記述せずに登録するとカスタムフッタはクリアされます");
  CloseSettingCell(*this, page, kListPageClose);
  return 1;
}

int TWebModule1::DoSaveTextFile(const TCommandEntry& entry) {
  const bool enabled = std::string(entry.Word) != "CS" || Sys.USECUSTOMMENU;
  SaveFreeText(*this, entry.P1, entry.P2, entry.P3, enabled, "この機能は無効です(14)");
  return 1;
}

int TWebModule1::DoSaveCustomFooter(const TCommandEntry&) {
  SaveFreeText(*this, "カスタムフッタ", "customfooter.txt", "customfooter", Sys.USECUSTOMFOOTER,
               "この機能は無効です(16)");
  return 1;
}
