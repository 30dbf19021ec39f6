// SMTP mail: the dialogue, reply reading and the message with its MIME headers.
#include "net/DMail.h"

#include <unistd.h>

#include "text/DHash.h"
#include "text/DString.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

constexpr size_t kReplyBlock = 16385;

// A header value on one line: CR and LF dropped, so no value can start another header.
std::string OneLine(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

std::string LocalHostName() {
  char name[256] = "";
  if (gethostname(name, sizeof name - 1) != 0 || !name[0]) return "localhost";
  return name;
}

std::string AttachmentType(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  const std::string ext = dot == std::string::npos ? "" : UpperCase(fileName.substr(dot));
  if (ext == ".BMP") return "image/bmp";
  if (ext == ".GIF") return "image/gif";
  if (ext == ".JPG") return "image/jpg";
  if (ext == ".JPEG") return "image/jpeg";
  return "application/octet-stream";
}

}  // namespace

// ---- replies ----

bool TSMTPReplyReader::Feed(const char* data, size_t size) {
  for (size_t i = 0; i < size && !FComplete; ++i) {
    if (++FBytes > FMax) {
      FComplete = true;  // an endless reply ends here
      break;
    }
    const char c = data[i];
    if (c == '\r') continue;
    if (c != '\n') {
      FPartial += c;
      continue;
    }
    FLines.push_back(FPartial);
    FComplete = FPartial.size() < 4 || FPartial[3] != '-';
    FPartial.clear();
  }
  return FComplete;
}

bool TSMTPReplyReader::Failure() const {
  if (FLines.empty()) return true;
  for (const auto& l : FLines)
    if (!l.empty() && (l[0] == '4' || l[0] == '5')) return true;
  return false;
}

std::string TSMTPReplyReader::LastText() const {
  if (FLines.empty() || FLines.back().size() <= 4) return "";
  return FLines.back().substr(4);
}

// ---- mail ----

TSMTPMail::TSMTPMail() { Port = 25; }

TSMTPMail::~TSMTPMail() { Close(); }

TStringList* TSMTPMail::CreateLog() {
  const bool made = LogList() == nullptr;
  TStringList* list = TDBaseSocket::CreateLog();
  if (made) Log("SMTP Object Created");
  return list;
}

void TSMTPMail::AddAttachment(const std::string& fileName, const std::string& bytes) {
  FAttachments.emplace_back(fileName, bytes);
}

bool TSMTPMail::Wait(const std::string& step, const std::string& success, std::string* lastText) {
  Log("Wait to host type : " + step);
  TSMTPReplyReader reader;
  char block[kReplyBlock];
  int waits = 0;
  while (!reader.Complete()) {
    const int w = WaitReadable(TimeoutVal * 1000);
    if (w < 0) break;
    if (w == 0) {
      if (++waits >= TimeoutCount || DeadlinePassed()) {
        Log("Time Out");
        break;
      }
      continue;
    }
    const long n = ReceiveSome(block, sizeof block);
    if (n <= 0) {
      Log(n == 0 ? "Connection closed" : "Socket Error " + std::to_string(LastError()));
      Close();
      break;
    }
    reader.Feed(block, static_cast<size_t>(n));
  }
  for (const auto& l : reader.Lines()) Log(l);
  if (lastText) *lastText = reader.LastText();
  if (!reader.Complete() || reader.Failure()) return false;
  Log(success);
  return true;
}

bool TSMTPMail::Command(const std::string& line, const std::string& step, const std::string& success,
                        std::string* lastText) {
  if (!HasSocket()) return false;
  Send(line, true);
  return Connected() && Wait(step, success, lastText);
}

std::string TSMTPMail::MessageText() {
  auto address = [](const std::string& name, const std::string& addr) {
    return name.empty() ? "<" + OneLine(addr) + ">" : MimeWordsFolded(OneLine(name), true, 76) + " <" + OneLine(addr) + ">";
  };
  std::string m = "From: " + address(FromName, FromAddress) + "\r\n";
  m += "To: " + address(ToName, ToAddress) + "\r\n";
  m += "Date: " + FormatMailDate(Now(), "+0900") + "\r\n";
  if (!Subject.empty()) m += "Subject: " + MimeWordsFolded(OneLine(Subject), false, 76) + "\r\n";
  m += "Mime-Version: " + (MimeVersion.empty() ? std::string("1.0") : OneLine(MimeVersion)) + "\r\n";
  if (!MessageID.empty()) {
    m += "Message-ID: " + OneLine(MessageID) + "\r\n";
  } else {
    const size_t at = FromAddress.find('@');
    std::string domain = at == std::string::npos ? "" : OneLine(FromAddress.substr(at + 1));
    if (domain.empty()) domain = LocalHostName();
    m += "Message-ID: <" + Md5Hex(FormatCompactStamp(Now()) + std::to_string(getpid()) + RandomCode(16)) + "@" + domain +
         ">\r\n";
  }
  const std::string textType = "Content-Type: " + (Content_Type.empty() ? "text/plain; charset=ISO-2022-JP" : Content_Type) +
                               "\r\n" + "Content-Transfer-Encoding: " + (Content_Encoding.empty() ? "7bit" : Content_Encoding) +
                               "\r\n";
  if (FAttachments.empty()) {
    m += textType;
  } else {
    if (FBoundary.empty()) FBoundary = "=_" + RandomCode(16);
    m += "Content-Type: multipart/mixed;\r\n\tboundary=\"------" + FBoundary + "\"\r\n";
  }
  if (!ReplayTo.empty()) m += "Reply-to: " + OneLine(ReplayTo) + "\r\n";
  m += "Priority: " + std::string(Priority == MP_HIGH || Priority == MP_HIGHLOW  ? "urgent"
                                  : Priority == MP_LOWHIGH || Priority == MP_LOW ? "non-urgent"
                                                                                 : "normal") +
       "\r\n";
  if (!X_Mailer.empty()) m += "X-Mailer: " + OneLine(X_Mailer) + "\r\n";
  for (const auto& h : Header) m += OneLine(h) + "\r\n";
  m += "\r\n";

  TStringList body;
  for (const auto& line : Body) {
    TStringList parts = SplitLines(line);
    if (parts.empty()) parts.push_back("");
    for (const auto& p : parts) body.push_back(SJIStoJISConvert ? SjisToJis(p) : p);
  }
  if (FAttachments.empty()) return m + JoinLines(body, "\r\n");

  const std::string sep = "--------" + FBoundary;
  m += "This is a multi-part message in MIME format.\r\n\r\n" + sep + "\r\n" + textType + "\r\n";
  for (const auto& l : body) m += l + "\r\n";
  for (const auto& [name, bytes] : FAttachments) {
    const std::string encoded = MimeWord(OneLine(name), false);
    std::string b64 = Base64EncodeStream(bytes);
    if (!b64.empty() && b64.compare(b64.size() - 2, 2, "\r\n") != 0) b64 += "\r\n";
    m += sep + "\r\n" + "Content-Type: " + AttachmentType(name) + ";\r\n\tname=\"" + encoded + "\"\r\n" +
         "Content-Transfer-Encoding: base64\r\n" + "Content-Disposition: attachment;\r\n\tfilename=\"" + encoded +
         "\"\r\n\r\n" + b64;
  }
  return m + sep + "--";
}

int TSMTPMail::Dialogue() {
  if (!Wait("Connect", "Connected")) return -99;
  if (!Command((StartCommandType == 1 ? "EHLO " : "HELO ") + LocalHostName(), "HELO", "Hello")) return -1;
  if (SMTPAuthType == SA_CRAMMD5) {
    std::string challenge;
    if (!Command("AUTH CRAM-MD5", "Auth", "Auth CRAM1", &challenge)) return -6;
    const std::string digest = HmacMd5Hex(SMTPAuthPassword, Base64Decode(challenge));
    if (!Command(Base64Encode(SMTPAuthAccount + " " + digest), "Auth", "Auth CRAM2")) return -6;
  } else if (SMTPAuthType == SA_LOGIN) {
    if (!Command("AUTH LOGIN", "Auth", "Auth Login") || !Command(Base64Encode(SMTPAuthAccount), "Auth", "Auth Login1") ||
        !Command(Base64Encode(SMTPAuthPassword), "Auth", "Auth Login2"))
      return -6;
  }
  if (!Command("MAIL FROM: <" + OneLine(FromAddress) + ">", "Mail", "Mail")) return -2;
  int accepted = 0;
  TStringList recipients = {ToAddress};
  for (const TStringList* list : {&cc, &bcc})
    for (const auto& a : *list)
      if (!Trim(a).empty()) recipients.push_back(Trim(a));
  for (const auto& r : recipients) {
    if (!HasSocket()) break;
    if (Command("RCPT TO: <" + OneLine(r) + ">", "Rcpt", "Rcpt")) ++accepted;
  }
  if (accepted == 0) return -3;
  if (!Command("DATA", "Data1", "Data")) return -4;
  // Dot-stuffing: every line that begins with "." gets one more.
  std::string data;
  for (const auto& line : SplitLines(MessageText())) data += (line.rfind('.', 0) == 0 ? "." : "") + line + "\r\n";
  if (!Command(data + ".", "Data2", "End of Data")) return -5;
  return 0;
}

int TSMTPMail::Send() {
  if (ServerName.empty()) return -14;
  if (!NullFromAddress && FromAddress.empty()) return -12;
  if (ToAddress.empty()) return -13;
  SetDeadline(Deadline);
  Log("Connect Server");
  if (!Connect()) {
    Log("Resolve Time Out");
    return -11;
  }
  const int result = Dialogue();
  if (HasSocket() && Command("QUIT", "Quit", "Quit")) Log("Disconnect Server");
  Close();
  return result;
}
