// Article bodies: picture tags, the floated first picture and renumbering.
#include <gtest/gtest.h>

#include <random>

#include "../app/module_fixture.h"
#include "render/article_body.h"
#include "text/DHTMLTag.h"
#include "text/DString.h"

namespace {

const std::string kId = "0123456789abcdef0123456789abcdef01234567";

class ArticleBodyTest : public ::testing::Test {
protected:
  void SetUp() override { DefaultSystemSettings(dir, sys); }
  std::string Render(const std::string& body, const TStringList& attach, bool convert = true) {
    std::ofstream(dir + kId + ".txt", std::ios::binary) << body;
    std::ofstream(dir + kId + ".iix", std::ios::binary) << JoinLines(attach, "\r\n") + "\r\n";
    return RenderArticleBody(sys, "acc", css, dir, kId, convert, first);
  }
  TModuleFixture f;
  std::string dir = f.Root, first;
  TSystemSettings sys;
  TCSSValue css;
};

std::string Sized(const std::string& url, const std::string& w, const std::string& style = "") {
  return "<a href=\"" + url + "\" target=\"_blank\"><img src=\"" + url + "\" width=\"" + w + "\" alt=\"photo\"" + style + "></a>";
}

TEST_F(ArticleBodyTest, PictureTagsBecomeTheTemplatesOfTheirType) {
  const std::string u = "./images/acc/" + kId + "-1.JPG";
  EXPECT_EQ(Render("<bimage src=2 align=aright>", {kId + "-1.JPG", "b.jpg"}),
            Sized("./images/acc/b.jpg", "240", " style=\"float:right\""));
  EXPECT_EQ(Render("a<BIMAGE src=\"1\" width=\"100\" align=\"right\">b<BIMAGE src=1 resize=no align=center>"
                   "<BIMAGE src=1 width=\"\" align=left><BIMAGE src=1 align=middle>c\r\nd\re\nf",
                   {kId + "-1.JPG"}),
            "a<div align=\"right\">" + Sized(u, "100") + "</div>b<div align=\"center\"><img src=\"" + u +
                "\" alt=\"photo\"></div>" + Sized(u, "240") + "c<br>d<br>e<br>f");
  EXPECT_EQ(Render("<BIMAGE src=1 type=link desc=\"the photo\">", {kId + "-1.JPG"}),
            "<a href=\"" + u + "\" target=\"_blank\">THE PHOTO</a>");
  // Out of range, no number, no attributes, not closed: all stay as typed.
  const std::string kept = "<BIMAGE src=5><BIMAGE src=x><BIMAGE src=0><BIMAGE ><BIMAGE><b>b</b><BIMAGE src=1";
  EXPECT_EQ(Render(kept, {"a.jpg", "b.jpg", "c.jpg"}), kept);
  // An extension without a record, or none: the tag disappears.
  EXPECT_EQ(Render("x<BIMAGE src=1>y<BIMAGE src=2>z", {kId + "-1.bmp", "noext"}), "xyz");
  // Without the convert flag the bytes come back as stored.
  EXPECT_EQ(Render("a\r\n<BIMAGE src=1>", {"a.jpg"}, false), "a\r\n<BIMAGE src=1>");
  // Ids that are not article ids, and a missing body, give nothing.
  std::ofstream(dir + "x.txt") << "secret";
  EXPECT_EQ(RenderArticleBody(sys, "acc", css, dir, "x", false, first), "");
  EXPECT_EQ(RenderArticleBody(sys, "acc", css, dir, "../" + kId, true, first), "");
  std::filesystem::remove(dir + kId + ".txt");
  EXPECT_EQ(RenderArticleBody(sys, "acc", css, dir, kId, true, first), "");
}

TEST_F(ArticleBodyTest, TheFirstPictureIsFloatedForTheTeaser) {
  for (const auto& [method, side] : {std::pair{2, "left"}, {3, "right"}}) {
    css.CONTENTSKIPMETHOD = method;
    Render("<BIMAGE src=2><BIMAGE src=1 width=50><BIMAGE src=1 type=link>", {"p.gif", "q.png"});
    EXPECT_EQ(first, Sized("./images/acc/p.gif", "50", std::string(" style=\"float:") + side + "\""));
  }
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

}  // namespace
