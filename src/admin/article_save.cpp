// Saving an article (SS), new or changed, and deleting one (DC).
#include <unistd.h>

#include "admin/article_pictures.h"
#include "admin/setting_cell.h"
#include "admin/trackback_send.h"
#include "store/attachments.h"
#include "store/file_access.h"
#include "syndication/update_ping.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

constexpr int kPingWaitMs = 5000;

struct TArticleInput {
  std::string Id, Category, Subject, Date, TrackBack;
  std::string Body;  // lines joined by CR LF, without trailing empty lines
  bool Visible = false, SendPing = false;
};

// The escape of a body with HTML switched off: picture tags stay, they are not HTML.
std::string EscapeKeepingPictureTags(const std::string& line) {
  std::string out;
  size_t done = 0;
  for (size_t i = line.find('<'); i != std::string::npos; i = line.find('<', i + 1)) {
    if (line.size() - i < 8 || UpperCase(line.substr(i, 8)) != "<BIMAGE ") continue;
    const size_t close = line.find_first_of("<>", i + 1);
    if (close == std::string::npos || line[close] != '>') continue;
    out += Escape(line.substr(done, i - done));
    out.append(line, i, close + 1 - i);
    done = close + 1;
    i = close;
  }
  return out + Escape(line.substr(done));
}

TStringList BodyLines(const std::string& text) {
  TStringList lines = SplitLines(text);
  TrimList(lines);
  return lines;
}

TArticleInput ReadArticleInput(TCGIRequest& request) {
  auto field = [&](const char* name) { return request.ContentFieldValue(name); };
  TArticleInput in;
  in.Id = field("elogid");
  in.Category = EndOnCharacter(OneLine(Escape(field("category"))));
  in.Subject = EndOnCharacter(OneLine(Escape(field("subject"))));
  if (in.Subject.empty()) in.Subject = "No title";
  in.Date = RemoveTrailingBreaks(field("cdate"));
  if (!IsValidStamp(in.Date)) in.Date = FormatStamp(Now());
  std::string body = field("ucontent");
  std::erase(body, '\0');
  TStringList lines = BodyLines(body);
  if (field("cnvhtml") == "1")
    for (std::string& l : lines) l = EscapeKeepingPictureTags(l);
  in.Body = JoinLines(lines);
  in.Visible = field("cvisible") == "1";
  in.SendPing = field("sendupdateping") == "1";
  in.TrackBack = Trim(OneLine(field("trackback")));
  return in;
}

// The pending uploads a save has taken over: their records and their files go.
void ForgetPending(TWebModule1& m, const TAttachFileList& pending) {
  TStringList names, removed;
  for (const TAttachFileData& a : pending) names.push_back(a.name);
  if (!RemoveWorkAttach(m.AccountFolder(), names, &removed)) return;
  for (const std::string& name : removed)
    if (IsSafeFileWord(name)) DeleteFile(m.AccountImageFolder() + name);
}

// A new article: pictures and body first, the index line last (it makes the article visible);
// when the index cannot be written, what this save wrote is removed again.
int SaveNewArticle(TWebModule1& m, const TArticleInput& in) {
  const std::string folder = m.AccountFolder(), images = m.AccountImageFolder();
  std::string stamp = FormatStamp(Now());
  const std::string id = ReserveArticleId(folder, stamp);
  const TAttachFileList pending = LoadWorkAttachList(folder, images);
  std::string body = in.Body;
  TPicturePlacement placed;
  bool ok = !id.empty();
  ok = ok && (pending.empty() ||
              (ForceDirectories(images) && PlacePictures(images, id, PictureSources({}, pending), body, placed)));
  ok = ok && SaveAttachNames(folder, id, placed.Names) && SaveArticleBody(folder, id, BodyLines(body));
  ok = ok && AddContentIndex(folder, {in.Category, id, in.Date, in.Date, in.Subject, in.Visible}, m.Sys.USEEDITDATE);

  TStringList page;
  OpenSettingCell(m, page);
  if (!ok) {
    if (!id.empty()) {
      DeleteFile(folder + id + ".txt");
      DeleteFile(folder + id + ".iix");
    }
    for (const std::string& name : placed.Written) DeleteFile(images + name);
    page.push_back(Colored("red", "記事を保存できませんでした。記事は登録されていません"));
    CloseSettingCell(m, page);
    return 0;
  }
  ForgetPending(m, pending);
  std::string result = "記事を新規保存しました";
  if (!in.TrackBack.empty()) result += SendTrackBack(m, in.TrackBack, id, in.Subject);
  if (in.SendPing && in.Visible) {
    usleep(kPingWaitMs * 1000);  // the ping servers come to read the new article
    result += "<hr>" + SendUpdatePings(m);
  }
  AppendAllNews(m.ExeFolder, m.Sys.ALLNEWSNAME, m.Sys.ALLNEWSCOUNT, in.Date, m.Account.Title, in.Subject, m.Account.Id,
                id);
  page.push_back(result);
  CloseSettingCell(m, page);
  return 0;
}

// A changed article: pictures, body and index line change while the index's lock is held.
int SaveChangedArticle(TWebModule1& m, const TCommandEntry& entry, const TArticleInput& in) {
  const std::string folder = m.AccountFolder(), images = m.AccountImageFolder();
  TIndexChange change = TIndexChange::Missing;
  TAttachFileList pending;
  TPicturePlacement placed;
  if (IsArticleId(in.Id)) {
    const TContentIndex c{in.Category, in.Id, in.Date, FormatStamp(Now()), in.Subject, in.Visible};
    change = ChangeContentIndex(folder, c, m.Sys.USEEDITDATE, [&] {
      pending = LoadWorkAttachList(folder, images);
      const TStringList saved = LoadAttachNames(folder, in.Id);
      std::string body = in.Body;
      if (!saved.empty() || !pending.empty()) {
        if (!ForceDirectories(images) || !PlacePictures(images, in.Id, PictureSources(saved, pending), body, placed) ||
            !SaveAttachNames(folder, in.Id, placed.Names))
          return false;
      }
      return SaveArticleBody(folder, in.Id, BodyLines(body));
    });
  }
  if (change == TIndexChange::Done) {
    for (const std::string& name : placed.Dropped) DeleteFile(images + name);  // the stored version no longer shows them
    ForgetPending(m, pending);
    m.EditorCarry.Message = "<span style=\"color:blue; font-weight:bold\">記事を修正保存しました</span>";
  } else if (change == TIndexChange::Failed) {
    m.EditorCarry.Message = "<span style=\"color:red; font-weight:bold\">記事を保存できませんでした</span>";
  }
  m.Arg3 = in.Id;
  return m.DoEditArticle(entry);
}

}  // namespace

int TWebModule1::DoSaveArticle(const TCommandEntry& entry) {
  const TArticleInput in = ReadArticleInput(Request);
  if (in.Id.empty()) return SaveNewArticle(*this, in);
  return SaveChangedArticle(*this, entry, in);
}

int TWebModule1::DoDeleteArticle(const TCommandEntry&) {
  const std::string id = Request.ContentFieldValue("dellogid");
  TStringList exts;
  for (const TUpFileInfo& u : Sys.UpFileInfo) exts.push_back(u.Ext);
  TStringList page;
  OpenSettingCell(*this, page);
  page.push_back(IsArticleId(id) && DeleteContent(AccountFolder(), AccountImageFolder(), id, exts)
                     ? "記事を削除しました"
                     : "対象記事はありません");
  CloseSettingCell(*this, page);
  return 1;
}
