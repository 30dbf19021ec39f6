// Moderation and the free-text settings through the real executable: comments and trackbacks
// removed or shown from the edit page, the block lists, the custom menu and footer.
#include <gtest/gtest.h>

#include <thread>

#include "editor_fixture.h"
#include "store/comments.h"

namespace {

const std::string kClose = "\r\n</td></tr></table></body></html>\r\n";

class Moderation : public ::testing::Test {
protected:
  TOwnerFixture blog;
  const std::string id = blog.Article("c1", Stamp(1), "記事", "本文");
  std::string Line(const std::string& article, const std::string& comment, const std::string& text, int fields) const {
    std::string l = "\"c1\",\"" + article + "\",\"" + comment + "\",\"" + Stamp(2) + "\",\"名\",\"" + text + "\"";
    if (fields >= 7) l += ",\"1\"";
    if (fields >= 8) l += ",\"10.0.0.1\"";
    return l + "\r\n";
  }
};

TEST_F(Moderation, DeleteAndShowComments) {
  const std::string other = blog.Article("c1", Stamp(3), "別", "x");
  blog.Inst.Write(blog.Dir + "comment.txt", Line(id, "k1", "最初", 8) + Line(other, "k1", "別記事", 8) +
                                                 Line(id, "k1", "同じid", 6) + "broken line\r\n" + Line(id, "k2", "待ち", 8));
  // DM removes the line of that article nearest the end, then shows the article's edit page.
  TCGIResult res = blog.Owner("demo+dm", "delclogid=" + id + "&delcommentid=k1");
  EXPECT_TRUE(Has(res.body, "name=\"elogid\" value=\"" + id + "\""));
  EXPECT_EQ(blog.Inst.Read(blog.Dir + "comment.txt"),
            Line(id, "k1", "最初", 8) + Line(other, "k1", "別記事", 8) + "broken line\r\n" + Line(id, "k2", "待ち", 8));
  // The edit page lists both comments for deletion and the waiting one for approval.
  EXPECT_TRUE(Has(res.body, "<select name=\"delcommentid\" size=\"1\"><option value=\"k2\">11/02 10:00 名 : 待ち</option>"
                            "<option value=\"k1\">11/02 10:00 名 : 最初</option></select>"));
  EXPECT_TRUE(Has(res.body, "<select name=\"viewcommentid\" size=\"1\"><option value=\"k2\">"));
  // VM on an eight-field line keeps six fields and ends it with "0".
  res = blog.Owner("demo+vm", "viewclogid=" + id + "&viewcommentid=k2");
  EXPECT_TRUE(Has(res.body, "name=\"elogid\" value=\"" + id + "\""));
  EXPECT_TRUE(Has(res.body, "<select name=\"viewcommentid\" size=\"1\"><option value=\"k1\">11/02 10:00 名 : 最初</option>"
                            "</select>"));
  EXPECT_EQ(blog.Lines(blog.Dir + "comment.txt").back(),
            "\"c1\",\"" + id + "\",\"k2\",\"" + Stamp(2) + "\",\"名\",\"待ち\",\"0\"");
  // Nothing matches: nothing changes, the page follows anyway.
  const std::string before = blog.Inst.Read(blog.Dir + "comment.txt");
  for (const std::string& body : {"delclogid=" + id + "&delcommentid=zz", std::string("delclogid=../x&delcommentid=k1"),
                                  "delclogid=" + other + "&delcommentid=k2", std::string("delcommentid=k1")})
    EXPECT_EQ(blog.Owner("demo+dm", body).exitCode, 0);
  blog.Owner("demo+vm", "viewclogid=" + other + "&viewcommentid=k2");
  EXPECT_EQ(blog.Inst.Read(blog.Dir + "comment.txt"), before);
  // The last comment takes the file with it.
  blog.Inst.Write(blog.Dir + "comment.txt", Line(id, "k9", "一つ", 7));
  blog.Owner("demo+dm", "delclogid=" + id + "&delcommentid=k9");
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "comment.txt"));
  EXPECT_TRUE(Has(blog.OwnerPage("demo+dm", "delclogid=" + id + "&delcommentid=k9"), "name=\"elogid\""));
}

TEST_F(Moderation, DeleteTrackBacks) {
  auto tb = [&](const std::string& tbid, const std::string& article, const std::string& title) {
    return "\"1\",\"2026/11/05 10:00:00\",\"" + tbid + "\",\"" + article + "\",\"\xE3\x83\x96\xE3\x83\xAD\xE3\x82\xB0\",\"" +
           title + "\",\"e\",\"http://x/\"\r\n";
  };
  const std::string file = tb("20261105100000abc", id, "<script>") + tb("20261105100000abc", std::string(40, 'f'), "t") +
                           "\"only\",\"seven\",\"fields\",\"a\",\"b\",\"c\",\"d\"\r\n";
  blog.Inst.Write(blog.Dir + "trackback.txt", file);
  // The edit page lists it with the stranger's text escaped.
  EXPECT_TRUE(Has(blog.OwnerPage("demo+ec+" + id), "<select name=\"deltbid\" size=\"1\"><option value=\"20261105100000abc\">"
                                                   "11/05 10:00 ブログ : &lt;script&gt;</option></select>"));
  TCGIResult res = blog.Owner("demo+dt", "deltlogid=" + id + "&deltbid=20261105100000abc");
  EXPECT_TRUE(Has(SettingsCell(res.body), "<tr><td colspan=\"2\"><span style=\"color:red\">2026/11/05 10:00:00 "
                                          "トラックバックを削除しました</span></td></tr>"));
  EXPECT_EQ(blog.Inst.Read(blog.Dir + "trackback.txt"), file.substr(file.find("\r\n") + 2));  // the others unchanged
  res = blog.Owner("demo+dt", "deltlogid=" + id + "&deltbid=20261105100000abc");
  EXPECT_FALSE(Has(res.body, "トラックバックを削除しました"));
  blog.Inst.Write(blog.Dir + "trackback.txt", tb("t1", id, "x"));
  blog.Owner("demo+dt", "deltlogid=" + id + "&deltbid=t1");
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "trackback.txt"));
}

TEST_F(Moderation, NoCommentPostedMeanwhileIsLost) {
  std::string lines;
  for (int i = 0; i < 40; ++i) lines += Line(id, "d" + std::to_string(i), "消す", 8);
  blog.Inst.Write(blog.Dir + "comment.txt", lines);
  std::thread owner([&] {
    for (int i = 0; i < 40; i += 2) {
      blog.Owner("demo+dm", "delclogid=" + id + "&delcommentid=d" + std::to_string(i));
      blog.Owner("demo+vm", "viewclogid=" + id + "&viewcommentid=d" + std::to_string(i + 1));
    }
  });
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(AppendComment(blog.Inst.AccountFolder(), Line(id, "n" + std::to_string(i), "新", 8)));
  owner.join();
  TCommentList all;
  LoadCommentList(blog.Inst.AccountFolder(), id, true, all, 0);
  int fresh = 0, approved = 0;
  for (const TCommentIndex& c : all) {
    fresh += c.id[0] == 'n';
    approved += c.id[0] == 'd' && c.visible;
  }
  EXPECT_EQ(fresh, 60);
  EXPECT_EQ(approved, 20);
  EXPECT_EQ(all.size(), 80u);
}

TEST_F(Moderation, BlockListPages) {
  blog.Inst.Write(blog.Dir + "commentblock.txt", "spam\r\n</textarea><b>&amp;\r\n");
  blog.Inst.Write(blog.Dir + "commentipblock.txt", "\"REJECT\",\"IP\",\"10.0.0.1\",\"\"\r\n");
  std::string cell = SettingsCell(blog.OwnerPage("demo+cb"));
  EXPECT_TRUE(StartsWith(cell, "<form style=\"margin:0px\" action=\"./velm.exe?demo+bs\" method=\"post\">\r\n"
                               "<textarea name=\"commentspam\" cols=\"80\" rows=\"10\">\r\nspam\r\n&lt;/textarea&gt;&lt;b&gt;"
                               "&amp;amp;</textarea>\r\n<br><input type=\"submit\" value=\"上記の内容に変更します\"></form>\r\n"
                               "コメントブロックは投稿者名・コメント内容に指定された単語が含まれる場合にコメントを拒否します。<br>"));
  EXPECT_TRUE(Has(cell, "action=\"./velm.exe?demo+bsip\" method=\"post\">\r\n<textarea name=\"commentspam\" cols=\"80\" "
                        "rows=\"10\">\r\n&quot;REJECT&quot;,&quot;IP&quot;,&quot;10.0.0.1&quot;,&quot;&quot;</textarea>"));
  EXPECT_TRUE(Has(cell, "<b>\"処理\",\"タイプ\",\"データ1\",\"データ2\"</b>"));
  EXPECT_TRUE(Has(cell, "name=\"makefilter\""));
  EXPECT_TRUE(Has(cell, "<option value=\"IPS\">IPS(Data1にIP、Data2にサブネットマスク)</option>"));
  EXPECT_TRUE(Has(cell, "<input type=\"text\" name=\"filter\" value=\"\" style=\"width:250px\">"));
  EXPECT_TRUE(EndsWith(cell, "//--></script>" + kClose));
  cell = SettingsCell(blog.OwnerPage("demo+td"));
  EXPECT_TRUE(StartsWith(cell, "<form style=\"margin:0px\" action=\"./velm.exe?demo+ds\" method=\"post\">\r\n"
                               "<textarea name=\"trackbackspam\" cols=\"80\" rows=\"25\">\r\n</textarea>"));
  EXPECT_TRUE(Has(cell, "トラックバックブロックはトラックバックされた URL、タイトル、概要に指定した文字列が含まれる場合に"));
}

TEST_F(Moderation, FreeTextSaves) {
  struct {
    const char *Query, *Field, *File, *Title;
  } const kinds[] = {{"demo+bs", "commentspam", "commentblock.txt", "コメントブロック"},
                     {"demo+bsip", "commentspam", "commentipblock.txt", "コメントIPブロック"},
                     {"demo+ds", "trackbackspam", "trackbackblock.txt", "トラックバックブロック"}};
  for (const auto& k : kinds) {
    const std::string title = k.Title;
    // Empty lines between entries stay, trailing ones go.
    EXPECT_EQ(SettingsCell(blog.OwnerPage(k.Query, std::string(k.Field) + "=a%0D%0A%0D%0Ab%0D%0A%0D%0A%0D%0A")),
              title + "を保存しました" + kClose);
    EXPECT_EQ(blog.Inst.Read(blog.Dir + k.File), "a\r\n\r\nb\r\n");
    // Only blank lines: the file goes; again, nothing to say.
    EXPECT_EQ(SettingsCell(blog.OwnerPage(k.Query, std::string(k.Field) + "=%0D%0A%0D%0A")), title + "をクリアしました" + kClose);
    EXPECT_FALSE(blog.Inst.Exists(blog.Dir + k.File));
    EXPECT_EQ(SettingsCell(blog.OwnerPage(k.Query, std::string(k.Field) + "=")), kClose.substr(2));
  }
  // The custom menu and footer obey their switches and leave their files alone when off.
  blog.Inst.Write(blog.Dir + "custommenu.txt", "old\r\n");
  blog.Inst.Write(blog.Dir + "customfooter.txt", "old\r\n");
  EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+cs", "custommenu=new")), "この機能は無効です(14)" + kClose);
  EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+cz", "customfooter=new")), "この機能は無効です(16)" + kClose);
  EXPECT_EQ(blog.Inst.Read(blog.Dir + "custommenu.txt") + blog.Inst.Read(blog.Dir + "customfooter.txt"), "old\r\nold\r\n");
  blog.Ini("USECUSTOMMENU=ON\r\nUSECUSTOMFOOTER=on\r\n");
  EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+cs", "custommenu=%3CCALENDAR%3E%0D%0A")), "カスタムメニューを保存しました" + kClose);
  EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+cz", "customfooter=%3Cp%3E%E8%B6%B3")), "カスタムフッタを保存しました" + kClose);
  EXPECT_EQ(blog.Inst.Read(blog.Dir + "custommenu.txt") + blog.Inst.Read(blog.Dir + "customfooter.txt"),
            "<CALENDAR>\r\n<p>\xE8\xB6\xB3\r\n");
  EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+cz", "customfooter=")), "カスタムフッタをクリアしました" + kClose);
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "customfooter.txt"));
}

TEST_F(Moderation, LargeAndBinaryBlockListStillBlocks) {
  std::string body = "commentspam=";
  for (int i = 0; i < 10000; ++i) body += "word" + std::to_string(i) + "%0D%0A";
  body += "%00%01%FF%81%0D%0Acasino";
  EXPECT_TRUE(Has(blog.OwnerPage("demo+ds", body.replace(0, 11, "trackbackspam")), "トラックバックブロックを保存しました"));
  const auto lines = blog.Lines(blog.Dir + "trackbackblock.txt");
  ASSERT_EQ(lines.size(), 10002u);
  EXPECT_EQ(lines[10000], std::string("\0\x01\xFF\x81", 4));
  // The trackback receiver still reads the list and blocks by it.
  blog.Style("USETRACKBACK=1\r\n");
  TCGIRun ping;
  ping.query = "demo+tb+" + id;
  ping.method = "POST";
  ping.body = "url=http://x/&title=Ca+sino&excerpt=e&blog_name=b";
  EXPECT_TRUE(Has(blog.Inst.Run(ping).body, "<error>1</error>"));
  ping.body = "url=http://x/&title=fine&excerpt=e&blog_name=b";
  EXPECT_TRUE(Has(blog.Inst.Run(ping).body, "<error>0</error>"));

  // The same for the comment lists: 10,000 words, 10,000 address rules, bytes of no text.
  body.replace(0, 13, "commentspam");
  EXPECT_TRUE(Has(blog.OwnerPage("demo+bs", body), "コメントブロックを保存しました"));
  std::string rules = "commentspam=";
  for (int i = 0; i < 10000; ++i) rules += "%22PASS%22%2C%22IP%22%2C%2210.1." + std::to_string(i / 250) + "." + std::to_string(i % 250) + "%22%0D%0A";
  rules += "%00%FF%22%0D%0A%22REJECT%22%2C%22IP%22%2C%2210.9.9.9%22%2C%22%22";
  EXPECT_TRUE(Has(blog.OwnerPage("demo+bsip", rules), "コメントIPブロックを保存しました"));
  EXPECT_EQ(blog.Lines(blog.Dir + "commentipblock.txt").size(), 10002u);
  blog.Style("USETRACKBACK=1\r\nUSECOMMENT=1\r\n");
  auto post = [&](const std::string& text, const std::string& address) {
    TCGIRun r;
    r.query = "demo+sm+" + id;
    r.method = "POST";
    r.body = "category=c1&commentname=reader&comment=" + text;
    r.remoteAddr = address;
    blog.Inst.Run(r);
    return blog.Records("comment.txt").size();
  };
  EXPECT_EQ(post("hello", "10.0.0.5"), 1u);
  EXPECT_EQ(post("Ca+sino+here", "10.0.0.5"), 1u);  // a word of the list
  EXPECT_EQ(post("hello+again", "10.9.9.9"), 1u);   // an address of the list
  EXPECT_EQ(post("hello+again", "10.1.0.3"), 2u);   // passed by a rule
}

TEST_F(Moderation, CustomMenuAndFooterPages) {
  std::string cell = SettingsCell(blog.OwnerPage("demo+cm"));
  EXPECT_TRUE(StartsWith(cell, "<span style=\"color:blue\">未設定の為、デフォルトが読み込まれています</span><br>\r\n"
                               "<form style=\"margin:0px\" action=\"./velm.exe?demo+cs\" method=\"post\">\r\n"
                               "<textarea name=\"custommenu\" cols=\"80\" rows=\"25\">\r\n&lt;ATOMMARK&gt;\r\n&lt;hr&gt;\r\n"
                               "カレンダ&lt;br&gt;\r\n&lt;CALENDAR&gt;\r\n"));
  EXPECT_TRUE(Has(cell, "&lt;ACCESSCOUNT&gt;\r\n&lt;hr&gt;</textarea>"));
  EXPECT_TRUE(Has(cell, ">マクロ説明</a>"));
  for (const char* tag : {"ATOMMARK", "RSSMARK20", "MONTHCONTENT", "PHOTOALBUM", "SEARCHBOX", "RANDOMPHOTOURL", "LASTPHOTODATE"})
    EXPECT_TRUE(Has(cell, std::string("<tr><td>&lt;") + tag + "&gt;</td>")) << tag;
  EXPECT_TRUE(Has(cell, "&lt;CRANK count=\"10\"&gt;"));
  EXPECT_TRUE(Has(cell, "<tr><td>nowbgcolor</td><td>#c0ffc0</td>"));
  blog.Inst.Write(blog.Dir + "custommenu.txt", "mine\r\n");
  cell = SettingsCell(blog.OwnerPage("demo+cm"));
  EXPECT_TRUE(StartsWith(cell, "<form style=\"margin:0px\" action=\"./velm.exe?demo+cs\" method=\"post\">\r\n"
                               "<textarea name=\"custommenu\" cols=\"80\" rows=\"25\">\r\nmine</textarea>"));
  blog.Inst.Write(blog.Dir + "customfooter.txt", "<p>足</p>");
  cell = SettingsCell(blog.OwnerPage("demo+cf"));
  EXPECT_TRUE(StartsWith(cell, "<form style=\"margin:0px\" action=\"./velm.exe?demo+cz\" method=\"post\">\r\n"
                               "<textarea name=\"customfooter\" cols=\"80\" rows=\"25\">\r\n&lt;p&gt;足&lt;/p&gt;</textarea>\r\n"
                               "<br><input type=\"submit\" value=\"上記の内容で登録します\"></form>\r\n"
                               "カスタムフッタの設定は、全体の下に任意のHTMLを出力することができます"));
}

}  // namespace
