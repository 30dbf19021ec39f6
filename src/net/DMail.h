// TSMTPMail: sends one e-mail through an SMTP server: HELO/EHLO, optional AUTH LOGIN or
// CRAM-MD5, MAIL FROM, RCPT TO, DATA, QUIT. Japanese names and subject become ISO-2022-JP MIME
// words, the Shift_JIS body ISO-2022-JP; attachments make a multipart/mixed message.
//
// Use:
//   TSMTPMail m;
//   m.ServerName = "mail.example.jp"; m.Port = 25;   // Port defaults to 25
//   m.FromAddress = "..."; m.ToAddress = "..."; m.Subject = "..."; m.Body = {"line", ...};
//   int r = m.Send();   // 0 sent, negative: the step that failed (see Send)
// Nothing throws; CreateLog() keeps the dialogue. Deadline bounds the whole dialogue.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "net/DBaseSocket.h"

enum TSMTPAuthType { SA_NONE, SA_CRAMMD5, SA_LOGIN };
enum TMailPriority { MP_HIGH, MP_HIGHLOW, MP_NORMAL, MP_LOWHIGH, MP_LOW };

// Collects the lines of one SMTP reply as they arrive; the reply ends with a line whose fourth
// character is not "-".
class TSMTPReplyReader {
public:
  explicit TSMTPReplyReader(size_t maxBytes = 16384) : FMax(maxBytes) {}
  bool Feed(const char* data, size_t size);  // true once the reply is whole (or over its size)
  const TStringList& Lines() const { return FLines; }
  bool Complete() const { return FComplete; }
  bool Failure() const;                      // a line whose code begins with 4 or 5, or no line
  std::string LastText() const;              // the last line after its code and separator

private:
  TStringList FLines;
  std::string FPartial;
  size_t FMax, FBytes = 0;
  bool FComplete = false;
};

class TSMTPMail : public TDBaseSocket {
public:
  TSMTPMail();
  ~TSMTPMail() override;
  TStringList* CreateLog() override;  // logs "SMTP Object Created" into the new list

  int TimeoutCount = 4;   // waits for one reply
  int TimeoutVal = 30;    // seconds of one wait
  std::string FromAddress, FromName, ToAddress, ToName;
  std::string Subject;                 // Shift_JIS
  TStringList Body;                    // Shift_JIS lines
  TStringList cc, bcc;                 // one address a line; bcc gets the mail without a header line
  std::string MessageID;               // made when empty
  TStringList Header;                  // extra header lines, as given
  std::string X_Mailer;
  std::string Content_Type = "text/plain;\r\n\tcharset=\"iso-2022-jp\"";
  std::string Content_Encoding = "7bit";
  std::string MimeVersion = "1.0";
  bool SJIStoJISConvert = true;
  std::string ReplayTo;
  int StartCommandType = 0;            // 1: EHLO, else HELO
  TSMTPAuthType SMTPAuthType = SA_NONE;
  std::string SMTPAuthAccount, SMTPAuthPassword;
  int AttachStreamCount() const { return static_cast<int>(FAttachments.size()); }
  bool NullFromAddress = true;         // an empty FromAddress is allowed
  TMailPriority Priority = MP_NORMAL;
  double Deadline = 0;                 // seconds for the whole dialogue; 0: only the waits bound it

  void AddAttachment(const std::string& fileName, const std::string& bytes);

  using TDBaseSocket::Send;
  // 0 sent; -14 no ServerName; -12 no FromAddress (NullFromAddress off); -13 no ToAddress;
  // -11 no connection; -99 no positive greeting; -1 HELO/EHLO refused; -6 authentication failed;
  // -2 MAIL FROM refused; -3 no recipient accepted; -4 DATA refused; -5 message not accepted.
  int Send();
  // The message as it goes after DATA (headers, empty line, body; before dot-stuffing).
  std::string MessageText();

private:
  bool Wait(const std::string& step, const std::string& success, std::string* lastText = nullptr);
  bool Command(const std::string& line, const std::string& step, const std::string& success,
               std::string* lastText = nullptr);
  int Dialogue();

  std::vector<std::pair<std::string, std::string>> FAttachments;
  std::string FBoundary;
};
