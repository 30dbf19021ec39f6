// The profile, user colour and gadget pages and what their saves write.
#include <gtest/gtest.h>

#include "admin_fixture.h"

namespace {

TEST(ProfilePage, SavedOnOneLineAndEditedOnSeveral) {
  TAdminFixture blog;
  EXPECT_TRUE(Has(blog.Page("demo"), "プロフィールは未設定です"));
  const std::string empty = SettingsCell(blog.OwnerPage("demo+pv"));
  EXPECT_EQ(empty, "<form style=\"margin:0px\" action=\"./velm.exe?demo+ps\" method=\"post\">\r\n<table border=\"0\" "
                   "cellpadding=\"5\" style=\"border-collapse:collapse; font-size:x-small\">\r\n<tr style=\"background:#f0fff0\">"
                   "<td>プロフィール</td><td><textarea name=\"userprofile\" rows=\"15\" cols=\"30\"></textarea></td></tr>\r\n"
                   "</table>\r\n<input type=\"submit\" value=\"上記の内容に変更します\"></form>\r\n" + kPageEnd);

  const std::string cell = SettingsCell(blog.OwnerPage("demo+ps", {{"userprofile", "東京在住\r\n<b>猫</b>好き &amp; 犬"}}));
  EXPECT_TRUE(StartsWith(cell, "<p style=\"color:blue\">プロフィールの保存を行いました</p>\r\n"));
  EXPECT_EQ(blog.AccountFile("profile.txt"), "東京在住<br><b>猫</b>好き &amp; 犬\r\n");
  // Shown again on two lines, escaped so that it comes back as it was typed.
  EXPECT_TRUE(Has(cell, "<textarea name=\"userprofile\" rows=\"15\" cols=\"30\">東京在住\r\n&lt;b&gt;猫&lt;/b&gt;好き &amp;amp; 犬"
                        "</textarea>"));
  EXPECT_TRUE(Has(blog.Page("demo"), "東京在住<br><b>猫</b>好き &amp; 犬"));

  // A file that cannot be replaced is reported.
  blog.Inst.Remove(blog.Dir + "profile.txt");
  blog.Inst.Write(blog.Dir + "profile.txt/x", "");
  EXPECT_TRUE(Has(blog.OwnerPage("demo+ps", {{"userprofile", "x"}}), "<p style=\"color:red\">プロフィールの保存に失敗しました</p>"));
  EXPECT_TRUE(Has(blog.Page("demo+ps", "userprofile=x"), kLoginFailure));
}

TEST(UserColors, CompleteRowsSavedEmptyFormClears) {
  TAdminFixture blog;
  std::string cell = SettingsCell(blog.OwnerPage("demo+hc"));
  EXPECT_TRUE(StartsWith(cell, "<form style=\"margin:0px\" action=\"./velm.exe?demo+hs\" method=\"post\">\r\n<table border=\"1\" "
                               "cellpadding=\"3\" style=\"border-collapse:collapse; font-size:x-small\">\r\n<tr><td>色の名前</td>"
                               "<td>カラーコード</td></tr>\r\n<tr><td><input style=\"width:150px\" type=\"text\" name=\"colorname0\" "
                               "value=\"\"></td><td><input type=\"text\" name=\"colorcode0\" value=\"\"></td></tr>\r\n"));
  EXPECT_TRUE(Has(cell, "name=\"colorcode19\" value=\"\"></td></tr>\r\n</table>\r\n<input type=\"submit\" value=\"上記の内容で登録します\">"));
  EXPECT_FALSE(Has(cell, "colorname20"));

  cell = SettingsCell(blog.OwnerPage("demo+hs", {{"colorname0", " 空 "}, {"colorcode0", "#87ceeb"}, {"colorname1", "名前だけ"},
                                                {"colorcode2", "#000"}, {"colorname5", "\"引用\"<色>"}, {"colorcode5", "red\r\n\"x\"<y>"},
                                                {"colorname19", "最後"}, {"colorcode19", "navy"}, {"colorname20", "範囲外"},
                                                {"colorcode20", "red"}}));
  EXPECT_TRUE(StartsWith(cell, "<p style=\"color:blue\">設定を保存しました</p>\r\n"));
  EXPECT_EQ(blog.AccountFile("usercolor.txt"), "\" 空 \",\"#87ceeb\"\r\n\"&quot;引用&quot;&lt;色&gt;\",\"redxy\"\r\n\"最後\",\"navy\"\r\n");
  EXPECT_TRUE(Has(cell, "name=\"colorname1\" value=\"&quot;引用&quot;&lt;色&gt;\"></td><td><input type=\"text\" name=\"colorcode1\" "
                        "value=\"redxy\">"));
  // The colours join every colour choice of the settings page.
  EXPECT_TRUE(Has(blog.OwnerPage("demo+vv"), "<option value=\"navy\" style=\"color:navy\">最後</option>"));

  cell = SettingsCell(blog.OwnerPage("demo+hs", {{"colorname0", ""}, {"colorcode0", "red"}}));
  EXPECT_TRUE(StartsWith(cell, "<p style=\"color:blue\">ユーザーカラーをクリアしました</p>"));
  EXPECT_FALSE(blog.AccountHas("usercolor.txt"));
  EXPECT_FALSE(Has(blog.OwnerPage("demo+vv"), "最後"));
}

TEST(UserColors, MoreThanTwentyStoredShowsTwenty) {
  TAdminFixture blog;
  std::string file;
  for (int i = 0; i < 25; ++i) file += "\"c" + std::to_string(i) + "\",\"#0000" + TwoDigits(i) + "\"\r\n";
  blog.Inst.Write(blog.Dir + "usercolor.txt", file);
  const std::string cell = SettingsCell(blog.OwnerPage("demo+hc"));
  EXPECT_TRUE(Has(cell, "name=\"colorname19\" value=\"c19\""));
  EXPECT_FALSE(Has(cell, "c20"));
}

TEST(Gadgets, EveryBoxSavedBetweenItsMarks) {
  TAdminFixture blog;
  blog.Ini("SIDEMENUMAX=5\r\nDEFAULTSIDEMENU2START\r\n既定の<b>箱</b>\r\nDEFAULTSIDEMENU2END\r\n");
  std::string cell = SettingsCell(blog.OwnerPage("demo+mv"));
  EXPECT_TRUE(StartsWith(cell, "<p>ガジェットエリアはレイアウトが３列の場合にユーザーが任意の内容を記述できるボックスです。"));
  EXPECT_TRUE(Has(cell, "マクロ説明</a>\r\n<div id=\"macrohelp\" style=\"display:none\">"));
  for (const char* attr : {"key", "src", "count", "cachetime", "desc"}) EXPECT_TRUE(Has(cell, std::string("<td>") + attr + "</td>"));
  EXPECT_TRUE(Has(cell, "<tr style=\"background:#f0fff0\"><td>No 1</td><td><textarea name=\"sidemenu1\" rows=\"10\" cols=\"65\">"
                        "</textarea></td></tr>\r\n<tr style=\"background:#c0ffc0\"><td>No 2</td><td><textarea name=\"sidemenu2\" "
                        "rows=\"10\" cols=\"65\">既定の&lt;b&gt;箱&lt;/b&gt;</textarea></td></tr>"));
  EXPECT_TRUE(Has(cell, "name=\"sidemenu5\""));
  EXPECT_FALSE(Has(cell, "name=\"sidemenu6\""));
  EXPECT_FALSE(Has(cell, "<p style=\"color:blue\">"));

  cell = SettingsCell(blog.OwnerPage("demo+ms", {{"sidemenu1", "<b>一</b>\r\n二行目"}, {"sidemenu3", "三"},
                                                {"sidemenu4", "四\r\n"}, {"sidemenu6", "範囲外"}}));
  EXPECT_TRUE(StartsWith(cell, "<p style=\"color:blue\">設定を保存しました</p>\r\n<p>ガジェットエリアは"));
  EXPECT_EQ(blog.AccountFile("sidemenu.txt"),
            "SIDEMENU1START\r\n<b>一</b>\r\n二行目\r\nSIDEMENU1END\r\nSIDEMENU2START\r\n\r\nSIDEMENU2END\r\nSIDEMENU3START\r\n"
            "三\r\nSIDEMENU3END\r\nSIDEMENU4START\r\n四\r\n\r\nSIDEMENU4END\r\nSIDEMENU5START\r\n\r\nSIDEMENU5END\r\n");
  EXPECT_TRUE(Has(cell, "<textarea name=\"sidemenu1\" rows=\"10\" cols=\"65\">&lt;b&gt;一&lt;/b&gt;\r\n二行目</textarea>"));
  // The gadget area of a three-column page shows the boxes; an emptied box no longer shows its default.
  blog.Style("LAYOUTTYPE=2\r\n");
  EXPECT_TRUE(Has(blog.Page("demo"), "<td class=\"subcell\">\r\n<div class=\"sidebox\"><b>一</b>\r\n二行目</div>\r\n<div "
                                     "class=\"sidebox\"><br></div>\r\n<div class=\"sidebox\">三</div>\r\n"));
  EXPECT_TRUE(Has(blog.Owner("demo+ms", {{"sidemenu1", "x"}}, "http://evil.example").body, kCrossSite));
  EXPECT_TRUE(Has(blog.AccountFile("sidemenu.txt"), "<b>一</b>"));
}

}  // namespace
