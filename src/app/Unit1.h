// TWebModule1: the application module that lives for one request and owns its state.
// Every command is an operation of it; operations live in the folder of their subsystem.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/css_value.h"
#include "app/settings.h"
#include "gateway/cgi_request.h"
#include "gateway/cgi_response.h"
#include "store/index_summary.h"
#include "store/links.h"
#include "store/velmlib.h"
#include "text/DString.h"

class TWebModule1;
struct TCommandEntry;

// A handler returns a result that some rewrites read (1 = success where it matters).
using TCommandHandler = int (TWebModule1::*)(const TCommandEntry& entry);

enum class TRewriteKind {
  None,
  Fixed,          // the command becomes RewriteTo
  EcIfArg3ElseWc, // EC when argument 3 is non-empty, else WC
  OnSuccess,      // RewriteTo when the handler returned 1
};

// The largest body a command can use.
enum class TBodyKind {
  Form,    // url-encoded fields
  Upload,  // multipart with an upload of the settings' upload limits
  Jpeg,    // multipart with a picture for the JPEG editor
  Ping,    // a trackback ping
};

struct TCommandEntry {
  const char* Word;          // upper case; "" is the top page
  TCommandHandler Handler;   // nullptr: not built, the entry does nothing
  TRewriteKind Rewrite;
  const char* RewriteTo;
  bool Admin;                // runs the login check before the handler
  bool RawBody;              // the content fields are read once so the whole body is there
  bool Changes;              // changes stored data or cookies: refused when another site sent it
  TBodyKind Body;
  const char* P1;            // fixed arguments of the table
  const char* P2;
  const char* P3;
};

const std::vector<TCommandEntry>& CommandTable();

class TWebModule1 {
public:
  TWebModule1(TCGIRequest& request, TCGIResponse& response);

  // The one entry of every request.
  void WebModule1WebActionItem1Action();

  TCGIRequest& Request;
  TCGIResponse& Response;

  std::string InName, InPass;      // cookies INNAME / INPASS
  std::string ExeFolder;           // ends in "/"
  TSystemSettings Sys;
  TAccountList AccountList;
  std::string AccountWord, Command, Arg3, Arg4;
  TAccountType Account;            // the selected account, title from title.txt
  TCSSValue Css;
  TCategoryList CategoryList;

  // Folders of the selected account (end in "/").
  std::string AccountFolder() const { return Sys.DATAFOLDER + Account.LoginName + "/"; }
  std::string ImageFolder() const { return ExeFolder + "images/"; }
  std::string AccountImageFolder() const { return ImageFolder() + Account.Id + "/"; }
  std::string BlogURL() const { return Sys.SYSTEMURL + "velm.exe?" + Account.Id; }
  std::string TemplateFolder() const { return ExeFolder + "template/"; }

  // The system error page with a red message (charset from the settings read so far).
  void SystemErrorPage(const std::string& message);
  std::string SystemErrorText(const std::string& message) const;

  // HTML form helpers (form starts post to ./velm.exe?<account word>+<tail>).
  std::string FormStart(const std::string& tail, const std::string& name = "") const;
  std::string FormStartUpload(const std::string& tail, const std::string& name = "") const;
  std::string FormStartNewWindow(const std::string& tail, const std::string& name = "") const;

  // ---- login, cookies, view password ----
  bool CheckLogin();                               // cookies against the account, once a request
  // The one comparison of a login name and password with an account: throttled per account and
  // client address (app/login_guard.cpp); a failure with something presented is counted.
  bool CheckCredentials(const TAccountType& account, const std::string& name, const std::string& pass);
  // The guess throttle of one guard file (per client address).
  bool GuardLocked(const std::string& guardPath) const;
  void GuardFailed(const std::string& guardPath);
  // A picture-code check under the same throttle as logins (keyguard.txt).
  bool CheckKeyGuess(const std::function<bool()>& check);
  void LoginFailurePage();
  void AdminFrame(TStringList& page);              // head + navigation column
  std::string ViewPasswordCell() const;
  bool ViewPasswordOK();                           // no view password, or the right cookie
  int DoViewPassword(const TCommandEntry&);        // VPW
  int DoLogout(const TCommandEntry&);              // QI
  int DoLogin(const TCommandEntry&);               // LG

  // ---- access log ----
  void LogAccess();
  void AccessCounts(long long& total, long long& today, long long& yesterday);
  void CounterLines(TStringList& page);
  int DoDownloadLog(const TCommandEntry&);         // LL
  int DoFoldLog(const TCommandEntry&);             // LM

  // ---- page parts shared by the page builders ----
  void StyleSheetLines(TStringList& page) const;   // the stylesheet rules (without <style> lines)
  // Inputs of the side menu, gathered once by the page builder.
  struct TSideMenuInput {
    TContentRefList Contents;    // public articles, newest first
    TIndexSummary Summary;       // their months and days; the per-category counts are in CategoryList
    mutable std::optional<TLinkURLList> Links;  // url.link, read when first wanted
    TCommentList NewComments;    // newest comments of public articles, limit 10
    int CalendarYear = 0, CalendarMonth = 0;
    bool Closed = false;         // behind the view password: the boxes of blog content are empty
  };
  void SideMenuCell(TStringList& page, const TSideMenuInput& in);  // <td class="navicell">...</td>
  void SubColumnCell(TStringList& page);                           // <td class="subcell">...</td>
  void LinkPageCell(TStringList& page, const TSideMenuInput& in);  // UL content cell: <td class="contentcell">...</td>
  // The calendar that replaces one "<CALENDAR ...>" tag (the tag text gives the colours).
  std::string CalendarHTML(const std::string& tag, int year, int month, const TIndexSummary& articles);
  // Photo choice for the side menu and the album: false when the blog has no photo.
  bool ChoosePhoto(bool random, TContentIndex& content, std::string& imageHtml);

  // ---- public pages ----
  int DoArticleList(const TCommandEntry&);         // DV, top page, SV, SC
  int DoPhotoAlbum(const TCommandEntry&);          // PA
  int DoLinkList(const TCommandEntry&);            // UL
  int DoSingleArticle(const TCommandEntry&);       // SL
  int DoPrintable(const TCommandEntry&);           // PL
  int DoPreview(const TCommandEntry&);             // LP

  // ---- photo album (render/photo_album.cpp) ----
  void PhotoAlbumCell(TStringList& page);          // PA content cell: <td class="contentcell">...</td>
  int AlbumColumn = 0;                             // column of the open album row, across articles
  size_t (*PhotoPick)(size_t count) = nullptr;     // random photo index below count; nullptr: clock-seeded

  // ---- syndication ----
  int DoFeed(const TCommandEntry&);                // RSS, RSSL, RSS20, RSSL20, ATOM, ATOML
  int DoTrackBack(const TCommandEntry&);           // TB
  int DoTrackBackView(const TCommandEntry&);       // TV
  void TrackBackAnswer(bool success);              // the XML answer of a ping

  // ---- update ping and feed reader (syndication/) ----
  int DoUpdatePingPage(const TCommandEntry&);      // UP
  int DoUpdatePingSave(const TCommandEntry&);      // PW (a plain visit shows the page)
  int DoUpdatePingSend(const TCommandEntry&);      // SU
  // The gadget box text with every "<RSSCONTENT ...>" tag replaced when USESIDEMENURSS= is on.
  std::string ExpandFeedBoxes(const std::string& text);
  std::string FeedBoxHTML(const std::string& tag);  // one tag's replacement
  double FeedBudgetLeft() const;                     // seconds this page may still wait for feeds
  double FeedSecondsSpent = 0;
  // The owner's mail that a comment was posted (net/comment_notice.cpp): the comment post calls
  // it with the escaped poster name once the comment is stored. True when the mail was sent;
  // an unset or failing mail server changes nothing else.
  bool SendCommentNotice(const std::string& posterName, const std::string& articleId);

  // ---- comment form and posting (render/), picture code (images/) ----
  int DoPostComment(const TCommandEntry&);         // SM
  int DoKeyImage(const TCommandEntry&);            // KEYIMAGE

  // ---- article editor and moderation (admin/) ----
  int DoUploadPicture(const TCommandEntry&);         // IU
  int DoDeleteSavedPicture(const TCommandEntry&);    // DU
  int DoDeletePendingPicture(const TCommandEntry&);  // DW
  int DoDeleteComment(const TCommandEntry&);         // DM
  int DoApproveComment(const TCommandEntry&);        // VM
  int DoRemoveTrackBack(const TCommandEntry&);       // DT
  int DoEditArticle(const TCommandEntry&);           // EC
  int DoChooseArticle(const TCommandEntry&);         // LC
  int DoWriteArticle(const TCommandEntry&);          // WC
  int DoSaveArticle(const TCommandEntry&);           // SS
  int DoDeleteArticle(const TCommandEntry&);         // DC
  int DoCommentBlockPage(const TCommandEntry&);      // CB
  int DoTrackBackBlockPage(const TCommandEntry&);    // TD
  int DoCustomMenuPage(const TCommandEntry&);        // CM
  int DoCustomFooterPage(const TCommandEntry&);      // CF
  int DoSaveTextFile(const TCommandEntry&);          // BS, BSIP, DS, CS
  int DoSaveCustomFooter(const TCommandEntry&);      // CZ
  // What a picture, moderation or save command leaves for the editor form that follows it.
  struct TEditorCarry {
    std::string Message;                     // shown at the top of the form
    bool Backup = false;                     // the backup fields below were posted
    std::string Category, Date, Title, Content, TrackBack;
  };
  TEditorCarry EditorCarry;

  // ---- categories and links (admin/) ----
  int DoCategoryPage(const TCommandEntry&);        // CV
  int DoCategoryAction(const TCommandEntry&);      // CD
  int DoLinkPage(const TCommandEntry&);            // LV
  int DoLinkSave(const TCommandEntry&);            // LD
  int DoLinkSupport(const TCommandEntry&);         // LS

  // ---- display settings, site images, profile, colours, gadgets (admin/) ----
  int DoDesignPage(const TCommandEntry&);          // UC, VV
  int DoDesignSave(const TCommandEntry&);          // US
  int DoSiteImageUpload(const TCommandEntry&);     // TU, BU, PU (P1: the image's base name)
  int DoSiteImageDelete(const TCommandEntry&);     // DD
  int DoProfilePage(const TCommandEntry&);         // PV
  int DoProfileSave(const TCommandEntry&);         // PS
  int DoUserColorPage(const TCommandEntry&);       // HC
  int DoUserColorSave(const TCommandEntry&);       // HS
  int DoGadgetPage(const TCommandEntry&);          // MV
  int DoGadgetSave(const TCommandEntry&);          // MS
  std::string DesignMessage, DesignError;          // left by an image upload or delete for the settings page

  // ---- JPEG editor (images/) ----
  int DoJpegEditor(const TCommandEntry&);          // JM
  int DoTrimmingWindow(const TCommandEntry&);      // TR
  int DoJpegAction(const TCommandEntry&);          // JD
  std::string JpegMessage;                         // what JD tells the JM page (red spans)

  // ---- request bounds ----
  // The largest body a command of this kind can use (the account's upload-space flag lifts the
  // upload limits up to kLargestBody).
  long long BodyLimit(TBodyKind kind, bool uploadSpace) const;
  static constexpr long long kLargestBody = 24LL * 1024 * 1024;

private:
  bool Prepare();
  bool RefuseLargeBody(bool uploadSpace);
  void WalkCommandChain();
  std::optional<bool> FLoginChecked;
  TBodyKind CommandBody = TBodyKind::Form;
};

std::string TextInput(const std::string& name, const std::string& value);
std::string TextInputStyled(const std::string& style, const std::string& name, const std::string& value);
std::string HiddenInput(const std::string& name, const std::string& value);
std::string ShortStamp(const std::string& stamp);  // mm/dd hh:nn
