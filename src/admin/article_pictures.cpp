// Pictures while an article is written: upload (IU), removal of a pending (DW) or a saved
// picture (DU), and the placing of an article's pictures when it is saved.
#include "admin/article_pictures.h"

#include <algorithm>
#include <functional>

#include "admin/setting_cell.h"
#include "gateway/multipart.h"
#include "render/article_body.h"
#include "store/attachments.h"
#include "store/file_access.h"
#include "text/DString.h"

std::string FileExtension(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return name.substr(dot);
}

std::vector<TPictureSource> PictureSources(const TStringList& savedNames, const TAttachFileList& pending) {
  std::vector<TPictureSource> out;
  for (const std::string& name : savedNames)
    out.push_back({IsSafeFileWord(name) ? name : "", FileExtension(name), false});
  for (const TAttachFileData& a : pending)
    out.push_back({IsSafeFileWord(a.name) ? a.name : "", FileExtension(a.name), true});
  return out;
}

bool PlacePictures(const std::string& imageFolder, const std::string& id, const std::vector<TPictureSource>& sources,
                   std::string& body, TPicturePlacement& placement) {
  placement = TPicturePlacement();
  std::vector<std::string> kept;  // the numbers of the sources that stay, in order
  for (size_t i = 0; i < sources.size(); ++i) kept.push_back(std::to_string(i));
  body = RenumberPictureTags(body, kept);

  // First pass: every picture that moves gets the second name "___" + its final name, a pending
  // one as a copy, a saved one as a link (a copy where links fail). The files the stored article
  // shows stay as they are, so a save that ends here has changed nothing.
  struct TMove {
    bool pending;
    std::string temp, final;
  };
  std::vector<TMove> moves;
  TStringList taken;  // final names that hold this version's picture
  int k = 0;
  for (const std::string& key : kept) {
    const TPictureSource& s = sources[std::stoul(key)];
    const std::string final = id + "-" + std::to_string(++k) + s.Ext;
    placement.Names.push_back(final);
    if (!s.Pending && s.Name == final) taken.push_back(final);
    if (s.Name.empty() || (!s.Pending && s.Name == final)) continue;
    const std::string from = imageFolder + s.Name, temp = imageFolder + "___" + final;
    DeleteFile(temp);  // left by a save that was killed
    if (s.Pending ? !CopyDataFile(from, temp) : !LinkFile(from, temp) && !CopyDataFile(from, temp)) {
      if (!s.Pending) continue;  // a saved picture whose file is missing stays missing
      for (const TMove& m : moves) DeleteFile(m.temp);
      placement = TPicturePlacement();
      return false;
    }
    moves.push_back({s.Pending, temp, final});
  }
  // Second pass: each takes its final name in one rename.
  for (const TMove& m : moves) {
    if (!RenameFile(m.temp, imageFolder + m.final)) continue;
    taken.push_back(m.final);
    if (m.pending) placement.Written.push_back(m.final);
  }
  for (const TPictureSource& s : sources)
    if (!s.Pending && !s.Name.empty() && std::find(taken.begin(), taken.end(), s.Name) == taken.end())
      placement.Dropped.push_back(s.Name);
  return true;
}

namespace {

// The backup fields of a picture form; the form shown next is filled from them.
void TakeBackup(TWebModule1::TEditorCarry& carry, const std::function<std::string(const char*)>& field) {
  carry.Category = RemoveTrailingBreaks(field("backupcat"));
  carry.Date = RemoveTrailingBreaks(field("backupdate"));
  carry.Title = RemoveTrailingBreaks(field("backuptitle"));
  carry.Content = RemoveTrailingBreaks(field("backupcontent"));
  carry.TrackBack = RemoveTrailingBreaks(field("backuptb"));
  carry.Backup = !(carry.Category.empty() && carry.Date.empty() && carry.Title.empty() && carry.Content.empty() &&
                   carry.TrackBack.empty());
}

std::string Red(const std::string& text) { return Colored("red", text); }

}  // namespace

int TWebModule1::DoUploadPicture(const TCommandEntry&) {
  const std::string& body = Request.RawBody();
  const std::string type = Request.ContentType();
  TakeBackup(EditorCarry, [&](const char* name) { return ReadMultipartField(body, name, type, true); });

  const TUploadFileinfo info = LocateMultipartFile(body, "uploadimage");
  const std::string base = UploadFileBaseName(info.FileName);
  const std::string shown = Escape(base.empty() ? info.FileName : base);
  const std::string ext = base.empty() ? "" : FileExtension(base);
  const std::string upper = UpperCase(ext);
  if (ext.size() < 2 || std::none_of(Sys.UpFileInfo.begin(), Sys.UpFileInfo.end(),
                                     [&](const TUpFileInfo& u) { return u.Ext == upper; })) {
    EditorCarry.Message = Red("アップロードを許可された拡張子ではありません");
    return 1;
  }
  if (info.DataSize <= 0) return 1;  // an empty file is ignored

  const long long all = Account.UploadSpace ? 0 : Sys.ATTACHALLSIZE;
  const long long max = Account.UploadSpace ? 0 : Sys.ATTACHMAXSIZE;
  const TAttachFileList pending = LoadWorkAttachList(AccountFolder(), AccountImageFolder());
  long long used = 0;
  for (const TAttachFileData& a : pending) used += a.size;
  if (all > 0 && used + info.DataSize > all) {
    EditorCarry.Message = Red("アップロードできるトータルサイズを超えています");
    return 1;
  }
  if (Sys.ATTACHMAXCOUNT > 0 && static_cast<long long>(pending.size()) >= Sys.ATTACHMAXCOUNT) {
    EditorCarry.Message = Red("アップロードできる最大数を超えています");
    return 1;
  }
  if (max > 0 && info.DataSize >= max) {
    EditorCarry.Message = shown + "(" + FormatThousands(info.DataSize) + " Bytes)は" +
                          "のアップロードを行いましたが、サイズが上限を超えています。ファイルは登録されません";
    return 1;
  }

  const std::string folder = AccountImageFolder();
  const std::string name = RandomCode(16) + ext;
  if (!ForceDirectories(folder) ||
      !SaveStreamToFile(folder + name, MultipartData(body, info.DataStart, info.DataSize))) {
    EditorCarry.Message = Red(shown + "のアップロードに失敗しました");
    return 1;
  }
  if (!AppendWorkAttach(AccountFolder(), name, info.DataSize, RandomCode(16))) {
    DeleteFile(folder + name);
    EditorCarry.Message = Red(shown + "のアップロードに失敗しました");
  }
  return 1;
}

int TWebModule1::DoDeletePendingPicture(const TCommandEntry&) {
  TakeBackup(EditorCarry, [&](const char* name) { return Request.ContentFieldValue(name); });
  const std::string name = Request.ContentFieldValue("dwfile");
  if (!IsSafeFileWord(name)) return 1;
  TStringList removed;
  if (RemoveWorkAttach(AccountFolder(), {name}, &removed) && !removed.empty()) DeleteFile(AccountImageFolder() + name);
  return 1;
}

int TWebModule1::DoDeleteSavedPicture(const TCommandEntry&) {
  TakeBackup(EditorCarry, [&](const char* name) { return Request.ContentFieldValue(name); });
  const std::string name = Request.ContentFieldValue("dwfile");
  if (!IsArticleId(Arg3) || !IsSafeFileWord(name)) return 1;
  bool found = false;
  if (RemoveAttachName(AccountFolder(), Arg3, name, found) && found) DeleteFile(AccountImageFolder() + name);
  return 1;
}
