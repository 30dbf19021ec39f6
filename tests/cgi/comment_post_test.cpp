// Readers' comments through the real executable: the form, the post (SM) with its pages and
// stored lines, the block lists and the picture code.
#include <gtest/gtest.h>

#include "blog_fixture.h"
#include "text/dates.h"

namespace {

const std::string kHead =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<html lang=\"ja\"><head>\r\n"
    "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\">\r\n"
    "<meta http-equiv=\"content-style-type\" content=\"text/css\">\r\n<title>No Title</title>\r\n"
    "<style type=\"text/css\">\r\n<!--\r\n";
const std::string kTable = "<table cellspacing=\"0\" cellpadding=\"0\" class=\"largecell\" border=\"0\">";
const std::string kClosedTail = "-->\r\n</style></head><body>\r\n<div align=\"center\">\r\n" + kTable +
                                "\r\n<td class=\"contentcell\">\r\nコメントは許可されていません\r\n"
                                "</td></tr></table></div></body></html>\r\n";

bool IsCodeId(const std::string& s, size_t n) {
  return s.size() == n && std::all_of(s.begin(), s.end(), [](char c) { return isalnum(static_cast<unsigned char>(c)); });
}

class CommentPost : public ::testing::Test {
protected:
  void SetUp() override {
    blog.Category("c1", "日記");
    blog.Category("c2", "旅行");
    article = blog.Article("c1", Stamp(1), "一つ目", "本文");
    blog.Style("USECOMMENT=1\r\n");
  }

  struct TPost {
    std::string name = "読者", text = "面白い", category = "c1", checkid = "", checkkey = "";
  };
  TCGIResult Post(const TPost& p, const std::string& id = "", const std::string& address = "127.0.0.1") const {
    TCGIRun r;
    r.query = "demo+sm+" + (id.empty() ? article : id);
    r.method = "POST";
    r.body = FormBody({{"checkid", p.checkid}, {"category", p.category}, {"commentname", p.name},
                       {"checkkey", p.checkkey}, {"comment", p.text}});
    r.remoteAddr = address;
    return blog.Inst.Run(r);
  }
  std::string Answer(const TPost& p, const std::string& id = "") const { return ContentOf(Post(p, id).body); }
  // The message and link of a result page's content cell.
  static std::string ContentOf(const std::string& page) {
    const size_t at = page.rfind("<td class=\"contentcell\">\r\n");
    return at == std::string::npos ? page : page.substr(at + 26);
  }
  std::string Done(const std::string& message, const std::string& id = "") const {
    return message + "\r\n<a href=\"./velm.exe?demo+sl+" + (id.empty() ? article : id) +
           "\">記事に戻る</a>\r\n</td></tr></table></div></body></html>\r\n";
  }
  std::vector<std::vector<std::string>> Stored() const { return RecordsOf(blog.Inst.Read(blog.Dir + "comment.txt")); }
  std::vector<std::vector<std::string>> Keys() const { return RecordsOf(blog.Inst.Read(blog.Dir + "keylist.txt")); }
  // A key list line issued `minutes` ago.
  static std::string KeyLine(int minutes, const std::string& id, const std::string& code) {
    return "\"" + FormatStamp(AddSeconds(Now(), -60LL * minutes)) + "\",\"127.0.0.1\",\"" + id + "\",\"" + code + "\"\r\n";
  }

  TBlogFixture blog;
  std::string article;
};

TEST_F(CommentPost, FormUnderTheArticle) {
  blog.Ini("EDITCOLS=60\r\n");
  blog.Style("USECOMMENT=1\r\nUSEKEYIMAGE=1\r\nUSEVIEWCOMMENT=1\r\nLOGCONTENTSIZE=small\r\n");
  TCGIRun r;
  r.query = "demo+sl+" + article;
  r.cookie = "guestname=%22%3Cb%3E%26%93%C7";  // a cookie is the browser's word: escaped like any value
  r.remoteAddr = "10.1.2.3";
  const std::string page = blog.Inst.Run(r).body;
  const auto keys = Keys();
  ASSERT_EQ(keys.size(), 1u);
  const std::string& id = keys[0][2];
  EXPECT_EQ(keys[0].size(), 4u);
  EXPECT_EQ(keys[0][0].substr(0, 13), FormatStamp(Now()).substr(0, 13));
  EXPECT_EQ(keys[0][1], "10.1.2.3");
  EXPECT_TRUE(IsCodeId(id, 32) && IsCodeId(keys[0][3], 5)) << id << " " << keys[0][3];
  EXPECT_TRUE(Has(page,
                  "コメントはありません<br><br>\r\n"
                  "<form style=\"margin:0px;\" method=\"post\" action=\"./velm.exe?demo+sm+" + article + "\">\r\n"
                  "<input type=\"hidden\" name=\"category\" value=\"c1\">\r\n"
                  "<div style=\"font-size:small\">\r\n"
                  "<div style=\"float:left; width:100px\">名前</div><div><input type=\"text\" name=\"commentname\" "
                  "value=\"&quot;&lt;b&gt;&amp;読\"></div>\r\n"
                  "<div style=\"float:left; width:100px; vertical-align:center\">コメントキー</div><div style=\"vertical-align:"
                  "center\"><img src=\"./velm.exe?demo+keyimage+" + id + "\" alt=\"Comment key\"><input type=\"hidden\" "
                  "name=\"checkid\" value=\"" + id + "\"></div>\r\n"
                  "<div style=\"float:left; width:100px; vertical-align:center\">　</div><div style=\"vertical-align:center\">"
                  "<input type=\"text\" name=\"checkkey\" value=\"\">コメントを投稿する際にはキーを正確に入力して下さい</div>\r\n"
                  "<div style=\"float:left; width:100px; vertical-align:top\">コメント</div><div><textarea name=\"comment\" "
                  "rows=\"10\" cols=\"60\"></textarea></div>\r\n"
                  "<input type=\"submit\" value=\"コメントする\">\r\n"
                  "<br><span style=\"color:red\">コメントは管理者が許可した時点で表示されます</span>\r\n"
                  "</div></form>\r\n</td>\r\n"))
      << page.substr(page.find("コメントはありません"));
  // Without the switches: no key part, no approval notice, no code issued; a closed article has no form.
  blog.Style("USECOMMENT=1\r\nCOMMENTLIMIT=3\r\n");
  blog.Inst.Remove(blog.Dir + "keylist.txt");
  const std::string plain = blog.Page("demo+sl+" + article);
  EXPECT_FALSE(Has(plain, "<form style=\"margin:0px;\"") || Has(plain, "コメントキー") || blog.Inst.Exists(blog.Dir + "keylist.txt"));
  const std::string fresh = blog.Article("c2", Stamp(2), "新", "x", true, FormatStamp(Now()));
  const std::string open = blog.Page("demo+sl+" + fresh);
  EXPECT_TRUE(Has(open, "<input type=\"hidden\" name=\"category\" value=\"c2\">\r\n<div style=\"font-size:x-small\">\r\n"
                        "<div style=\"float:left; width:100px\">名前</div><div><input type=\"text\" name=\"commentname\" "
                        "value=\"\"></div>\r\n<div style=\"float:left; width:100px; vertical-align:top\">コメント</div>"));
  EXPECT_TRUE(Has(open, "<input type=\"submit\" value=\"コメントする\">\r\n</div></form>\r\n</td>"));
}

TEST_F(CommentPost, PostStoresTheLineAndAnswers) {
  blog.Style("USECOMMENT=1\r\nLAYOUTTYPE=3\r\n");  // sub, content, navi elsewhere; this page keeps the menu left
  blog.Ini("COMMENTDEFAULTNAME=名無し\r\n");
  const TCGIResult res = Post({.name = "山田", .text = "一行目\r\n二行目"});
  const auto lines = Stored();
  ASSERT_EQ(lines.size(), 1u);
  const auto& f = lines[0];
  ASSERT_EQ(f.size(), 8u);
  EXPECT_EQ(f[0] + "|" + f[1] + "|" + f[4] + "|" + f[5] + "|" + f[6] + "|" + f[7],
            "c1|" + article + "|山田|一行目<br>二行目<br>|0|127.0.0.1");
  EXPECT_TRUE(IsCodeId(f[2], 16)) << f[2];
  EXPECT_TRUE(IsValidStamp(f[3]) && f[3].substr(0, 13) == FormatStamp(Now()).substr(0, 13)) << f[3];
  EXPECT_TRUE(StartsWith(res.body, kHead));
  EXPECT_TRUE(Has(res.body, "-->\r\n</style></head><body>\r\n<div align=\"center\">\r\n<div class=\"titlecell\"></div>\r\n" +
                                kTable + "<tr>\r\n<td class=\"navicell\">\r\n"));
  EXPECT_FALSE(Has(res.body, "<td class=\"subcell\">"));
  EXPECT_TRUE(EndsWith(res.body, "</td>\r\n<td class=\"contentcell\">\r\n" + Done("コメントを行いました")));
  // The new comment is among the newest in the side menu already.
  EXPECT_TRUE(Has(res.body, "<span style=\"font-weight:bold\">山田</span>"));
  EXPECT_EQ(res.header("Set-Cookie").substr(0, 28), "guestname=%8eR%93c; expires=");
  // The answer is the post's page alone: the single-article page that follows in the chain adds
  // nothing and logs no view.
  EXPECT_EQ(res.body.find("<!DOCTYPE", 1), std::string::npos);
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "access.log"));
  // The comment shows under the article.
  EXPECT_TRUE(Has(blog.Page("demo+sl+" + article), "投稿者 : 山田 ("));
}

TEST_F(CommentPost, ApprovalFlagHidesTheComment) {
  blog.Style("USECOMMENT=1\r\nUSEVIEWCOMMENT=1\r\n");
  EXPECT_EQ(Answer({.name = "待ち人", .text = "承認待ち"}), Done("コメントを行いました"));
  const auto lines = Stored();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0][6] + "|" + lines[0][7], "1|127.0.0.1");
  const std::string page = blog.Page("demo+sl+" + article);
  EXPECT_FALSE(Has(page, "承認待ち"));
  EXPECT_TRUE(Has(page, "コメントはありません<br><br>"));
}

// Names and texts as they are stored: every line of comment.txt stays one record of eight fields.
TEST_F(CommentPost, NamesAndTextsAreStoredSafely) {
  blog.Ini("COMMENTDEFAULTNAME=名無し\r\n");
  const struct {
    std::string name, text, storedName, storedText;
  } cases[] = {
      {"<b><i></i></b>", "x", "名無し", "x<br>"},
      {"", "<script>alert(1)</script>", "名無し", "&lt;script&gt;alert(1)&lt;/script&gt;<br>"},
      {"a<b>b</b>\"c\td", "a\"b\tc,d", "ab&quot;c d", "a&quot;b\tc,d<br>"},
      {"改\r\n行\r名", "一\r\n\r\n二\n三\r四\r\n\r\n\r\n", "改行名", "一<br><br>二<br>三<br>四<br>"},
      {std::string("nu\0l", 4), std::string("a\0b", 3), "nul", "ab<br>"},
      {"末尾\x82", "x\x82\r\ny", "末尾", "x<br>y<br>"},  // a lone first byte of a character goes
      {"<i>\x94</i>", "x", "名無し", "x<br>"},
      {"&amp;", "&lt; & >", "&amp;", "&lt; & &gt;<br>"},
      // A tag longer than the name may be goes whole, as does a long name's tail.
      {"<a href=\"http://example.com/" + std::string(500, 'p') + "\">花子</a>", "x", "花子", "x<br>"},
      {std::string(150, 'n') + "<b>" + std::string(300, 'm') + "</b>", "x", std::string(100, 'n'), "x<br>"},
  };
  for (const auto& c : cases) {
    blog.Inst.Remove(blog.Dir + "comment.txt");
    EXPECT_EQ(Answer({.name = c.name, .text = c.text}), Done("コメントを行いました")) << c.name;
    const auto lines = Stored();
    ASSERT_EQ(lines.size(), 1u) << c.name;
    ASSERT_EQ(lines[0].size(), 8u) << c.name;
    EXPECT_EQ(lines[0][4], c.storedName);
    EXPECT_EQ(lines[0][5], c.storedText);
  }
  // The cookie keeps the name without tags, before the escape.
  const TCGIResult res = Post({.name = "<b>A&B\"</b>"});
  EXPECT_EQ(res.header("Set-Cookie").substr(0, 27), "guestname=A%26B%22; expires");
}

TEST_F(CommentPost, EmptyAndOversizedComments) {
  for (const char* empty : {"", "\r\n", "\r\n\r\n\n"}) {
    EXPECT_EQ(Answer({.text = empty}), Done("コメントはありません")) << empty;
    EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "comment.txt"));
  }
  // A megabyte is over what a form may send: refused unread, nothing stored.
  std::string big;
  while (big.size() < 1000000) big += "長い文章です。\r\n";
  EXPECT_TRUE(Has(Answer({.text = big}), "送信されたデータが大きすぎます"));
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "comment.txt"));
  // Half a megabyte is cut at receipt, on a character boundary, and stored as one line.
  big.resize(500000);
  EXPECT_EQ(Answer({.name = std::string(5000, 'n'), .text = "x" + big}), Done("コメントを行いました"));
  const std::string file = blog.Inst.Read(blog.Dir + "comment.txt");
  EXPECT_EQ(SplitLines(file).size(), 1u);
  EXPECT_LT(file.size(), 25000u);
  const auto lines = Stored();
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].size(), 8u);
  EXPECT_EQ(lines[0][4], std::string(100, 'n'));
  EXPECT_TRUE(EndsWith(lines[0][5], "<br>"));
}

// A comment that cannot be written is not confirmed to the poster.
TEST_F(CommentPost, FailedStoreIsNotConfirmed) {
  blog.Inst.Write(blog.Dir + "comment.txt/x", "");  // a folder where the file should be
  EXPECT_EQ(Answer({}), Done("コメントの保存に失敗しました"));
}

TEST_F(CommentPost, ClosedArticlesTakeNothing) {
  const std::string week = blog.Article("c1", Stamp(2), "週", "x", true, FormatStamp(AddSeconds(AddDays(Now(), -7), -60)));
  const std::string eight = blog.Article("c1", Stamp(3), "八", "x", true, FormatStamp(AddDays(Now(), -8)));
  const std::string hidden = blog.Article("c1", Stamp(4), "隠", "x", false);
  blog.Style("USECOMMENT=1\r\nCOMMENTLIMIT=7\r\n");
  EXPECT_EQ(Answer({}, week), Done("コメントを行いました", week));
  ASSERT_EQ(Stored().size(), 1u);
  // Closed: too old, comments off, no such article, an id that is no article id, a hidden article,
  // a category that is not the article's.
  std::vector<std::pair<std::string, TPost>> closed = {
      {eight, {}}, {"0123456789012345678901234567890123456789", {}}, {"../cindex", {}}, {article.substr(1), {}},
      {"", {}}, {hidden, {}}, {article, {.category = "c2"}}, {article, {.category = "nosuch"}}, {article, {.category = ""}}};
  for (const auto& [id, post] : closed) {
    const TCGIResult res = Post(post, id.empty() ? "+" : id);
    EXPECT_TRUE(StartsWith(res.body, kHead) && EndsWith(res.body, kClosedTail)) << id << " " << post.category;
    EXPECT_TRUE(res.header("Set-Cookie").empty());
  }
  blog.Style("USECOMMENT=0\r\n");
  EXPECT_TRUE(EndsWith(Post({}).body, kClosedTail));
  // A blog behind its view password takes comments only from visitors it lets in.
  blog.Style("USECOMMENT=1\r\nVIEWPASSWORD=pw\r\n");
  EXPECT_TRUE(EndsWith(Post({}).body, kClosedTail));
  EXPECT_EQ(Stored().size(), 1u);
}

TEST_F(CommentPost, BlockListsDropCommentsBehindTheConfirmation) {
  blog.Inst.Write(blog.Dir + "commentipblock.txt", "# the office\r\nPASS,IP,10.0.0.1\r\nREJECT,IPS,10.0.0.0,255.0.0.0\r\n");
  EXPECT_EQ(ContentOf(Post({.text = "spam"}, "", "10.9.9.9").body), Done("コメントを行いました"));
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "comment.txt"));
  EXPECT_EQ(ContentOf(Post({.text = "hello"}, "", "10.0.0.1").body), Done("コメントを行いました"));
  EXPECT_EQ(Stored().size(), 1u);

  // A word in lower case matches the same word in upper case with blanks (full-width ones too)
  // between its letters, in the text or the name; empty lines of the list block nothing.
  blog.Inst.Write(blog.Dir + "commentblock.txt", "\r\nviagra\r\n宣伝\r\n");
  for (const TPost& p : {TPost{.text = "buy V I A　G R A now"}, TPost{.name = "ViAgRa", .text = "x"},
                         TPost{.name = "宣 伝", .text = "y"}}) {
    EXPECT_EQ(Answer(p), Done("コメントを行いました")) << p.text;
  }
  EXPECT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Answer({.text = "VIAGR A-free"}), Done("コメントを行いました"));  // blanks go, the hyphen stays: "VIAGRA-FREE"
  EXPECT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Answer({.text = "vi-agra"}), Done("コメントを行いました"));
  EXPECT_EQ(Stored().size(), 2u);
}

TEST_F(CommentPost, ClientAddressComesFromTheServerOnly) {
  TCGIRun r;
  r.query = "demo+sm+" + article;
  r.method = "POST";
  r.body = "category=c1&comment=x";
  r.remoteAddr = "";
  r.env = {{"HTTP_REMOTE_ADDR", "6.6.6.6"}, {"HTTP_X_FORWARDED_FOR", "7.7.7.7"}};
  blog.Inst.Run(r);
  r.remoteAddr = "192.0.2.1\"x";
  blog.Inst.Run(r);
  const auto lines = Stored();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 8u);
  EXPECT_EQ(lines[0][7] + "|" + lines[1][7], "|192.0.2.1x");
}

TEST_F(CommentPost, PictureCodeAdmitsOnePost) {
  blog.Style("USECOMMENT=1\r\nUSEKEYIMAGE=1\r\n");
  blog.Page("demo+sl+" + article);
  ASSERT_EQ(Keys().size(), 1u);
  const std::string id = Keys()[0][2], code = Keys()[0][3];
  const std::string wrong = Done("コメントキーが間違っています");
  // Wrong guesses, lower case and empty comments leave the code for the right post.
  std::string lower = code;
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  if (lower != code) {
    EXPECT_EQ(Answer({.checkid = id, .checkkey = lower}), wrong);
  }
  EXPECT_EQ(Answer({.checkid = id, .checkkey = code + " "}), wrong);
  EXPECT_EQ(Answer({.checkid = id, .checkkey = ""}), wrong);
  EXPECT_EQ(Answer({.text = "", .checkid = id, .checkkey = code}), Done("コメントはありません"));
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "comment.txt"));
  const TCGIResult right = Post({.checkid = id, .checkkey = code});
  EXPECT_EQ(ContentOf(right.body), Done("コメントを行いました"));
  EXPECT_EQ(Stored().size(), 1u);
  EXPECT_TRUE(Keys().empty());
  // Used up: the same code again is refused and sets no cookie.
  const TCGIResult again = Post({.checkid = id, .checkkey = code});
  EXPECT_EQ(ContentOf(again.body), wrong);
  EXPECT_EQ(again.header("Set-Cookie"), "");
  EXPECT_EQ(Stored().size(), 1u);

  // Within the hour and past it; ids never issued, or that are no ids at all.
  blog.Inst.Write(blog.Dir + "keylist.txt", KeyLine(61, "old", "AAAAA") + KeyLine(59, "young", "CCCCC") + "broken line\r\n");
  EXPECT_EQ(Answer({.checkid = "old", .checkkey = "AAAAA"}), wrong);
  for (const std::string& bad : {std::string("../x"), std::string(500, 'y'), std::string("never"), std::string()})
    EXPECT_EQ(Answer({.checkid = bad, .checkkey = "CCCCC"}), wrong);
  EXPECT_EQ(Answer({.checkid = "young", .checkkey = "CCCCC"}), Done("コメントを行いました"));
  EXPECT_EQ(Stored().size(), 2u);
  // The check reads no list it cannot find.
  blog.Inst.Remove(blog.Dir + "keylist.txt");
  EXPECT_EQ(Answer({.checkid = "young", .checkkey = "CCCCC"}), wrong);
}

// Guessing is slow: ten wrong codes from one address lock that address out for ten minutes,
// the right code included; another address still posts.
TEST_F(CommentPost, WrongCodesLockTheGuesserOut) {
  blog.Style("USECOMMENT=1\r\nUSEKEYIMAGE=1\r\n");
  blog.Inst.Write(blog.Dir + "keylist.txt", KeyLine(1, "mine", "CCCCC") + KeyLine(1, "theirs", "DDDDD"));
  const std::string wrong = Done("コメントキーが間違っています");
  for (int i = 0; i < 10; ++i) EXPECT_EQ(ContentOf(Post({.checkid = "mine", .checkkey = "ZZZZZ"}).body), wrong) << i;
  EXPECT_EQ(ContentOf(Post({.checkid = "mine", .checkkey = "CCCCC"}).body), wrong);
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "comment.txt"));
  EXPECT_EQ(ContentOf(Post({.checkid = "theirs", .checkkey = "DDDDD"}, "", "10.0.0.9").body), Done("コメントを行いました"));
  EXPECT_EQ(Stored().size(), 1u);
}

}  // namespace
