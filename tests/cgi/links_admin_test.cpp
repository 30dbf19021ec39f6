// The owner's link page and its save: add, change, move, delete and banners.
#include <gtest/gtest.h>

#include <thread>

#include "admin_fixture.h"

namespace {

class Links : public ::testing::Test {
protected:
  void SetUp() override { blog.Ini("USELINKBANNER=ON\r\nBANNERMAXSIZE=1000\r\n"); }
  std::string Ld(const TFields& fields, const std::vector<TUpload>& files = {}) {
    return SettingsCell(blog.OwnerUpload("demo+ld", fields, files).body);
  }
  std::string LinkFile() { return blog.AccountFile("url.link"); }
  // The id of the n-th line of url.link.
  std::string IdOf(size_t n) {
    TStringList lines = SplitLines(LinkFile());
    return n < lines.size() ? lines[n].substr(1, 16) : "";
  }
  TAdminFixture blog;
};

TEST_F(Links, AddWithTitleOrUrlAndABanner) {
  std::string cell = Ld({{"newurltitle", "友達の<ブログ>"}, {"newurllink", "http://friend.example/?a=1&b=\"2\""},
                         {"newurlcategory", "友人\t\"A\""}, {"newurlcomment", "よく\"読む\"\r\n<b>ブログ</b>"}},
                        {{"linkbanner", "banner.GIF", "GIF89a-banner"}});
  EXPECT_TRUE(StartsWith(cell, "<p style=\"color:blue\">http://friend.example/?a=1&b=&quot;2&quot; の追加を行いました</p>"));
  const std::string id = IdOf(0);
  EXPECT_EQ(LinkFile(), "\"" + id + "\",\"http://friend.example/?a=1&b=&quot;2&quot;\",\"友達の&lt;ブログ&gt;\",\"友人 &quot;A&quot;\","
                        "\"よく&quot;読む&quot;<b>ブログ</b>\"\r\n");
  EXPECT_EQ(blog.Inst.Read("images/demo/" + id + ".GIF"), "GIF89a-banner");

  // An empty title shows the URL; the side menu and the link page show the links.
  Ld({{"newurllink", "http://second.example/"}, {"newurlcategory", "友人 &quot;A&quot;"}});
  EXPECT_TRUE(EndsWith(LinkFile(), "\",\"http://second.example/\",\"http://second.example/\",\"友人 &quot;A&quot;\",\"\"\r\n"));
  // Fields are stored as typed, blanks around them included.
  Ld({{"newurltitle", " 三 "}, {"newurllink", "http://third.example/ "}, {"newurlcategory", " 友人 "}, {"newurlcomment", " 注 "}});
  EXPECT_TRUE(EndsWith(LinkFile(), "\",\"http://third.example/ \",\" 三 \",\" 友人 \",\" 注 \"\r\n"));
  blog.Inst.Write(blog.Dir + "url.link", SplitLines(LinkFile())[0] + "\r\n" + SplitLines(LinkFile())[1] + "\r\n");
  const std::string top = blog.Page("demo");
  EXPECT_TRUE(Has(top, "<a href=\"http://friend.example/?a=1&b=&quot;2&quot;\" target=\"_blank\">友達の&lt;ブログ&gt;</a><br>"));
  EXPECT_TRUE(Has(top, "<a href=\"http://second.example/\" target=\"_blank\">http://second.example/</a><br>"));

  // The page lists both links for editing, moving and deleting.
  cell = SettingsCell(blog.OwnerPage("demo+lv"));
  EXPECT_TRUE(Has(cell, "<select name=\"dellink\"><option value=\"\" style=\"color:silver\">削除するリンクを選択してください</option>"
                        "<option value=\"" + id + "\">友達の&lt;ブログ&gt;</option><option value=\"" + IdOf(1) +
                        "\">http://second.example/</option></select>"));
  EXPECT_TRUE(Has(cell, "<a href=\"./velm.exe?demo+lv+" + id + "\">編集</a>"));
}

TEST_F(Links, ShortUrlsAndBannersThatAreRefused) {
  EXPECT_TRUE(StartsWith(Ld({{"newurllink", "http://"}}), "<p style=\"color:red\">処理が選択されませんでした</p>"));
  EXPECT_TRUE(StartsWith(Ld({{"newurllink", "http://a"}}), "<p style=\"color:red\">http:// 又は https://から始まるURLを入力してください</p>"));
  EXPECT_FALSE(blog.AccountHas("url.link"));

  EXPECT_TRUE(StartsWith(Ld({{"newurllink", "http://big.example/"}}, {{"linkbanner", "b.png", std::string(1001, 'x')}}),
                         "<p style=\"color:red\">http://big.example/ の追加を行いましたが、バナー画像のサイズが上限を超えています。"
                         "画像は登録されません</p>"));
  EXPECT_TRUE(StartsWith(Ld({{"newurllink", "http://bmp.example/"}}, {{"linkbanner", "b.bmp", "BMxxxx"}}),
                         "<p style=\"color:red\">http://bmp.example/ の追加を行いましたが、GIF/JPEG/PNG 以外のバナー画像がアップロード"
                         "されました。画像は登録されません</p>"));
  // A banner at the limit and one with a climbing name are stored under the link's id only.
  Ld({{"newurllink", "http://fit.example/"}}, {{"linkbanner", "..\\..\\..\\velm.ini.png", std::string(1000, 'x')}});
  EXPECT_EQ(SplitLines(LinkFile()).size(), 3u);
  EXPECT_EQ(blog.Inst.Read("images/demo/" + IdOf(2) + ".png").size(), 1000u);
  EXPECT_FALSE(blog.Inst.Exists("images/demo/" + IdOf(0) + ".png") || blog.Inst.Exists("images/demo/" + IdOf(1) + ".bmp"));
  EXPECT_EQ(blog.Inst.Read("velm.ini").substr(0, 8), "CHARSET=");

  // Without banners switched on, the form has no banner field and a sent banner is not stored.
  blog.Ini("");
  EXPECT_FALSE(Has(blog.OwnerPage("demo+lv"), "linkbanner"));
  Ld({{"newurllink", "http://nobanner.example/"}}, {{"linkbanner", "b.png", "png"}});
  EXPECT_FALSE(blog.Inst.Exists("images/demo/" + IdOf(3) + ".png"));
}

TEST_F(Links, EditChangeMoveAndDelete) {
  Ld({{"newurltitle", "一"}, {"newurllink", "http://one.example/"}}, {{"linkbanner", "one.jpg", "jpeg-one"}});
  blog.Inst.Write(blog.Dir + "url.link", LinkFile() + "\"old3fieldlink000\",\"http://three.example/\",\"三\"\r\n");
  const std::string one = IdOf(0), three = IdOf(1);

  // Choosing a link to edit opens the page with its fields and the hidden id.
  std::string cell = Ld({{"edtlink", one}, {"newurllink", "http://"}});
  EXPECT_TRUE(StartsWith(cell, "<form style=\"margin:0px\" action=\"./velm.exe?demo+ld\" method=\"post\" enctype=\"multipart/"
                               "form-data\">\r\n<table border=\"0\" cellpadding=\"5\" style=\"border-collapse:collapse; font-size:"
                               "x-small\">\r\n<tr style=\"background:#f0f0f0\"><td>編集リンク</td><td><input type=\"hidden\" "
                               "name=\"linkid\" value=\"" + one + "\">一</td></tr>\r\n<tr style=\"background:#f0fff0\"><td>リンクタイトル"
                               "</td><td><input style=\"width:200px\" type=\"text\" name=\"newurltitle\" value=\"一\"></td></tr>\r\n"
                               "<tr style=\"background:#c0ffc0\"><td>リンクURL</td><td><input type=\"text\" name=\"newurllink\" "
                               "size=\"40\" id=\"lksp\" value=\"http://one.example/\"><br>http:// 又は https://から始まるURLを入力"
                               "してください</td></tr>\r\n"))
      << cell;
  EXPECT_TRUE(Has(cell, "<img src=\"./images/demo/" + one + ".jpg\" alt=\"一\">"));
  EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+lv+" + one)), cell);
  EXPECT_FALSE(Has(SettingsCell(blog.OwnerPage("demo+lv+nosuchlink")), "編集リンク"));

  // A change replaces the line and the banner (another extension goes).
  cell = Ld({{"linkid", one}, {"newurltitle", "いち"}, {"newurllink", "http://uno.example/"}, {"newurlcategory", "数"}},
            {{"linkbanner", "uno.png", "png-uno"}});
  EXPECT_TRUE(StartsWith(cell, "<p style=\"color:blue\">http://uno.example/ の変更を行いました</p>"));
  EXPECT_TRUE(StartsWith(LinkFile(), "\"" + one + "\",\"http://uno.example/\",\"いち\",\"数\",\"\"\r\n"));
  EXPECT_FALSE(blog.Inst.Exists("images/demo/" + one + ".jpg"));
  EXPECT_EQ(blog.Inst.Read("images/demo/" + one + ".png"), "png-uno");
  EXPECT_TRUE(StartsWith(Ld({{"linkid", "nosuchlink"}, {"newurllink", "http://x.example/"}}),
                         "<p style=\"color:red\">http://x.example/ の変更に失敗しました</p>"));

  // Moving a link of three fields writes it with five.
  EXPECT_TRUE(StartsWith(Ld({{"movlink", three}, {"movcategory", "古い"}}), "<p style=\"color:blue\">http://three.example/ のカテゴリを変更しました</p>"));
  EXPECT_TRUE(EndsWith(LinkFile(), "\"old3fieldlink000\",\"http://three.example/\",\"三\",\"古い\",\"\"\r\n"));

  // A delete takes the line and the banner; the last delete removes the file.
  EXPECT_TRUE(StartsWith(Ld({{"dellink", one}, {"newurllink", "http://ignored.example/"}}),
                         "<p style=\"color:blue\">http://uno.example/ の削除を行いました</p>"));
  EXPECT_FALSE(blog.Inst.Exists("images/demo/" + one + ".png"));
  EXPECT_EQ(SplitLines(LinkFile()).size(), 1u);
  EXPECT_TRUE(StartsWith(Ld({{"dellink", "nosuchlink"}}), "<p style=\"color:red\">nosuchlink の削除に失敗しました</p>"));
  Ld({{"dellink", three}});
  EXPECT_FALSE(blog.AccountHas("url.link"));
}

TEST_F(Links, PlainFormsLoginAndOtherSites) {
  // The page's form without a banner may come as a plain form too.
  EXPECT_TRUE(Has(blog.OwnerPage("demo+ld", {{"newurllink", "http://plain.example/"}}), "http://plain.example/ の追加を行いました"));
  EXPECT_TRUE(Has(blog.Page("demo+lv"), kLoginFailure));
  EXPECT_TRUE(Has(blog.Page("demo+ld", "newurllink=http%3A%2F%2Fx.example%2F"), kLoginFailure));
  EXPECT_TRUE(Has(blog.OwnerUpload("demo+ld", {{"dellink", IdOf(0)}}, {}, "http://evil.example").body, kCrossSite));
  EXPECT_EQ(SplitLines(LinkFile()).size(), 1u);
}

}  // namespace

namespace {

TEST(LinkSupport, PopupPageAndLogin) {
  TAdminFixture blog;
  EXPECT_EQ(blog.OwnerPage("demo+ls"),
            "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<html lang=\"ja\"><head>\r\n<meta "
            "http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\">\r\n<meta http-equiv=\"content-style-type\" "
            "content=\"text/css\">\r\n<meta http-equiv=\"content-script-type\" content=\"text/javascript\">\r\n<title>VELM "
            "リンクサポート</title>\r\n<script type=\"text/javascript\"><!--\r\nfunction _urlcat() { "
            "document.getElementById('anchor').value = '<a href=\"' + document.getElementById('v1').value + '\" "
            "target=\"_blank\">' + document.getElementById('v2').value + '<\\/a>'; }\r\nfunction _toclip() { var a = "
            "document.getElementById('anchor'); a.select(); if (navigator.clipboard) { navigator.clipboard.writeText(a.value); "
            "} else { document.execCommand('copy'); } }\r\n// --></script>\r\n</head>\r\n<body style=\"font-size:x-small\">\r\n"
            "リンクタイトル取得<br>\r\n<form style=\"margin:0px\" action=\"./velm.exe?demo+ls\" method=\"post\">URL<br><input "
            "type=\"text\" name=\"targeturl\" id=\"v1\" value=\"\" size=\"60\"><input type=\"submit\" value=\"取得\"></form>\r\n"
            "取得タイトル <span style=\"color:red\">取得できない又は文字バケの場合は手動で入力</span><br>\r\n<input type=\"text\" "
            "name=\"targettitle\" id=\"v2\" value=\"\" size=\"60\"><input type=\"button\" value=\"結合\" onclick=\"_urlcat()\">"
            "<br>\r\nリンクアンカー<br>\r\n<input type=\"text\" id=\"anchor\" value=\"\" size=\"70\"><br>\r\n<input type=\"button\" "
            "value=\"クリップボード\" onclick=\"_toclip()\"><input type=\"button\" value=\"Close\" onclick=\"window.close()\">\r\n"
            "</body></html>\r\n");
  // The posted address comes back escaped; without the switch nothing is fetched.
  EXPECT_TRUE(Has(blog.OwnerPage("demo+ls", {{"targeturl", "http://127.0.0.1:1/\"><script>"}}),
                  "<span style=\"color:red\">リンクサポートは利用できません</span><br>"));
  EXPECT_TRUE(Has(blog.OwnerPage("demo+ls", {{"targeturl", " http://x/\"><b>"}}), "value=\" http://x/&quot;&gt;&lt;b&gt;\""));
  EXPECT_TRUE(Has(blog.Page("demo+ls"), kLoginFailure));
  // The link page offers the title button only with the switch on.
  EXPECT_FALSE(Has(blog.OwnerPage("demo+lv"), "_gettitle"));
  blog.Ini("USELINKSUPPORT=ON\r\n");
  EXPECT_TRUE(Has(blog.OwnerPage("demo+lv"), "<input type=\"button\" onclick=\"_gettitle()\" value=\"タイトル取得\"><br><span "
                                             "style=\"color:blue\">タイトル取得は最初に行って下さい。<br>取得できない・文字化けの"
                                             "場合は手動で入力して下さい</span>"));
}

}  // namespace

namespace {

// Owners saving at the same moment: every added link is kept, and style.txt is always whole.
TEST(ConcurrentSaves, NothingLostNothingTorn) {
  TAdminFixture blog;
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&, i] {
      blog.Owner("demo+ld", {{"newurllink", "http://site" + std::to_string(i) + ".example/"}});
      blog.Owner("demo+us", {{"layouttype", std::to_string(i % 8)}, {"background", "#00000" + std::to_string(i)}});
    });
  for (auto& t : threads) t.join();
  const TStringList links = SplitLines(blog.AccountFile("url.link"));
  EXPECT_EQ(links.size(), 8u);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(std::count_if(links.begin(), links.end(), [&](const std::string& l) {
                return Has(l, "\"http://site" + std::to_string(i) + ".example/\"");
              }),
              1)
        << i;
  const std::string style = blog.AccountFile("style.txt");
  EXPECT_EQ(std::count(style.begin(), style.end(), '\n'), 63);
  EXPECT_TRUE(StartsWith(style, "BACKGROUND=#00000"));
}

}  // namespace
