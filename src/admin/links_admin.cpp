// The link page (LV) and its save (LD): add, change, move, delete, banners.
#include "admin/links_admin.h"

#include "admin/setting_cell.h"
#include "gateway/multipart.h"
#include "store/file_access.h"
#include "store/links.h"
#include "text/DString.h"

namespace {

const char kTable[] = "<table border=\"0\" cellpadding=\"5\" style=\"border-collapse:collapse; font-size:x-small\">";

// A free text stored in a link field: one line, double quotes as "&quot;", tabs as blanks.
std::string LinkText(const std::string& s) {
  std::string out;
  for (char c : OneLine(s)) {
    if (c == '"') out += "&quot;";
    else out += c == '\t' ? ' ' : c;
  }
  return out;
}

// The fields of the link form, sent as multipart (with a banner) or as a plain form.
class TLinkForm {
public:
  explicit TLinkForm(TWebModule1& m)
      : M(m), FMultipart(PosText("multipart/form-data", m.Request.ContentType()) != std::string::npos) {}
  std::string operator()(const char* name) const {
    if (!FMultipart) return OneLine(M.Request.ContentFieldValue(name));
    return ReadMultipartField(M.Request.RawBody(), name, M.Request.ContentType(), false);
  }
  bool Multipart() const { return FMultipart; }

private:
  TWebModule1& M;
  bool FMultipart;
};

enum class TBanner { None, Stored, TooLarge, NotPicture, Failed };

// The banner sent with a link: stored as <link id><extension as uploaded> in the account's
// image folder, replacing a banner of another extension.
TBanner StoreBanner(TWebModule1& m, const TLinkForm& form, const std::string& id) {
  if (!m.Sys.USELINKBANNER || !form.Multipart()) return TBanner::None;
  const std::string& body = m.Request.RawBody();
  const TUploadFileinfo info = LocateMultipartFile(body, "linkbanner");
  if (info.DataSize == 0) return TBanner::None;
  const std::string base = UploadFileBaseName(info.FileName);
  const size_t dot = base.rfind('.');
  const std::string ext = dot == std::string::npos ? "" : base.substr(dot);
  const std::string upper = UpperCase(ext);
  if (upper != ".GIF" && upper != ".JPG" && upper != ".PNG") return TBanner::NotPicture;
  if (m.Sys.BANNERMAXSIZE > 0 && info.DataSize > m.Sys.BANNERMAXSIZE) return TBanner::TooLarge;
  const std::string folder = m.AccountImageFolder();
  if (!IsSafeFileWord(id) || !ForceDirectories(folder) ||
      !SaveStreamToFile(folder + id + ext, MultipartData(body, info.DataStart, info.DataSize)))
    return TBanner::Failed;
  for (std::string old = FindLinkBanner(folder, id); !old.empty() && old != id + ext; old = FindLinkBanner(folder, id))
    if (!DeleteFile(folder + old)) break;
  return TBanner::Stored;
}

void DeleteBanners(TWebModule1& m, const std::string& id) {
  const std::string folder = m.AccountImageFolder();
  for (std::string old = FindLinkBanner(folder, id); !old.empty(); old = FindLinkBanner(folder, id))
    if (!DeleteFile(folder + old)) break;
}

// The message of an add ("の追加") or a change ("の変更") with what became of the banner.
std::string SavedMessage(const std::string& url, const std::string& what, TBanner banner) {
  const std::string head = url + " " + what + "を行いましたが、";
  switch (banner) {
    case TBanner::TooLarge: return RedMessage(head + "バナー画像のサイズが上限を超えています。画像は登録されません");
    case TBanner::NotPicture:
      return RedMessage(head + "GIF/JPEG/PNG 以外のバナー画像がアップロードされました。画像は登録されません");
    case TBanner::Failed: return RedMessage(head + "バナー画像の保存に失敗しました");
    default: return BlueMessage(url + " " + what + "を行いました");
  }
}

std::string LinkOptions(const TLinkURLList& links) {
  std::string out;
  for (const auto& l : links) out += OptionTag(l.id, l.title, false);
  return out;
}

}  // namespace

void LinkPage(TWebModule1& m, const std::string& message, const std::string& checkedUrl,
              const std::string& fetchedTitle) {
  TLinkURLList links;
  LoadLinkList(m.AccountFolder(), links);
  const TLinkURL* edit = nullptr;
  for (const auto& l : links)
    if (!m.Arg3.empty() && l.id == m.Arg3) edit = &l;

  // What the fields hold: the link being edited, then what the title fetch found.
  TLinkURL shown;
  shown.url = "http://";
  if (edit) shown = *edit;
  if (!checkedUrl.empty()) {
    shown.url = Escape(checkedUrl);
    shown.title = Escape(fetchedTitle);
  }

  TStringList page;
  OpenSettingCell(m, page);
  if (!message.empty()) page.push_back(message);
  page.push_back(m.FormStartUpload("ld"));
  page.push_back(kTable);
  if (edit) {
    page.push_back("<tr style=\"background:#f0f0f0\"><td>編集リンク</td><td>" + HiddenInput("linkid", EscapeAttribute(edit->id)) +
                   edit->title + "</td></tr>");
  }
  // Stored link fields are escaped already; escaping them again only guards files made by hand.
  page.push_back("<tr style=\"background:#f0fff0\"><td>リンクタイトル</td><td>" +
                 TextInputStyled("width:200px", "newurltitle", Escape(shown.title)) + "</td></tr>");
  std::string urlCell = "<tr style=\"background:#c0ffc0\"><td>リンクURL</td><td><input type=\"text\" name=\"newurllink\" "
                        "size=\"40\" id=\"lksp\" value=\"" + Escape(shown.url) + "\">";
  if (m.Sys.USELINKSUPPORT) {
    urlCell += "<input type=\"button\" onclick=\"_gettitle()\" value=\"タイトル取得\"><br><span style=\"color:blue\">"
               "タイトル取得は最初に行って下さい。<br>取得できない・文字化けの場合は手動で入力して下さい</span>";
  }
  page.push_back(urlCell + "<br>http:// 又は https://から始まるURLを入力してください</td></tr>");
  page.push_back("<tr style=\"background:#f0fff0\"><td>リンクカテゴリ</td><td>" +
                 TextInputStyled("width:200px", "newurlcategory", Escape(shown.category)) + "</td></tr>");
  page.push_back("<tr style=\"background:#c0ffc0\"><td>リンクコメント</td><td>" +
                 TextInputStyled("width:300px", "newurlcomment", Escape(shown.comment)) + "</td></tr>");
  if (m.Sys.USELINKBANNER) {
    std::string cell = "<input type=\"file\" name=\"linkbanner\"> GIF/JPEG/PNG";
    if (m.Sys.BANNERMAXSIZE > 0) cell += " " + std::to_string(m.Sys.BANNERMAXSIZE) + "byte以下";
    if (edit) {
      const std::string banner = FindLinkBanner(m.AccountImageFolder(), edit->id);
      if (!banner.empty())
        cell += "<br><img src=\"" + m.Sys.IMAGEPATH + m.Account.Id + "/" + banner + "\" alt=\"" + edit->title + "\">";
    }
    page.push_back("<tr style=\"background:#f0fff0\"><td>バナー画像</td><td>" + cell + "</td></tr>");
  }
  if (!links.empty()) {
    page.push_back("<tr style=\"background:#f0f0f0\"><td>リンク編集</td><td><select name=\"edtlink\">" +
                   PromptOption("編集するリンクを選択してください") + LinkOptions(links) + "</select></td></tr>");
    page.push_back("<tr style=\"background:#f0fff0\"><td>リンクカテゴリ変更</td><td><select name=\"movlink\">" +
                   PromptOption("カテゴリを変更するリンクを選択してください") + LinkOptions(links) +
                   "</select><br>上記を右記のカテゴリに変更" + TextInputStyled("width:150px", "movcategory", "") +
                   "</td></tr>");
  }
  page.push_back("<tr style=\"background:#fff0f0; color:red\"><td>リンク削除</td><td><select name=\"dellink\">" +
                 PromptOption("削除するリンクを選択してください") + LinkOptions(links) + "</select></td></tr>");
  page.push_back("</table>");
  page.push_back("<input type=\"submit\" value=\"リンクを処理します\"></form>");
  if (m.Sys.USELINKSUPPORT) {
    // The title fetch posts the typed address back to this page.
    page.push_back(m.FormStart(edit ? "lv+" + edit->id : "lv", "gettitle") + HiddenInput("checkurl", "") + "</form>");
    page.push_back("<script type=\"text/javascript\"><!--");
    page.push_back("function _gettitle() { var f = document.forms['gettitle']; f.checkurl.value = "
                   "document.getElementById('lksp').value; f.submit(); }");
    page.push_back("// --></script>");
  }
  if (!links.empty()) {
    page.push_back("<hr>リンク一覧<br>");
    page.push_back("<table border=\"1\" cellpadding=\"3\" style=\"border-collapse:collapse; font-size:x-small\">");
    page.push_back("<tr><td></td><td>リンクタイトル</td><td>リンクURL</td><td>リンクカテゴリ</td></tr>");
    for (const auto& l : links)
      page.push_back("<tr><td><a href=\"./velm.exe?" + m.AccountWord + "+lv+" + EscapeAttribute(l.id) + "\">編集</a></td><td>" +
                     l.title + "</td><td>" + l.url + "</td><td>" + l.category + "</td></tr>");
    page.push_back("</table>");
  }
  CloseSettingCell(m, page);
}

int TWebModule1::DoLinkSave(const TCommandEntry&) {
  const TLinkForm form(*this);
  // A link chosen for editing opens the link page with it.
  const std::string edit = form("edtlink");
  if (!edit.empty()) {
    Arg3 = edit;
    Command = "LV";
    return 1;
  }
  const std::string folder = AccountFolder();
  const std::string del = form("dellink"), id = form("linkid"), move = form("movlink");
  const std::string rawUrl = form("newurllink");
  TLinkURL link;
  link.url = Escape(rawUrl);
  link.title = Escape(form("newurltitle"));
  if (link.title.empty()) link.title = link.url;
  link.category = LinkText(form("newurlcategory"));
  link.comment = LinkText(form("newurlcomment"));
  const bool urlGiven = rawUrl.size() > 8;

  std::string message;
  TLinkURL old;
  if (!del.empty()) {
    switch (DeleteLink(folder, del, &old)) {
      case TLinkChange::Done:
        DeleteBanners(*this, del);
        message = BlueMessage(old.url + " " + "の削除を行いました");
        break;
      case TLinkChange::Missing: message = RedMessage(Escape(del) + " " + "の削除に失敗しました"); break;
      default: message = RedMessage(old.url + " " + "の削除に失敗しました"); break;
    }
  } else if (!id.empty()) {
    link.id = id;
    if (!urlGiven) {
      message = RedMessage("http:// 又は https://から始まるURLを入力してください");
    } else {
      switch (ChangeLink(folder, link, &old)) {
        case TLinkChange::Done: message = SavedMessage(link.url, "の変更", StoreBanner(*this, form, id)); break;
        default: message = RedMessage(link.url + " " + "の変更に失敗しました"); break;
      }
    }
  } else if (!move.empty()) {
    switch (MoveLink(folder, move, LinkText(form("movcategory")), &old)) {
      case TLinkChange::Done: message = BlueMessage(old.url + " " + "のカテゴリを変更しました"); break;
      case TLinkChange::Missing: message = RedMessage(Escape(move) + " " + "のカテゴリ変更に失敗しました"); break;
      default: message = RedMessage(old.url + " " + "のカテゴリ変更に失敗しました"); break;
    }
  } else if (urlGiven) {
    if (AddLink(folder, link) == TLinkChange::Done)
      message = SavedMessage(link.url, "の追加", StoreBanner(*this, form, link.id));
    else
      message = RedMessage(link.url + " " + "の追加に失敗しました");
  } else if (rawUrl.empty() || rawUrl == "http://" || rawUrl == "https://") {
    message = RedMessage("処理が選択されませんでした");
  } else {
    message = RedMessage("http:// 又は https://から始まるURLを入力してください");
  }
  // After a change the page opens that link again; after a delete or an add, the empty form.
  Arg3 = id.empty() || !del.empty() ? "" : id;
  LinkPage(*this, message, "", "");
  return 1;
}
