// Uploads (TU, BU, PU) and deletes (DD) of the site images, and their block on the settings page.
#include "admin/site_images.h"

#include <cmath>

#include "admin/setting_cell.h"
#include "gateway/multipart.h"
#include "store/file_access.h"
#include "text/DString.h"

namespace {

const char* const kExtensions[] = {".jpg", ".gif", ".png"};

// The extension of an uploaded file name when it is one of the picture types, as uploaded; "" otherwise.
std::string PictureExtension(const std::string& fileName) {
  const std::string base = UploadFileBaseName(fileName);
  const size_t dot = base.rfind('.');
  if (dot == std::string::npos) return "";
  const std::string ext = base.substr(dot);
  const std::string upper = UpperCase(ext);
  return upper == ".JPG" || upper == ".GIF" || upper == ".PNG" ? ext : "";
}

// "#,##0" of the limit in KB.
std::string KiloBytes(long long bytes) {
  std::string digits = std::to_string(static_cast<long long>(std::llround(static_cast<double>(bytes) / 1024.0)));
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
  return digits;
}

struct TSiteImage {
  const char* Label;
  const char* Upload;   // command
  const char* Base;
  const char* Type;     // imagetype of the delete form
  int Width;
  const char* Delete;   // button
};

const TSiteImage kSiteImages[] = {
    {"タイトル背景", "tu", "titleimage", "title", 240, "タイトル画像を削除"},
    {"全体背景画像", "bu", "velmbackground", "background", 120, "背景画像を削除"},
    {"プロフィール画像", "pu", "profileimage", "profile", 120, "プロフィール画像を削除"},
};

}  // namespace

std::string FindSiteImage(const std::string& accountImageFolder, const std::string& base) {
  return FindFileNoCase(accountImageFolder, {base + ".jpg", base + ".gif", base + ".png"});
}

void SiteImageBlock(TWebModule1& m, TStringList& page) {
  const long long limit = m.Account.UploadSpace ? 0 : m.Sys.ATTACHMAXSIZE;
  page.push_back("<hr>");
  if (limit > 0)
    page.push_back("■各種基本画像<br>アップロード可能な画像は Jpeg/GIF/PNG で" + KiloBytes(limit) + "KB以下です");
  else
    page.push_back("■各種基本画像<br>アップロード可能な画像は Jpeg/GIF/PNG です");
  page.push_back("<table border=\"0\" cellpadding=\"5\" style=\"border-collapse:collapse; font-size:x-small\">");
  const std::string folder = m.AccountImageFolder();
  for (const TSiteImage& s : kSiteImages) {
    std::string cell = m.FormStartUpload(s.Upload) +
                       "<input type=\"file\" name=\"uploadimage\"><input type=\"submit\" value=\"アップロード\"></form>";
    const std::string name = FindSiteImage(folder, s.Base);
    if (!name.empty()) {
      // The file's time in the address: a replaced picture is not taken from the browser's cache.
      cell += "<img src=\"" + m.Sys.IMAGEPATH + m.Account.Id + "/" + name + "?" +
              std::to_string(static_cast<long long>(FileAge(folder + name))) + "\" width=\"" +
              std::to_string(s.Width) + "\" alt=\"" + s.Label + "\"><br>" + m.FormStart("dd") +
              HiddenInput("imagetype", s.Type) + "<input type=\"submit\" value=\"" + s.Delete + "\"></form>";
    }
    page.push_back(std::string("<tr style=\"background:#f0fff0\"><td>") + s.Label + "</td><td>" + cell + "</td></tr>");
  }
  page.push_back("</table>");
}

int TWebModule1::DoSiteImageUpload(const TCommandEntry& e) {
  const std::string base = e.P1;
  const std::string& body = Request.RawBody();
  const TUploadFileinfo info = LocateMultipartFile(body, "uploadimage");
  // Another type of file and an empty part change nothing and leave no message.
  const std::string ext = PictureExtension(info.FileName);
  if (ext.empty() || info.DataSize == 0) return 0;
  // The name as the browser sent it (some send the whole client-side path).
  const std::string shown = Escape(info.FileName);
  const long long limit = Account.UploadSpace ? 0 : Sys.ATTACHMAXSIZE;
  if (limit > 0 && info.DataSize >= limit) {
    DesignError = shown + "のアップロードを行いましたが、サイズが上限を超えています。ファイルは登録されません";
    return 0;
  }
  const std::string folder = AccountImageFolder();
  const std::string name = base + ext;
  if (!ForceDirectories(folder) || !SaveStreamToFile(folder + name, MultipartData(body, info.DataStart, info.DataSize))) {
    DesignError = shown + "のアップロードに失敗しました";
    return 0;
  }
  // The picture shown is the one just uploaded: the same image under another extension goes.
  for (const char* other : kExtensions) {
    const std::string found = FindFileNoCase(folder, {base + other});
    if (!found.empty() && found != name) DeleteFile(folder + found);
  }
  return 1;
}

int TWebModule1::DoSiteImageDelete(const TCommandEntry&) {
  static const struct { const char* Type; const char* Base; } kTypes[] = {
      {"BACKGROUND", "velmbackground"}, {"TITLE", "titleimage"}, {"MTITLE", "titleimage_m"},
      {"PROFILE", "profileimage"},     {"QRCODE", "qrcode"}};
  const std::string type = UpperCase(Request.ContentFieldValue("imagetype"));
  const char* base = nullptr;
  for (const auto& t : kTypes)
    if (type == t.Type) base = t.Base;
  // An unknown type or no stored image: nothing to delete, nothing to say.
  if (!base) return 0;
  const std::string folder = AccountImageFolder();
  const std::string found = FindSiteImage(folder, base);
  if (found.empty()) return 0;
  if (!DeleteFile(folder + found)) {
    DesignError = "画像の削除に失敗しました";
    return 0;
  }
  DesignMessage = "画像を削除しました。";
  return 1;
}
