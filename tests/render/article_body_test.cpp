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

  void Article(const std::string& body, const std::vector<std::string>& attach = {}) {
    std::ofstream(dir + kId + ".txt", std::ios::binary) << body;
    if (attach.empty()) return;
    std::ofstream iix(dir + kId + ".iix", std::ios::binary);
    for (const auto& a : attach) iix << a << "\r\n";
  }
  std::string Render(bool convert = true) { return RenderArticleBody(sys, "acc", css, dir, kId, convert, first); }

  std::string dir, first;
  TSystemSettings sys;
  TCSSValue css;
};

// The built-in templates with the placeholders filled.
std::string Sized(const std::string& url, const std::string& w, const std::string& style = "") {
  return "<a href=\"" + url + "\" target=\"_blank\"><img src=\"" + url + "\" width=\"" + w + "\" alt=\"photo\"" +
         style + "></a>";
}

TEST_F(ArticleBodyTest, PictureTagsBecomeTheTemplatesOfTheirType) {
  const std::string u1 = "./images/acc/" + kId + "-1.JPG", u2 = "./images/acc/" + kId + "-2.jpg";
  Article("<bimage src=2 align=aright>", {kId + "-1.JPG", kId + "-2.jpg"});
  EXPECT_EQ(Render(), Sized(u2, "240", " style=\"float:right\""));

  Article("a<BIMAGE src=\"1\" width=\"100\" align=\"right\">b<BIMAGE src=1 resize=no align=center>"
          "<BIMAGE src=1 width=\"\" align=left><BIMAGE src=1 align=middle>c",
          {kId + "-1.JPG"});
  EXPECT_EQ(Render(), "a<div align=\"right\">" + Sized(u1, "100") + "</div>b<div align=\"center\"><img src=\"" + u1 +
                          "\" alt=\"photo\"></div>" + Sized(u1, "240") + "c");

  Article("<BIMAGE src=1 type=link desc=\"the photo\"> <BIMAGE src=1 TYPE=Link>", {kId + "-1.JPG"});
  EXPECT_EQ(Render(), "<a href=\"" + u1 + "\" target=\"_blank\">THE PHOTO</a> <a href=\"" + u1 + "\" target=\"_blank\"></a>");

  // Out of range, no number, no attributes, not closed, not a picture tag: all stay as typed.
  const std::string kept = "<BIMAGE src=5><BIMAGE src=x><BIMAGE src=0><BIMAGE ><BIMAGE><b>bold</b><BIMAGE src=1";
  Article(kept, {"a.jpg", "b.jpg", "c.jpg"});
  EXPECT_EQ(Render(), kept);
  // An extension without a record, or none: the tag disappears.
  Article("x<BIMAGE src=1>y<BIMAGE src=2>z", {kId + "-1.bmp", "noext"});
  EXPECT_EQ(Render(), "xyz");
  EXPECT_EQ(first, "");
}

TEST_F(ArticleBodyTest, ConfiguredTypesAndPlaceholdersInAnyCase) {
  TUpFileInfo pdf;
  pdf.Ext = ".PDF";
  for (auto& t : pdf.Temp) t = "[other]";
  pdf.Temp[0] = "<a href=\"<velmpath>\"><VelmPath> w=<simagewidth><exif></a>";
  sys.UpFileInfo.push_back(pdf);
  Article("<BIMAGE src=1>\r\n<BIMAGE src=1 align=left>", {"doc.pdf"});
  css.SIMAGEWIDTH = 300;
  css.CONTENTSKIPMETHOD = 2;
  EXPECT_EQ(Render(), "<a href=\"./images/acc/doc.pdf\">./images/acc/doc.pdf w=300</a><br>[other]");
  EXPECT_EQ(first, "");  // only pictures are floated first
}

TEST_F(ArticleBodyTest, FirstPictureForTheTeaserMethods) {
  const std::string u = "./images/acc/p.gif";
  Article("<BIMAGE src=2><BIMAGE src=1 width=50><BIMAGE src=1 type=link>", {"p.gif", "q.png"});
  css.CONTENTSKIPMETHOD = 2;
  Render();
  EXPECT_EQ(first, Sized(u, "50", " style=\"float:left\""));
  css.CONTENTSKIPMETHOD = 3;
  Render();
  EXPECT_EQ(first, Sized(u, "50", " style=\"float:right\""));
  css.CONTENTSKIPMETHOD = 1;
  Render();
  EXPECT_EQ(first, "");
  css.CONTENTSKIPMETHOD = 2;
  Article("<BIMAGE src=2><BIMAGE src=1 type=link>", {"p.gif", "q.png"});
  Render();
  EXPECT_EQ(first, "");  // attachment 2 only, and a link is no picture
}

TEST_F(ArticleBodyTest, LineBreaksRawTextAndBadIds) {
  const std::string body = "a\r\nb\rc\nd\r\n\r\n<BIMAGE src=1>";
  Article(body, {"x.jpg"});
  EXPECT_EQ(Render(false), body);  // byte for byte
  EXPECT_EQ(Render(), "a<br>b<br>c<br>d<br><br>" + Sized("./images/acc/x.jpg", "240"));
  sys.IMAGEPATH = "/pics/";
  EXPECT_EQ(Render(), "a<br>b<br>c<br>d<br><br>" + Sized("/pics/acc/x.jpg", "240"));

  std::ofstream(dir + "x.txt") << "secret";
  EXPECT_EQ(RenderArticleBody(sys, "acc", css, dir, "x", false, first), "");
  EXPECT_EQ(RenderArticleBody(sys, "acc", css, dir, "../" + kId, true, first), "");
  EXPECT_EQ(RenderArticleBody(sys, "acc", css, dir, std::string(40, 'A'), true, first), "");
  fs::remove(dir + kId + ".txt");
  EXPECT_EQ(Render(), "");
  // A body without attachments keeps its picture tags.
  fs::remove(dir + kId + ".iix");
  Article("<BIMAGE src=1>");
  EXPECT_EQ(Render(), "<BIMAGE src=1>");
}

TEST(MakeTeaser, CutsTextKeepsBreaksAndLinks) {
  const std::string link = "<br>[<a href=\"./velm.exe?acc+sl+" + kId + "+x\">続きを読む</a>]";
  const std::string short150(150, 'a');
  EXPECT_EQ(MakeTeaser(short150, 1, 200, "PIC", "./", "acc", kId, "+x"), short150 + link);
  EXPECT_EQ(MakeTeaser(std::string(200, 'a'), 1, 200, "", "./", "acc", kId, "+x"), std::string(200, 'a') + "... " + link);
  EXPECT_EQ(MakeTeaser("<p>one</p><BR>tw<a href=\"x\">o</a> > 3 <", 1, 9, "", "./", "acc", kId, "+x"),
            "one<br>two  ... " + link);
  // A double-byte character is never cut in half.
  EXPECT_EQ(MakeTeaser("aあい", 1, 2, "", "./", "acc", kId, "+x"), "a... " + link);
  EXPECT_EQ(MakeTeaser("text", 2, 200, "PIC", "./", "acc", kId, "+x"), "PICtext" + link);
  EXPECT_EQ(MakeTeaser("text", 3, 0, "PIC", "/b/", "acc", kId, ""),
            "PICtext<br>[<a href=\"/b/velm.exe?acc+sl+" + kId + "\">続きを読む</a>]");
  EXPECT_EQ(MakeTeaser("<b>whole</b>", 0, 200, "PIC", "./", "acc", kId, ""), "<b>whole</b>");
}

TEST(RenumberPictureTags, KeepsOnlyAttachmentsInUse) {
  std::vector<std::string> names = {"a.jpg", "b.jpg", "c.jpg"};
  EXPECT_EQ(RenumberPictureTags("x<BIMAGE src=2 align=left>y", names), "x<BIMAGE src=\"1\" align=\"left\">y");
  EXPECT_EQ(names, std::vector<std::string>{"b.jpg"});

  names = {"a.jpg", "b.jpg", "c.jpg", "d.jpg"};
  EXPECT_EQ(RenumberPictureTags("<BIMAGE src=1><BIMAGE src=x><bimage src=4 type=link desc=\"my pic\">"
                                "<BIMAGE src=9><BIMAGE src=1 align=right><BIMAGE src=4>",
                                names),
            "<BIMAGE src=1><BIMAGE src=\"2\" type=\"link\" desc=\"my pic\"><BIMAGE src=1 align=right><BIMAGE src=\"2\">");
  EXPECT_EQ(names, (std::vector<std::string>{"a.jpg", "d.jpg"}));

  names = {"a.jpg"};
  EXPECT_EQ(RenumberPictureTags("no pictures <b>here</b>", names), "no pictures <b>here</b>");
  EXPECT_TRUE(names.empty());
  names = {};
  EXPECT_EQ(RenumberPictureTags("<BIMAGE src=1>text<BIMAGE src=1", names), "text<BIMAGE src=1");
}

TEST_F(ArticleBodyTest, OddBodiesNeverBreak) {
  std::mt19937 rng(5);
  const char* parts[] = {"<BIMAGE ", "<bimage src=", "1", "2", "9", "\"", ">", "<", " align=", "aright", " type=link",
                         " desc=", "=", "\r\n", "\x82", "x", " resize=no", " width="};
  for (int round = 0; round < 2000; ++round) {
    std::string body;
    for (int k = static_cast<int>(rng() % 30); k >= 0; --k) body += parts[rng() % 18];
    Article(body, {"a.jpg", "b.txt"});
    css.CONTENTSKIPMETHOD = static_cast<int>(rng() % 4);
    const std::string html = Render();
    ASSERT_EQ(html.find('\r'), std::string::npos) << body;
    ASSERT_EQ(html.find('\n'), std::string::npos) << body;
    MakeTeaser(html, 2, static_cast<int>(rng() % 50), first, "./", "acc", kId, "");

    std::vector<std::string> names = {"a.jpg", "b.jpg", "c.jpg"};
    const std::string saved = RenumberPictureTags(body, names);
    ASSERT_LE(names.size(), 3u);
    // Every picture tag left refers to an attachment still in the list, and each one is used.
    std::vector<bool> used(names.size());
    for (const TTagIndex& t : GetTagList(saved)) {
      const std::string tag = TagText(saved, t);
      if (tag.size() < 8 || UpperCase(tag.substr(0, 8)) != "<BIMAGE ") continue;
      long long n = 0;
      ASSERT_TRUE(StrToIntStrict(GetOptionValue(tag, "src"), n)) << body << " -> " << saved;
      ASSERT_LE(n, static_cast<long long>(names.size())) << body << " -> " << saved;
      if (n >= 1) used[static_cast<size_t>(n - 1)] = true;
    }
    for (bool u : used) ASSERT_TRUE(u) << body << " -> " << saved;
  }
}

TEST(PictureTagOptions, RowsLabelsAndColours) {
  const std::string all = PictureTagOptions(3, true, 240);
  const std::string plain = PictureTagOptions(3, false, 240);
  auto count = [](const std::string& s) {
    size_t n = 0;
    for (size_t p = s.find("<option"); p != std::string::npos; p = s.find("<option", p + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(all), 19u);
  EXPECT_EQ(count(plain), 13u);
  EXPECT_EQ(all.substr(0, all.find("</option>") + 9), "<option value=\"<BIMAGE src=3>\">通常配置</option>");
  EXPECT_NE(all.find("<option style=\"color:blue\" value=\"<BIMAGE src=3 align=aright width=240>\">右寄せ流し込み(サイズ)</option>"),
            std::string::npos);
  EXPECT_NE(all.find("<option value=\"<BIMAGE src=3 resize=no >\">通常配置(原寸)</option>"), std::string::npos);
  EXPECT_NE(all.find("<option value=\"<BIMAGE src=3 align=aleft>\">左寄せ流し込み</option>"), std::string::npos);
  EXPECT_EQ(plain.find("aleft"), std::string::npos);
  EXPECT_TRUE(plain.ends_with("<option style=\"color:green\" value=\"<BIMAGE src=3 type=link desc=>\">リンクタイプ</option>"));
}

}  // namespace
