// The article form: a new article (WC) and the edit page of a stored one (EC) with its
// pictures, comments and trackbacks.
#include <algorithm>

#include "admin/article_pictures.h"
#include "admin/setting_cell.h"
#include "render/article_body.h"
#include "store/file_access.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

const char kTable[] = "<table border=\"0\" cellpadding=\"5\" style=\"border-collapse:collapse; font-size:x-small\">";
const char kCacheNote[] = "画像の追加・削除を行った場合、ブラウザによってキャッシュが行われ画像の更新がされない場合があります";
// The openings of the article form's rows.
const std::string kTrackBackRow =
    "<tr style=\"background:#f0fff0\"><td>トラックバック</td><td><input type=\"text\" name=\"trackback\" value=\"";
const std::string kDateEditRow =
    "<tr style=\"background:#c0ffc0\"><td>作成日付</td><td><input size=\"25\" maxlength=\"19\" type=\"text\" "
    "name=\"cdate\" value=\"";
const std::string kDateFixedRow = "<tr style=\"background:#c0ffc0\"><td>作成日付</td><td>";
const std::string kCategoryRow =
    "<tr style=\"background:#f0fff0\"><td>カテゴリ</td><td><select name=\"category\" size=\"1\">";
const std::string kSubjectRow =
    "<tr style=\"background:#c0ffc0\"><td>件名</td><td><input type=\"text\" name=\"subject\" value=\"";
const std::string kTagRow = "<tr><td>タグ挿入</td><td><select id=\"itag\" name=\"itag\">";
const std::string kLinkSupportRow =
    "<tr style=\"background:white\"><td>サポート</td><td><input type=\"button\" value=\"リンクサポート\" "
    "onclick=\"window.open('./velm.exe?";
const std::string kBodyRow = "<tr style=\"background:#f0fff0\"><td>記事</td><td>";
const char kConvertRow[] =
    "<tr style=\"background:#f7f7f7\"><td>記事加工</td><td><input type=\"checkbox\" name=\"cnvhtml\" value=\"1\">"
    "&lt;&gt; をテキストに変換(HTML無効)</td></tr>";
const char kPublicRow[] =
    "<tr style=\"background:#f7f7f7\"><td>記事公開</td><td><input type=\"checkbox\" name=\"cvisible\" value=\"1\"";
const char kPingRow[] =
    "<tr style=\"background:#f7f7f7\"><td>更新Pingを送信</td><td><input type=\"checkbox\" name=\"sendupdateping\" "
    "value=\"1\"";

// What the form holds. Title and TrackBack are ready for an attribute; Content is the raw text.
struct TFormValues {
  std::string Id;  // empty for a new article
  std::string Category, Date, Title, Content, TrackBack;
  bool Visible = true;
};

bool IsPictureName(const std::string& name) {
  const std::string ext = UpperCase(FileExtension(name));
  return ext == ".JPG" || ext == ".GIF" || ext == ".PNG";
}

// The empty backup fields of a picture form; the page script fills them before it is sent.
std::string BackupInputs() {
  std::string s;
  for (const char* name : {"backupcat", "backupdate", "backuptitle", "backupcontent", "backuptb"})
    s += HiddenInput(name, "");
  return s;
}

std::string BackupSubmit(const std::string& label, const std::string& style = "") {
  return "<input type=\"submit\" value=\"" + label + "\"" + (style.empty() ? "" : " style=\"" + style + "\"") +
         " onclick=\"return _backupcontent(this.form)\">";
}

class TArticleForm {
public:
  TArticleForm(TWebModule1& m, TStringList& page) : M(m), Page(page) {}

  // WC and EC: the picture rows, the upload row, the limits row and the article form.
  void Write(const TFormValues& v, const TAttachFileList& saved, const TAttachFileList& pending, bool hidden) {
    const bool editing = !v.Id.empty();
    Page.push_back(kTable);
    if (!M.EditorCarry.Message.empty()) Page.push_back("<tr><td colspan=\"2\">" + M.EditorCarry.Message + "</td></tr>");
    if (hidden)
      Page.push_back("<tr><td colspan=\"2\">この記事は非公開に設定されています</td></tr>");
    int n = 0;
    if (!saved.empty()) {
      Page.push_back("<tr style=\"background:#f0f0f0\"><td>アップロード済画像</td><td>");
      for (const TAttachFileData& a : saved) Picture(++n, a, true, "du+" + v.Id);
      Page.push_back("</td></tr>");
    }
    if (!pending.empty()) {
      Page.push_back(std::string("<tr><td>") + (editing ? "追加画像" : "アップロード済画像") + "</td><td>");
      for (const TAttachFileData& a : pending) Picture(++n, a, false, editing ? "dw+" + v.Id : "dw");
      Page.push_back("</td></tr>");
    }
    Page.push_back(std::string("<tr style=\"background:#fff0f0\"><td>") +
                   (editing ? "追加画像アップロード" : "アップロード画像") + "</td><td>" +
                   M.FormStartUpload(editing ? "iu+" + v.Id : "iu") + BackupInputs() +
                   "<input type=\"file\" name=\"uploadimage\">" +
                   BackupSubmit(editing ? "アップロード" : "アップロード画像") + "</form></td></tr>");
    if (editing) Page.push_back("<tr><td colspan=\"2\">" + Colored("red", kCacheNote) + "</td></tr>");
    Page.push_back(LimitsRow(pending));
    ArticleRows(v, editing);
    if (!pending.empty())
      Page.push_back("<tr><td colspan=\"2\">利用されなかった画像は自動的に削除が行われます</td></tr>");
    Page.push_back("</table>");
  }

private:
  std::string PictureURL(const std::string& name) const { return M.Sys.IMAGEPATH + M.Account.Id + "/" + name; }

  // One picture: its preview (or type) and size, the tag choice with its insert button and the
  // delete form.
  void Picture(int n, const TAttachFileData& a, bool saved, const std::string& deleteTail) {
    const std::string num = std::to_string(n);
    const bool picture = IsPictureName(a.name);
    const std::string url = EscapeAttribute(PictureURL(a.name)) + "?" + RandomCode(16);
    std::string s;
    if (!picture)
      s = UpperCase(Escape(FileExtension(a.name)));
    else if (saved)
      s = num + ":<img src=\"" + url + "\" alt=\"\" width=\"120\">";
    else
      s = num + ":<img width=\"120\" src=\"" + url + "\">";
    s += " file (" + FormatThousands(a.size) + " bytes)<br>";
    s += "　　<select id=\"ialign" + num + "\" name=\"ialign" + num + "\" size=\"1\">" +
         PictureTagOptions(n, picture, M.Css.SIMAGEWIDTH) + "</select>";
    s += "<input type=\"button\" value=\"挿入\" onclick=\"_AddTag(document.getElementById('ialign" + num +
         "').value)\">";
    s += M.FormStart(deleteTail) + HiddenInput("dwfile", EscapeAttribute(a.name)) + BackupInputs() +
         BackupSubmit("削除", "color:red") + "</form>";
    Page.push_back(s);
  }

  std::string LimitsRow(const TAttachFileList& pending) const {
    const long long all = M.Account.UploadSpace ? 0 : M.Sys.ATTACHALLSIZE;
    const long long max = M.Account.UploadSpace ? 0 : M.Sys.ATTACHMAXSIZE;
    std::string s = "<tr style=\"background:#ffc0c0\"><td colspan=\"2\">";
    if (all > 0) {
      long long used = 0;
      for (const TAttachFileData& a : pending) used += a.size;
      const long long rest = std::max(0LL, all - used);
      s += "残り " + std::to_string(rest) + " / " + std::to_string(all) + " byte (" + std::to_string(rest / 1024) +
           "KB)<br>";
    }
    for (const TUpFileInfo& u : M.Sys.UpFileInfo) s += u.Ext + " ";
    s += "ファイルがアップロード可能";
    if (max > 0) s += "(1file " + std::to_string(max / 1024) + "KB)";
    return s + "</td></tr>";
  }

  void ArticleRows(const TFormValues& v, bool editing) {
    Page.push_back(M.FormStart("ss", "wcontent"));
    if (editing) Page.push_back(HiddenInput("elogid", v.Id));
    if (!editing)
      Page.push_back(kTrackBackRow + v.TrackBack +
                     "\" size=\"60\"><br>トラックバック先のURLを指定します。(空欄でトラックバックしない)</td></tr>");
    const std::string date = EscapeAttribute(v.Date);
    if (M.Sys.USEEDITDATE)
      Page.push_back(kDateEditRow + date +
                     "\"><input type=\"button\" value=\"現在の日付時刻\" onclick=\"_getdatetime()\"></td></tr>");
    else
      Page.push_back(kDateFixedRow + date + HiddenInput("cdate", date) + "</td></tr>");
    std::string cats = kCategoryRow;
    for (const TCategoryData& c : M.CategoryList)
      cats += "<option value=\"" + Escape(c.id) + "\"" + (c.id == v.Category ? " selected" : "") + ">" + c.name +
              "</option>";
    Page.push_back(cats + "</select></td></tr>");
    Page.push_back(kSubjectRow + v.Title + "\" size=\"60\"></td></tr>");
    std::string tags;
    for (const TReserveTag& t : M.Sys.TagTempList)
      if (!t.Name.empty()) tags += "<option value=\"" + EscapeAttribute(t.Text) + "\">" + t.Name + "</option>";
    if (!tags.empty())
      Page.push_back(kTagRow + tags +
                     "</select><input type=\"button\" value=\"タグ挿入\" "
                     "onclick=\"_AddTag(document.getElementById('itag').value)\"></td></tr>");
    if (M.Sys.USELINKSUPPORT)
      Page.push_back(kLinkSupportRow + M.AccountWord + "+ls','linksupport','width=400,height=200')\"></td></tr>");
    Page.push_back(kBodyRow + TextArea("ucontent", M.Sys.EDITCOLS, 20, v.Content) + "</td></tr>");
    Page.push_back(kConvertRow);
    Page.push_back(std::string(kPublicRow) + (v.Visible ? " checked" : "") + ">記事を公開</td></tr>");
    if (!editing)
      Page.push_back(std::string(kPingRow) + (M.Css.UPDATEPINGDEFAULT ? " checked" : "") + "></td></tr>");
    Page.push_back(std::string("<tr><td colspan=\"2\"><input type=\"submit\" value=\"") +
                   (editing ? "上記の内容に変更します" : "上記の内容で登録します") + "\"></td></tr>");
    Page.push_back("</form>");
  }

  TWebModule1& M;
  TStringList& Page;
};

// The delete form and the comment and trackback lists below the edit form.
void ModerationForms(TWebModule1& m, TStringList& page, const std::string& id) {
  page.push_back("<hr>");
  page.push_back(m.FormStart("dc") + HiddenInput("dellogid", id) +
                 "<input type=\"submit\" value=\"この記事を削除する\"></form>");

  TCommentList comments;
  LoadCommentList(m.AccountFolder(), id, true, comments, 0);
  auto commentOption = [](const TCommentIndex& c) {
    return "<option value=\"" + EscapeAttribute(c.id) + "\">" + ShortStamp(c.date) + " " + c.name + " : " +
           CutLength(RemoveTags(c.comment), 60, "...") + "</option>";
  };
  std::string all, waiting;
  for (const TCommentIndex& c : comments) {
    all += commentOption(c);
    if (!c.visible) waiting += commentOption(c);
  }
  page.push_back("<hr>コメント管理<br>");
  if (!all.empty())
    page.push_back(m.FormStart("dm") + HiddenInput("delclogid", id) + "<select name=\"delcommentid\" size=\"1\">" +
                   all + "</select><input type=\"submit\" value=\"このコメントを削除する\"></form>");
  page.push_back("<hr>非公開コメントリスト<br>");
  if (!waiting.empty())
    page.push_back(m.FormStart("vm") + HiddenInput("viewclogid", id) + "<select name=\"viewcommentid\" size=\"1\">" +
                   waiting + "</select><input type=\"submit\" value=\"このコメントを公開する\"></form>");

  TTrackBackList trackbacks;
  LoadTrackBackList(m.AccountFolder(), id, trackbacks);
  std::string tbs;
  for (auto t = trackbacks.rbegin(); t != trackbacks.rend(); ++t)  // newest first
    tbs += "<option value=\"" + EscapeAttribute(t->id) + "\">" + ShortStamp(t->date) + " " +
           Escape(CutLength(t->blogname, 40, "...")) + " : " + Escape(CutLength(t->title, 60, "...")) + "</option>";
  page.push_back("<hr>トラックバック管理<br>");
  if (!tbs.empty())
    page.push_back(m.FormStart("dt") + HiddenInput("deltlogid", id) + "<select name=\"deltbid\" size=\"1\">" + tbs +
                   "</select><input type=\"submit\" value=\"トラックバックを削除する\"></form>");
}

}  // namespace

int TWebModule1::DoWriteArticle(const TCommandEntry&) {
  TStringList page;
  OpenSettingCell(*this, page);
  if (CategoryList.empty()) {
    page.push_back(Colored("red", "カテゴリはありません"));
    CloseSettingCell(*this, page);
    return 0;
  }
  TFormValues v;
  v.Date = EditorCarry.Date.empty() ? FormatStamp(Now()) : EditorCarry.Date;
  v.Category = EditorCarry.Category;
  v.Title = EscapeAttribute(EditorCarry.Title);
  v.Content = EditorCarry.Content;
  v.TrackBack = EscapeAttribute(EditorCarry.TrackBack);
  TArticleForm(*this, page).Write(v, {}, LoadWorkAttachList(AccountFolder(), AccountImageFolder()), false);
  CloseSettingCell(*this, page);
  return 1;
}

int TWebModule1::DoEditArticle(const TCommandEntry&) {
  TStringList page;
  OpenSettingCell(*this, page);
  TContentIndex content;
  if (!IsArticleId(Arg3) || !FindContent(AccountFolder(), Arg3, content)) {
    if (!EditorCarry.Message.empty()) page.push_back(EditorCarry.Message + "<br>");
    page.push_back("対象記事はありません");
    CloseSettingCell(*this, page);
    return 0;
  }
  TFormValues v;
  v.Id = content.id;
  v.Visible = content.visible;
  if (EditorCarry.Backup) {  // work in progress across a picture command
    v.Category = EditorCarry.Category;
    v.Date = EditorCarry.Date;
    v.Title = EscapeAttribute(EditorCarry.Title);
    v.Content = EditorCarry.Content;
  } else {
    v.Category = content.category;
    v.Date = content.date;
    v.Title = Escape(content.title);
    v.Content = LoadArticleBody(AccountFolder(), content.id);
  }
  TArticleForm(*this, page)
      .Write(v, LoadAttachFileList(AccountFolder(), content.id, AccountImageFolder()),
             LoadWorkAttachList(AccountFolder(), AccountImageFolder()), !content.visible);
  ModerationForms(*this, page, content.id);
  CloseSettingCell(*this, page);
  return 1;
}
