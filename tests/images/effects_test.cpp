// The editor's effects on small pictures, against values worked out by hand from the formulas.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "images/NewEfectImage.h"

namespace {

using TPixel = std::array<int, 3>;  // blue, green, red

TBitmap24 Picture(int w, int h, const std::vector<TPixel>& pixels) {
  TBitmap24 b;
  b.Resize(w, h);
  for (size_t i = 0; i < pixels.size(); ++i)
    for (int c = 0; c < 3; ++c) b.Pixels[i * 3 + c] = static_cast<uint8_t>(pixels[i][c]);
  return b;
}

TBitmap24 Filled(int w, int h, TPixel p) { return Picture(w, h, std::vector<TPixel>(static_cast<size_t>(w) * h, p)); }

TPixel At(const TBitmap24& b, int x, int y) {
  const uint8_t* p = b.At(x, y);
  return {p[0], p[1], p[2]};
}

// One pixel through an effect.
template <class F>
TPixel One(TPixel p, F effect) {
  TBitmap24 b = Picture(1, 1, {p});
  effect(b);
  return At(b, 0, 0);
}

// Each pixel distinct: blue = x, green = y, red = 7.
TBitmap24 Numbered(int w, int h) {
  std::vector<TPixel> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px.push_back({x, y, 7});
  return Picture(w, h, px);
}

TEST(Effects, RoundingIsHalfToEvenAfterClamping) {
  const struct { long long num, den, round; int clamp; } cases[] = {
      {5, 2, 2, 2},  {7, 2, 4, 4},   {-5, 2, -2, 0},  {-3, 2, -2, 0},  {1, 3, 0, 0},
      {2, 3, 1, 1},  {25450, 100, 254, 254}, {25350, 100, 254, 254}, {25451, 100, 255, 255},
      {25500, 100, 255, 255}, {99999, 1, 99999, 255}, {-1, 100, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundHalfEven(c.num, c.den), c.round) << c.num << "/" << c.den;
    EXPECT_EQ(ClampRound(c.num, c.den), c.clamp) << c.num << "/" << c.den;
  }
}

TEST(Effects, MonoSepiaAndNegative) {
  // 0.3 x 100 + 0.59 x 150 + 0.11 x 200 = 140.5 -> 140; 0.3 x 5 = 1.5 -> 2; 0.3 x 15 = 4.5 -> 4.
  EXPECT_EQ(One({200, 150, 100}, [](TBitmap24& b) { MonoImage(b); }), (TPixel{140, 140, 140}));
  EXPECT_EQ(One({0, 0, 5}, [](TBitmap24& b) { MonoImage(b); }), (TPixel{2, 2, 2}));
  EXPECT_EQ(One({0, 0, 15}, [](TBitmap24& b) { MonoImage(b); }), (TPixel{4, 4, 4}));
  EXPECT_EQ(One({255, 255, 255}, [](TBitmap24& b) { MonoImage(b); }), (TPixel{255, 255, 255}));

  // Y 140, k 115: 140 - 37.13, 140 + 4.53, 140 + 37.13.
  EXPECT_EQ(One({200, 150, 100}, [](TBitmap24& b) { SepiaImage(b); }), (TPixel{103, 145, 177}));
  // Y 127, k 127: 127 - 41, 127 + 5, 127 + 41; the ends stay black and white.
  EXPECT_EQ(One({127, 127, 127}, [](TBitmap24& b) { SepiaImage(b); }), (TPixel{86, 132, 168}));
  EXPECT_EQ(One({0, 0, 0}, [](TBitmap24& b) { SepiaImage(b); }), (TPixel{0, 0, 0}));
  EXPECT_EQ(One({255, 255, 255}, [](TBitmap24& b) { SepiaImage(b); }), (TPixel{255, 255, 255}));
  // The table given to mono runs on the gray.
  EXPECT_EQ(One({200, 150, 100}, [](TBitmap24& b) { MonoImage(b, NegativeTable()); }), (TPixel{115, 115, 115}));

  EXPECT_EQ(One({0, 100, 255}, [](TBitmap24& b) { NegaImage(b); }), (TPixel{255, 155, 0}));
}

TEST(Effects, ContrastBrightnessAndTone) {
  // v + (v - 128) x s / 100: 200 + 36; 10 - 59 -> 0; 129.5 -> 130; 126.5 -> 126.
  EXPECT_EQ(One({200, 10, 129}, [](TBitmap24& b) { ContrastImage(b, 50); }), (TPixel{236, 0, 130}));
  EXPECT_EQ(One({127, 250, 128}, [](TBitmap24& b) { ContrastImage(b, 50); }), (TPixel{126, 255, 128}));
  // 0 + 64; 255 - 63.5 = 191.5 -> 192.
  EXPECT_EQ(One({0, 255, 128}, [](TBitmap24& b) { ContrastImage(b, -50); }), (TPixel{64, 192, 128}));

  EXPECT_EQ(One({10, 250, 100}, [](TBitmap24& b) { BrightImage(b, -25); }), (TPixel{0, 225, 75}));
  EXPECT_EQ(One({10, 250, 100}, [](TBitmap24& b) { BrightImage(b, 10); }), (TPixel{20, 255, 110}));

  // Red + 10, green - 5, blue + 50, each clamped.
  EXPECT_EQ(One({220, 3, 100}, [](TBitmap24& b) { ToneImage(b, 10, -5, 50); }), (TPixel{255, 0, 110}));
  // Values far off the form's lists are still clamped, not wrapped.
  EXPECT_EQ(One({220, 3, 100}, [](TBitmap24& b) { ToneImage(b, 2147483647, -2147483647 - 1, 0); }),
            (TPixel{220, 0, 255}));
  EXPECT_EQ(One({1, 200, 128}, [](TBitmap24& b) { ContrastImage(b, 2147483647); }), (TPixel{0, 255, 128}));
}

TEST(Effects, GammaTable) {
  // round(255 x ((i + 1) / 255)^g) - 1, clamped.
  const TChannelTable two = GammaTable(2.0);
  EXPECT_EQ(two[0], 0);      // 0.004 -> 0, -1 -> 0
  EXPECT_EQ(two[127], 63);   // 64.25 -> 64
  EXPECT_EQ(two[254], 254);
  EXPECT_EQ(two[255], 255);  // 257 - 1 -> 255
  const TChannelTable half = GammaTable(0.5);
  EXPECT_EQ(half[0], 15);    // sqrt(255) = 15.97 -> 16
  EXPECT_EQ(half[63], 127);  // 255 x sqrt(64 / 255) = 127.75 -> 128, less 1
  EXPECT_EQ(GammaTable(1.0), IdentityTable());
  const TChannelTable steep = GammaTable(1e308);  // everything below white turns black
  EXPECT_EQ(steep[0], 0);
  EXPECT_EQ(steep[253], 0);
  EXPECT_EQ(steep[254], 254);
  EXPECT_EQ(steep[255], 255);
}

TEST(Effects, SharpenMovesInnerPixelsFromTheirNeighbours) {
  // Centre P = 100 (red 100), neighbours P = 50: f = 10 x (400 - 200) / 100 = 20 on every channel.
  TBitmap24 b = Filled(3, 3, {0, 0, 50});
  b.At(1, 1)[2] = 100;
  SharpImage(b, 10);
  EXPECT_EQ(At(b, 1, 1), (TPixel{20, 20, 120}));
  for (int i = 0; i < 9; ++i)
    if (i != 4) {
      EXPECT_EQ(At(b, i % 3, i / 3), (TPixel{0, 0, 50})) << i;
    }

  // Centre P = 256 (green 1), neighbours 256, 256, 256 and 128: f = 25 x 128 / 256 = 12.5;
  // ties go to even: 12.5 -> 12, 13.5 -> 14.
  b = Filled(3, 3, {0, 1, 0});
  b.At(1, 2)[1] = 0;
  b.At(1, 2)[2] = 128;
  SharpImage(b, 25);
  EXPECT_EQ(At(b, 1, 1), (TPixel{12, 14, 12}));

  // Negative f clamps at 0; a black pixel (P = 0) stays.
  b = Filled(3, 3, {0, 0, 20});
  b.At(1, 1)[2] = 10;
  SharpImage(b, 10);
  EXPECT_EQ(At(b, 1, 1), (TPixel{0, 0, 0}));
  b = Filled(3, 3, {9, 9, 9});
  b.At(1, 1)[0] = b.At(1, 1)[1] = b.At(1, 1)[2] = 0;
  SharpImage(b, 50);
  EXPECT_EQ(At(b, 1, 1), (TPixel{0, 0, 0}));

  // The second inner pixel sees its left neighbour as it was: f = 10 x (200 - 250) / 50 = -10.
  b = Filled(4, 3, {0, 0, 50});
  b.At(1, 1)[2] = 100;
  SharpImage(b, 10);
  EXPECT_EQ(At(b, 1, 1), (TPixel{20, 20, 120}));
  EXPECT_EQ(At(b, 2, 1), (TPixel{0, 0, 40}));
}

TEST(Effects, NarrowPicturesAreNotSharpenedOrBlurred) {
  for (auto [w, h] : {std::pair{1, 5}, {5, 1}, {2, 6}, {6, 2}, {1, 1}}) {
    TBitmap24 b = Numbered(w, h);
    const TBitmap24 before = b;
    SharpImage(b, 50);
    BlurImage(b);
    EXPECT_EQ(b.Pixels, before.Pixels) << w << "x" << h;
  }
}

TEST(Effects, MosaicFillsWholeBlocksOnly) {
  TBitmap24 b = Numbered(10, 10);
  MosaicImage(b, 3);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      // Column 9 and row 9 lie in strips narrower than 3 and keep their own colours.
      const TPixel want = x == 9 || y == 9 ? TPixel{x, y, 7} : TPixel{x / 3 * 3, y / 3 * 3, 7};
      EXPECT_EQ(At(b, x, y), want) << x << "," << y;
    }
  for (int n : {1, 0, -3, 11}) {
    TBitmap24 c = Numbered(10, 10);
    MosaicImage(c, n);
    EXPECT_EQ(c.Pixels, Numbered(10, 10).Pixels) << n;
  }
}

TEST(Effects, BlurWritesTheRowBelowFromRowsAsTheyWere) {
  // Red only: (10 + 30 + 2 x (40 + 50 + 60)) / 8 = 42.5 -> 42 lands one row down, at (1, 2).
  TBitmap24 b = Picture(3, 3, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 10}, {0, 0, 20}, {0, 0, 30}, {0, 0, 40}, {0, 0, 50}, {0, 0, 60}});
  BlurImage(b);
  EXPECT_EQ(At(b, 1, 2), (TPixel{0, 0, 42}));
  EXPECT_EQ(At(b, 1, 1), (TPixel{0, 0, 20}));
  EXPECT_EQ(At(b, 0, 2), (TPixel{0, 0, 40}));
  EXPECT_EQ(At(b, 2, 2), (TPixel{0, 0, 60}));

  // Row 3 is made from row 2 as it was before row 2 itself was blurred.
  const int red[4][4] = {{0, 0, 0, 0}, {0, 80, 160, 0}, {80, 0, 0, 240}, {0, 0, 0, 0}};
  std::vector<TPixel> px;
  for (auto& row : red)
    for (int v : row) px.push_back({0, 0, v});
  b = Picture(4, 4, px);
  BlurImage(b);
  EXPECT_EQ(At(b, 1, 2)[2], 40);  // (0 + 160 + 2 x 80) / 8
  EXPECT_EQ(At(b, 2, 2)[2], 70);  // (80 + 0 + 2 x 240) / 8
  EXPECT_EQ(At(b, 1, 3)[2], 10);  // (80 + 0) / 8, not (80 + 70) / 8
  EXPECT_EQ(At(b, 2, 3)[2], 30);  // (0 + 240) / 8, not (40 + 240) / 8
  EXPECT_EQ(At(b, 1, 1)[2], 80);  // row 1 and the border columns stay
  EXPECT_EQ(At(b, 3, 2)[2], 240);
}

TEST(Effects, Rotations) {
  const TBitmap24 src = Numbered(3, 2);  // pixel (x, y) holds blue x, green y
  TBitmap24 b = src;
  RotateRight(b);  // (x, y) -> (1 - y, x)
  ASSERT_EQ(b.Width * 10 + b.Height, 23);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(At(b, 1 - y, x), (TPixel{x, y, 7}));
  b = src;
  RotateLeft(b);  // (x, y) -> (y, 2 - x)
  ASSERT_EQ(b.Width * 10 + b.Height, 23);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(At(b, y, 2 - x), (TPixel{x, y, 7}));

  // TURN keeps the size and reverses the pixel order, as two right turns do; a large picture
  // crosses the rotation's tiles.
  for (auto [w, h] : {std::pair{3, 2}, {1, 1}, {130, 67}}) {
    const TBitmap24 n = Numbered(w, h);
    b = n;
    TurnImage(b);
    ASSERT_EQ(b.Width * 1000 + b.Height, w * 1000 + h);
    for (int i = 0; i < w * h; ++i) EXPECT_EQ(At(b, i % w, i / w), At(n, w - 1 - i % w, h - 1 - i / w));
    TBitmap24 twice = n;
    RotateRight(twice);
    RotateRight(twice);
    EXPECT_EQ(twice.Pixels, b.Pixels);
    RotateLeft(twice);
    RotateRight(twice);
    EXPECT_EQ(twice.Pixels, b.Pixels);
  }
}

TEST(Effects, TrimAndResize) {
  TBitmap24 b = Numbered(6, 5);
  ASSERT_TRUE(TrimImage(b, 1, 2, 4, 5));
  ASSERT_EQ(b.Width * 10 + b.Height, 33);
  EXPECT_EQ(At(b, 0, 0), (TPixel{1, 2, 7}));
  EXPECT_EQ(At(b, 2, 2), (TPixel{3, 4, 7}));
  // Clipped to the picture; nothing left, or all of it, trims nothing.
  b = Numbered(6, 5);
  ASSERT_TRUE(TrimImage(b, -4, 3, 100, 100));
  EXPECT_EQ(b.Width * 10 + b.Height, 62);
  EXPECT_EQ(At(b, 0, 0), (TPixel{0, 3, 7}));
  for (auto r : {std::array{4, 4, 2, 5}, {0, 0, 6, 5}, {-9, -9, 60, 50}, {7, 0, 9, 5}, {2, 2, 2, 4}}) {
    b = Numbered(6, 5);
    EXPECT_FALSE(TrimImage(b, r[0], r[1], r[2], r[3]));
    EXPECT_EQ(b.Pixels, Numbered(6, 5).Pixels);
  }

  // Nearest pixel: columns and rows repeated or dropped.
  b = Numbered(2, 2);
  ASSERT_TRUE(ResizeImage(b, 4, 3));
  ASSERT_EQ(b.Width * 10 + b.Height, 43);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(b, x, y), (TPixel{x / 2, y * 2 / 3, 7})) << x << "," << y;
  b = Numbered(5, 4);
  ASSERT_TRUE(ResizeImage(b, 2, 1));
  EXPECT_EQ(At(b, 0, 0), (TPixel{0, 0, 7}));
  EXPECT_EQ(At(b, 1, 0), (TPixel{2, 0, 7}));
  // A size the system does not make leaves the picture.
  b = Numbered(5, 4);
  EXPECT_FALSE(ResizeImage(b, 100000, 100000));
  EXPECT_FALSE(ResizeImage(b, 0, 4));
  EXPECT_EQ(b.Pixels, Numbered(5, 4).Pixels);
}

}  // namespace
