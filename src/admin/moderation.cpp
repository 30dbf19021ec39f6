// Moderation from the article edit page: delete a comment (DM), show a waiting comment (VM),
// delete a trackback (DT). Each leaves the article as the one the edit page (EC) shows next.
#include "admin/setting_cell.h"
#include "store/comments.h"
#include "text/DString.h"

int TWebModule1::DoDeleteComment(const TCommandEntry&) {
  Arg3 = Request.ContentFieldValue("delclogid");
  const std::string comment = Request.ContentFieldValue("delcommentid");
  if (IsArticleId(Arg3) && !comment.empty()) DeleteComment(AccountFolder(), Arg3, comment);
  return 1;
}

int TWebModule1::DoApproveComment(const TCommandEntry&) {
  Arg3 = Request.ContentFieldValue("viewclogid");
  const std::string comment = Request.ContentFieldValue("viewcommentid");
  if (IsArticleId(Arg3) && !comment.empty()) ApproveComment(AccountFolder(), Arg3, comment);
  return 1;
}

int TWebModule1::DoRemoveTrackBack(const TCommandEntry&) {
  Arg3 = Request.ContentFieldValue("deltlogid");
  const std::string trackback = Request.ContentFieldValue("deltbid");
  std::string received;
  if (IsArticleId(Arg3) && DeleteTrackBack(AccountFolder(), trackback, Arg3, received))
    EditorCarry.Message = Colored("red", received + " " + "トラックバックを削除しました");
  return 1;
}
