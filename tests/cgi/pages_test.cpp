// The skeleton of the public pages: heads, column orders, login header, the single-article,
// printable and preview pages, the view password and the saved index summary.
#include <gtest/gtest.h>
#include <utime.h>

#include <ctime>

#include "blog_fixture.h"
#include "store/DCSVList.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

const std::string kDoctype = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<html lang=\"ja\"><head>\r\n";
const std::string kCharset = "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\">\r\n";
const std::string kTypes = "<meta http-equiv=\"content-style-type\" content=\"text/css\">\r\n"
                           "<meta http-equiv=\"content-script-type\" content=\"text/javascript\">\r\n";
const std::string kPopups = "<div id=\"keyv\" class=\"keyvc\"></div>\r\n<div id=\"EVIEW\" class=\"eviews\"></div>\r\n";
const std::string kTable = "<table cellspacing=\"0\" cellpadding=\"0\" class=\"largecell\" border=\"0\">";
const std::string kViewPassCell =
    "<td>このブログは閲覧にパスワードが必要です<br><form style=\"margin:0px\" action=\"./velm.exe?demo+vpw\" "
    "method=\"post\">閲覧用パスワードの入力<input type=\"password\" name=\"sviewpass\" value=\"\"><input "
    "type=\"submit\" value=\"閲覧\"></form></td>";

class Pages : public ::testing::Test {
protected:
  void SetUp() override {
    blog.Category("c1", "日記");
    blog.Category("c2", "秘密", false);
    first = blog.Article("c1", Stamp(1), "一つ目", "本文一");
    hiddenCategory = blog.Article("c2", Stamp(2), "隠しカテゴリ", "x");
    hidden = blog.Article("c1", Stamp(3), "非表示", "x", false);
    latest = blog.Article("c1", Stamp(4), "最新", "本文<b>最新</b>");
  }
  TBlogFixture blog;
  std::string first, hiddenCategory, hidden, latest;
};

TEST_F(Pages, MainPageSkeletonAndLoginHeader) {
  blog.Inst.Write(blog.Dir + "title.txt", "わたしの<i>日記</i>\r\n<b>説明</b>文\r\n");
  blog.Inst.Write(blog.Dir + "customjava.txt", "var a = 1;\r\n");
  blog.Inst.Write(blog.Dir + "customfooter.txt", "<p>足</p>");
  const TCGIResult res = blog.Run("demo");
  EXPECT_TRUE(StartsWith(res.body, kDoctype + "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"RSS\" href=\""
                                   "http://127.0.0.1/velm.exe?demo+rssl20\" />\r\n" + kCharset + "<meta name=\"description\" "
                                   "content=\"説明文\">\r\n" + kTypes + "<title>わたしの<i>日記</i></title>\r\n<style type="));
  EXPECT_TRUE(Has(res.body, "var a = 1;\r\n-->\r\n</script>\r\n</head><body>\r\n" + kPopups + "<div align=\"center\">\r\n"
                            "<div class=\"titlecell\"><b>説明</b>文</div>\r\n" + kTable + "<tr>\r\n<td class=\"navicell\">\r\n"));
  EXPECT_TRUE(EndsWith(res.body, "</td>\r\n</tr></table><p>足</p></div></body></html>\r\n"));
  EXPECT_EQ(res.header("Cache-Control") + "|" + blog.Run("demo+dv").header("Cache-Control"), "no-cache;|");
  EXPECT_FALSE(Has(res.body, "管理ログイン"));
  // The login header: the name from the cookie (escaped); the password field always empty, whatever
  // the cookie or the form hold, also where velmsystem.hed asks for <COOKIEPASS>.
  blog.Ini("USELOGINHEADER=ON\r\n");
  std::string page = blog.Page("demo", "loginpass=se%22%3E", "INNAME=o%3Cw; INPASS=secret");
  EXPECT_TRUE(Has(page, "ログイン名<input class=\"loginform\" type=\"text\" name=\"loginname\" value=\"o&lt;w\">パスワード<input "
                        "class=\"loginform\" type=\"password\" name=\"loginpass\" value=\"\">"));
  EXPECT_FALSE(Has(page, "secret") || Has(page, "se&quot;"));
  blog.Inst.Write("velmsystem.hed", "<p><COOKIEID>/<COOKIEPASS>/<BLOGID></p>\r\n");
  page = blog.Page("demo", "", "INNAME=owner; INPASS=secret");
  EXPECT_TRUE(Has(page, "<p>owner//demo</p>\r\n"));
  EXPECT_FALSE(Has(page, "secret"));
}

TEST_F(Pages, LayoutTypes) {
  // The cells of the page table in order: n (navicell), c (contentcell), s (subcell).
  auto cells = [&] {
    std::string order, page = blog.Page("demo");
    for (size_t p = page.find("<td class=\""); p != std::string::npos; p = page.find("<td class=\"", p + 1)) {
      const std::string cls = page.substr(p + 11, 4);
      order += cls == "navi" ? 'n' : cls == "cont" ? 'c' : cls == "subc" ? 's' : '?';
    }
    return order;
  };
  const char* const orders[] = {"nc", "cn", "ncs", "scn", "nsc", "snc", "cns", "csn", "nc", "nc"};
  for (int t = 0; t <= 9; ++t) {
    blog.Style("LAYOUTTYPE=" + std::to_string(t) + "\r\n");
    EXPECT_EQ(cells(), orders[t]) << t;
  }
}

TEST_F(Pages, SingleArticleAndItsComments) {
  blog.Style("USECOMMENT=1\r\nSINGLELOGTITLE=1\r\nCOMMENTFOLDING=2\r\n");
  for (int i = 1; i <= 4; ++i) blog.Comment("c1", latest, "名" + std::to_string(i), "文" + std::to_string(i));
  blog.Comment("c1", latest, "待ち", "未承認", false);
  const std::string page = blog.Page("demo+sl+" + latest);
  EXPECT_TRUE(StartsWith(page, kDoctype + kCharset + kTypes + "<title>No Title - 最新</title>\r\n</head>\r\n<script"));
  // The comment link tag stays on this page; the comments follow, newest first, folded after two.
  auto comment = [](int i) {
    return "投稿者 : 名" + std::to_string(i) + " (2026/11/30 12:00:00)<br>\r\n文" + std::to_string(i) + "<hr>\r\n";
  };
  EXPECT_TRUE(Has(page, "[更新日付:2026/11/04 10:00:00]</div>\r\n<COMMENTLINK>\r\n<div align=\"center\">記事へのコメント"
                             "</div><br>\r\n" + comment(4) + comment(3) + "<div align=\"center\"><a href=\"javascript:"
                             "_opencomment('nextcomment')\">残りコメントの開閉</a></div><br>\r\n<div id=\"nextcomment\" "
                             "style=\"display:none\">\r\n" + comment(2) + comment(1) + "</div>\r\n<form style=\"margin:0px;\" "
                             "method=\"post\" action=\"./velm.exe?demo+sm+" + latest + "\">\r\n"));
  EXPECT_TRUE(EndsWith(page, "</textarea></div>\r\n<input type=\"submit\" value=\"コメントする\">\r\n</div></form>\r\n</td>\r\n"
                             "</tr></table></div>\r\n</body></html>\r\n"));

  // Comments close a number of days after the last save: a week still takes them, eight days not.
  blog.Style("USECOMMENT=1\r\nCOMMENTLIMIT=7\r\n");
  const std::string week = blog.Article("c1", Stamp(5), "週", "x", true, FormatStamp(AddDays(Now(), -7)));
  const std::string eight = blog.Article("c1", Stamp(6), "八", "x", true, FormatStamp(AddDays(Now(), -8)));
  const std::string closed = "\r\n<span style=\"color:red\">コメントできる期限を越えています</span>\r\n</td>";
  EXPECT_FALSE(Has(blog.Page("demo+sl+" + week), closed));
  EXPECT_TRUE(Has(blog.Page("demo+sl+" + eight), closed));
}

TEST_F(Pages, ArticlesNotShownPrintableAndPreviewPages) {
  const std::string notFound = kDoctype + kCharset + kTypes + "</head>\r\n<body>記事はありません</body></html>\r\n";
  for (const std::string& id : {hidden, hiddenCategory, std::string("nosuch"), std::string("../cindex"), std::string("")})
    EXPECT_EQ(blog.Page("demo+sl+" + id), notFound) << id;
  for (const std::string& id : {hidden, latest.substr(1)}) EXPECT_EQ(blog.Page("demo+pl+" + id), notFound) << id;

  blog.Style("SINGLELOGTITLE=1\r\nUSETRACKBACK=1\r\nTIMETYPE=5\r\n");
  const std::string printable = blog.Page("demo+pl+" + latest);
  EXPECT_TRUE(StartsWith(printable, kDoctype + kCharset + kTypes + "<title>No Title - 最新</title>\r\n</head>\r\n<style"));
  EXPECT_TRUE(Has(printable, "</style>\r\n<body>\r\n<div align=\"left\">\r\n" + kTable + "<tr>\r\n<td class=\"contentcell\">"
                             "\r\n<span class=\"logdate\">11/04 10:00</span> / <span class=\"logcategory\">日記</span>"));
  EXPECT_TRUE(EndsWith(printable, "[更新日付:2026/11/04 10:00:00]</div>\r\n<hr>\r\n</td>\r\n</tr></table></div>\r\n"
                                  "</body></html>\r\n"));

  // The preview shows even hidden articles, to the owner only.
  EXPECT_TRUE(EndsWith(blog.Page("demo+lp+" + hidden), "<td>記事の閲覧は禁止されています<br>\r\n</td>\r\n"
                                                       "</tr></table></div></body></html>\r\n"));
  for (const std::string& id : {hidden, hiddenCategory, latest})
    EXPECT_EQ(Topics(blog.Page("demo+lp+" + id, "", blog.Inst.LoginCookie())).size(), 1u) << id;
  // Page views are logged, but not the preview nor a missing article.
  blog.Inst.Remove(blog.Dir + "access.log");
  for (const std::string& q : {"demo+sl+" + latest, "demo+lp+" + latest, "demo+sl+" + latest.substr(1)}) blog.Page(q);
  EXPECT_EQ(SplitLines(blog.Inst.Read(blog.Dir + "access.log")).size(), 1u);
}

TEST_F(Pages, ViewPassword) {
  blog.Style("VIEWPASSWORD=open sesame\r\nSINGLELOGTITLE=2\r\n");
  const std::string page = blog.Page("demo");
  EXPECT_TRUE(Has(page, "\r\n" + kViewPassCell + "\r\n") && Topics(page).empty() && !Has(page, "本文"));
  for (const char* q : {"demo+pa", "demo+ul+x"}) EXPECT_TRUE(Has(blog.Page(q), kViewPassCell)) << q;
  const std::string single = blog.Page("demo+sl+" + latest);
  EXPECT_TRUE(Has(single, kViewPassCell + "\r\nこのブログはパスワードが必要な為ＰＣ以外からは閲覧できません\r\n"));
  EXPECT_TRUE(Has(single, "<title>No Title</title>") && !Has(single, "本文"));  // the subject stays out of the title too
  const std::string printable = blog.Page("demo+pl+" + latest);
  EXPECT_TRUE(Has(printable, kTable + "<tr>\r\n" + kViewPassCell + "\r\n</tr></table></div>\r\n") && !Has(printable, "最新"));
  // The right cookie shows the blog; a wrong one does not.
  EXPECT_EQ(Topics(blog.Page("demo", "", "VIEWPASS-demo=open%20sesame")).size(), 2u);
  EXPECT_TRUE(Has(blog.Page("demo+sl+" + latest, "", "VIEWPASS-demo=open%20sesame"), "本文<b>最新</b>"));
  for (const char* wrong : {"VIEWPASS-demo=open", "VIEWPASS-other=open%20sesame"})
    EXPECT_TRUE(Has(blog.Page("demo", "", wrong), kViewPassCell)) << wrong;
}

// Without the view password nothing of the blog's content shows in any box of the side menu,
// in the trackback list or the feeds; the menu text and the owner's boxes stay.
TEST_F(Pages, PrivateBlogShowsNoContentAnywhere) {
  blog.Comment("c1", latest, "読者", "コメント本文");
  blog.Inst.Write(blog.Dir + "url.link", "\"l1\",\"http://link.example/\",\"リンク先\"\r\n");
  blog.Inst.Write(blog.Dir + "trackback.txt", SjisToUtf8(MakeRecordLine({"1", Stamp(5), "20261105100000abc", latest, "よそ",
                                                                        "ピング題", "抜粋", "http://x/"})) + "\r\n");
  blog.Style("VIEWPASSWORD=pw\r\nUSECOMMENT=1\r\nUSETRACKBACK=1\r\n");
  blog.Inst.Write(blog.Dir + "custommenu.txt",
                  "<MONTHCONTENT>|<CATEGORY>|<NEWCONTENT>|<NEWCOMMENT>|<LINKURL>|<LASTPHOTOSUBJECT>|<RANDOMPHOTO>\r\n"
                  "<CALENDAR>\r\nメニュー文<PROFILE>\r\n");
  blog.Ini("USECUSTOMMENU=ON\r\n");
  blog.Style("VIEWPASSWORD=pw\r\nUSECOMMENT=1\r\nUSETRACKBACK=1\r\nUSECUSTOMMENU=1\r\n");
  const std::string secrets[] = {"一つ目", "最新", "日記", "読者", "リンク先", "ピング題", latest, ">2026/11</a>", "+sv+20261104"};
  for (const std::string& q : std::vector<std::string>{"demo", "demo+sv+202611", "demo+dv", "demo+pa", "demo+ul+x", "demo+sl+" + latest, "demo+tv+" + latest,
                              "demo+rss", "demo+rssl20", "demo+atoml"}) {
    const std::string page = blog.Page(q);
    for (const std::string& secret : secrets) EXPECT_FALSE(Has(page, secret)) << q << " shows " << secret;
  }
  const std::string top = blog.Page("demo");
  EXPECT_TRUE(Has(top, "<td class=\"navicell\">\r\n||||||\r\n"));
  EXPECT_TRUE(Has(top, "メニュー文プロフィールは未設定です"));
  EXPECT_TRUE(Has(blog.Page("demo+tv+" + latest), "トラックバックはありません"));
  // With the cookie all of it is there.
  const std::string open = blog.Page("demo", "", "VIEWPASS-demo=pw");
  for (const std::string secret : {"最新", "日記(2)", "読者", "リンク先"}) EXPECT_TRUE(Has(open, secret)) << secret;
  EXPECT_TRUE(Has(blog.Page("demo+sv+202611", "", "VIEWPASS-demo=pw"), "+sv+20261104"));
  EXPECT_TRUE(Has(blog.Page("demo+tv+" + latest, "", "VIEWPASS-demo=pw"), "ピング題"));
}

// The newest-comments box takes the newest comments of public articles: comments of a hidden
// article or category do not push older public ones out.
TEST_F(Pages, NewestCommentsOfPublicArticlesOnly) {
  blog.Style("USECOMMENT=1\r\n");
  blog.Comment("c1", first, "古い読者", "public");
  for (int i = 0; i < 12; ++i) blog.Comment(i % 2 ? "c1" : "c2", i % 2 ? hidden : hiddenCategory, "隠れ", "x");
  const std::string page = blog.Page("demo");
  EXPECT_TRUE(Has(page, "<a href=\"./velm.exe?demo+sl+" + first + "\">一つ目</a><br>\r\n <span style=\"font-weight:bold\">"
                        "古い読者</span>"));
  EXPECT_FALSE(Has(page, "コメントはありません") || Has(page, "隠れ"));
}

// A page built from the saved summary of the index equals the one built by reading every line,
// for the public pages and the owner's preview, and follows an article added afterwards.
TEST_F(Pages, SideMenuFromTheSavedSummaryOfTheIndex) {
  blog.Article("c1", "2026/10/15 10:00:00", "先月", "x");
  blog.Article("c1", "2026/09/01 10:00:00", "先々月", "x");
  // The access counter moves with every view: the pages are compared without it.
  auto page = [&](const std::string& query, const std::string& cookie) {
    std::string p = blog.Page(query, "", cookie);
    const size_t a = p.find("アクセス数<br>");
    return a == std::string::npos ? p : p.erase(a, p.find("<hr>", a) - a);
  };
  const std::string owner = blog.Inst.LoginCookie();
  const std::vector<std::pair<std::string, std::string>> queries = {
      {"demo", ""}, {"demo+sv+202611", ""}, {"demo+sv+c1", ""}, {"demo+sl+" + first, ""}, {"demo+pa", ""},
      {"demo+ul", ""}, {"demo+lp+" + hidden, owner}};
  std::vector<std::string> walked;
  for (const auto& [q, cookie] : queries) walked.push_back(page(q, cookie));
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "cindex.sum"));
  EXPECT_TRUE(Has(walked[0], "2026/10</a>"));

  const time_t old = time(nullptr) - 10;  // an index this old gets its summary saved
  const struct utimbuf times = {old, old};
  ASSERT_EQ(utime((blog.Inst.AccountFolder() + "cindex.txt").c_str(), &times), 0);
  for (int round = 0; round < 2; ++round) {  // made and saved, then read
    for (size_t i = 0; i < queries.size(); ++i) EXPECT_EQ(page(queries[i].first, queries[i].second), walked[i]) << i;
    EXPECT_TRUE(blog.Inst.Exists(blog.Dir + "cindex.sum"));
  }
  blog.Article("c1", "2026/12/01 10:00:00", "今月", "x");
  EXPECT_TRUE(Has(blog.Page("demo"), "demo+sv+202612\">2026/12</a>"));
}

}  // namespace
