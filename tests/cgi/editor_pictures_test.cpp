// Pictures of the article editor through the real executable: uploads and their checks, the
// backup fields, removing pending and saved pictures, and the renumbering of a save.
#include <gtest/gtest.h>

#include "editor_fixture.h"

namespace {

using Names = std::vector<std::string>;

class Pictures : public ::testing::Test {
protected:
  TOwnerFixture blog;
  // The stored names of the pending pictures, in upload order.
  Names Pending() const {
    Names names;
    for (const auto& r : blog.Records("workatt.txt")) names.push_back(r.at(0));
    return names;
  }
  // The message row that opens the form ("" when there is none).
  std::string Message(const TCGIResult& res) const {
    const std::string cell = SettingsCell(res.body), open = "<tr><td colspan=\"2\">";
    const size_t from = cell.find("\r\n") + 2;
    if (cell.compare(from, open.size(), open) != 0) return "";
    return cell.substr(from + open.size(), cell.find("</td></tr>", from) - from - open.size());
  }
};

TEST_F(Pictures, UploadChecksInTheirOrder) {
  blog.Ini("ATTACHALLSIZE=1000\r\nATTACHMAXSIZE=600\r\nATTACHMAXCOUNT=2\r\nUPFILEEXT=.PDF\r\n");
  const std::string red = "<span style=\"color:red\">";
  const std::string refused = red + "アップロードを許可された拡張子ではありません</span>";
  for (const std::string& name : std::vector<std::string>{"a.exe", "noext", "a.", ".jpg", "dir/..", "a.jpg\\x", std::string("a\0b.jpg", 7)})
    EXPECT_EQ(Message(blog.Upload("demo+iu", name, "data")), refused) << name;
  // No file chosen: the browser sends an empty name, which has no allowed extension.
  EXPECT_EQ(Message(blog.Upload("demo+iu", "", "")), refused);
  EXPECT_EQ(Message(blog.Upload("demo+iu", "empty.jpg", "")), "");  // ignored without a word
  // A file must stay below the limit; its refusal is plain text.
  const std::string tooBig = "(600 Bytes)はのアップロードを行いましたが、サイズが上限を超えています。ファイルは登録されません";
  EXPECT_EQ(Message(blog.Upload("demo+iu", "big.jpg", std::string(600, 'x'))), "big.jpg" + tooBig);
  // A name of 300 characters is shown escaped in the refusal and never becomes a file name.
  const std::string longName = std::string(296, 'n') + "<i>.jpg";
  EXPECT_EQ(Message(blog.Upload("demo+iu", longName, std::string(600, 'x'))),
            std::string(296, 'n') + "&lt;i&gt;.jpg" + tooBig);
  EXPECT_TRUE(blog.Images().empty());
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "workatt.txt"));

  EXPECT_EQ(Message(blog.Upload("demo+iu", "nearly.jpg", std::string(599, 'a'))), "");  // just below the limit
  ASSERT_EQ(Pending().size(), 1u);
  blog.OwnerPage("demo+dw", "dwfile=" + Pending().back());

  // Client paths are cut to their last part; the file is kept under a random name of its own.
  EXPECT_EQ(Message(blog.Upload("demo+iu", "C:\\写真\\..\\旅.JPG", std::string(500, 'a'))), "");
  EXPECT_EQ(Message(blog.Upload("demo+iu", "../../doc.pdf", std::string(400, 'b'))), "");
  const Names pending = Pending();
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].size(), 20u);
  EXPECT_TRUE(EndsWith(pending[0], ".JPG") && EndsWith(pending[1], ".pdf"));
  EXPECT_EQ(blog.Records("workatt.txt")[0][1], "500");
  EXPECT_EQ(blog.Records("workatt.txt")[0][2].size(), 16u);
  EXPECT_EQ(blog.Inst.Read("images/demo/" + pending[0]), std::string(500, 'a'));
  EXPECT_EQ(blog.Images().size(), 2u);
  EXPECT_FALSE(blog.Inst.Exists("doc.pdf"));

  // The total comes before the count.
  EXPECT_EQ(Message(blog.Upload("demo+iu", "c.gif", std::string(101, 'c'))), red + "アップロードできるトータルサイズを超えています</span>");
  EXPECT_EQ(Message(blog.Upload("demo+iu", "c.gif", std::string(100, 'c'))), red + "アップロードできる最大数を超えています</span>");
  // The upload-space flag lifts the byte limits, not the count.
  blog.Inst.Write("velmsystem/account.ini", "\"demo\",\"owner\",\"secret\",\"1\"\r\n");
  EXPECT_EQ(Message(blog.Upload("demo+iu", "c.gif", std::string(100, 'c'))), red + "アップロードできる最大数を超えています</span>");
  blog.OwnerPage("demo+dw", "dwfile=" + pending[1]);
  EXPECT_EQ(Message(blog.Upload("demo+iu", "huge.png", std::string(5000, 'd'))), "");
  EXPECT_EQ(Pending().size(), 2u);
  EXPECT_EQ(blog.Images().size(), 2u);
}

TEST_F(Pictures, PendingPicturesInTheFormAndTheBackupFields) {
  blog.Upload("demo+iu", "一.jpg", std::string(1234, 'a'));
  const TCGIResult res = blog.Upload("demo+iu", "two.PDF", "b", {{"backupcat", "c1"}, {"backupdate", "2009/01/02 03:04:05\r\n"},
                                                                {"backuptitle", "題<&>\"\r\n"}, {"backupcontent", "行1\r\n<b>&amp;\r\n\r\n"},
                                                                {"backuptb", "http://tb/"}});
  const Names pending = Pending();
  ASSERT_EQ(pending.size(), 1u);  // .PDF is not an upload type here
  const std::string cell = SettingsCell(res.body);
  EXPECT_TRUE(Has(cell, "<tr><td>アップロード済画像</td><td>\r\n1:<img width=\"120\" src=\"./images/demo/" + pending[0] + "?"));
  EXPECT_TRUE(Has(cell, "\"> file (1,234 bytes)<br>　　<select id=\"ialign1\" name=\"ialign1\" size=\"1\">"
                        "<option value=\"<BIMAGE src=1>\">通常配置</option>"));
  EXPECT_TRUE(Has(cell, "<option value=\"<BIMAGE src=1 align=aright>\">右寄せ流し込み</option>"));
  EXPECT_TRUE(Has(cell, "<input type=\"button\" value=\"挿入\" onclick=\"_AddTag(document.getElementById('ialign1').value)\">"
                        "<form style=\"margin:0px\" action=\"./velm.exe?demo+dw\" method=\"post\"><input type=\"hidden\" "
                        "name=\"dwfile\" value=\"" + pending[0] + "\">"));
  EXPECT_TRUE(Has(cell, "残り 510766 / 512000 byte (498KB)"));
  EXPECT_TRUE(Has(cell, "<tr><td colspan=\"2\">利用されなかった画像は自動的に削除が行われます</td></tr>\r\n</table>"));
  // The form holds the work in progress, trailing line breaks removed.
  EXPECT_TRUE(Has(cell, "value=\"http://tb/\" size=\"60\">"));
  EXPECT_TRUE(Has(cell, "<td>作成日付</td><td>2009/01/02 03:04:05<input type=\"hidden\" name=\"cdate\" value=\"2009/01/02 03:04:05\">"));
  EXPECT_TRUE(Has(cell, "<option value=\"c1\" selected>"));
  EXPECT_TRUE(Has(cell, "name=\"subject\" value=\"題&lt;&amp;&gt;&quot;\""));
  EXPECT_TRUE(Has(cell, "rows=\"20\">\r\n行1\r\n&lt;b&gt;&amp;amp;</textarea>"));

  // A non-picture is listed by its type, without the floating placements.
  blog.Ini("UPFILEEXT=.PDF\r\n");
  blog.Upload("demo+iu", "doc.pdf", "pdf");
  const std::string form = SettingsCell(blog.OwnerPage("demo+wc"));
  EXPECT_TRUE(Has(form, "\r\n.PDF file (3 bytes)<br>　　<select id=\"ialign2\""));
  EXPECT_FALSE(Has(form, "<BIMAGE src=2 align=aleft>"));
}

TEST_F(Pictures, RemovingPendingAndSavedPictures) {
  blog.Upload("demo+iu", "a.jpg", "a");
  blog.Upload("demo+iu", "b.jpg", "b");
  const Names pending = Pending();
  const std::string id = blog.Article("c1", Stamp(1), "記事", "<BIMAGE src=1>");
  blog.Inst.Write(blog.Dir + id + ".iix", id + "-1.jpg\r\n" + id + "-2.jpg\r\n");
  for (const char* n : {"-1.jpg", "-2.jpg"}) blog.Inst.Write("images/demo/" + id + n, "saved");
  blog.Inst.Write("keep.jpg", "outside");
  // Names that are no pending picture (or no saved picture of this article) delete nothing.
  for (const std::string& name : {std::string("../../keep.jpg"), std::string("nosuch.jpg"), std::string("")}) {
    blog.OwnerPage("demo+dw", "dwfile=" + name);
    blog.OwnerPage("demo+du+" + id, "dwfile=" + name);
  }
  blog.OwnerPage("demo+dw", "dwfile=" + id + "-1.jpg");
  blog.OwnerPage("demo+du+" + id, "dwfile=" + pending[0]);
  blog.OwnerPage("demo+du+" + std::string(40, 'a'), "dwfile=" + id + "-1.jpg");
  blog.OwnerPage("demo+du+..", "dwfile=" + id + "-1.jpg");
  EXPECT_EQ(blog.Images().size(), 4u);
  EXPECT_TRUE(blog.Inst.Exists("keep.jpg"));
  EXPECT_EQ(Pending(), pending);

  // DW takes the pending picture and its record; the last one takes workatt.txt.
  TCGIResult res = blog.Owner("demo+dw", "dwfile=" + pending[0] + "&backuptitle=%E9%A1%8C");
  EXPECT_TRUE(Has(res.body, "name=\"subject\" value=\"\xE9\xA1\x8C\""));  // WC again, from the backup
  EXPECT_EQ(Pending(), Names{pending[1]});
  blog.OwnerPage("demo+dw+" + id, "dwfile=" + pending[1]);
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "workatt.txt"));
  // DU takes a saved picture from the list; the numbers of the others shift.
  res = blog.Owner("demo+du+" + id, "dwfile=" + id + "-1.jpg");
  EXPECT_TRUE(Has(res.body, "name=\"elogid\" value=\"" + id + "\""));  // EC again
  EXPECT_EQ(blog.Lines(blog.Dir + id + ".iix"), Names{id + "-2.jpg"});
  EXPECT_TRUE(Has(res.body, "<tr style=\"background:#f0f0f0\"><td>アップロード済画像</td><td>\r\n1:<img src=\"./images/demo/" + id +
                                "-2.jpg?"));
  EXPECT_TRUE(Has(res.body, "action=\"./velm.exe?demo+du+" + id + "\" method=\"post\"><input type=\"hidden\" name=\"dwfile\""));
  blog.OwnerPage("demo+du+" + id, "dwfile=" + id + "-2.jpg");
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + id + ".iix"));
  EXPECT_TRUE(blog.Images().empty());
  EXPECT_EQ(blog.Inst.Read(blog.Dir + id + ".txt"), "<BIMAGE src=1>");  // tags wait for the next save
}

TEST_F(Pictures, NewArticleKeepsOnlyThePicturesItUses) {
  blog.Upload("demo+iu", "a.jpg", "first");
  blog.Upload("demo+iu", "b.JPG", "second");
  blog.Upload("demo+iu", "c.png", "third");
  const TCGIResult res = blog.Owner("demo+ss", "category=c1&cvisible=1&subject=s&ucontent=x<BIMAGE+src=%222%22+align=right>y"
                                               "%0D%0A<bimage+src=3+type=link+desc=d><BIMAGE+src=9><BIMAGE+src=z>");
  EXPECT_TRUE(Has(res.body, "記事を新規保存しました"));
  const std::string id = blog.Records("cindex.txt").at(0).at(1);
  EXPECT_EQ(blog.Inst.Read(blog.Dir + id + ".txt"), "x<BIMAGE src=\"1\" align=\"right\">y\r\n<BIMAGE src=\"2\" type=\"link\" desc=\"d\">\r\n");
  EXPECT_EQ(blog.Lines(blog.Dir + id + ".iix"), (Names{id + "-1.JPG", id + "-2.png"}));
  EXPECT_EQ(blog.Images(), (Names{id + "-1.JPG", id + "-2.png"}));  // the unused upload and the pending copies are gone
  EXPECT_EQ(blog.Inst.Read("images/demo/" + id + "-1.JPG"), "second");
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "workatt.txt"));
  // The top page shows the picture.
  EXPECT_TRUE(Has(blog.Page("demo"), "<img src=\"./images/demo/" + id + "-1.JPG\""));
}

TEST_F(Pictures, ChangedArticleRenumbersSavedAndPendingPictures) {
  const std::string id = blog.Article("c1", Stamp(1), "記事", "x");
  // Saved pictures 1 and 3 are left (2 was removed); a pending upload is added.
  blog.Inst.Write(blog.Dir + id + ".iix", id + "-1.jpg\r\n" + id + "-3.gif\r\n");
  blog.Inst.Write("images/demo/" + id + "-1.jpg", "one");
  blog.Inst.Write("images/demo/" + id + "-3.gif", "three");
  blog.Upload("demo+iu+" + id, "new.png", "new");
  const std::string cell = SettingsCell(blog.OwnerPage("demo+ec+" + id));
  EXPECT_TRUE(Has(cell, "<tr><td>追加画像</td><td>\r\n3:<img width=\"120\""));
  EXPECT_TRUE(Has(cell, "action=\"./velm.exe?demo+dw+" + id + "\""));
  // The body keeps the second saved picture and the new one; the first saved picture goes.
  const std::string page = blog.OwnerPage("demo+ss", "elogid=" + id + "&category=c1&cvisible=1&subject=s"
                                                     "&ucontent=<BIMAGE+src=3>%0D%0A<BIMAGE+src=2>");
  EXPECT_TRUE(Has(page, "記事を修正保存しました"));
  EXPECT_EQ(blog.Inst.Read(blog.Dir + id + ".txt"), "<BIMAGE src=\"2\">\r\n<BIMAGE src=\"1\">\r\n");
  EXPECT_EQ(blog.Lines(blog.Dir + id + ".iix"), (Names{id + "-1.gif", id + "-2.png"}));
  EXPECT_EQ(blog.Images(), (Names{id + "-1.gif", id + "-2.png"}));
  EXPECT_EQ(blog.Inst.Read("images/demo/" + id + "-1.gif"), "three");
  EXPECT_EQ(blog.Inst.Read("images/demo/" + id + "-2.png"), "new");
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "workatt.txt"));
  // No picture used: the list goes.
  blog.OwnerPage("demo+ss", "elogid=" + id + "&subject=s&ucontent=none");
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + id + ".iix"));
  EXPECT_TRUE(blog.Images().empty());
}

TEST_F(Pictures, HtmlSwitchedOffKeepsPictureTags) {
  blog.Upload("demo+iu", "a.jpg", "a");
  blog.Owner("demo+ss", "category=c1&cvisible=1&subject=s&cnvhtml=1&ucontent=<i>%26</i><BIMAGE+src=1+align=center>");
  const std::string id = blog.Records("cindex.txt").at(0).at(1);
  EXPECT_EQ(blog.Inst.Read(blog.Dir + id + ".txt"), "&lt;i&gt;&&lt;/i&gt;<BIMAGE src=1 align=center>\r\n");
  EXPECT_EQ(blog.Images(), Names{id + "-1.jpg"});
}

}  // namespace
