// The request dispatcher: preparation, account selection and the command chain.
#include <algorithm>

#include "app/Unit1.h"
#include "store/categories.h"
#include "store/file_access.h"
#include "text/DString.h"

TWebModule1::TWebModule1(TCGIRequest& request, TCGIResponse& response)
    : Request(request), Response(response), ExeFolder(::ExeFolder()) {
  DefaultSystemSettings(ExeFolder, Sys);
  Sys.CHARSET.clear();  // the error page carries no charset until velm.ini is read
}

std::string TWebModule1::SystemErrorText(const std::string& message) const {
  return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja\"><head>"
         "<meta http-equiv=\"content-type\" content=\"text/html; charset=" +
         Sys.CHARSET + "\">" + "<title>VELM SYSTEM ERROR</title></head>" + "<body>" +
         "<span style=\"color:" + "red" + "\">" + message + "</span>" + "</body></html>";
}

void TWebModule1::SystemErrorPage(const std::string& message) { Response.SetContent(SystemErrorText(message)); }

bool TWebModule1::CheckLogin() {
  if (!FLoginChecked) FLoginChecked = CheckCredentials(Account, InName, InPass);
  return *FLoginChecked;
}

void TWebModule1::LoginFailurePage() { SystemErrorPage("ログイン名又はパスワードが間違っています"); }

bool TWebModule1::Prepare() {
  InName = Request.CookieFieldValue("INNAME");
  InPass = Request.CookieFieldValue("INPASS");

  if (!ReadSystemSettings(ExeFolder, Sys)) {
    Sys.CHARSET.clear();
    SystemErrorPage("データフォルダが見つからない、又は velm.ini がありません");
    return false;
  }

  AccountWord = Request.Word(1);
  if (UpperCase(AccountWord) == "AJK") return false;  // keyword popup: empty answer

  Command = UpperCase(Request.Word(2));
  Arg3 = Request.Word(3);
  Arg4 = Request.Word(4);
  // The body is read only once its command is known, and not at all when it is larger than
  // that command can use.
  for (const TCommandEntry& e : CommandTable())
    if (Command == e.Word) {
      CommandBody = e.Body;
      break;
    }

  if (!ReadAccountList(Sys.DATAFOLDER, AccountList)) {
    SystemErrorPage("アカウントが未設定です");
    return false;
  }

  if (UpperCase(AccountWord) == "LOGIN") {
    if (RefuseLargeBody(false)) return false;
    const std::string name = Request.ContentFieldValue("loginname");
    const std::string pass = Request.ContentFieldValue("loginpass");
    AccountWord.clear();
    // Each account of that login name is checked as LG checks (throttled, failures counted).
    for (const auto& a : AccountList) {
      if (SameText(a.LoginName, name) && CheckCredentials(a, a.LoginName, pass)) {
        AccountWord = a.Id;
        break;
      }
    }
  }

  auto it = std::find_if(AccountList.begin(), AccountList.end(),
                         [&](const TAccountType& a) { return a.Id == AccountWord; });
  if (it == AccountList.end()) {
    SystemErrorPage("存在しないアカウントです");
    return false;
  }
  Account = *it;
  if (RefuseLargeBody(Account.UploadSpace)) return false;
  Css = ReadDesign(AccountFolder(), Sys.SIDEMENUCONTROL);
  ReadTitleFile(AccountFolder(), Account);
  LoadCategoryList(AccountFolder(), CategoryList);

  if (!Account.ForwardURL.empty()) {
    Response.Location = Account.ForwardURL;
    return false;
  }
  return true;
}

long long TWebModule1::BodyLimit(TBodyKind kind, bool uploadSpace) const {
  constexpr long long kKB = 1024, kSlack = 64 * kKB;
  switch (kind) {
    case TBodyKind::Upload: {
      // The largest single upload of the settings (a link banner for the link save, a picture or
      // file otherwise); a limit of 0 or less means none, as does the upload-space flag.
      const long long largest = Command == "LD" ? Sys.BANNERMAXSIZE : Sys.ATTACHMAXSIZE;
      if (uploadSpace || largest <= 0 || largest + kSlack > kLargestBody) return kLargestBody;
      return largest + kSlack;
    }
    case TBodyKind::Jpeg: return 5 * 1024 * kKB + kSlack;
    case TBodyKind::Ping: return kSlack;
    case TBodyKind::Form: break;
  }
  return 2 * 1024 * kKB;
}

// Answers a body larger than the command can use, before anything reads it: a ping gets the
// failure answer, anything else the system error page with status 413.
bool TWebModule1::RefuseLargeBody(bool uploadSpace) {
  Request.SetBodyLimit(BodyLimit(CommandBody, uploadSpace));
  if (!Request.BodyTooLarge()) return false;
  if (CommandBody == TBodyKind::Ping) {
    TrackBackAnswer(false);
  } else {
    Response.StatusCode = 413;
    Response.ReasonString = "Request Entity Too Large";
    SystemErrorPage("送信されたデータが大きすぎます");
  }
  return true;
}

void TWebModule1::WalkCommandChain() {
  for (const TCommandEntry& e : CommandTable()) {
    if (Command != e.Word || !e.Handler) continue;

    if (e.Word[0] == '\0') {  // the top page
      Response.SetCustomHeader("Cache-Control", "no-cache;");
      if (!Css.DEFAULTPAGE.empty()) {
        auto c = std::find_if(CategoryList.begin(), CategoryList.end(), [&](const TCategoryData& d) {
          return d.name == Css.DEFAULTPAGE || d.id == Css.DEFAULTPAGE;
        });
        if (c != CategoryList.end()) {
          // The list page filters by id: a default page named by its category name shows that category.
          Command = "SV";
          Arg3 = c->id;
          continue;
        }
      }
    }
    if (Command == "LG") Response.SetCustomHeader("Cache-Control", "no-cache;");

    if (e.Admin && !CheckLogin()) {
      if (Command != "LL" && Command != "LM") LoginFailurePage();
      continue;
    }
    if (e.Changes && Request.FromOtherSite()) {
      // A page of another site cannot change data or cookies through the owner's browser.
      SystemErrorPage("他のサイトからの要求は受け付けません");
      continue;
    }
    if (e.RawBody) Request.RawBody();

    const int result = (this->*e.Handler)(e);
    switch (e.Rewrite) {
      case TRewriteKind::None: break;
      case TRewriteKind::Fixed: Command = e.RewriteTo; break;
      case TRewriteKind::EcIfArg3ElseWc: Command = Arg3.empty() ? "WC" : "EC"; break;
      case TRewriteKind::OnSuccess:
        if (result == 1) Command = e.RewriteTo;
        break;
    }
  }
}

void TWebModule1::WebModule1WebActionItem1Action() {
  if (Prepare()) WalkCommandChain();
}
