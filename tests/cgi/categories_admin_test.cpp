// The owner's category page and its actions.
#include <gtest/gtest.h>

#include "admin_fixture.h"

namespace {

const std::string kTable = "<table border=\"0\" cellpadding=\"5\" style=\"border-collapse:collapse; font-size:x-small\">\r\n";
const std::string kAddRow =
    "<tr style=\"background:#f0fff0\"><td>カテゴリ新規作成</td><td><input type=\"text\" name=\"newcategory\" value=\"\"></td></tr>\r\n";

TEST(CategoryPage, RowsFollowTheCategories) {
  TAdminFixture blog;
  // No category: only the add row and an empty id list.
  EXPECT_EQ(SettingsCell(blog.OwnerPage("demo+cv")),
            "<form style=\"margin:0px\" action=\"./velm.exe?demo+cd\" method=\"post\">\r\n" + kTable + kAddRow +
                "</table>\r\n<input type=\"submit\" value=\"カテゴリ処理を行います\"><br>同時に処理はできません\r\n</form>\r\n"
                "<p style=\"color:red\">カテゴリの削除を行った場合、関連する記事及びコメントも全て削除されます。</p>\r\n"
                "<hr>カテゴリID一覧<br>\r\n" + kTable + "</table>\r\n" + kPageEnd);

  // One shown category: rename, delete and hide, but no move row.
  blog.Category("k1", "日記");
  std::string cell = SettingsCell(blog.OwnerPage("demo+cv"));
  EXPECT_TRUE(Has(cell, kAddRow +
                            "<tr style=\"background:#c0ffc0\"><td>カテゴリ名修正</td><td><select name=\"modcategory\"><option "
                            "value=\"\" style=\"color:silver\">変更元のカテゴリを選択してください</option><option value=\"k1\">"
                            "日記</option></select><br>上記を右記に変更<input type=\"text\" name=\"modcategory2\" value=\"\">"
                            "</td></tr>\r\n<tr style=\"background:#c0ffc0\"><td>カテゴリ削除</td><td><select name=\"delcategory\">"
                            "<option value=\"\" style=\"color:silver\">削除するカテゴリを選択してください</option><option "
                            "value=\"k1\">日記</option></select></td></tr>\r\n<tr style=\"background:#a0ffa0\"><td>カテゴリ非表示"
                            "</td><td><select name=\"novisiblecategory\"><option value=\"\" style=\"color:silver\">非表示にする"
                            "カテゴリを選択してください</option><option value=\"k1\">日記</option></select></td></tr>\r\n</table>"))
      << cell;
  EXPECT_FALSE(Has(cell, "upcategory"));
  EXPECT_TRUE(Has(cell, kTable + "<tr><td>日記</td><td><input type=\"text\" style=\"width:150px\" value=\"k1\"></td></tr>\r\n"));

  // A second, hidden category: the move row offers the top one as a silver prompt, the show row appears.
  blog.Category("k2", "&lt;秘密&gt;", false);
  cell = SettingsCell(blog.OwnerPage("demo+cv"));
  EXPECT_TRUE(Has(cell, "<tr style=\"background:#f0fff0\"><td>カテゴリ移動</td><td><select name=\"upcategory\"><option "
                        "value=\"\" style=\"color:silver\">順番を上げるカテゴリを選択してください</option><option value=\"\" "
                        "style=\"color:silver\">日記(最上位)</option><option value=\"k2\">&lt;秘密&gt;</option></select></td></tr>"));
  EXPECT_TRUE(Has(cell, "<select name=\"novisiblecategory\"><option value=\"\" style=\"color:silver\">非表示にするカテゴリを選択"
                        "してください</option><option value=\"k1\">日記</option></select>"));
  EXPECT_TRUE(Has(cell, "<tr style=\"background:#a0ffa0\"><td>カテゴリ表示</td><td><select name=\"visiblecategory\"><option "
                        "value=\"\" style=\"color:silver\">表示するカテゴリを選択してください</option><option value=\"k2\">"
                        "&lt;秘密&gt;</option></select></td></tr>"));
  // The frame's menu offers the article pages once a category exists.
  EXPECT_TRUE(Has(blog.OwnerPage("demo+cv"), "action=\"./velm.exe?demo+wc\""));
}

class CategoryActions : public ::testing::Test {
protected:
  void SetUp() override {
    blog.Category("k1", "日記");
    blog.Category("k2", "旅行");
    article = blog.Article("k2", Stamp(1), "旅の記事", "本文");
    other = blog.Article("k1", Stamp(2), "日記の記事", "本文");
    blog.Comment("k2", article, "読者", "良い旅");
    blog.Comment("k1", other, "読者", "良い日");
  }
  std::string Cd(const TFields& fields) { return SettingsCell(blog.OwnerPage("demo+cd", fields)); }
  std::string Categories() { return blog.AccountFile("category.txt"); }
  TAdminFixture blog;
  std::string article, other;
};

TEST_F(CategoryActions, AddRenameMoveHideShow) {
  EXPECT_TRUE(StartsWith(Cd({{"newcategory", "料理<b>"}}), "<p style=\"color:blue\">料理&lt;b&gt; カテゴリの追加を行いました</p>\r\n"));
  const std::string file = Categories();
  const std::string added = file.substr(file.rfind("\r\n\"") + 3, 16);
  EXPECT_TRUE(EndsWith(file, "\"" + added + "\",\"料理&lt;b&gt;\",\"1\"\r\n"));
  // The page under the message already lists the new category.
  EXPECT_TRUE(Has(Cd({{"newcategory", "料理<b>"}}), "<p style=\"color:red\">カテゴリ名が重複しています</p>\r\n"));
  EXPECT_EQ(Categories(), file);

  EXPECT_TRUE(StartsWith(Cd({{"modcategory", "k1"}, {"modcategory2", "日々"}}),
                         "<p style=\"color:blue\"><span style=\"font-weight:bold\">日記</span> を <span style=\"font-weight:"
                         "bold\">日々</span> へ変更を行いました</p>"));
  EXPECT_TRUE(StartsWith(Cd({{"modcategory2", "x"}}), "<p style=\"color:red\">変更元のカテゴリ名が指定されていません</p>"));
  EXPECT_TRUE(StartsWith(Cd({{"modcategory", "k1"}, {"modcategory2", "旅行"}}), "<p style=\"color:red\">カテゴリ名が重複しています</p>"));
  EXPECT_TRUE(StartsWith(Cd({{"modcategory", "k1"}, {"modcategory2", ""}}), "<p style=\"color:red\">変更後のカテゴリ名が指定されていません</p>"));

  EXPECT_TRUE(StartsWith(Cd({{"upcategory", "k2"}}), "<p style=\"color:blue\">カテゴリを移動しました</p>"));
  EXPECT_TRUE(StartsWith(Categories(), "\"k2\",\"旅行\",\"1\"\r\n\"k1\",\"日々\",\"1\"\r\n"));
  EXPECT_TRUE(StartsWith(Cd({{"novisiblecategory", "k2"}}), "<p style=\"color:blue\">旅行の表示設定を変更しました</p>"));
  EXPECT_TRUE(StartsWith(Categories(), "\"k2\",\"旅行\",\"0\"\r\n"));
  EXPECT_TRUE(StartsWith(Cd({{"visiblecategory", "k2"}}), "<p style=\"color:blue\">旅行の表示設定を変更しました</p>"));
  EXPECT_TRUE(StartsWith(Categories(), "\"k2\",\"旅行\",\"1\"\r\n"));

  // Names are kept as typed, blanks included.
  EXPECT_TRUE(StartsWith(Cd({{"newcategory", " 料理 "}}), "<p style=\"color:blue\"> 料理  カテゴリの追加を行いました</p>"));
  EXPECT_TRUE(EndsWith(Categories(), "\",\" 料理 \",\"1\"\r\n"));
  EXPECT_TRUE(StartsWith(Cd({{"modcategory", "k1"}, {"modcategory2", "日々 "}}), "<p style=\"color:blue\"><span style=\"font-weight:"
                                                                                "bold\">日々</span> を <span style=\"font-weight:bold\">日々 </span> へ"));
  EXPECT_TRUE(Has(Categories(), "\"k1\",\"日々 \",\"1\"\r\n"));
  // Only the first non-empty field acts; a name typed with line breaks stays on one line.
  EXPECT_TRUE(StartsWith(Cd({{"newcategory", "二つ\r\n目"}, {"upcategory", "k1"}}), "<p style=\"color:blue\">二つ目 カテゴリの追加"));
  EXPECT_TRUE(StartsWith(Categories(), "\"k2\",\"旅行\",\"1\"\r\n"));
  EXPECT_TRUE(StartsWith(Cd({}), "<p style=\"color:red\">処理が選択されませんでした</p>"));
  for (const char* field : {"upcategory", "novisiblecategory", "delcategory", "delcategory2"})
    EXPECT_TRUE(StartsWith(Cd({{field, "nothere"}}), "<p style=\"color:red\">カテゴリが見つかりません</p>")) << field;
}

TEST_F(CategoryActions, DeleteConfirmsThenDeletesWithArticlesAndComments) {
  const std::string before = Categories();
  EXPECT_EQ(Cd({{"delcategory", "k2"}}),
            "<span style=\"color:red; font-weight:bold\">旅行 カテゴリーの削除を行おうとしています。<br>カテゴリーの削除を行った場合、"
            "関連する記事・画像・動画・コメントが全て削除されます。<br>本当に削除しますか？</span>\r\n<form style=\"margin:0px\" "
            "action=\"./velm.exe?demo+cd\" method=\"post\"><input type=\"hidden\" name=\"delcategory2\" value=\"k2\"><input "
            "type=\"submit\" style=\"color:red\" value=\"カテゴリ削除\"></form>\r\n" + kPageEnd);
  EXPECT_EQ(Categories(), before);
  EXPECT_TRUE(blog.AccountHas(article + ".txt"));

  EXPECT_TRUE(StartsWith(Cd({{"delcategory2", "k2"}}), "<p style=\"color:blue\">旅行 カテゴリの削除を行いました</p>"));
  EXPECT_EQ(Categories(), "\"k1\",\"日記\",\"1\"\r\n");
  EXPECT_FALSE(blog.AccountHas(article + ".txt"));
  EXPECT_TRUE(blog.AccountHas(other + ".txt"));
  EXPECT_FALSE(Has(blog.AccountFile("comment.txt"), "良い旅"));
  EXPECT_TRUE(Has(blog.AccountFile("comment.txt"), "良い日"));
  EXPECT_FALSE(Has(blog.AccountFile("cindex.txt"), article));
}

TEST_F(CategoryActions, RefusedWithoutLoginOrFromAnotherSite) {
  const std::string before = Categories();
  EXPECT_TRUE(Has(blog.Page("demo+cd", "newcategory=x"), kLoginFailure));
  EXPECT_TRUE(Has(blog.Page("demo+cv"), kLoginFailure));
  EXPECT_TRUE(Has(blog.Owner("demo+cd", {{"delcategory2", "k1"}}, "http://evil.example").body, kCrossSite));
  EXPECT_EQ(Categories(), before);
}

}  // namespace
