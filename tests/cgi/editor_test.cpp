// The article editor through the real executable: the forms, saving new and changed articles,
// the chooser and the delete.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "editor_fixture.h"
#include "store/articles.h"
#include "text/DHash.h"

namespace {

class Editor : public ::testing::Test {
protected:
  TOwnerFixture blog;
  // A new article saved through the form; returns its index record.
  std::vector<std::string> SaveNew(const std::string& body) {
    const size_t before = blog.Records("cindex.txt").size();
    const TCGIResult res = blog.Owner("demo+ss", body);
    EXPECT_TRUE(Has(SettingsCell(res.body), "記事を新規保存しました")) << res.body;
    const auto index = blog.Records("cindex.txt");
    EXPECT_EQ(index.size(), before + 1);
    return index.empty() ? std::vector<std::string>() : index.back();
  }
};

TEST_F(Editor, EveryCommandChecksTheLogin) {
  const std::string id = blog.Article("c1", Stamp(1), "記事", "本文");
  for (const char* q : {"demo+wc", "demo+lc", "demo+ec+", "demo+ss", "demo+dc", "demo+iu", "demo+dw", "demo+du",
                        "demo+dm", "demo+vm", "demo+dt", "demo+cb", "demo+bs", "demo+bsip", "demo+td", "demo+ds",
                        "demo+cm", "demo+cs", "demo+cf", "demo+cz"}) {
    const std::string q2 = std::string(q) + (std::string(q) == "demo+ec+" ? id : "");
    EXPECT_EQ(blog.Page(q2, "subject=x&dellogid=" + id + "&commentspam=x"), kLoginFailure) << q;
    EXPECT_EQ(blog.Page(q2, "", "INNAME=owner; INPASS=Secret"), kLoginFailure) << q;
  }
  EXPECT_EQ(blog.Records("cindex.txt").size(), 1u);
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "commentblock.txt"));
  // A page of another site cannot save or delete through the owner's browser.
  TCGIRun r;
  r.query = "demo+dc";
  r.method = "POST";
  r.body = "dellogid=" + id;
  r.cookie = blog.Inst.LoginCookie();
  r.origin = "http://evil.example";
  EXPECT_FALSE(Has(blog.Inst.Run(r).body, "記事を削除しました"));
  EXPECT_TRUE(blog.Inst.Exists(blog.Dir + id + ".txt"));
}

TEST_F(Editor, NewArticleForm) {
  const time_t start = time(nullptr);
  std::string cell = SettingsCell(blog.OwnerPage("demo+wc"));
  EXPECT_TRUE(StartsWith(cell, "<table border=\"0\" cellpadding=\"5\" style=\"border-collapse:collapse; font-size:x-small\">\r\n"
                               "<tr style=\"background:#fff0f0\"><td>アップロード画像</td><td><form style=\"margin:0px\" "
                               "action=\"./velm.exe?demo+iu\" method=\"post\" enctype=\"multipart/form-data\">"));
  EXPECT_TRUE(Has(cell, "<tr style=\"background:#ffc0c0\"><td colspan=\"2\">残り 512000 / 512000 byte (500KB)<br>"
                        ".JPG .GIF .PNG ファイルがアップロード可能(1file 500KB)</td></tr>\r\n"
                        "<form style=\"margin:0px\" action=\"./velm.exe?demo+ss\" method=\"post\" name=\"wcontent\">\r\n"
                        "<tr style=\"background:#f0fff0\"><td>トラックバック</td><td><input type=\"text\" name=\"trackback\" "
                        "value=\"\" size=\"60\">"));
  // Without USEEDITDATE= the date is text with a hidden field: the time the form was made.
  const std::string dateCell = "<td>作成日付</td><td>";
  const size_t at = cell.find(dateCell);
  ASSERT_NE(at, std::string::npos);
  EXPECT_TRUE(StampSince(start, cell.substr(at + dateCell.size(), 19)));
  EXPECT_TRUE(Has(cell, "<select name=\"category\" size=\"1\"><option value=\"c1\">日記</option></select>"));
  EXPECT_TRUE(Has(cell, "<textarea name=\"ucontent\" cols=\"55\" rows=\"20\">\r\n</textarea>"));
  EXPECT_TRUE(Has(cell, "<input type=\"checkbox\" name=\"cvisible\" value=\"1\" checked>記事を公開"));
  EXPECT_TRUE(Has(cell, "<tr style=\"background:#f7f7f7\"><td>更新Pingを送信</td><td><input type=\"checkbox\" "
                        "name=\"sendupdateping\" value=\"1\"></td></tr>\r\n"));
  EXPECT_TRUE(Has(cell, "<input type=\"submit\" value=\"上記の内容で登録します\">"));
  for (const char* absent : {"elogid", "タグ挿入", "リンクサポート", "利用されなかった", "アップロード済画像"})
    EXPECT_FALSE(Has(cell, absent)) << absent;
  EXPECT_TRUE(EndsWith(cell, "</table>\r\n</td></tr></table></div></body></html>\r\n"));

  // The switches: an editable date, tag templates, link support, the ping box checked, no limits.
  blog.Ini("USEEDITDATE=on\r\nUSELINKSUPPORT=ON\r\nATTACHALLSIZE=0\r\nATTACHMAXSIZE=0\r\nEDITCOLS=70\r\n"
           "TEMPTAGSTART\r\n\"太字\",\"<b></b>\"\r\nnot a pair\r\nTEMPTAGEND\r\n");
  blog.Style("UPDATEPINGDEFAULT=1\r\n");
  cell = SettingsCell(blog.OwnerPage("demo+wc"));
  EXPECT_TRUE(Has(cell, "<td>作成日付</td><td><input size=\"25\" maxlength=\"19\" type=\"text\" name=\"cdate\" value=\""));
  EXPECT_TRUE(Has(cell, "<input type=\"button\" value=\"現在の日付時刻\" onclick=\"_getdatetime()\">"));
  EXPECT_TRUE(Has(cell, "<tr><td>タグ挿入</td><td><select id=\"itag\" name=\"itag\"><option value=\"&lt;b&gt;&lt;/b&gt;\">"
                        "太字</option></select><input type=\"button\" value=\"タグ挿入\""));
  EXPECT_TRUE(Has(cell, "<tr style=\"background:white\"><td>サポート</td><td><input type=\"button\" value=\"リンクサポート\" "
                        "onclick=\"window.open('./velm.exe?demo+ls'"));
  EXPECT_TRUE(Has(cell, "cols=\"70\" rows=\"20\""));
  EXPECT_TRUE(Has(cell, "name=\"sendupdateping\" value=\"1\" checked></td></tr>\r\n"));
  EXPECT_TRUE(Has(cell, "<td colspan=\"2\">.JPG .GIF .PNG ファイルがアップロード可能</td>"));

  // No category: nothing but the notice.
  blog.Inst.Remove(blog.Dir + "category.txt");
  EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+wc")),
            "<span style=\"color:red\">カテゴリはありません</span>\r\n</td></tr></table></div></body></html>\r\n");
}

TEST_F(Editor, SavesANewArticle) {
  const time_t start = time(nullptr);
  auto line = SaveNew("category=c1&cdate=2009%2F05%2F17+08%3A03%3A09&subject=%E4%BD%95<b>&ucontent=a%0D%0Ab%0D%0A%0D%0A"
                      "&cvisible=1&trackback=&sendupdateping=");
  ASSERT_EQ(line.size(), 6u);
  EXPECT_TRUE(IsArticleId(line[1]));
  bool fromSaveTime = false;  // the id is the digest of the time of saving
  for (time_t t = start; t <= time(nullptr); ++t) fromSaveTime |= line[1] == ArticleIdOf(FormatStamp(FromUnix(t)));
  EXPECT_TRUE(fromSaveTime);
  EXPECT_EQ(line[0] + "|" + line[2] + "|" + line[3] + "|" + line[4] + "|" + line[5],
            "c1|2009/05/17 08:03:09|2009/05/17 08:03:09|\xE4\xBD\x95&lt;b&gt;|1");
  EXPECT_EQ(blog.Inst.Read(blog.Dir + line[1] + ".txt"), "a\r\nb\r\n");  // trailing empty lines go
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + line[1] + ".iix"));
  EXPECT_TRUE(Has(blog.Page("demo+sl+" + line[1]), "a<br>b<br>"));

  // Empty subject, a date that is no date, HTML switched off, hidden.
  for (const char* date : {"2009%2F02%2F30+12%3A00%3A00", "abc", ""}) {
    const time_t t0 = time(nullptr);
    line = SaveNew(std::string("category=c1&cdate=") + date + "&subject=&ucontent=<b>x</b>+<BIMAGE+src=1>&cnvhtml=1");
    EXPECT_TRUE(StampSince(t0, line[2]) && line[3] == line[2]) << date << " " << line[2];
    EXPECT_EQ(line[4] + "|" + line[5], "No title|0");
    EXPECT_EQ(blog.Inst.Read(blog.Dir + line[1] + ".txt"), "&lt;b&gt;x&lt;/b&gt; <BIMAGE src=1>\r\n");
  }
  const std::string longDate(500, '9');
  const time_t t0 = time(nullptr);
  EXPECT_TRUE(StampSince(t0, SaveNew("subject=x&cdate=" + longDate)[2]));
  // A save with no fields at all is an empty hidden article without category.
  line = SaveNew("");
  EXPECT_EQ(line[0] + "|" + line[4] + "|" + line[5], "|No title|0");
  EXPECT_EQ(blog.Inst.Read(blog.Dir + line[1] + ".txt"), "");
}

TEST_F(Editor, BadTextKeepsOneRecordPerLine) {
  // CR, LF, quotes, commas, tabs, NUL and a lone first byte of a double-byte character.
  const std::string nasty = "a%0D%0Ab%22c%2Cd%09e%00f%27g%81";
  SaveNew("category=c1%22%0D%0A&subject=" + nasty + "&ucontent=" + nasty + "%0D%0Aline2&cvisible=1");
  // Two megabytes of text: as much as a form may bring, shared by subject and body.
  std::string huge(1000 * 1000, 'x');
  for (size_t i = 0; i < huge.size(); i += 1000) huge.replace(i, 6, "%0D%0A");
  SaveNew("subject=" + huge + "&ucontent=" + huge + "&cvisible=1");
  // More is refused before anything is read or written.
  const TCGIResult big = blog.Owner("demo+ss", "subject=s&ucontent=" + std::string(2 * 1024 * 1024, 'y'));
  EXPECT_EQ(big.status, "413 Request Entity Too Large");
  const auto index = blog.Records("cindex.txt");
  ASSERT_EQ(index.size(), 2u);
  EXPECT_EQ(blog.Lines(blog.Dir + "cindex.txt").size(), 2u);
  for (const auto& r : index) ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(index[0][0], "c1&quot;");
  EXPECT_EQ(index[0][4], "ab&quot;c,d ef'g");
  EXPECT_EQ(index[0][5], "1");
  EXPECT_EQ(blog.Inst.Read(blog.Dir + index[0][1] + ".txt"), "a\r\nb\"c,d\tef'g\x81\r\nline2\r\n");
  EXPECT_EQ(blog.Lines(blog.Dir + index[1][1] + ".txt").size(), 1001u);  // a first empty line, 1000 breaks
  EXPECT_EQ(Topics(blog.Page("demo")).size(), 2u);
}

TEST_F(Editor, IndexOrderAndTheNewArticleList) {
  blog.Ini("USEEDITDATE=ON\r\nALLNEWSNAME=allnews.txt\r\nALLNEWSCOUNT=2\r\n");
  blog.Inst.Write(blog.Dir + "title.txt", "私のブログ\r\n");
  for (const char* date : {"2009/05/03", "2009/05/01", "2009/05/02"})
    SaveNew(std::string("category=c1&cvisible=1&subject=") + date + "&cdate=" + date + "+10:00:00");
  std::vector<std::string> dates;
  for (const auto& r : blog.Records("cindex.txt")) dates.push_back(r[2]);
  EXPECT_EQ(dates, (std::vector<std::string>{"2009/05/01 10:00:00", "2009/05/02 10:00:00", "2009/05/03 10:00:00"}));
  const auto news = blog.Lines("allnews.txt");
  ASSERT_EQ(news.size(), 2u);
  const auto index = blog.Records("cindex.txt");
  EXPECT_EQ(news[1], "\"2009/05/02 10:00:00\",\"私のブログ\",\"2009/05/02\",\"demo\",\"" + index[1][1] + "\"");
}

TEST_F(Editor, SavesSentTogetherGetTheirOwnIds) {
  // A form sent twice, and saves from several windows, within the same second.
  std::vector<std::thread> saves;
  for (int i = 0; i < 6; ++i)
    saves.emplace_back([&, i] { blog.Owner("demo+ss", "cvisible=1&subject=s" + std::to_string(i) + "&ucontent=b" + std::to_string(i)); });
  for (auto& t : saves) t.join();
  const auto index = blog.Records("cindex.txt");
  ASSERT_EQ(index.size(), 6u);
  std::set<std::string> ids, bodies;
  for (const auto& r : index) {
    ids.insert(r[1]);
    EXPECT_EQ(blog.Inst.Read(blog.Dir + r[1] + ".txt"), "b" + r[4].substr(1) + "\r\n") << r[4];
  }
  EXPECT_EQ(ids.size(), 6u);
}

TEST_F(Editor, ChangesAnArticle) {
  blog.Comment("c1", ArticleIdOf(Stamp(2)), "読者", "待っています", false);
  const std::string id = blog.Article("c1", Stamp(2), "元の&lt;件名&gt;", "元の本文\r\n&lt;b&gt;\r\n", false);
  blog.Category("c2", "旅行");
  // The edit form holds the stored article.
  std::string cell = SettingsCell(blog.OwnerPage("demo+ec+" + id));
  EXPECT_TRUE(Has(cell, "<tr><td colspan=\"2\">この記事は非公開に設定されています</td></tr>"));
  EXPECT_TRUE(Has(cell, "<tr style=\"background:#fff0f0\"><td>追加画像アップロード</td><td><form style=\"margin:0px\" "
                        "action=\"./velm.exe?demo+iu+" + id + "\""));
  EXPECT_TRUE(Has(cell, "value=\"アップロード\""));
  EXPECT_TRUE(Has(cell, "画像の追加・削除を行った場合、ブラウザによってキャッシュが行われ画像の更新がされない場合があります"));
  EXPECT_TRUE(Has(cell, "name=\"wcontent\">\r\n<input type=\"hidden\" name=\"elogid\" value=\"" + id + "\">\r\n"));
  EXPECT_TRUE(Has(cell, "<td>作成日付</td><td>" + Stamp(2) + "<input type=\"hidden\" name=\"cdate\" value=\"" + Stamp(2)));
  EXPECT_TRUE(Has(cell, "<option value=\"c1\" selected>日記</option><option value=\"c2\">旅行</option>"));
  EXPECT_TRUE(Has(cell, "name=\"subject\" value=\"元の&lt;件名&gt;\""));
  EXPECT_TRUE(Has(cell, "rows=\"20\">\r\n元の本文\r\n&amp;lt;b&amp;gt;\r\n</textarea>"));  // comes back as stored
  EXPECT_TRUE(Has(cell, "name=\"cvisible\" value=\"1\">記事を公開"));
  EXPECT_TRUE(Has(cell, "value=\"上記の内容に変更します\""));
  EXPECT_TRUE(Has(cell, "action=\"./velm.exe?demo+dc\" method=\"post\"><input type=\"hidden\" name=\"dellogid\" value=\"" +
                        id + "\"><input type=\"submit\" value=\"この記事を削除する\"></form>"));
  EXPECT_TRUE(Has(cell, "<input type=\"hidden\" name=\"viewclogid\" value=\"" + id +
                        "\"><select name=\"viewcommentid\" size=\"1\"><option value=\"c1\">11/30 12:00 読者 : 待っています"));
  for (const char* absent : {"name=\"trackback\"", "sendupdateping", "checked>記事を公開"})
    EXPECT_FALSE(Has(cell, absent)) << absent;

  // The save keeps the id, takes the form's date and sets the last-saved time.
  const time_t start = time(nullptr);
  const std::string page = blog.OwnerPage("demo+ss", "elogid=" + id + "&category=c2&cdate=2010%2F01%2F02+03%3A04%3A05"
                                          "&subject=%E6%96%B0&ucontent=%E6%96%B0%E3%81%97%E3%81%84&cvisible=1");
  auto index = blog.Records("cindex.txt");
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(index[0][0] + "|" + index[0][1] + "|" + index[0][2] + "|" + index[0][4] + "|" + index[0][5],
            "c2|" + id + "|2010/01/02 03:04:05|\xE6\x96\xB0|1");
  EXPECT_TRUE(StampSince(start, index[0][3]));
  EXPECT_EQ(blog.Inst.Read(blog.Dir + id + ".txt"), "\xE6\x96\xB0\xE3\x81\x97\xE3\x81\x84\r\n");
  // Then the edit form again, with the message.
  cell = SettingsCell(page);
  EXPECT_TRUE(StartsWith(cell.substr(cell.find("\r\n") + 2), "<tr><td colspan=\"2\"><span style=\"color:blue; font-weight:bold\">"
                                                           "記事を修正保存しました</span></td></tr>"));
  EXPECT_TRUE(Has(cell, "name=\"cvisible\" value=\"1\" checked>記事を公開"));

  // Ids that name no article or no file: nothing written, the edit page says so.
  for (const std::string& bad : {std::string(40, 'a'), std::string("../../velm"), id.substr(0, 39) + "G", std::string("..")}) {
    const std::string reply = SettingsCell(blog.OwnerPage("demo+ss", "elogid=" + bad + "&subject=x&ucontent=y"));
    EXPECT_EQ(reply, "対象記事はありません\r\n</td></tr></table></div></body></html>\r\n") << bad;
    EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+ec+" + bad)), reply) << bad;
  }
  EXPECT_EQ(blog.Records("cindex.txt"), index);
  EXPECT_EQ(blog.Inst.Read(blog.Dir + id + ".txt"), "\xE6\x96\xB0\xE3\x81\x97\xE3\x81\x84\r\n");
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + std::string(40, 'a') + ".txt"));
}

TEST_F(Editor, ChooserAndList) {
  blog.Category("c2", "秘密", false);
  blog.Article("c1", "2008/03/01 10:00:00", "古い", "x");
  const std::string b = blog.Article("c2", "2009/05/01 10:00:00", "五月", "x", false);
  const std::string c = blog.Article("c1", "2009/05/20 10:00:00", "五月二", "x");
  blog.Article("c1", "2009/06/01 10:00:00", "六月", "x");
  blog.Comment("c1", c, "読者", "一");
  blog.Comment("c1", c, "読者", "二", false);
  std::string cell = SettingsCell(blog.OwnerPage("demo+lc"));
  const std::string month = std::to_string(Now().Month);
  EXPECT_TRUE(StartsWith(cell, "修正する記事の登録月を選択してください\r\n<form style=\"margin:0px\" action=\"./velm.exe?demo+lc\" "
                               "method=\"post\">\r\n<select name=\"syear\" size=\"1\"><option value=\"2009\">2009年</option>"
                               "<option value=\"2008\">2008年</option></select>\r\n"));
  EXPECT_TRUE(Has(cell, "<option value=\"" + month + "\" selected>" + month + "月</option>"));
  EXPECT_TRUE(Has(cell, "<option value=\"99\">全て</option></select>\r\n<select name=\"scategory\" size=\"1\"><option value=\"\">"
                        "全てのカテゴリ</option><option value=\"c1\">日記</option><option value=\"c2\">秘密</option></select>"));

  cell = SettingsCell(blog.OwnerPage("demo+lc", "syear=2009&smonth=5&scategory="));
  EXPECT_TRUE(StartsWith(cell, "修正を行う記事を選択してください\r\n"));
  EXPECT_TRUE(Has(cell, "<tr><td>記事日付</td><td>カテゴリ</td><td>件名</td><td>非公開コメント</td><td>コメント数</td><td>記事公開</td>"
                        "<td>プレビュー</td></tr>\r\n"
                        "<tr><td>2009/05/20 10:00:00</td><td>日記</td><td><a href=\"./velm.exe?demo+ec+" + c + "\">五月二</a></td>"
                        "<td>1</td><td>2</td><td>O</td><td><a href=\"./velm.exe?demo+lp+" + c + "\" target=\"_blank\">プレビュー</a>"
                        "</td></tr>\r\n"
                        "<tr><td>2009/05/01 10:00:00</td><td>秘密</td><td><a href=\"./velm.exe?demo+ec+" + b + "\">五月</a></td>"
                        "<td>0</td><td>0</td><td style=\"background:silver\">X</td>"));
  auto rows = [&](const std::string& body) {
    const std::string s = SettingsCell(blog.OwnerPage("demo+lc", body));
    std::vector<std::string> titles;
    for (size_t p = s.find("+ec+"); p != std::string::npos; p = s.find("+ec+", p + 1))
      titles.push_back(s.substr(s.find('>', p) + 1, s.find("</a>", p) - s.find('>', p) - 1));
    return titles;
  };
  using T = std::vector<std::string>;
  EXPECT_EQ(rows("syear=2009&smonth=99"), (T{"六月", "五月二", "五月"}));
  EXPECT_EQ(rows("syear=2009&smonth=99&scategory=c2"), T{"五月"});
  EXPECT_EQ(rows("syear=2008&smonth=3"), T{"古い"});
  for (const char* none : {"syear=2009&smonth=4", "syear=20&smonth=5", "syear=2009&smonth=13", "syear=2009&smonth=x",
                           "syear=2009&smonth=5&scategory=zz"})
    EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+lc", none)),
              "修正を行う記事を選択してください\r\n<br>対象記事はありません\r\n</td></tr></table></div></body></html>\r\n")
        << none;
  // An article written later with an earlier date is found wherever it stands in the index.
  blog.Article("c1", "2009/05/25 10:00:00", "五月末", "x", true, "", ArticleIdOf("late"));
  EXPECT_EQ(rows("syear=2009&smonth=5"), (T{"五月末", "五月二", "五月"}));
  EXPECT_EQ(rows("syear=2008&smonth=99"), T{"古い"});
}

TEST_F(Editor, DeletesAnArticleWithItsFiles) {
  const std::string id = blog.Article("c1", Stamp(1), "消す", "本文");
  const std::string other = blog.Article("c1", Stamp(2), "残す", "本文");
  blog.Inst.Write(blog.Dir + id + ".iix", id + "-1.jpg\r\n" + id + "-2.pdf\r\n");
  for (const std::string& f : {id + "-1.jpg", id + "-2.pdf", id + "-3.GIF", other + "-1.jpg"}) blog.Inst.Write("images/demo/" + f, "p");
  blog.Comment("c1", id, "a", "消える");
  blog.Comment("c1", other, "b", "残る");
  blog.Inst.Write(blog.Dir + "trackback.txt", "\"1\",\"" + Stamp(3) + "\",\"20261103100000abc\",\"" + id +
                                                "\",\"b\",\"t\",\"e\",\"http://x/\"\r\n");
  for (const std::string& bad : {std::string(40, 'b'), std::string("../x"), std::string()})
    EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+dc", "dellogid=" + bad)),
              "対象記事はありません\r\n</td></tr></table></div></body></html>\r\n");
  EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+dc", "dellogid=" + id)),
            "記事を削除しました\r\n</td></tr></table></div></body></html>\r\n");
  EXPECT_EQ(blog.Records("cindex.txt").size(), 1u);
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + id + ".txt") || blog.Inst.Exists(blog.Dir + id + ".iix"));
  EXPECT_EQ(blog.Images(), std::vector<std::string>{other + "-1.jpg"});
  ASSERT_EQ(blog.Records("comment.txt").size(), 1u);
  EXPECT_EQ(blog.Records("comment.txt")[0][5], "残る");
  EXPECT_EQ(blog.Records("trackback.txt").size(), 1u);  // trackbacks stay
  // The last article takes the index with it.
  blog.OwnerPage("demo+dc", "dellogid=" + other);
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "cindex.txt"));
}

}  // namespace
