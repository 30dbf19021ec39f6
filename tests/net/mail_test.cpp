// SMTP mail against a scripted server on 127.0.0.1: the dialogue, its result codes and the message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <map>

#include "loopback_server.h"
#include "net/DMail.h"
#include "net/comment_notice.h"
#include "text/DHash.h"
#include "text/DString.h"
#include "text/jconvert.h"

namespace {

bool Has(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

// A mail server: replies chosen by the command's first word ("" for the greeting, "." for the end
// of the message); what it received goes into Commands and Data.
struct TScriptedSMTP {
  std::map<std::string, std::string> Replies;  // word -> reply ("" closes the connection)
  std::string Challenge = "PDEyMzQ1LjY3ODlAbG9jYWxob3N0Pg==";
  std::vector<std::string> Commands;
  std::string Data;
  TLoopbackServer Server;

  std::string Reply(const std::string& word) const {
    const auto it = Replies.find(word);
    if (it != Replies.end()) return it->second;
    if (word == "") return "220 test ESMTP\r\n";
    if (word == "EHLO") return "250-test\r\n250-AUTH LOGIN CRAM-MD5\r\n250 HELP\r\n";
    if (word == "AUTH") return "334 " + Challenge + "\r\n";
    if (word == "DATA") return "354 go ahead\r\n";
    if (word == "QUIT") return "221 bye\r\n";
    if (word == "CONT") return "334 VXNlcm5hbWU6\r\n";
    return "250 ok\r\n";
  }

  TScriptedSMTP()
      : Server([this](TLoopbackPeer& p, int) {
          auto answer = [&](const std::string& word) {
            const std::string r = Reply(word);
            if (r.empty()) return false;
            // Multi-line replies come in pieces, as a slow server sends them.
            for (size_t at = 0; at < r.size(); at += 7) {
              p.Write(r.substr(at, 7));
              if (r.size() > 20) p.Pause(5);
            }
            return true;
          };
          if (!answer("")) return;
          bool inAuth = false;
          for (;;) {
            const std::string line = p.ReadLine();
            if (line.empty()) return;
            Commands.push_back(line);
            std::string word = UpperCase(line.substr(0, line.find(' ')));
            if (inAuth && word != "AUTH") word = Commands.size() >= 2 && Has(Commands[Commands.size() - 2], "LOGIN") ? "CONT" : "AUTHDONE";
            inAuth = word == "AUTH" || word == "CONT";
            if (word == "DATA") {
              if (!answer("DATA")) return;
              if (Reply("DATA").rfind("354", 0) != 0) continue;
              for (std::string l; (l = p.ReadLine()) != ".";) {
                if (p.Closed()) return;
                Data += l + "\r\n";
              }
              word = ".";
            }
            if (!answer(word)) return;
            if (word == "QUIT") return;
          }
        }) {}
};

TSMTPMail& Prepare(TSMTPMail& m, int port) {
  m.ServerName = "127.0.0.1";
  m.Port = port;
  m.FromAddress = "blog@example.jp";
  m.ToAddress = "owner@example.jp";
  m.Deadline = 10;
  return m;
}

TEST(SMTPReplyReader, RepliesEndAtTheirLastLine) {
  TSMTPReplyReader r;
  const std::string a = "250-first\r\n250-sec", b = "ond\r\n250 last\r\nnext";
  EXPECT_FALSE(r.Feed(a.data(), a.size()));
  EXPECT_TRUE(r.Feed(b.data(), b.size()));
  EXPECT_EQ(r.Lines(), (TStringList{"250-first", "250-second", "250 last"}));
  EXPECT_FALSE(r.Failure());
  EXPECT_EQ(r.LastText(), "last");
  TSMTPReplyReader bad;
  EXPECT_TRUE(bad.Feed("250-ok\n550 no\n", 14));
  EXPECT_TRUE(bad.Failure());
  TSMTPReplyReader endless(100);
  const std::string flood(500, 'x');
  EXPECT_TRUE(endless.Feed(flood.data(), flood.size()));
  EXPECT_TRUE(endless.Failure());  // no whole line at all
}

TEST(SMTPMail, MessageHeadersBodyAndDotStuffing) {
  TScriptedSMTP smtp;
  TSMTPMail m;
  m.CreateLog();
  Prepare(m, smtp.Server.Port());
  m.FromName = "VELM SYSTEM";
  m.ToName = "管理者";
  m.Subject = "コメント\r\nBcc: injected@example.jp";
  m.Body = {"", "下記の記事にコメントが行われました", ".", ".hidden", "a\r\nb"};
  m.ReplayTo = "owner@example.jp";
  m.X_Mailer = "velm";
  m.Priority = MP_LOW;
  m.cc = {"cc@example.jp", ""};
  m.bcc = {"bcc@example.jp"};
  EXPECT_EQ(m.Send(), 0);
  EXPECT_EQ(smtp.Commands[0].substr(0, 5), "HELO ");
  EXPECT_EQ(TStringList(smtp.Commands.begin() + 1, smtp.Commands.end()),
            (TStringList{"MAIL FROM: <blog@example.jp>", "RCPT TO: <owner@example.jp>", "RCPT TO: <cc@example.jp>",
                         "RCPT TO: <bcc@example.jp>", "DATA", "QUIT"}));
  const TStringList lines = SplitLines(smtp.Data);
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(lines[0], "From: \"VELM SYSTEM\" <blog@example.jp>");
  EXPECT_EQ(lines[1], "To: " + MimeWord("管理者", true) + " <owner@example.jp>");
  EXPECT_EQ(lines[1].substr(0, 20), "To: =?iso-2022-jp?B?");
  EXPECT_TRUE(lines[2].size() == 37 && lines[2].substr(0, 6) == "Date: " && lines[2].substr(31) == " +0900") << lines[2];
  EXPECT_EQ(lines[3], "Subject: " + MimeWordsFolded("コメントBcc: injected@example.jp", false, 76).substr(0, lines[3].size() - 9));
  size_t i = 3;
  while (lines[i + 1][0] == '\t') ++i;  // the folded subject
  EXPECT_EQ(lines[i + 1], "Mime-Version: 1.0");
  EXPECT_TRUE(lines[i + 2].rfind("Message-ID: <", 0) == 0 && Has(lines[i + 2], "@example.jp>")) << lines[i + 2];
  EXPECT_EQ(TStringList(lines.begin() + i + 3, lines.end()),
            (TStringList{"Content-Type: text/plain;", "\tcharset=\"iso-2022-jp\"", "Content-Transfer-Encoding: 7bit",
                         "Reply-to: owner@example.jp", "Priority: non-urgent", "X-Mailer: velm", "", "",
                         SjisToJis("下記の記事にコメントが行われました"), "..", "..hidden", "a", "b"}));
  EXPECT_FALSE(Has(smtp.Data, "\r\nBcc:"));
  const TStringList& log = *m.LogList();
  for (const char* l : {"SMTP Object Created", "Connect Server", "Wait to host type : Connect", "Connected", "Hello", "Mail",
                        "Rcpt", "Data", "End of Data", "Quit", "Disconnect Server"})
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& s) { return s.size() > 20 && s.substr(20) == l; }))
        << l;
}

TEST(SMTPMail, LoginAndCramMD5Authentication) {
  TScriptedSMTP smtp;
  TSMTPMail login;
  Prepare(login, smtp.Server.Port());
  login.StartCommandType = 1;
  login.SMTPAuthType = SA_LOGIN;
  login.SMTPAuthAccount = "user";
  login.SMTPAuthPassword = "pass word";
  EXPECT_EQ(login.Send(), 0);
  EXPECT_EQ(TStringList(smtp.Commands.begin() + 1, smtp.Commands.begin() + 4),
            (TStringList{"AUTH LOGIN", Base64Encode("user"), Base64Encode("pass word")}));
  EXPECT_EQ(smtp.Commands[0].substr(0, 5), "EHLO ");

  TScriptedSMTP cram;
  TSMTPMail m;
  Prepare(m, cram.Server.Port());
  m.StartCommandType = 1;
  m.SMTPAuthType = SA_CRAMMD5;
  m.SMTPAuthAccount = "tim";
  m.SMTPAuthPassword = "tanstaaftanstaaf";
  cram.Challenge = Base64Encode("<1896.697170952@postoffice.reston.mci.net>");
  EXPECT_EQ(m.Send(), 0);
  // RFC 2195's own example.
  EXPECT_EQ(cram.Commands[2], "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
}

TEST(SMTPMail, EveryRefusedOrDroppedStepHasItsResult) {
  EXPECT_EQ(TSMTPMail().Send(), -14);
  TSMTPMail noFrom;
  noFrom.ServerName = "127.0.0.1";
  noFrom.NullFromAddress = false;
  noFrom.ToAddress = "x@y";
  EXPECT_EQ(noFrom.Send(), -12);
  TSMTPMail noTo;
  noTo.ServerName = "127.0.0.1";
  EXPECT_EQ(noTo.Send(), -13);
  TSMTPMail refused;
  Prepare(refused, ClosedLoopbackPort());
  EXPECT_EQ(refused.Send(), -11);

  struct { const char* Word; const char* Reply; bool Auth; int Result; } cases[] = {
      {"", "554 go away\r\n", false, -99},   {"", "", false, -99},           {"HELO", "502 no\r\n", false, -1},
      {"AUTH", "535 bad\r\n", true, -6},      {"AUTHDONE", "535 bad\r\n", true, -6},
      {"MAIL", "451 later\r\n", false, -2},   {"MAIL", "", false, -2},        {"RCPT", "550 no such user\r\n", false, -3},
      {"DATA", "503 order\r\n", false, -4},   {".", "552 too big\r\n", false, -5}, {".", "", false, -5},
      {"QUIT", "", false, 0},
  };
  for (const auto& c : cases) {
    TScriptedSMTP smtp;
    smtp.Replies[c.Word] = c.Reply;
    TSMTPMail m;
    Prepare(m, smtp.Server.Port());
    m.cc = {"second@example.jp"};
    if (c.Auth) {
      m.SMTPAuthType = SA_CRAMMD5;
      m.StartCommandType = 1;
    }
    EXPECT_EQ(m.Send(), c.Result) << c.Word << " " << c.Reply;
    EXPECT_FALSE(m.Connected());
    // QUIT still goes after a refusal on an open connection.
    if (std::string(c.Reply).size() > 0 && c.Result != -99) {
      EXPECT_EQ(smtp.Commands.back(), "QUIT") << c.Word;
    }
  }
  // A silent server costs the deadline, not the four waits of 30 s.
  TLoopbackServer silent([](TLoopbackPeer& p, int) { p.Hold(); });
  TSMTPMail m;
  Prepare(m, silent.Port());
  m.Deadline = 1;
  const long long t = MonotonicMs();
  EXPECT_EQ(m.Send(), -99);
  EXPECT_LT(MonotonicMs() - t, 2500);
}

TEST(SMTPMail, AttachmentsMakeAMultipartMessage) {
  TSMTPMail m;
  m.FromAddress = "a@b";
  m.Body = {"本文"};
  const std::string bytes(100, '\x01');
  m.AddAttachment("写真.JPG", bytes);
  m.AddAttachment("data.bin", "xyz");
  EXPECT_EQ(m.AttachStreamCount(), 2);
  const std::string text = m.MessageText();
  const size_t at = text.find("Content-Type: multipart/mixed;\r\n\tboundary=\"------=_");
  ASSERT_NE(at, std::string::npos);
  const std::string b = text.substr(at + 51, 16);
  const std::string sep = "--------=_" + b;
  const std::string name = MimeWord("写真.JPG", false);
  EXPECT_TRUE(Has(text, "\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n" + sep +
                            "\r\nContent-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" +
                            SjisToJis("本文") + "\r\n" + sep + "\r\nContent-Type: image/jpg;\r\n\tname=\"" + name +
                            "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n\tfilename=\"" + name +
                            "\"\r\n\r\n" + Base64EncodeStream(bytes) + "\r\n" + sep +
                            "\r\nContent-Type: application/octet-stream;\r\n\tname=\"data.bin\""))
      << text;
  EXPECT_EQ(text.substr(text.size() - sep.size() - 8), "eHl6\r\n" + sep + "--");
}

TEST(CommentNotice, TheOwnersMailAndItsSettings) {
  TSystemSettings sys;
  sys.SYSTEMURL = "http://blog.example.jp/";
  EXPECT_EQ(SendCommentNotice(sys, "owner@example.jp", "demo", "name", "id"), 1);  // no server
  TScriptedSMTP smtp;
  sys.SMTPSERVER = "127.0.0.1:" + std::to_string(smtp.Server.Port());
  EXPECT_EQ(SendCommentNotice(sys, "owner@example.jp", "demo", "name", "id"), 1);  // no sender
  sys.SMTPFROM = "velm@example.jp";
  EXPECT_EQ(SendCommentNotice(sys, " ", "demo", "name", "id"), 1);                 // no owner address
  TStringList log;
  EXPECT_EQ(SendCommentNotice(sys, "owner@example.jp", "demo", "&lt;b&gt;太郎", "0123abc", &log), 0);
  const TStringList lines = SplitLines(smtp.Data);
  EXPECT_EQ(lines[0], "From: \"VELM SYSTEM\" <velm@example.jp>");
  EXPECT_EQ(lines[1], "To: <owner@example.jp>");
  EXPECT_EQ(lines[3], "Subject: VELM SYSTEM");
  EXPECT_TRUE(Has(smtp.Data, "\r\nReply-to: owner@example.jp\r\n"));
  const size_t blank = smtp.Data.find("\r\n\r\n");
  EXPECT_EQ(smtp.Data.substr(blank + 4), "\r\n" + SjisToJis("下記の記事にコメントが行われました") + "\r\n" +
                                             SjisToJis("投稿者 : &lt;b&gt;太郎") +
                                             "\r\n\r\nhttp://blog.example.jp/velm.exe?demo+sl+0123abc\r\n");
  EXPECT_FALSE(log.empty());

  TSMTPMail m;
  sys.SMTPSERVER = "mail.example.jp";
  sys.SMTPAUTHTYPE = "cram-md5";
  sys.MAILTIMEOUT = 7;
  ConfigureMail(m, sys);
  EXPECT_EQ(m.ServerName + ":" + std::to_string(m.Port), "mail.example.jp:25");
  EXPECT_TRUE(m.SMTPAuthType == SA_CRAMMD5 && m.StartCommandType == 1 && m.Deadline == 7);
}

}  // namespace
