// The command table: 68 entries walked in this order for every request.
#include "app/Unit1.h"

namespace {
using R = TRewriteKind;
using B = TBodyKind;
using M = TWebModule1;
constexpr TCommandHandler kNone = nullptr;
}  // namespace

const std::vector<TCommandEntry>& CommandTable() {
  // Word, handler, rewrite, rewrite target, login check, raw body, changes data, body, fixed arguments.
  static const std::vector<TCommandEntry> table = {
      {"VPW", &M::DoViewPassword, R::None, "", false, false, false, B::Form, "", "", ""},
      {"QI", &M::DoLogout, R::None, "", false, false, true, B::Form, "", "", ""},
      {"RSS", &M::DoFeed, R::None, "", false, false, false, B::Form, "short", "1.0", ""},
      {"RSSL", &M::DoFeed, R::None, "", false, false, false, B::Form, "long", "1.0", ""},
      {"RSS20", &M::DoFeed, R::None, "", false, false, false, B::Form, "short", "2.0", ""},
      {"RSSL20", &M::DoFeed, R::None, "", false, false, false, B::Form, "long", "2.0", ""},
      {"ATOM", &M::DoFeed, R::None, "", false, false, false, B::Form, "short", "ATOM", ""},
      {"ATOML", &M::DoFeed, R::None, "", false, false, false, B::Form, "long", "ATOM", ""},
      {"LS", &M::DoLinkSupport, R::None, "", true, false, false, B::Form, "", "", ""},
      {"KEYIMAGE", &M::DoKeyImage, R::None, "", false, false, false, B::Form, "", "", ""},
      {"IU", &M::DoUploadPicture, R::EcIfArg3ElseWc, "", true, true, true, B::Upload, "", "", ""},
      {"TU", &M::DoSiteImageUpload, R::Fixed, "VV", true, true, true, B::Upload, "titleimage", "", ""},
      {"BU", &M::DoSiteImageUpload, R::Fixed, "VV", true, true, true, B::Upload, "velmbackground", "", ""},
      {"PU", &M::DoSiteImageUpload, R::Fixed, "VV", true, true, true, B::Upload, "profileimage", "", ""},
      {"DD", &M::DoSiteImageDelete, R::Fixed, "VV", true, false, true, B::Form, "", "", ""},
      {"MS", &M::DoGadgetSave, R::None, "", true, false, true, B::Form, "", "", ""},
      {"DU", &M::DoDeleteSavedPicture, R::EcIfArg3ElseWc, "", true, false, true, B::Form, "", "", ""},
      {"DW", &M::DoDeletePendingPicture, R::EcIfArg3ElseWc, "", true, false, true, B::Form, "", "", ""},
      {"DV", &M::DoArticleList, R::None, "", false, false, false, B::Form, "", "", ""},
      {"", &M::DoArticleList, R::None, "", false, false, false, B::Form, "", "", ""},
      {"SV", &M::DoArticleList, R::None, "", false, false, false, B::Form, "", "", ""},
      {"SC", &M::DoArticleList, R::None, "", false, false, false, B::Form, "", "", ""},
      {"PA", &M::DoPhotoAlbum, R::None, "", false, false, false, B::Form, "", "", ""},
      {"LG", &M::DoLogin, R::None, "", false, false, true, B::Form, "", "", ""},
      {"HC", &M::DoUserColorPage, R::None, "", true, false, false, B::Form, "", "", ""},
      {"HS", &M::DoUserColorSave, R::None, "", true, false, true, B::Form, "", "", ""},
      {"PV", &M::DoProfilePage, R::None, "", true, false, false, B::Form, "", "", ""},
      {"PS", &M::DoProfileSave, R::None, "", true, false, true, B::Form, "", "", ""},
      {"UC", &M::DoDesignPage, R::None, "", true, false, false, B::Form, "", "", ""},
      {"CD", &M::DoCategoryAction, R::None, "", true, false, true, B::Form, "", "", ""},
      {"CV", &M::DoCategoryPage, R::None, "", true, false, false, B::Form, "", "", ""},
      {"LD", &M::DoLinkSave, R::None, "", true, true, true, B::Upload, "", "", ""},
      {"LV", &M::DoLinkPage, R::None, "", true, false, false, B::Form, "", "", ""},
      {"UL", &M::DoLinkList, R::None, "", false, false, false, B::Form, "", "", ""},
      {"DM", &M::DoDeleteComment, R::Fixed, "EC", true, false, true, B::Form, "", "", ""},
      {"VM", &M::DoApproveComment, R::Fixed, "EC", true, false, true, B::Form, "", "", ""},
      {"DT", &M::DoRemoveTrackBack, R::Fixed, "EC", true, false, true, B::Form, "", "", ""},
      {"EC", &M::DoEditArticle, R::None, "", true, false, false, B::Form, "", "", ""},
      {"LC", &M::DoChooseArticle, R::None, "", true, false, false, B::Form, "", "", ""},
      {"WC", &M::DoWriteArticle, R::None, "", true, false, false, B::Form, "", "", ""},
      {"SS", &M::DoSaveArticle, R::None, "", true, false, true, B::Form, "", "", ""},
      {"DC", &M::DoDeleteArticle, R::None, "", true, false, true, B::Form, "", "", ""},
      {"SM", &M::DoPostComment, R::Fixed, "SL", false, false, false, B::Form, "", "", ""},
      {"SL", &M::DoSingleArticle, R::None, "", false, false, false, B::Form, "", "", ""},
      {"PL", &M::DoPrintable, R::None, "", false, false, false, B::Form, "", "", ""},
      {"LP", &M::DoPreview, R::None, "", false, false, false, B::Form, "", "", ""},
      {"VV", &M::DoDesignPage, R::None, "", true, false, false, B::Form, "", "", ""},
      {"US", &M::DoDesignSave, R::None, "", true, false, true, B::Form, "", "", ""},
      {"TB", &M::DoTrackBack, R::None, "", false, false, false, B::Ping, "", "", ""},
      {"TV", &M::DoTrackBackView, R::None, "", false, false, false, B::Form, "", "", ""},
      {"LL", &M::DoDownloadLog, R::None, "", true, false, false, B::Form, "", "", ""},
      {"LM", &M::DoFoldLog, R::None, "", true, false, true, B::Form, "", "", ""},
      {"CF", &M::DoCustomFooterPage, R::None, "", true, false, false, B::Form, "", "", ""},
      {"CZ", &M::DoSaveCustomFooter, R::None, "", true, false, true, B::Form, "", "", ""},
      {"CM", &M::DoCustomMenuPage, R::None, "", true, false, false, B::Form, "", "", ""},
      {"CS", &M::DoSaveTextFile, R::None, "", true, false, true, B::Form, "カスタムメニュー", "custommenu.txt", "custommenu"},
      {"UP", &M::DoUpdatePingPage, R::None, "", true, false, false, B::Form, "", "", ""},
      {"PW", &M::DoUpdatePingSave, R::None, "", true, false, true, B::Form, "", "", ""},
      {"SU", &M::DoUpdatePingSend, R::None, "", true, false, true, B::Form, "", "", ""},
      {"CB", &M::DoCommentBlockPage, R::None, "", true, false, false, B::Form, "", "", ""},
      {"BS", &M::DoSaveTextFile, R::None, "", true, false, true, B::Form, "コメントブロック", "commentblock.txt", "commentspam"},
      {"BSIP", &M::DoSaveTextFile, R::None, "", true, false, true, B::Form, "コメントIPブロック", "commentipblock.txt", "commentspam"},
      {"TD", &M::DoTrackBackBlockPage, R::None, "", true, false, false, B::Form, "", "", ""},
      {"DS", &M::DoSaveTextFile, R::None, "", true, false, true, B::Form, "トラックバックブロック", "trackbackblock.txt", "trackbackspam"},
      {"TR", &M::DoTrimmingWindow, R::None, "", true, false, false, B::Form, "", "", ""},
      {"JD", &M::DoJpegAction, R::OnSuccess, "JM", true, true, true, B::Jpeg, "", "", ""},
      {"JM", &M::DoJpegEditor, R::None, "", true, false, false, B::Form, "", "", ""},
      {"MV", &M::DoGadgetPage, R::None, "", true, false, false, B::Form, "", "", ""},
  };
  return table;
}
