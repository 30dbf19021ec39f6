#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "app/css_value.h"
#include "app/settings.h"
#include "render/article_body.h"
#include "text/DHTMLTag.h"
#include "text/DString.h"

namespace fs = std::filesystem;

namespace {

const std::string kId = "0123456789abcdef0123456789abcdef01234567";

class ArticleBodyTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velm-body-XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
    DefaultSystemSettings(dir, sys);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Render(const std::string& body, const std::vector<std::string>& attach, bool convert = true) {
    std::ofstream(dir + kId + ".txt", std::ios::binary) << body;
    std::ofstream iix(dir + kId + ".iix", std::ios::binary);
    for (const auto& a : attach) iix << a << "\r\n";
    iix.close();
    return RenderArticleBody(sys, "acc", css, dir, kId, convert, first);
  }
  std::string dir, first;
  TSystemSettings sys;
  TCSSValue css;
};

std::string Sized(const std::string& url, const std::string& w, const std::string& style = "") {
  return "<a href=\"" + url + "\" target=\"_blank\"><img src=\"" + url + "\" width=\"" + w + "\" alt=\"photo\"" + style + "></a>";
}

TEST_F(ArticleBodyTest, PictureTagsBecomeTheTemplatesOfTheirType) {
  const std::string u = "./images/acc/" + kId + "-1.JPG", u2 = "./images/acc/b.jpg";
  EXPECT_EQ(Render("<bimage src=2 align=aright>", {kId + "-1.JPG", "b.jpg"}), Sized(u2, "240", " style=\"float:right\""));
  EXPECT_EQ(Render("a<BIMAGE src=\"1\" width=\"100\" align=\"right\">b<BIMAGE src=1 resize=no align=center>"
                   "<BIMAGE src=1 width=\"\" align=left><BIMAGE src=1 align=middle>c\r\nd\re\nf",
                   {kId + "-1.JPG"}),
            "a<div align=\"right\">" + Sized(u, "100") + "</div>b<div align=\"center\"><img src=\"" + u +
                "\" alt=\"photo\"></div>" + Sized(u, "240") + "c<br>d<br>e<br>f");
  EXPECT_EQ(Render("<BIMAGE src=1 type=link desc=\"the photo\">", {kId + "-1.JPG"}),
            "<a href=\"" + u + "\" target=\"_blank\">THE PHOTO</a>");
  // Out of range, no number, no attributes, not closed, not a picture tag: all stay as typed.
  const std::string kept = "<BIMAGE src=5><BIMAGE src=x><BIMAGE src=0><BIMAGE ><BIMAGE><b>b</b><BIMAGE src=1";
  EXPECT_EQ(Render(kept, {"a.jpg", "b.jpg", "c.jpg"}), kept);
  EXPECT_EQ(Render("<BIMAGE src=1>", {}), "<BIMAGE src=1>");
  // An extension without a record, or none: the tag disappears.
  EXPECT_EQ(Render("x<BIMAGE src=1>y<BIMAGE src=2>z", {kId + "-1.bmp", "noext"}), "xyz");
  // Without the convert flag the bytes come back as stored.
  EXPECT_EQ(Render("a\r\n<BIMAGE src=1>", {"a.jpg"}, false), "a\r\n<BIMAGE src=1>");
  // Ids that are not article ids, and a missing body, give nothing.
  std::ofstream(dir + "x.txt") << "secret";
  EXPECT_EQ(RenderArticleBody(sys, "acc", css, dir, "x", false, first), "");
  EXPECT_EQ(RenderArticleBody(sys, "acc", css, dir, "../" + kId, true, first), "");
  fs::remove(dir + kId + ".txt");
  EXPECT_EQ(RenderArticleBody(sys, "acc", css, dir, kId, true, first), "");
}

TEST_F(ArticleBodyTest, ConfiguredTypesAndTheFirstPicture) {
  TUpFileInfo pdf;
  pdf.Ext = ".PDF";
  for (auto& t : pdf.Temp) t = "[other]";
  pdf.Temp[0] = "<a href=\"<velmpath>\"><VelmPath> w=<simagewidth><exif></a>";  // any case, every occurrence
  sys.UpFileInfo.push_back(pdf);
  css.SIMAGEWIDTH = 300;
  css.CONTENTSKIPMETHOD = 2;
  EXPECT_EQ(Render("<BIMAGE src=1><BIMAGE src=1 align=left>", {"doc.pdf"}),
            "<a href=\"./images/acc/doc.pdf\">./images/acc/doc.pdf w=300</a>[other]");
  EXPECT_EQ(first, "");  // only pictures are floated first

  const std::string body = "<BIMAGE src=2><BIMAGE src=1 width=50><BIMAGE src=1 type=link>";
  Render(body, {"p.gif", "q.png"});
  EXPECT_EQ(first, Sized("./images/acc/p.gif", "50", " style=\"float:left\""));
  css.CONTENTSKIPMETHOD = 3;
  Render(body, {"p.gif", "q.png"});
  EXPECT_EQ(first, Sized("./images/acc/p.gif", "50", " style=\"float:right\""));
  Render("<BIMAGE src=2><BIMAGE src=1 type=link>", {"p.gif", "q.png"});
  EXPECT_EQ(first, "");  // attachment 2 only, and a link is no picture
}

TEST_F(ArticleBodyTest, OddBodiesNeverBreak) {
  std::mt19937 rng(5);
  const char* parts[] = {"<BIMAGE ", "<bimage src=", "1", "2", "9", "\"", ">", "<", " align=", "aright", " type=link",
                         " desc=", "=", "\r\n", "\x82", "x", " resize=no", " width="};
  for (int round = 0; round < 2000; ++round) {
    std::string body;
    for (int k = static_cast<int>(rng() % 30); k >= 0; --k) body += parts[rng() % 18];
    css.CONTENTSKIPMETHOD = static_cast<int>(rng() % 4);
    const std::string html = Render(body, {"a.jpg", "b.txt"});
    ASSERT_EQ(html.find_first_of("\r\n"), std::string::npos) << body;
    MakeTeaser(html, 2, static_cast<int>(rng() % 50), first, "./", "acc", kId, "");
    // After renumbering every picture tag refers to a listed attachment, and each one is used.
    std::vector<std::string> names = {"a.jpg", "b.jpg", "c.jpg"};
    const std::string saved = RenumberPictureTags(body, names);
    std::vector<bool> used(names.size());
    for (const TTagIndex& t : GetTagList(saved)) {
      const std::string tag = TagText(saved, t);
      if (tag.size() < 8 || UpperCase(tag.substr(0, 8)) != "<BIMAGE ") continue;
      long long n = 0;
      ASSERT_TRUE(StrToIntStrict(GetOptionValue(tag, "src"), n) && n <= static_cast<long long>(names.size())) << saved;
      if (n >= 1) used[static_cast<size_t>(n - 1)] = true;
    }
    for (bool u : used) ASSERT_TRUE(u) << body << " -> " << saved;
  }
}

TEST(MakeTeaser, CutsTextKeepsBreaksAndLinks) {
  const std::string link = "<br>[<a href=\"./velm.exe?acc+sl+" + kId + "+x\">続きを読む</a>]";
  const std::string a150(150, 'a'), a200(200, 'a');
  EXPECT_EQ(MakeTeaser(a150, 1, 200, "PIC", "./", "acc", kId, "+x"), a150 + link);
  EXPECT_EQ(MakeTeaser(a200, 1, 200, "", "./", "acc", kId, "+x"), a200 + "... " + link);
  EXPECT_EQ(MakeTeaser("<p>one</p><BR>tw<a href=\"x\">o</a> > 3 <", 1, 9, "", "./", "acc", kId, "+x"),
            "one<br>two  ... " + link);
  EXPECT_EQ(MakeTeaser("aあい", 1, 2, "", "./", "acc", kId, "+x"), "a... " + link);  // never half a character
  EXPECT_EQ(MakeTeaser("text", 2, 200, "PIC", "./", "acc", kId, "+x"), "PICtext" + link);
  EXPECT_EQ(MakeTeaser("text", 3, 0, "PIC", "/b/", "acc", kId, ""),
            "PICtext<br>[<a href=\"/b/velm.exe?acc+sl+" + kId + "\">続きを読む</a>]");
}

TEST(RenumberPictureTags, KeepsOnlyAttachmentsInUse) {
  std::vector<std::string> names = {"a.jpg", "b.jpg", "c.jpg"};
  EXPECT_EQ(RenumberPictureTags("x<BIMAGE src=2 align=left>y", names), "x<BIMAGE src=\"1\" align=\"left\">y");
  EXPECT_EQ(names, std::vector<std::string>{"b.jpg"});
  names = {"a.jpg", "b.jpg", "c.jpg", "d.jpg"};
  EXPECT_EQ(RenumberPictureTags("<BIMAGE src=1><BIMAGE src=x><bimage src=4 type=link desc=\"my pic\">"
                                "<BIMAGE src=9><BIMAGE src=1 align=right>",
                                names),
            "<BIMAGE src=1><BIMAGE src=\"2\" type=\"link\" desc=\"my pic\"><BIMAGE src=1 align=right>");
  EXPECT_EQ(names, (std::vector<std::string>{"a.jpg", "d.jpg"}));
}

TEST(PictureTagOptions, RowsLabelsAndColours) {
  const std::string all = PictureTagOptions(3, true, 240), plain = PictureTagOptions(3, false, 240);
  auto rows = [](const std::string& s) { return (s.size() - ReplaceAll(s, "<option", "").size()) / 7; };
  EXPECT_EQ(rows(all), 19u);
  EXPECT_EQ(rows(plain), 13u);
  EXPECT_TRUE(all.starts_with("<option value=\"<BIMAGE src=3>\">通常配置</option><option value=\"<BIMAGE src=3 align=center>\">"));
  EXPECT_NE(all.find("<option style=\"color:blue\" value=\"<BIMAGE src=3 align=aright width=240>\">右寄せ流し込み(サイズ)</option>"),
            std::string::npos);
  EXPECT_EQ(plain.find("aleft"), std::string::npos);
  EXPECT_TRUE(plain.ends_with("<option style=\"color:green\" value=\"<BIMAGE src=3 type=link desc=>\">リンクタイプ</option>"));
}

}  // namespace
