// The comment form under a single article and the comment post (SM): picture code, block lists,
// the stored line and the result page.
#include "render/comment_post.h"

#include <algorithm>
#include <cstdio>

#include "images/ImageKeyAuth.h"
#include "render/article_view.h"
#include "render/page_parts.h"
#include "store/DCSVList.h"
#include "store/comments.h"
#include "store/file_access.h"
#include "text/DString.h"
#include "text/address_rules.h"
#include "text/dates.h"

namespace {

// The client's address: the web server's REMOTE_ADDR only, never a header a client can send.
std::string ClientAddress() {
  std::string a = ReadVariable1024("REMOTE_ADDR");
  std::erase_if(a, [](char c) { return c == '"' || static_cast<unsigned char>(c) < 0x20; });
  return a;
}

bool FindArticle(const TContentRefList& list, const std::string& id, TContentIndex& content) {
  for (const TContentRef& c : list)
    if (c.id() == id) {
      content = ToContentIndex(c);
      return true;
    }
  return false;
}

// The post answers with its own page: sent here, so that the single-article page which follows
// in the command chain finds the answer given and adds nothing.
void Answer(TCGIResponse& response, const TStringList& page) {
  response.SetContent(PageText(page));
  response.Send(stdout);
  fflush(stdout);
}

enum class TPostResult { Stored, Empty, Blocked, WrongKey, Failed };

}  // namespace

std::string CommentPosterName(const std::string& posted, const std::string& defaultName, std::string& plain) {
  // Tags go from the whole name before the cut: a long tag cut in half would leave its inside.
  std::string name = RemoveTags(posted);
  std::erase_if(name, [](char c) { return c != '\t' && static_cast<unsigned char>(c) < 0x20; });
  // A field must not end in half a character: it would take its closing quote along.
  plain = EndOnCharacter(CutLength(name, kCommentNameBytes, ""));
  if (plain.empty()) plain = EndOnCharacter(CutLength(defaultName, kCommentNameBytes, ""));
  return Escape(plain);
}

std::string CommentStoredText(const std::string& posted) {
  std::string text = CutLength(posted, kCommentTextBytes, "");
  std::erase(text, '\0');
  TStringList lines = SplitLines(text);
  TrimList(lines);
  std::string out;
  for (const std::string& line : lines) out += EscapeKeepingTabs(EndOnCharacter(line)) + "<br>";
  return out;
}

bool CommentWordBlocked(const TStringList& words, const std::string& postedText, const std::string& storedName) {
  const std::string text = UpperCase(RemoveBlanks(postedText)), name = UpperCase(RemoveBlanks(storedName));
  for (const std::string& w : words) {
    const std::string word = UpperCase(w);
    if (ContainsSjis(text, word) || ContainsSjis(name, word)) return true;
  }
  return false;
}

void CommentForm(TWebModule1& m, TStringList& page, const TContentIndex& content) {
  const std::string& account = m.Account.Id;
  std::string keyPart;
  if (m.Css.USEKEYIMAGE) {
    TImageKeyAuth auth;
    auth.Folder = m.AccountFolder();
    const std::string id = auth.Issue(ClientAddress());
    keyPart = "<img src=\"./velm.exe?" + account + "+keyimage+" + id + "\" alt=\"Comment key\">" + HiddenInput("checkid", id);
  }
  page.push_back("<form style=\"margin:0px;\" method=\"post\" action=\"./velm.exe?" + account + "+sm+" + content.id + "\">");
  page.push_back(HiddenInput("category", EscapeAttribute(content.category)));
  page.push_back("<div style=\"font-size:" + m.Css.LOGCONTENTSIZE + "\">");
  page.push_back("<div style=\"float:left; width:100px\">名前</div><div>" +
                 TextInput("commentname", EscapeAttribute(m.Request.CookieFieldValue("guestname"))) + "</div>");
  if (m.Css.USEKEYIMAGE) {
    page.push_back("<div style=\"float:left; width:100px; vertical-align:center\">コメントキー</div>"
                   "<div style=\"vertical-align:center\">" + keyPart + "</div>");
    page.push_back("<div style=\"float:left; width:100px; vertical-align:center\">　</div>"
                   "<div style=\"vertical-align:center\">" + TextInput("checkkey", "") +
                   "コメントを投稿する際にはキーを正確に入力して下さい" + "</div>");
  }
  page.push_back("<div style=\"float:left; width:100px; vertical-align:top\">コメント</div><div><textarea name=\"comment\" "
                 "rows=\"10\" cols=\"" + std::to_string(m.Sys.EDITCOLS) + "\">" + "</textarea></div>");
  page.push_back("<input type=\"submit\" value=\"コメントする\">");
  if (m.Css.USEVIEWCOMMENT)
    page.push_back("<br><span style=\"color:red\">コメントは管理者が許可した時点で表示されます</span>");
  page.push_back("</div></form>");
}

int TWebModule1::DoPostComment(const TCommandEntry&) {
  TStringList page;
  PlainPageHead(*this, page);

  // Comments go only to a public article of this blog, open for comments, from its own form (the
  // form names the article's category), read by a visitor the blog lets in.
  TSideMenuInput in;
  TContentIndex content;
  bool open = false;
  if (IsArticleId(Arg3)) {
    LoadContentRefs(AccountFolder(), false, false, in.Contents, CategoryList, &in.Summary);
    open = FindArticle(in.Contents, Arg3, content) && content.category == Request.ContentFieldValue("category") &&
           ViewPasswordOK() && CommentsOpen(Css, content);
  }
  if (!open) {
    page.push_back(TableOpen(*this));
    page.push_back("<td class=\"contentcell\">");
    page.push_back("コメントは許可されていません");
    page.push_back("</td></tr></table></div></body></html>");
    Answer(Response, page);
    return 1;
  }

  std::string plainName;
  const std::string posted = Request.ContentFieldValue("comment");
  const std::string name = CommentPosterName(Request.ContentFieldValue("commentname"), Sys.COMMENTDEFAULTNAME, plainName);
  const std::string text = CommentStoredText(posted);
  // A code is used up by the post it admits; a post with nothing to store leaves it for the next try.
  TImageKeyAuth auth;
  auth.Folder = AccountFolder();
  // Wrong codes count like failed logins: ten from one address lock it out for ten minutes.
  const bool keyRight = !Css.USEKEYIMAGE || CheckKeyGuess([&] {
    return auth.Check(Request.ContentFieldValue("checkid"), Request.ContentFieldValue("checkkey"), !text.empty());
  });
  TPostResult result = TPostResult::WrongKey;
  if (keyRight) {
    TCookie& cookie = Response.AddCookie();
    cookie.Name = "guestname";
    cookie.Value = plainName;
    cookie.Expires = static_cast<double>(time(nullptr)) + 365 * 86400.0;
    const std::string address = ClientAddress();
    TStringList rules, words;
    bool blocked = LoadLinesFromFile(AccountFolder() + "commentipblock.txt", rules) &&
                   CheckAddressRules(rules, address, Request.RemoteHost()) == rvRefuse;
    if (!blocked && LoadLinesFromFile(AccountFolder() + "commentblock.txt", words))
      blocked = CommentWordBlocked(words, CutLength(posted, kCommentTextBytes, ""), name);
    if (blocked) {
      result = TPostResult::Blocked;
    } else if (text.empty()) {
      result = TPostResult::Empty;
    } else {
      const std::string line = MakeRecordLine({content.category, content.id, RandomCode(16), FormatStamp(Now()), name,
                                               text, Css.USEVIEWCOMMENT ? "1" : "0", address});
      result = AppendComment(AccountFolder(), line) ? TPostResult::Stored : TPostResult::Failed;
    }
  }

  LoadCommentList(AccountFolder(), "", false, in.NewComments, 5);
  const TDateTime now = Now();
  in.CalendarYear = now.Year;
  in.CalendarMonth = now.Month;
  page.push_back(TitleCell(*this));
  page.push_back(TableOpen(*this) + "<tr>");
  SideMenuCell(page, in);
  page.push_back("<td class=\"contentcell\">");
  switch (result) {
    case TPostResult::Stored:
    case TPostResult::Blocked: page.push_back("コメントを行いました"); break;
    case TPostResult::Empty: page.push_back("コメントはありません"); break;
    case TPostResult::WrongKey: page.push_back("コメントキーが間違っています"); break;
    case TPostResult::Failed: page.push_back("コメントの保存に失敗しました"); break;
  }
  page.push_back("<a href=\"./velm.exe?" + Account.Id + "+sl+" + content.id + "\">" + "記事に戻る" + "</a>");
  page.push_back("</td></tr></table></div></body></html>");
  // The owner hears of a stored comment (not of a blocked one). The answer waits for the mail at
  // most its deadline (MAILTIMEOUT=): a web server ends a CGI process once it has its answer.
  if (result == TPostResult::Stored) SendCommentNotice(name, content.id);
  Answer(Response, page);
  return 1;
}
