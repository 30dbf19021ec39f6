// The display settings page, its save into style.txt and title.txt, and the site images.
#include <gtest/gtest.h>

#include "admin_fixture.h"

namespace {

// The lines of style.txt for a post of the given fields over the stored keys kept by a save.
std::string StyleOf(std::map<std::string, std::string> v) {
  static const char* const keys[] = {
      "BACKGROUND=", "TITLEBACKGROUND=", "TITLECOLOR=", "MENUBACKGROUND=", "MENUBACKGROUND2=", "MENULOGCOLOR=",
      "MENULOGCOLOR2=", "MENUTEMPNAME=", "CONTENTDATECOLOR=", "CONTENTBACKGROUND=", "CONTENTLOGCOLOR=",
      "CONTENTTITLECOLOR=", "CONTENTCATEGORYCOLOR=", "CONTENTVIEWCOUNT=", "CONTENTTEMPNAME=", "SIMAGEWIDTH=",
      "TIMAGEHEIGHT=", "LAYOUTTYPE=", "LARGESPACING=", "TIMETYPE=", "COMMENTTEMPNAME=", "COMMENTFOLDING=",
      "MONTHFOLDING=", "CONTENTTITLESIZE=", "CONTENTDATESIZE=", "CONTENTCATEGORYSIZE=", "CONTENTLOGSIZE=",
      "LOGCONTENTCOLOR=", "LOGCONTENTSIZE=", "COMMENTANCHORSIZE=", "TRACKBACKANCHORSIZE=", "USECOMMENT=",
      "USEVIEWCOMMENT=", "COMMENTLIMIT=", "USETRACKBACK=", "USECATEGORYRSS=", "USEKEYIMAGE=", "USETOPPAGE=",
      "USECUSTOMMENU=", "ACCESSLOGTYPE=", "USEREMAIL=", "VIEWPASSWORD=", "USERALIGN=", "LARGECELLWIDTH=",
      "NAVICELLWIDTH=", "SUBCELLWIDTH=", "TITLEREPEAT=", "TITLEALIGN=", "ALBUMVIEWCOUNT=", "ALBUMVIEWCOLUMN=",
      "ALBUMPHOTOMETHOD=", "PHOTOFRAMECOLOR=", "PHOTOFRAMETYPE=", "PHOTOFRAMEWIDTH=", "CONTENTSKIPMETHOD=",
      "CONTENTSKIPLENGTH=", "EXIFPOPUP=", "IMAGEPOPUP=", "SINGLELOGTITLE=", "UPDATEPINGDEFAULT=",
      "CATEGORYCONTENTLIST=", "RSSVERSION=", "DEFAULTPAGE="};
  // What an empty form saves.
  const std::map<std::string, std::string> defaults = {
      {"CONTENTVIEWCOUNT=", "5"}, {"SIMAGEWIDTH=", "240"}, {"TIMAGEHEIGHT=", "0"}, {"LAYOUTTYPE=", "0"},
      {"LARGESPACING=", "0"}, {"TIMETYPE=", "1"}, {"COMMENTFOLDING=", "2"}, {"MONTHFOLDING=", "2"},
      {"USECOMMENT=", "0"}, {"USEVIEWCOMMENT=", "0"}, {"COMMENTLIMIT=", "0"}, {"USETRACKBACK=", "0"},
      {"USECATEGORYRSS=", "0"}, {"USEKEYIMAGE=", "0"}, {"USETOPPAGE=", "0"}, {"USECUSTOMMENU=", "0"},
      {"ACCESSLOGTYPE=", "0"}, {"NAVICELLWIDTH=", "150"}, {"SUBCELLWIDTH=", "100"}, {"ALBUMVIEWCOUNT=", "5"},
      {"ALBUMVIEWCOLUMN=", "2"}, {"ALBUMPHOTOMETHOD=", "0"}, {"PHOTOFRAMEWIDTH=", "0"}, {"CONTENTSKIPMETHOD=", "0"},
      {"CONTENTSKIPLENGTH=", "200"}, {"EXIFPOPUP=", "0"}, {"IMAGEPOPUP=", "0"}, {"SINGLELOGTITLE=", "0"},
      {"UPDATEPINGDEFAULT=", "0"}, {"CATEGORYCONTENTLIST=", "0"}};
  std::string out;
  for (const char* k : keys) {
    auto it = v.find(k);
    auto d = defaults.find(k);
    out += std::string(k) + (it != v.end() ? it->second : d != defaults.end() ? d->second : "") + "\r\n";
  }
  return out;
}

class DesignSettings : public ::testing::Test {
protected:
  TCGIResult Save(const TFields& fields, const std::string& origin = "") { return blog.Owner("demo+us", fields, origin); }
  std::string Style() { return blog.AccountFile("style.txt"); }
  TAdminFixture blog;
};

TEST_F(DesignSettings, SaveWritesEveryKeyInOrderAndTheTitleFile) {
  blog.Style("usetoppage=1\r\nEXIFPOPUP=on\r\nLAYOUTTYPE=3\r\nFOREIGN=x\r\n");
  const TCGIResult res = Save({{"background", "#ffeedd"}, {"layouttype", "4"}, {"usecomment", "1"}, {"usetrackback", "on"},
                               {"rssversion", "ATOM"}, {"navicellwidth", "180"}, {"largecellwidth", "90%"},
                               {"titlerepeat", "no-repeat"}, {"blogtitle", "私の<i>ブログ</i>"},
                               {"blogdescription", "一行目\r\n二行目\r\n三行目"}, {"defaultpage", "日記"}});
  EXPECT_EQ(Style(), StyleOf({{"BACKGROUND=", "#ffeedd"}, {"LAYOUTTYPE=", "4"}, {"USECOMMENT=", "1"}, {"RSSVERSION=", "ATOM"},
                              {"NAVICELLWIDTH=", "180"}, {"LARGECELLWIDTH=", "90%"}, {"TITLEREPEAT=", "no-repeat"},
                              {"USETOPPAGE=", "1"}, {"EXIFPOPUP=", "on"}, {"DEFAULTPAGE=", "日記"}}));
  EXPECT_EQ(blog.AccountFile("title.txt"), "私の<i>ブログ</i>\r\n一行目<br>二行目<br>三行目\r\n");

  // The confirmation under the frame, which already carries the new title.
  EXPECT_TRUE(Has(res.body, "<title>私の<i>ブログ</i></title>"));
  const std::string cell = SettingsCell(res.body);
  // The answer is the table itself.
  EXPECT_TRUE(StartsWith(cell, "<table border=\"1\" cellpadding=\"3\" "
                               "style=\"background:white; border-collapse:collapse; font-size:x-small\">\r\n<tr><td>タイトル</td>"
                               "<td>私の&lt;i&gt;ブログ&lt;/i&gt;</td></tr>\r\n<tr><td>説明</td><td>一行目<br>二行目<br>三行目</td>"
                               "</tr>\r\n"))
      << cell;
  EXPECT_TRUE(Has(cell, "<tr><td>全体背景色</td><td><span style=\"color:#ffeedd\">■</span>#ffeedd</td></tr>"));
  EXPECT_TRUE(Has(cell, "<tr><td>レイアウトタイプ</td><td>３列Ｂ</td></tr>"));
  EXPECT_TRUE(Has(cell, "<tr><td>トラックバック</td><td>トラックバックを受け付けない</td></tr>"));

  // The blog follows: three columns in the order of layout 4, the background in the stylesheet.
  std::string top = blog.Page("demo");
  EXPECT_TRUE(Has(top, "    background:#ffeedd;"));
  const size_t navi = top.find("<td class=\"navicell\">"), sub = top.find("<td class=\"subcell\">"),
               content = top.find("<td class=\"contentcell\">");
  EXPECT_TRUE(navi < sub && sub < content) << navi << " " << sub << " " << content;
  EXPECT_TRUE(Has(top, "<meta name=\"description\" content=\"一行目二行目三行目\">"));

  // A description with double quotes keeps the head's meta tag whole.
  Save({{"blogdescription", "私の\"日記\" <b>です</b>"}});
  top = blog.Page("demo");
  EXPECT_TRUE(Has(top, "<meta name=\"description\" content=\"私の&quot;日記&quot; です\">"));
  EXPECT_TRUE(Has(top, "<div class=\"titlecell\">私の\"日記\" <b>です</b></div>"));
}

TEST_F(DesignSettings, NumbersGetTheirDefaultsAndLimits) {
  struct TCase { const char* field; const char* posted; const char* key; const char* saved; };
  const TCase cases[] = {
      {"simagewidth", "30", "SIMAGEWIDTH=", "50"},        {"simagewidth", "999", "SIMAGEWIDTH=", "240"},
      {"simagewidth", "abc", "SIMAGEWIDTH=", "240"},      {"simagewidth", "1 2 0", "SIMAGEWIDTH=", "120"},
      {"timageheight", "-5", "TIMAGEHEIGHT=", "-1"},      {"timageheight", "9000", "TIMAGEHEIGHT=", "500"},
      {"albumviewcolumn", "0", "ALBUMVIEWCOLUMN=", "1"},  {"albumviewcolumn", "-3", "ALBUMVIEWCOLUMN=", "1"},
      {"contentviewcount", "-2", "CONTENTVIEWCOUNT=", "1"},
      {"contentviewcount", "123456789012345678901234567890", "CONTENTVIEWCOUNT=", "5"},
      {"contentviewcount", "", "CONTENTVIEWCOUNT=", "5"}, {"layouttype", "9", "LAYOUTTYPE=", "0"},
      {"timetype", "x", "TIMETYPE=", "1"},                {"contentskiplength", "0", "CONTENTSKIPLENGTH=", "200"},
      {"commentlimit", "-1", "COMMENTLIMIT=", "0"},       {"subcellwidth", "abc", "SUBCELLWIDTH=", "100"},
  };
  for (const auto& c : cases) {
    Save({{c.field, c.posted}});
    EXPECT_EQ(Style(), StyleOf({{c.key, c.saved}})) << c.field << "=" << c.posted;
  }
}

TEST_F(DesignSettings, PostedTextStaysOnOneLineAndRendersEscaped) {
  const std::string big(100 * 1024, 'x');
  Save({{"background", "red\r\nVIEWPASSWORD=stolen"}, {"useremail", "me@example.jp\r\nBcc: you@example.jp"},
        {"viewpassword", std::string("pa\"ss<1>\0", 9)}, {"contenttempname", "tmp\nLAYOUTTYPE=7"}, {"titlecolor", "red;}</style><script>"},
        {"blogtitle", "題\r\n名\"<x>" + big}, {"useralign", "left\" onload=\"x"}});
  const std::string style = Style();
  EXPECT_EQ(std::count(style.begin(), style.end(), '\n'), 63);
  EXPECT_TRUE(Has(style, "\r\nBACKGROUND=redVIEWPASSWORD=stolen\r\n") || StartsWith(style, "BACKGROUND=redVIEWPASSWORD=stolen\r\n"));
  EXPECT_TRUE(Has(style, "\r\nVIEWPASSWORD=pa\"ss<1>\r\n"));
  EXPECT_TRUE(Has(style, "\r\nUSEREMAIL=me@example.jpBcc: you@example.jp\r\n"));
  EXPECT_TRUE(Has(style, "\r\nCONTENTTEMPNAME=tmpLAYOUTTYPE=7\r\n"));
  EXPECT_TRUE(Has(style, "\r\nLAYOUTTYPE=0\r\n"));
  // What goes into the stylesheet or an attribute cannot close the element it stands in.
  EXPECT_TRUE(Has(style, "\r\nTITLECOLOR=red;}/stylescript\r\n"));
  EXPECT_TRUE(Has(style, "\r\nUSERALIGN=left onload=x\r\n"));
  const std::string title = blog.AccountFile("title.txt");
  EXPECT_EQ(title, "題名\"<x>" + big + "\r\n\r\n");

  const std::string page = blog.OwnerPage("demo+vv");
  EXPECT_TRUE(Has(page, "<input type=\"text\" name=\"blogtitle\" size=\"40\" value=\"題名&quot;&lt;x&gt;" + big + "\">"));
  EXPECT_TRUE(Has(page, "<input type=\"text\" name=\"viewpassword\" size=\"20\" value=\"pa&quot;ss&lt;1&gt;\">"));
  EXPECT_TRUE(Has(page, "<option value=\"redVIEWPASSWORD=stolen\" style=\"color:redVIEWPASSWORD=stolen\" selected>"));
  EXPECT_TRUE(EndsWith(page, kPageEnd));
  const std::string top = blog.Page("demo");
  EXPECT_TRUE(Has(top, "    color:red;}/stylescript;\r\n"));
}

TEST_F(DesignSettings, PageShowsCurrentValuesWithTheColourAndChoiceLists) {
  blog.Ini("TEMPCOLORSTART\r\n\"空色\",\"#87ceeb\"\r\nbroken\r\nTEMPCOLOREND\r\nTEMPNAVISTART\r\n\"縦長\",\"navi1.txt\"\r\n"
           "TEMPNAVIEND\r\nSIDEMENUCONTROL=2\r\n");
  blog.Inst.Write(blog.Dir + "usercolor.txt", "\"わたしの色\",\"#123456\"\r\n");
  blog.Category("k1", "日記");
  blog.Style("BACKGROUND=#123456\r\nTITLECOLOR=#abcdef\r\nMENUTEMPNAME=縦長\r\nLAYOUTTYPE=5\r\nUSECOMMENT=1\r\n"
             "CONTENTLOGSIZE=13px\r\nDEFAULTPAGE=k1\r\nNAVICELLWIDTH=170\r\nTITLEALIGN=center center\r\n");
  const std::string cell = SettingsCell(blog.OwnerPage("demo+uc"));
  EXPECT_TRUE(Has(cell, "<select name=\"background\"><option value=\"\">未指定</option><option value=\"black\" "
                        "style=\"color:black\">黒</option><option value=\"white\" style=\"color:white\">白</option><option "
                        "value=\"#87ceeb\" style=\"color:#87ceeb\">空色</option><option value=\"black\" style=\"color:black\">"
                        "---</option><option value=\"#123456\" style=\"color:#123456\" selected>わたしの色</option></select>"));
  // A value that is on no list is offered as it is, so saving the page keeps it.
  EXPECT_TRUE(Has(cell, "<option value=\"#abcdef\" style=\"color:#abcdef\" selected>#abcdef</option></select>"));
  EXPECT_TRUE(Has(cell, "<option value=\"13px\" selected>13px</option></select>"));
  // The image position and repeat offer their choices only; an empty stored value stays chosen.
  EXPECT_TRUE(Has(cell, "<select name=\"titlealign\"><option value=\"left top\">左 - 上</option><option value=\"center top\">"
                        "中央 - 上</option><option value=\"right top\">右 - 上</option><option value=\"left center\">左 - 中央"
                        "</option><option value=\"center center\" selected>中央</option><option value=\"right center\">右 - 中央"
                        "</option><option value=\"left bottom\">左 - 下</option><option value=\"center bottom\">中央 - 下</option>"
                        "<option value=\"right bottom\">右 - 下</option></select>"));
  EXPECT_TRUE(Has(cell, "<select name=\"titlerepeat\"><option value=\"repeat\">敷き詰める</option><option value=\"repeat-x\">"
                        "横方向に並べる</option><option value=\"repeat-y\">縦方向に並べる</option><option value=\"no-repeat\">"
                        "並べない</option><option value=\"\" selected></option></select>"));
  EXPECT_TRUE(Has(cell, "<select name=\"navitempname\"><option value=\"\">デフォルト</option><option value=\"縦長\" selected>縦長"
                        "</option></select>"));
  EXPECT_TRUE(Has(cell, "<input type=\"radio\" name=\"usecomment\" value=\"1\" checked>コメント機能を利用する"));
  EXPECT_TRUE(Has(cell, "<input type=\"radio\" name=\"layouttype\" value=\"5\" checked>逆３列Ｂ"));
  EXPECT_FALSE(Has(cell, "name=\"layouttype\" value=\"1\""));  // two menu columns only
  EXPECT_TRUE(Has(cell, "<select name=\"defaultpage\"><option value=\"\">全ての記事</option><option value=\"日記\" selected>"
                        "カテゴリ - 日記</option></select>"));
  EXPECT_TRUE(Has(cell, "<input type=\"text\" name=\"navicellwidth\" size=\"5\" maxlength=\"4\" value=\"170\">"));
  EXPECT_TRUE(Has(cell, "<textarea name=\"blogdescription\" rows=\"5\" cols=\"40\"></textarea>"));
  // The rows in their order.
  size_t at = 0;
  for (const char* label : {"タイトル", "説明", "カスタムメニュー", "全体背景色", "全体位置", "VELMタイトル", "VELMメニュー",
                            "ガジェットエリア", "記事エリア", "記事タイトル", "記事日付", "記事カテゴリ", "記事文字",
                            "コメントアンカー", "トラックバックアンカー", "メニューテンプレート", "記事テンプレート",
                            "コメントテンプレート", "１ページ記事数", "記事中の日付フォーマット", "サムネイルサイズ",
                            "説明領域の縦幅", "レイアウトタイプ", "タイトル背景画像表示", "タイトル背景画像位置",
                            "レイアウト枠幅", "コメント機能", "コメント公開", "コメント可能期限", "コメント折り畳み数",
                            "アーカイブ折り畳み数", "トラックバック", "カテゴリ別RSS", "コメントキー", "アクセスログ",
                            "記事省略方法", "省略時長さ(byte)", "単独記事のタイトル", "更新Ping", "カテゴリ別記事一覧",
                            "RSSバージョン", "基本ページ"}) {
    const size_t next = cell.find(std::string("<td>") + label + "</td>", at);
    ASSERT_NE(next, std::string::npos) << label;
    at = next;
  }
  EXPECT_TRUE(Has(cell, "<input type=\"submit\" value=\"上記の内容で登録します\"></form>"));
  // A description stored with <br> is edited on several lines.
  blog.Inst.Write(blog.Dir + "title.txt", "題\r\n一<BR>二<br>&amp;\r\n");
  EXPECT_TRUE(Has(blog.OwnerPage("demo+vv"), "<textarea name=\"blogdescription\" rows=\"5\" cols=\"40\">一\r\n二\r\n&amp;amp;</textarea>"));
}

TEST_F(DesignSettings, RefusedWithoutLoginFromAnotherSiteAndReportedWhenNotWritten) {
  blog.Style("LAYOUTTYPE=2\r\n");
  EXPECT_TRUE(Has(blog.Page("demo+us", "layouttype=1"), kLoginFailure));
  EXPECT_TRUE(Has(blog.Page("demo+uc"), kLoginFailure));
  EXPECT_TRUE(Has(Save({{"layouttype", "1"}}, "http://evil.example").body, kCrossSite));
  EXPECT_EQ(Style(), "LAYOUTTYPE=2\r\n");
  EXPECT_FALSE(blog.AccountHas("title.txt"));
  // style.txt cannot be replaced: the page says so.
  blog.Inst.Remove(blog.Dir + "style.txt");
  blog.Inst.Write(blog.Dir + "style.txt/x", "");
  EXPECT_TRUE(Has(Save({{"layouttype", "1"}}).body, "<p style=\"color:red\">設定の保存に失敗しました</p>"));
}

// ---- site images ----

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, 'p');

TEST_F(DesignSettings, SiteImagesUploadShowAndDelete) {
  TCGIResult res = blog.OwnerUpload("demo+tu", {}, {{"uploadimage", "C:\\My Pictures\\タイトル.PNG", kPng, "image/png"}});
  EXPECT_EQ(blog.Inst.Read("images/demo/titleimage.PNG"), kPng);
  // The upload answers with the settings page, which shows the image with its delete button.
  std::string cell = SettingsCell(res.body);
  EXPECT_TRUE(Has(cell, "<form style=\"margin:0px\" action=\"./velm.exe?demo+us\" method=\"post\">"));
  EXPECT_TRUE(Has(cell, "<img src=\"./images/demo/titleimage.PNG?"));
  EXPECT_TRUE(Has(cell, "<input type=\"hidden\" name=\"imagetype\" value=\"title\"><input type=\"submit\" value=\"タイトル画像を削除\">"));
  EXPECT_TRUE(Has(blog.Page("demo"), "    background-image:url(./images/demo/titleimage.PNG);"));

  // A new upload under another extension replaces it.
  blog.OwnerUpload("demo+tu", {}, {{"uploadimage", "t.gif", "GIF89a....", "image/gif"}});
  EXPECT_FALSE(blog.Inst.Exists("images/demo/titleimage.PNG"));
  EXPECT_EQ(blog.Inst.Read("images/demo/titleimage.gif"), "GIF89a....");

  blog.OwnerUpload("demo+bu", {}, {{"uploadimage", "bg.jpg", "\xff\xd8jpeg", "image/jpeg"}});
  blog.OwnerUpload("demo+pu", {}, {{"uploadimage", "me.jpg", "\xff\xd8me", "image/jpeg"}});
  EXPECT_TRUE(blog.Inst.Exists("images/demo/velmbackground.jpg") && blog.Inst.Exists("images/demo/profileimage.jpg"));
  EXPECT_TRUE(Has(blog.Page("demo"), "<img src=\"./images/demo/profileimage.jpg\" width=\"144\" alt=\"Profile image\">"));

  res = blog.Owner("demo+dd", {{"imagetype", "Background"}});
  EXPECT_TRUE(Has(SettingsCell(res.body), "<p style=\"color:blue\">画像を削除しました。</p>"));
  EXPECT_FALSE(blog.Inst.Exists("images/demo/velmbackground.jpg"));
  // Nothing left to delete, or a type that names no image: the page follows without a message.
  for (const char* type : {"background", "../velmsystem/account.ini", "TITLEIMAGE"})
    EXPECT_TRUE(StartsWith(SettingsCell(blog.Owner("demo+dd", {{"imagetype", type}}).body), "<form ")) << type;
  EXPECT_TRUE(blog.Inst.Exists("images/demo/titleimage.gif") && blog.Inst.Exists("velmsystem/account.ini"));
  blog.Owner("demo+dd", {{"imagetype", "profile"}});
  EXPECT_FALSE(blog.Inst.Exists("images/demo/profileimage.jpg"));
}

TEST_F(DesignSettings, SiteImageUploadsThatAreRefused) {
  blog.Ini("ATTACHMAXSIZE=100\r\n");
  auto upload = [&](const std::string& name, const std::string& bytes, const std::string& origin = "") {
    return SettingsCell(blog.OwnerUpload("demo+tu", {}, {{"uploadimage", name, bytes}}, origin).body);
  };
  // Another type of file and an empty file change nothing and say nothing.
  EXPECT_TRUE(StartsWith(upload("t.bmp", "BM" + std::string(50, 'b')), "<form "));
  EXPECT_TRUE(StartsWith(upload("t.png", ""), "<form "));
  // The message names the file as the browser sent it.
  EXPECT_TRUE(StartsWith(upload("C:\\My <Pictures>\\big.png", std::string(100, 'x')),
                         "<p style=\"color:red\">C:\\My &lt;Pictures&gt;\\big.pngのアップロードを行いましたが、サイズが上限を超えて"
                         "います。ファイルは登録されません</p>"));
  EXPECT_TRUE(Has(blog.OwnerUpload("demo+tu", {}, {{"uploadimage", "t.png", "x"}}, "http://evil.example").body, kCrossSite));
  EXPECT_FALSE(blog.Inst.Exists("images/demo/titleimage.png"));
  // A name that climbs out of its folder only gives the extension.
  upload("../../velmsystem/owner/x.png", std::string(99, 'x'));
  EXPECT_FALSE(blog.Inst.Exists("velmsystem/owner/x.png"));
  EXPECT_EQ(blog.Inst.Read("images/demo/titleimage.png"), std::string(99, 'x'));
  blog.Inst.Remove("images/demo/titleimage.png");
  for (const char* name : {"..", "a.png/..", "x.png\\..", "noextension"}) upload(name, "xx");
  EXPECT_FALSE(blog.Inst.Exists("images/demo/titleimage.png"));
  // The upload-space account has no limit; the page says so.
  blog.Inst.Write("velmsystem/account.ini", "\"demo\",\"owner\",\"secret\",\"1\"\r\n");
  const std::string cell = upload("big.png", std::string(5000, 'x'));
  EXPECT_TRUE(Has(cell, "アップロード可能な画像は Jpeg/GIF/PNG です"));
  EXPECT_EQ(blog.Inst.Read("images/demo/titleimage.png").size(), 5000u);
}

TEST_F(DesignSettings, SiteImageLimitShownInKilobytes) {
  blog.Ini("ATTACHMAXSIZE=2048000\r\n");
  EXPECT_TRUE(Has(blog.OwnerPage("demo+vv"), "■各種基本画像<br>アップロード可能な画像は Jpeg/GIF/PNG で2,000KB以下です\r\n"));
}

}  // namespace
