// The comment notice mail.
#include "net/comment_notice.h"

#include "app/Unit1.h"
#include "text/DString.h"

void ConfigureMail(TSMTPMail& mail, const TSystemSettings& sys) {
  const std::string server = Trim(sys.SMTPSERVER);
  const size_t colon = server.rfind(':');
  mail.ServerName = server.substr(0, colon);
  mail.Port = colon == std::string::npos ? 25 : StrToIntDef(server.substr(colon + 1), 25);
  mail.FromAddress = Trim(sys.SMTPFROM);
  const std::string auth = UpperCase(Trim(sys.SMTPAUTHTYPE));
  mail.SMTPAuthType = auth == "LOGIN" ? SA_LOGIN : auth == "CRAM-MD5" ? SA_CRAMMD5 : SA_NONE;
  mail.SMTPAuthAccount = sys.SMTPACCOUNT;
  mail.SMTPAuthPassword = sys.SMTPPASSWORD;
  mail.StartCommandType = mail.SMTPAuthType == SA_NONE ? 0 : 1;  // authentication is an extension: EHLO
  mail.ConnectTimeout = sys.NETCONNECTTIMEOUT;
  mail.Deadline = sys.MAILTIMEOUT;
}

int SendCommentNotice(const TSystemSettings& sys, const std::string& ownerAddress, const std::string& accountId,
                      const std::string& posterName, const std::string& articleId, TStringList* log) {
  const std::string owner = Trim(ownerAddress);
  if (Trim(sys.SMTPSERVER).empty() || Trim(sys.SMTPFROM).empty() || owner.empty()) return 1;
  TSMTPMail mail;
  if (log) mail.CreateLog();
  ConfigureMail(mail, sys);
  mail.FromName = "VELM SYSTEM";
  mail.ToAddress = owner;
  mail.ReplayTo = owner;
  mail.Subject = "VELM SYSTEM";
  mail.Body = {"", "下記の記事にコメントが行われました", "投稿者 : " + posterName, "",
               sys.SYSTEMURL + "velm.exe?" + accountId + "+sl+" + articleId};
  const int result = mail.Send();
  if (log && mail.LogList()) *log = *mail.LogList();
  return result;
}

bool TWebModule1::SendCommentNotice(const std::string& posterName, const std::string& articleId) {
  return ::SendCommentNotice(Sys, Css.USEREMAIL, Account.Id, posterName, articleId) == 0;
}
