// The skeleton of the public pages: heads, column orders, login header, the single-article,
// printable, preview, link and album pages, and the view password.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include "blog_fixture.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

const std::string kDoctype = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n"
                             "<html lang=\"ja\"><head>\r\n";
const std::string kCharset = "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\">\r\n";
const std::string kTypes = "<meta http-equiv=\"content-style-type\" content=\"text/css\">\r\n"
                           "<meta http-equiv=\"content-script-type\" content=\"text/javascript\">\r\n";
const std::string kScriptStart = "<script language=\"JavaScript\" type=\"text/JavaScript\">\r\n<!--\r\n";
const std::string kFold =
    "function _opencomment(id) { if (document.getElementById(id).style.display == 'none') { "
    "document.getElementById(id).style.display = 'block'; } else { document.getElementById(id).style.display = "
    "'none'; } }\r\n";
const std::string kKeywordFirst =
    "var resbody  = \"Response\"; var ml = new Array(); var popload = 0 ;var SpaceX = 150; var SpaceY = 16; "
    "var onCY = 0;\r\n";
const std::string kKeywordLast =
    "function _MClose(){ ml = document.getElementById(\"keyv\"); popload = 0; ml.style.visibility = \"hidden\"; }\r\n";
const std::string kPopups = "<div id=\"keyv\" class=\"keyvc\"></div>\r\n<div id=\"EVIEW\" class=\"eviews\"></div>\r\n";
const std::string kTable = "<table cellspacing=\"0\" cellpadding=\"0\" class=\"largecell\" border=\"0\">";
const std::string kViewPassCell =
    "<td>このブログは閲覧にパスワードが必要です<br><form style=\"margin:0px\" action=\"./velm.exe?demo+vpw\" "
    "method=\"post\">閲覧用パスワードの入力<input type=\"password\" name=\"sviewpass\" value=\"\"><input "
    "type=\"submit\" value=\"閲覧\"></form></td>";

std::string Stamp(int day) { return "2026/11/" + TwoDigits(day) + " 10:00:00"; }

// The cells of the page table in order: n (navicell), c (contentcell), s (subcell).
std::string CellOrder(const std::string& page) {
  std::string order;
  for (size_t p = page.find("<td class=\""); p != std::string::npos; p = page.find("<td class=\"", p + 1)) {
    const std::string cls = page.substr(p + 11, 4);
    order += cls == "navi" ? "n" : cls == "cont" ? "c" : cls == "subc" ? "s" : "?";
  }
  return order;
}

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

TEST_F(Pages, MainPageSkeleton) {
  blog.Inst.Write(blog.Dir + "title.txt", "わたしの<i>日記</i>\r\n<b>説明</b>文\r\n");
  blog.Inst.Write(blog.Dir + "customjava.txt", "var a = 1;\r\nvar b = 2;\r\n");
  blog.Inst.Write(blog.Dir + "customfooter.txt", "<p>足</p>");
  const std::string page = blog.Page("demo");
  const std::string head =
      kDoctype +
      "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"RSS\" href=\"http://127.0.0.1/velm.exe?demo+rssl20\" />\r\n" +
      kCharset + "<meta name=\"description\" content=\"説明文\">\r\n" + kTypes +
      "<title>わたしの<i>日記</i></title>\r\n<style type=\"text/css\">\r\n<!--\r\n  body {\r\n";
  EXPECT_EQ(page.substr(0, head.size()), head);
  EXPECT_TRUE(Has(page, "  }\r\n-->\r\n</style>\r\n" + kScriptStart + kKeywordFirst));
  EXPECT_TRUE(Has(page, kKeywordLast + "var a = 1;\r\nvar b = 2;\r\n-->\r\n</script>\r\n</head><body>\r\n" + kPopups +
                            "<div align=\"center\">\r\n<div class=\"titlecell\"><b>説明</b>文</div>\r\n" + kTable +
                            "<tr>\r\n<td class=\"navicell\">\r\n"));
  const std::string end = "</td>\r\n</tr></table><p>足</p></div></body></html>\r\n";
  EXPECT_EQ(page.substr(page.size() - end.size()), end);
  EXPECT_EQ(blog.Run("demo").header("Cache-Control"), "no-cache;");
  EXPECT_EQ(blog.Run("demo+dv").header("Cache-Control"), "");
}

TEST_F(Pages, FeedLinkIconAlignmentTitleCell) {
  const std::string base = "<link rel=\"alternate\" type=\"application/";
  blog.Style("RSSVERSION=1.0\r\n");
  EXPECT_TRUE(Has(blog.Page("demo"), base + "rss+xml\" title=\"RSS\" href=\"http://127.0.0.1/velm.exe?demo+rssl\" />\r\n"));
  blog.Style("RSSVERSION=ATOM\r\nUSERALIGN=left\r\n");
  std::string page = blog.Page("demo");
  EXPECT_TRUE(Has(page, base + "atom+xml\" title=\"RSS\" href=\"http://127.0.0.1/velm.exe?demo+atoml\" />\r\n"));
  EXPECT_TRUE(Has(page, kPopups + "<div align=\"left\">\r\n"));
  // An unknown version leaves an empty line; no description without a title-cell text.
  blog.Style("RSSVERSION=0.91\r\nTIMAGEHEIGHT=-1\r\n");
  blog.Inst.Write("velm_favicon.ico", "ico");
  blog.Inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nSYSTEMALIGN=right\r\n");
  page = blog.Page("demo");
  EXPECT_EQ(page.substr(0, kDoctype.size() + 2 + 52 + kCharset.size()),
            kDoctype + "\r\n<link rel=\"shortcut icon\" href=\"velm_favicon.ico\">\r\n" + kCharset);
  EXPECT_FALSE(Has(page, "name=\"description\""));
  // No title-cell text and a height below 0: the title cell is an empty line.
  EXPECT_TRUE(Has(page, "<div align=\"right\">\r\n\r\n" + kTable + "<tr>\r\n"));
  blog.Style("");
  EXPECT_TRUE(Has(blog.Page("demo"), "<div align=\"right\">\r\n<div class=\"titlecell\"></div>\r\n"));
}

TEST_F(Pages, LayoutTypes) {
  const char* const orders[] = {"nc", "cn", "ncs", "scn", "nsc", "snc", "cns", "csn", "nc", "nc"};
  for (int t = 0; t <= 9; ++t) {
    blog.Style("LAYOUTTYPE=" + std::to_string(t) + "\r\nLARGESPACING=3\r\n");
    const std::string page = blog.Page("demo");
    EXPECT_EQ(CellOrder(page), orders[t]) << t;
    EXPECT_TRUE(Has(page, "<table cellspacing=\"3\" cellpadding=\"0\" class=\"largecell\" border=\"0\"><tr>")) << t;
  }
  // One menu column only: three-column layouts fall back to 0.
  blog.Inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nSIDEMENUCONTROL=1\r\n");
  blog.Style("LAYOUTTYPE=5\r\n");
  EXPECT_EQ(CellOrder(blog.Page("demo")), "nc");
  blog.Inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nSIDEMENUCONTROL=2\r\n");
  blog.Style("LAYOUTTYPE=1\r\n");
  EXPECT_EQ(CellOrder(blog.Page("demo")), "ncs");
}

TEST_F(Pages, LoginHeader) {
  EXPECT_FALSE(Has(blog.Page("demo"), "loginform\" type"));
  blog.Inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nUSELOGINHEADER=ON\r\n");
  blog.Style("BACKGROUND=#eee\r\nMENULOGCOLOR=navy\r\n");
  const std::string header =
      "<div align=\"center\">\r\n<div style=\"width:100%; text-align:right; background:#eee; color:navy\">"
      "<form style=\"margin:0px\" action=\"./velm.exe?demo+lg\" method=\"post\">ログイン名<input class=\"loginform\" "
      "type=\"text\" name=\"loginname\" value=\"owner\">パスワード<input class=\"loginform\" type=\"password\" "
      "name=\"loginpass\" value=\"se&quot;&gt;\"><input class=\"loginbutton\" type=\"submit\" value=\"管理ログイン\">"
      "</form>\r\n</div>\r\n<div class=\"titlecell\">";
  // The name comes from the cookie, the password from the form when its cookie is empty; both escaped.
  EXPECT_TRUE(Has(blog.Page("demo", "loginpass=se%22%3E", "INNAME=owner"), header));
  blog.Inst.Write("velmsystem.hed", "<p><COOKIEID>/<COOKIEPASS>/<BLOGID>/<cookieid></p>\r\n<hr>\r\n");
  const std::string page = blog.Page("demo", "", "INNAME=o%3Cw; INPASS=pw");
  EXPECT_TRUE(Has(page, "<div align=\"center\">\r\n<p>o&lt;w/pw/demo/<cookieid></p>\r\n<hr>\r\n<div class=\"titlecell\">"));
  EXPECT_FALSE(Has(page, "管理ログイン"));
}

TEST_F(Pages, SingleArticle) {
  blog.Style("USECOMMENT=1\r\nSINGLELOGTITLE=1\r\nCOMMENTFOLDING=2\r\n");
  for (int i = 1; i <= 5; ++i) blog.Comment("c1", latest, "名" + std::to_string(i), "文" + std::to_string(i));
  blog.Comment("c1", latest, "待ち", "未承認", false);
  const std::string page = blog.Page("demo+sl+" + latest);
  const std::string head = kDoctype + kCharset + kTypes + "<title>No Title - 最新</title>\r\n</head>\r\n" +
                           kScriptStart + kFold + kKeywordFirst;
  EXPECT_EQ(page.substr(0, head.size()), head);
  EXPECT_TRUE(Has(page, "-->\r\n</style>\r\n<body>\r\n" + kPopups + "<div align=\"center\">\r\n<div class=\"titlecell\">"
                        "</div>\r\n" + kTable + "\r\n<tr>\r\n<td class=\"navicell\">"));
  const std::string cell = ContentCell(page);
  // The comment link tag stays on this page; the comments follow, newest first, folded after two.
  EXPECT_TRUE(Has(cell, "<div class=\"logcontent\" id=\"log0\">本文<b>最新</b></div>"));
  EXPECT_TRUE(Has(cell, "[更新日付:2026/11/04 10:00:00]</div>\r\n<COMMENTLINK>\r\n"
                        "<div align=\"center\">記事へのコメント</div><br>\r\n"
                        "投稿者 : 名5 (2026/11/30 12:00:00)<br>\r\n文5<hr>\r\n"
                        "投稿者 : 名4 (2026/11/30 12:00:00)<br>\r\n文4<hr>\r\n"
                        "<div align=\"center\"><a href=\"javascript:_opencomment('nextcomment')\">残りコメントの開閉</a>"
                        "</div><br>\r\n<div id=\"nextcomment\" style=\"display:none\">\r\n"
                        "投稿者 : 名3 (2026/11/30 12:00:00)<br>\r\n文3<hr>\r\n"));
  EXPECT_TRUE(Has(cell, "文1<hr>\r\n</div>\r\n</td>\r\n"));
  EXPECT_FALSE(Has(cell, "未承認"));
  const std::string end = "</td>\r\n</tr></table></div>\r\n</body></html>\r\n";
  EXPECT_EQ(page.substr(page.size() - end.size()), end);

  blog.Style("USECOMMENT=1\r\nSINGLELOGTITLE=2\r\nCOMMENTFOLDING=0\r\n");
  std::string p = blog.Page("demo+sl+" + first);
  EXPECT_TRUE(Has(p, "<title>一つ目 - No Title</title>\r\n</head>\r\n"));
  EXPECT_TRUE(Has(p, "記事へのコメント</div><br>\r\nコメントはありません<br><br>\r\n</td>"));
  blog.Style("SINGLELOGTITLE=3\r\n");
  p = blog.Page("demo+sl+" + first);
  EXPECT_TRUE(Has(p, kTypes + "</head>\r\n"));
  EXPECT_FALSE(Has(p, "記事へのコメント"));
  blog.Style("");
  EXPECT_TRUE(Has(blog.Page("demo+sl+" + first), "<title>No Title</title>\r\n</head>\r\n"));
}

TEST_F(Pages, CommentTemplateAndDayLimit) {
  blog.Inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nTEMPCOMMENTSTART\r\n\"c\",\"c.txt\"\r\n"
                              "TEMPCOMMENTEND\r\n");
  blog.Inst.Write("template/c.txt", "<POSTEDNAME>|<COMMENT>|<posteddate>");
  blog.Style("USECOMMENT=1\r\nCOMMENTTEMPNAME=c\r\nCOMMENTFOLDING=1\r\nCOMMENTLIMIT=7\r\n");
  blog.Comment("c1", first, "a", "x");
  const std::string cell = ContentCell(blog.Page("demo+sl+" + first));
  EXPECT_TRUE(Has(cell, "<br>\r\na|x|<posteddate>\r\n"));
  EXPECT_FALSE(Has(cell, "nextcomment"));  // one comment: nothing folded
  EXPECT_TRUE(Has(cell, "\r\n<span style=\"color:red\">コメントできる期限を越えています</span>\r\n</td>"));
  // Updated a week ago still takes comments; eight days ago it does not.
  const std::string week = FormatStamp(AddDays(Now(), -7));
  const std::string eight = FormatStamp(AddDays(Now(), -8));
  const std::string w = blog.Article("c1", "2026/11/05 10:00:00", "週", "x", true, week);
  const std::string e = blog.Article("c1", "2026/11/06 10:00:00", "八", "x", true, eight);
  EXPECT_FALSE(Has(blog.Page("demo+sl+" + w), "コメントできる期限を越えています"));
  EXPECT_TRUE(Has(blog.Page("demo+sl+" + e), "コメントできる期限を越えています"));
  blog.Style("USECOMMENT=1\r\nCOMMENTLIMIT=0\r\n");
  EXPECT_FALSE(Has(blog.Page("demo+sl+" + first), "コメントできる期限を越えています"));
}

TEST_F(Pages, ArticlesThatAreNotShown) {
  const std::string notFound = kDoctype + kCharset + kTypes + "</head>\r\n<body>記事はありません</body></html>\r\n";
  for (const std::string& id : {hidden, hiddenCategory, std::string("nosuch"), std::string("../cindex"), std::string("")})
    EXPECT_EQ(blog.Page("demo+sl+" + id), notFound) << id;
  const std::string printableNotFound = kDoctype + kCharset + kTypes + "</head>\r\n<body>記事はありません</body></html>\r\n";
  EXPECT_EQ(blog.Page("demo+pl+" + hidden), printableNotFound);
  EXPECT_EQ(blog.Page("demo+pl+" + latest.substr(1)), printableNotFound);
}

TEST_F(Pages, ViewLogOfTheSingleArticle) {
  blog.Inst.Write("velm.ini", "CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/\r\nUSECONTENTCOUNTER=ON\r\n");
  TCGIRun r;
  r.query = "demo+sl+" + latest;
  r.userAgent = "UA \"x\"";
  r.referer = "http://ref/";
  blog.Inst.Run(r);
  const std::string log = blog.Inst.Read(blog.Dir + "slcount.log");
  EXPECT_EQ(log.substr(20), "\",\"" + latest + "\",\"最新\",\"UA &quot;x&quot;\",\"http://ref/\"\r\n");
  blog.Page("demo");
  EXPECT_EQ(blog.Inst.Read(blog.Dir + "slcount.log"), log);  // only the single-article page counts
}

TEST_F(Pages, PrintablePage) {
  blog.Style("SINGLELOGTITLE=1\r\nUSETRACKBACK=1\r\nTIMETYPE=5\r\n");
  EXPECT_EQ(blog.Page("demo+pl+" + latest),
            kDoctype + kCharset + kTypes + "<title>No Title - 最新</title>\r\n</head>\r\n" +
                Between(blog.Page("demo+pl+" + latest), "<style type=\"text/css\">", "</style>") + "\r\n<body>\r\n"
                "<div align=\"left\">\r\n" + kTable + "<tr>\r\n<td class=\"contentcell\">\r\n"
                "<span class=\"logdate\">11/04 10:00</span> / <span class=\"logcategory\">日記</span><br><br>\r\n"
                "<span class=\"logtopic\">最新</span> <br>\r\n<hr>\r\n"
                "<div class=\"logcontent\" id=\"log0\">本文<b>最新</b></div>\r\n<br clear=\"all\">\r\n"
                "<div class=\"update\">[更新日付:2026/11/04 10:00:00]</div>\r\n<hr>\r\n</td>\r\n"
                "</tr></table></div>\r\n</body></html>\r\n");
  // velm_printable.txt: the untouched and the emptied tags.
  blog.Inst.Write("template/velm_printable.txt",
                  "<COMMENTCOUNT>|<LOGLINK>|<COMMENTLINK>|<PRINTABLELINK>|<TRACKBACKURL>|<TRACKBACKVIEW>|<TRACKBACKCOUNT>");
  EXPECT_TRUE(Has(blog.Page("demo+pl+" + latest),
                  "<td class=\"contentcell\">\r\n<COMMENTCOUNT>|<LOGLINK>|<COMMENTLINK>||||0\r\n</td>"));
}

TEST_F(Pages, PreviewForTheOwnerOnly) {
  const std::string refused = blog.Page("demo+lp+" + hidden);
  EXPECT_EQ(refused.substr(0, kDoctype.size() + kCharset.size() + kTypes.size()), kDoctype + kCharset + kTypes);
  EXPECT_TRUE(Has(refused, "<title>No Title</title>\r\n" + kScriptStart + kFold + kKeywordFirst));
  EXPECT_TRUE(Has(refused, "-->\r\n</style></head><body>\r\n" + kPopups + "<div align=\"center\">\r\n"
                           "<div class=\"titlecell\"></div>\r\n" + kTable + "<tr>\r\n"
                           "<td>記事の閲覧は禁止されています<br>\r\n</td>\r\n</tr></table></div></body></html>\r\n"));
  const std::string owner = blog.Inst.LoginCookie();
  for (const std::string& id : {hidden, hiddenCategory, latest})
    EXPECT_EQ(Topics(blog.Page("demo+lp+" + id, "", owner)).size(), 1u) << id;
  EXPECT_EQ(ContentCell(blog.Page("demo+lp+nosuch", "", owner)), "<td class=\"contentcell\">\r\n記事はありません\r\n</td>\r\n");
  EXPECT_FALSE(Has(blog.Inst.Read(blog.Dir + "access.log"), "\""));  // the preview is not a view
}

TEST_F(Pages, LinkAndAlbumPageHeads) {
  const std::string link = blog.Page("demo+ul+friends");
  EXPECT_TRUE(Has(link, kDoctype + kCharset + "<meta http-equiv=\"content-style-type\" content=\"text/css\">\r\n"
                        "<title>No Title</title>\r\n<style type=\"text/css\">\r\n"));
  EXPECT_TRUE(Has(link, "-->\r\n</style></head><body>\r\n<div align=\"center\">\r\n<div class=\"titlecell\"></div>\r\n" +
                            kTable + "<tr>\r\n"));
  EXPECT_FALSE(Has(link, "function _Mover("));
  const std::string end = "</tr></table></div></body></html>\r\n";
  EXPECT_EQ(link.substr(link.size() - end.size()), end);

  const std::string album = blog.Page("demo+pa");
  EXPECT_EQ(album.substr(0, kDoctype.size() + kCharset.size() + kTypes.size() + 25),
            kDoctype + kCharset + kTypes + "<title>No Title</title>\r\n");
  EXPECT_TRUE(Has(album, "</script>\r\n</head><body>\r\n" + kPopups));
  EXPECT_TRUE(Has(album, "<td class=\"contentcell\">\r\n<br>対象記事はありません<br>\r\n</td>"));
}

TEST_F(Pages, AccessLogLinesOfThePages) {
  for (const std::string& q : std::vector<std::string>{"demo", "demo+pa", "demo+ul+x", "demo+sl+" + latest, "demo+pl+" + latest,
                               "demo+lp+" + latest, "demo+sl+nosuch"})
    blog.Page(q);
  const std::string log = blog.Inst.Read(blog.Dir + "access.log");
  size_t lines = 0;
  for (size_t p = log.find("\r\n"); p != std::string::npos; p = log.find("\r\n", p + 1)) ++lines;
  EXPECT_EQ(lines, 5u);  // not the preview nor a missing article
}

TEST_F(Pages, ViewPassword) {
  blog.Style("VIEWPASSWORD=open sesame\r\nSINGLELOGTITLE=2\r\n");
  const std::string cookie = "VIEWPASS-demo=open%20sesame";
  std::string page = blog.Page("demo");
  EXPECT_TRUE(Has(page, "\r\n" + kViewPassCell + "\r\n"));
  EXPECT_TRUE(Topics(page).empty());
  EXPECT_FALSE(Has(page, "本文"));
  EXPECT_FALSE(Has(blog.Page("demo+pa"), "対象記事はありません"));
  EXPECT_TRUE(Has(blog.Page("demo+pa"), kViewPassCell));
  EXPECT_TRUE(Has(blog.Page("demo+ul+x"), kViewPassCell));
  page = blog.Page("demo+sl+" + latest);
  EXPECT_TRUE(Has(page, kViewPassCell + "\r\nこのブログはパスワードが必要な為ＰＣ以外からは閲覧できません\r\n"));
  EXPECT_TRUE(Has(page, "<title>No Title</title>"));  // the subject stays out of the title too
  EXPECT_FALSE(Has(page, "本文"));
  page = blog.Page("demo+pl+" + latest);
  EXPECT_TRUE(Has(page, kTable + "<tr>\r\n" + kViewPassCell + "\r\n</tr></table></div>\r\n"));
  EXPECT_FALSE(Has(page, "最新"));
  // The right cookie shows the blog; a wrong one does not.
  EXPECT_EQ(Topics(blog.Page("demo", "", cookie)).size(), 2u);
  EXPECT_TRUE(Has(blog.Page("demo+sl+" + latest, "", cookie), "本文<b>最新</b>"));
  EXPECT_TRUE(Has(blog.Page("demo", "", "VIEWPASS-demo=open"), kViewPassCell));
  EXPECT_TRUE(Has(blog.Page("demo", "", "VIEWPASS-other=open%20sesame"), kViewPassCell));
}

}  // namespace

namespace {

// A page built from the saved summary of the index equals the one built by reading every line,
// for the public pages and the owner's preview, and follows an article added afterwards.
TEST_F(Pages, SideMenuFromTheSavedSummaryOfTheIndex) {
  blog.Article("c1", "2026/10/15 10:00:00", "先月", "x");
  blog.Article("c1", "2026/09/01 10:00:00", "先々月", "x");
  auto age = [&](const std::string& name) {
    struct timespec t[2] {};
    clock_gettime(CLOCK_REALTIME, &t[0]);
    t[0].tv_sec -= 10;
    t[1] = t[0];
    ASSERT_EQ(utimensat(AT_FDCWD, (blog.Inst.AccountFolder() + name).c_str(), t, 0), 0);
  };
  // The access counter moves with every view: the pages are compared without it.
  auto page = [&](const std::string& query, const std::string& cookie = "") {
    std::string p = blog.Page(query, "", cookie);
    const size_t a = p.find("アクセス数<br>");
    if (a != std::string::npos) p.erase(a, p.find("<hr>", a) - a);
    return p;
  };
  const std::string preview = "demo+lp+" + hidden;
  const std::vector<std::string> queries = {"demo", "demo+sv+202611", "demo+sv+c1", "demo+sl+" + first, "demo+pa", "demo+ul"};
  std::vector<std::string> walked;
  for (const auto& q : queries) walked.push_back(page(q));
  const std::string walkedPreview = page(preview, blog.Inst.LoginCookie());
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "cindex.sum"));
  EXPECT_TRUE(Has(walked[0], "2026/10</a>"));

  age("cindex.txt");
  for (int round = 0; round < 2; ++round) {  // made and saved, then read
    for (size_t i = 0; i < queries.size(); ++i) EXPECT_EQ(page(queries[i]), walked[i]) << queries[i];
    EXPECT_EQ(page(preview, blog.Inst.LoginCookie()), walkedPreview);
    EXPECT_TRUE(blog.Inst.Exists(blog.Dir + "cindex.sum"));
  }
  blog.Article("c1", "2026/12/01 10:00:00", "今月", "x");
  EXPECT_TRUE(Has(blog.Page("demo"), "demo+sv+202612\">2026/12</a>"));
}

}  // namespace
