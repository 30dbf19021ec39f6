// The picture code: the code alphabet, the twist and blur arithmetic, and the picture's
// geometry and colours.
#include <gtest/gtest.h>

#include <set>

#include "images/ImageKeyAuth.h"

namespace {

TBitmap24 Plain(int w, int h) {
  TBitmap24 b;
  b.Resize(w, h, 0xFF, 0xFF, 0xFF);
  return b;
}

// Each pixel's blue byte tells where it came from: x + 10 y (green and red 0).
TBitmap24 Numbered(int w, int h) {
  TBitmap24 b = Plain(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.At(x, y);
      p[0] = static_cast<uint8_t>(x + 10 * y);
      p[1] = p[2] = 0;
    }
  return b;
}

int From(const TBitmap24& b, int x, int y) { return b.At(x, y)[2] == 0xFF ? -1 : b.At(x, y)[0]; }

TEST(KeyImage, CodesAvoidLookAlikes) {
  std::set<char> seen;
  for (int i = 0; i < 3000; ++i) {
    const std::string code = NewKeyCode();
    ASSERT_EQ(code.size(), 5u);
    for (char c : code) {
      ASSERT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) << code;
      ASSERT_EQ(std::string("018OIB").find(c), std::string::npos) << code;
      seen.insert(c);
    }
  }
  EXPECT_EQ(seen.size(), 30u);  // 26 letters and 10 digits without the six
  EXPECT_TRUE(seen.count('4') && seen.count('2') && seen.count('H') && seen.count('L') && seen.count('R') && seen.count('Z'));
}

// The twist's integer arithmetic, worked by hand on a 10 x 4 cell (centre (5, 2)):
//   strength 0 moves nothing;
//   strength 10: (6, 2) has dx 1, dy 0, d 1, k = 10*4/1 + 10 = 50: row 2 - 50/100 = 2, column 6: itself;
//     the centre (5, 2) counts as dx = dy = 1, d 1, k 50: itself too;
//   strength 60: (6, 2): k = 60*4/1 + 60 = 300: row 2 - 3 = -1, outside: white;
//     (7, 3): dx 2, dy 1, d = round(2.24) = 2, k = 240/2 + 60 = 180: row 3 - 360/100 = 0, column 7 + 180/100 = 8;
//     (5, 2): dx = dy = 1, k 300: row 2 - 3 = -1: white;
//   strength -9: (9, 2): dx 4, dy 0, d 4, k = -36/4 - 9 = -18: row 2 - (-72/100 = 0) = 2: itself;
//     (0, 0): dx -5, dy -2, d = round(5.39) = 5, k = -36/5 - 9 = -7 - 9 = -16: row 0 - 80/100 = 0,
//     column 0 + 32/100 = 0: itself; (4, 3): dx -1, dy 1, d 1, k = -36 - 9 = -45: row 3 - 45/100 = 3,
//     column 4 - 45/100 = 4: itself;
//   strength -35: (5, 3): dx 0, dy 1, d 1, k = -140 - 35 = -175: row 3, column 5 + (-175/100 = -1) = 4
//     (division toward zero, not down).
TEST(KeyImage, TwistArithmetic) {
  TBitmap24 b = Numbered(10, 4);
  TwistPicture(b, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(From(b, x, y), x + 10 * y);

  b = Numbered(10, 4);
  TwistPicture(b, 10);
  EXPECT_EQ(From(b, 6, 2), 26);
  EXPECT_EQ(From(b, 5, 2), 25);

  b = Numbered(10, 4);
  TwistPicture(b, 60);
  EXPECT_EQ(From(b, 6, 2), -1);
  EXPECT_EQ(From(b, 7, 3), 8);
  EXPECT_EQ(From(b, 5, 2), -1);
  EXPECT_EQ(b.At(5, 2)[0] + b.At(5, 2)[1], 0x1FE);  // outside is white, not the background

  b = Numbered(10, 4);
  TwistPicture(b, -9);
  EXPECT_EQ(From(b, 9, 2), 29);
  EXPECT_EQ(From(b, 0, 0), 0);
  EXPECT_EQ(From(b, 4, 3), 34);
  b = Numbered(10, 4);
  TwistPicture(b, -35);
  EXPECT_EQ(From(b, 5, 3), 34);

  // A strong twist on a real cell moves pixels both ways and keeps the size.
  b = Numbered(20, 24);
  TwistPicture(b, 10);
  int moved = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 20; ++x) moved += From(b, x, y) != static_cast<uint8_t>(x + 10 * y);
  EXPECT_GT(moved, 100);
  EXPECT_EQ(b.Width * 1000 + b.Height, 20024);
}

// The blur reads the picture as already changed: on 4 x 3 with blue values
//   0  40  80 120 / 160 200 240 20 / 60 100 140 180
// (1, 1) becomes (40 + 100 + 160 + 240) / 4 = 135, then (2, 1) becomes (80 + 140 + 135 + 20) / 4 = 93.
TEST(KeyImage, BlurInPlace) {
  TBitmap24 b = Plain(4, 3);
  const int v[3][4] = {{0, 40, 80, 120}, {160, 200, 240, 20}, {60, 100, 140, 180}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) b.At(x, y)[0] = static_cast<uint8_t>(v[y][x]);
  BlurPicture(b);
  EXPECT_EQ(b.At(1, 1)[0], 135);
  EXPECT_EQ(b.At(2, 1)[0], 93);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(b.At(x, 0)[0] + b.At(x, 2)[0], v[0][x] + v[2][x]);  // the border stays
  EXPECT_EQ(b.At(0, 1)[0] + b.At(3, 1)[0], 180);
  EXPECT_EQ(b.At(1, 1)[1], 255);  // each channel on its own
}

TEST(KeyImage, PictureGeometryAndColours) {
  TImageKeyAuth auth;
  auth.FontName = "Times New Roman";
  auth.FontSize = 21;
  auth.CharacterSpacing = 20;
  auth.NoiseLineCount = 2;
  TGlyphFont regular, bold;
  ASSERT_TRUE(regular.Open("Times New Roman", 21, false));
  ASSERT_TRUE(bold.Open("Times New Roman", 21, true));
  EXPECT_NE(regular.File().find("LiberationSerif-Regular"), std::string::npos) << regular.File();
  EXPECT_NE(bold.File().find("LiberationSerif-Bold"), std::string::npos) << bold.File();
  EXPECT_GT(bold.CharWidth('W'), bold.CharWidth('I'));

  const std::string text = "W4HZX";
  int width = 10;
  for (char c : text) width += bold.CharWidth(static_cast<unsigned char>(c)) + 20;
  std::mt19937 random(7);
  TBitmap24 pic;
  auth.DrawTextPicture(text, 5, 0, 5, 5, pic, random);
  ASSERT_EQ(pic.Width, width);
  ASSERT_EQ(pic.Height, regular.TextHeight() + 5);
  EXPECT_GE(pic.Height, 28);

  auto is = [](const uint8_t* p, uint32_t rgb) { return p[2] == (rgb >> 16) && p[1] == ((rgb >> 8) & 0xFF) && p[0] == (rgb & 0xFF); };
  for (int x = 0; x < pic.Width; ++x) ASSERT_TRUE(is(pic.At(x, 0), 0x7F9DB9) && is(pic.At(x, pic.Height - 1), 0x7F9DB9)) << x;
  for (int y = 0; y < pic.Height; ++y) ASSERT_TRUE(is(pic.At(0, y), 0x7F9DB9) && is(pic.At(pic.Width - 1, y), 0x7F9DB9)) << y;
  // Inside: blue ink blended into white (red and green alike, blue the most), and the noise lines.
  int ink = 0, noise = 0, white = 0;
  for (int y = 1; y + 1 < pic.Height; ++y)
    for (int x = 1; x + 1 < pic.Width; ++x) {
      const uint8_t* p = pic.At(x, y);
      if (is(p, 0x0000D0)) {
        ++noise;
        continue;
      }
      ASSERT_TRUE(p[2] == p[1] && p[0] >= p[2]) << x << "," << y;
      ink += p[0] - p[2] > 100;
      white += p[2] >= 240;  // the blur's rounding down greys the white a little after the first ink
    }
  EXPECT_GT(ink, 60);
  EXPECT_GE(noise, pic.Height - 3);
  EXPECT_GT(white, (pic.Width - 2) * (pic.Height - 2) / 2);

  // The same twists give the same picture.
  std::mt19937 again(7);
  TBitmap24 same;
  auth.DrawTextPicture(text, 5, 0, 5, 5, same, again);
  EXPECT_EQ(same.Pixels, pic.Pixels);
}

TEST(KeyImage, BitmapOutput) {
  TBitmap24 b = Plain(3, 2);
  b.At(0, 1)[0] = 7;  // blue of the lower left pixel: the first pixel of a bottom-up BMP
  const std::string bmp = EncodeBMP(b);
  ASSERT_EQ(bmp.size(), 54u + 2 * 12);  // rows of 9 bytes padded to 12
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<unsigned char>(bmp[18]) + 256 * static_cast<unsigned char>(bmp[22]), 3 + 256 * 2);
  EXPECT_EQ(bmp[28], 24);
  EXPECT_EQ(bmp[54], 7);
  EXPECT_EQ(static_cast<unsigned char>(bmp[54 + 12]), 0xFF);
}

}  // namespace
