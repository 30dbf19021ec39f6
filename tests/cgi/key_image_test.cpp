// The picture-code image (KEYIMAGE) through the real executable: always a JPEG of the code or
// of an error text, the key list cleaned on the way.
#include <gtest/gtest.h>

#include "blog_fixture.h"
#include "images/bitmap.h"
#include "images/glyphs.h"
#include "text/dates.h"

namespace {

class KeyImageRequest : public ::testing::Test {
protected:
  // The picture's size for a text: bold widths plus spacing 20, margins 5 and 5; the regular
  // line height and the bottom margin 5.
  static std::pair<int, int> SizeFor(const std::string& text) {
    TGlyphFont regular, bold;
    regular.Open("Times New Roman", 21, false);
    bold.Open("Times New Roman", 21, true);
    int w = 10;
    for (char c : text) w += bold.CharWidth(static_cast<unsigned char>(c)) + 20;
    return {w, regular.TextHeight() + 5};
  }
  TBitmap24 Picture(const std::string& id) {
    const TCGIResult res = blog.Run("demo+keyimage+" + id);
    EXPECT_EQ(res.exitCode, 0);  // ended by itself, within the harness's time limit
    EXPECT_EQ(res.header("Content-Type"), "image/jpeg");
    TBitmap24 pic;
    EXPECT_EQ(DecodeJPEG(res.body, pic), TDecodeResult::Ok) << id;
    return pic;
  }
  static std::string KeyLine(int minutes, const std::string& id, const std::string& code) {
    return "\"" + FormatStamp(AddSeconds(Now(), -60LL * minutes)) + "\",\"127.0.0.1\",\"" + id + "\",\"" + code + "\"\r\n";
  }
  std::string List() const { return blog.Inst.Read(blog.Dir + "keylist.txt"); }

  TBlogFixture blog;
};

std::pair<int, int> SizeOf(const TBitmap24& b) { return {b.Width, b.Height}; }

TEST_F(KeyImageRequest, PictureOfTheIssuedCode) {
  const std::string article = blog.Article("", Stamp(1), "記事", "x");
  blog.Style("USECOMMENT=1\r\nUSEKEYIMAGE=1\r\n");
  blog.Page("demo+sl+" + article);
  const std::vector<std::string> key = RecordsOf(List()).at(0);
  const TBitmap24 pic = Picture(key.at(2));
  EXPECT_EQ(SizeOf(pic), SizeFor(key.at(3)));
  // Blue ink survives the request's JPEG (its colours are checked exactly in tests/images).
  int ink = 0;
  for (size_t i = 0; i < pic.Pixels.size(); i += 3) ink += pic.Pixels[i] > 150 && pic.Pixels[i + 1] < 120 && pic.Pixels[i + 2] < 120;
  EXPECT_GT(ink, 30);
  // Drawing does not use the code up; fontconfig's choice is kept for the next process.
  EXPECT_EQ(SplitLines(List()).size(), 1u);
  const std::string kept = blog.Inst.Read("velmsystem/fontmatch.txt");
  EXPECT_TRUE(Has(kept, "Times New Roman\t1\t") && Has(kept, "LiberationSerif-Bold")) << kept;
  blog.Inst.Write("velmsystem/fontmatch.txt", "VFM1|stale\nTimes New Roman\t0\t/nonexistent.ttf\t0\t0\t-\n");
  EXPECT_EQ(SizeOf(Picture(key.at(2))), SizeFor(key.at(3)));
  EXPECT_EQ(blog.Inst.Read("velmsystem/fontmatch.txt"), kept);
}

TEST_F(KeyImageRequest, ErrorTextsAndTheListCleaned) {
  // No list at all.
  EXPECT_EQ(SizeOf(Picture("anything")), SizeFor("ERROR3"));
  // Dead (61 minutes) and malformed lines go; a live line (59 minutes) stays and is shown.
  const std::string young = KeyLine(59, "young", "WWWWW"), fresh = KeyLine(0, "new", "CCCCC");
  blog.Inst.Write(blog.Dir + "keylist.txt", KeyLine(61, "old", "AAAAA") + "\"x\",\"y\"\r\n\r\n" + young + fresh + "broken");
  EXPECT_EQ(SizeOf(Picture("old")), SizeFor("ERROR2"));
  EXPECT_EQ(List(), young + fresh);
  EXPECT_EQ(SizeOf(Picture("young")), SizeFor("WWWWW"));
  // Any id at all gives a picture.
  for (const std::string& id : {std::string("../keylist"), std::string(500, 'y'), std::string(""), std::string("%00x")})
    EXPECT_EQ(SizeOf(Picture(id)), SizeFor("ERROR2")) << id;
  // A list of nothing but dead lines is deleted.
  blog.Inst.Write(blog.Dir + "keylist.txt", KeyLine(120, "a", "AAAAA") + KeyLine(90, "b", "BBBBB"));
  EXPECT_EQ(SizeOf(Picture("a")), SizeFor("ERROR2"));
  EXPECT_FALSE(blog.Inst.Exists(blog.Dir + "keylist.txt"));
}

TEST_F(KeyImageRequest, LongListsStayRecordLines) {
  std::string list;
  for (int i = 0; i < 100000; ++i) list += KeyLine(i < 50000 ? 70 : 10, "id" + std::to_string(i), "ZZZZZ");
  list += "\"half";
  blog.Inst.Write(blog.Dir + "keylist.txt", list);
  EXPECT_EQ(SizeOf(Picture("id99999")), SizeFor("ZZZZZ"));
  const auto records = RecordsOf(List());
  EXPECT_EQ(records.size(), 50000u);
  for (const auto& r : records) ASSERT_EQ(r.size(), 4u) << r.at(0);
}

}  // namespace
