// The owner's notice mail that a comment was posted, through the mail server of velm.ini
// (SMTPSERVER= host or host:port, SMTPFROM=, optional SMTPAUTHTYPE= LOGIN or CRAM-MD5 with
// SMTPACCOUNT= and SMTPPASSWORD=, MAILTIMEOUT= seconds for the whole dialogue).
//
// The comment post calls TWebModule1::SendCommentNotice(escaped poster name, article id) after
// the comment is stored; the result never changes what the poster sees.
#pragma once
#include <string>

#include "app/settings.h"
#include "net/DMail.h"

// Fills the server, port, sender, authentication and deadline of a mail from velm.ini.
void ConfigureMail(TSMTPMail& mail, const TSystemSettings& sys);

// The notice to ownerAddress ("VELM SYSTEM" as sender name and subject, Reply-to the owner).
// 1 when it is not sent because the server, the sender or the owner's address is not set;
// otherwise the result of TSMTPMail::Send (0 sent). log, when given, receives the dialogue.
int SendCommentNotice(const TSystemSettings& sys, const std::string& ownerAddress, const std::string& accountId,
                      const std::string& posterName, const std::string& articleId, TStringList* log = nullptr);
