// The editor's effects on small pictures, against values worked out by hand from the formulas.
#include <gtest/gtest.h>

#include <array>
#include <functional>
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
// Each pixel distinct: blue = x, green = y, red = 7.
TBitmap24 Numbered(int w, int h) {
  std::vector<TPixel> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px.push_back({x, y, 7});
  return Picture(w, h, px);
}
TPixel At(const TBitmap24& b, int x, int y) { return {b.At(x, y)[0], b.At(x, y)[1], b.At(x, y)[2]}; }

TEST(Effects, RoundingIsHalfToEvenAfterClamping) {
  EXPECT_EQ(RoundHalfEven(5, 2), 2);
  EXPECT_EQ(RoundHalfEven(7, 2), 4);
  EXPECT_EQ(RoundHalfEven(-3, 2), -2);
  EXPECT_EQ(RoundHalfEven(2, 3), 1);
  EXPECT_EQ(ClampRound(25450, 100), 254);  // 254.5
  EXPECT_EQ(ClampRound(25451, 100), 255);
  EXPECT_EQ(ClampRound(99999, 1), 255);
  EXPECT_EQ(ClampRound(-1, 100), 0);
}

TEST(Effects, PixelByPixel) {
  using F = std::function<void(TBitmap24&)>;
  const struct { const char* Name; F Effect; TPixel In, Out; } cases[] = {
      // 0.3 x 100 + 0.59 x 150 + 0.11 x 200 = 140.5 -> 140; 0.3 x 5 = 1.5 -> 2.
      {"mono", [](TBitmap24& b) { MonoImage(b); }, {200, 150, 100}, {140, 140, 140}},
      {"mono tie up", [](TBitmap24& b) { MonoImage(b); }, {0, 0, 5}, {2, 2, 2}},
      {"mono then a table", [](TBitmap24& b) { MonoImage(b, NegativeTable()); }, {200, 150, 100}, {115, 115, 115}},
      // Y 140, k 115: 140 - 37.13, 140 + 4.53, 140 + 37.13; Y 127: 127 - 41, + 5, + 41.
      {"sepia", [](TBitmap24& b) { SepiaImage(b); }, {200, 150, 100}, {103, 145, 177}},
      {"sepia mid", [](TBitmap24& b) { SepiaImage(b); }, {127, 127, 127}, {86, 132, 168}},
      {"sepia white", [](TBitmap24& b) { SepiaImage(b); }, {255, 255, 255}, {255, 255, 255}},
      {"negative", [](TBitmap24& b) { NegaImage(b); }, {0, 100, 255}, {255, 155, 0}},
      // v + (v - 128) x s / 100: 200 + 36; 10 - 59 -> 0; 129.5 -> 130; 126.5 -> 126; 255 - 63.5 -> 192.
      {"contrast", [](TBitmap24& b) { ContrastImage(b, 50); }, {200, 10, 129}, {236, 0, 130}},
      {"contrast tie down", [](TBitmap24& b) { ContrastImage(b, 50); }, {127, 250, 128}, {126, 255, 128}},
      {"contrast less", [](TBitmap24& b) { ContrastImage(b, -50); }, {0, 255, 128}, {64, 192, 128}},
      {"contrast off the list", [](TBitmap24& b) { ContrastImage(b, 2147483647); }, {1, 200, 128}, {0, 255, 128}},
      {"brightness", [](TBitmap24& b) { BrightImage(b, -25); }, {10, 250, 100}, {0, 225, 75}},
      // Red + 10, green - 5, blue + 50, each clamped, even far off the form's lists.
      {"tone", [](TBitmap24& b) { ToneImage(b, 10, -5, 50); }, {220, 3, 100}, {255, 0, 110}},
      {"tone extremes", [](TBitmap24& b) { ToneImage(b, 2147483647, -2147483647 - 1, 0); }, {220, 3, 100}, {220, 0, 255}},
  };
  for (const auto& c : cases) {
    TBitmap24 b = Picture(1, 1, {c.In});
    c.Effect(b);
    EXPECT_EQ(At(b, 0, 0), c.Out) << c.Name;
  }
}

TEST(Effects, GammaTable) {
  // round(255 x ((i + 1) / 255)^g) - 1, clamped.
  const TChannelTable two = GammaTable(2.0), half = GammaTable(0.5), steep = GammaTable(1e308);
  EXPECT_EQ((std::array{two[0], two[127], two[254], two[255]}), (std::array<uint8_t, 4>{0, 63, 254, 255}));
  EXPECT_EQ((std::array{half[0], half[63]}), (std::array<uint8_t, 2>{15, 127}));  // 15.97, 127.75
  EXPECT_EQ((std::array{steep[253], steep[254], steep[255]}), (std::array<uint8_t, 3>{0, 254, 255}));
  EXPECT_EQ(GammaTable(1.0), IdentityTable());
}

TEST(Effects, SharpenMovesInnerPixelsFromTheirNeighbours) {
  // Centre P = 100 (red 100), neighbours P = 50: f = 10 x (400 - 200) / 100 = 20 on every channel.
  // The next pixel sees it as it was: f = 10 x (200 - 250) / 50 = -10.
  TBitmap24 b = Filled(4, 3, {0, 0, 50});
  b.At(1, 1)[2] = 100;
  SharpImage(b, 10);
  EXPECT_EQ(At(b, 1, 1), (TPixel{20, 20, 120}));
  EXPECT_EQ(At(b, 2, 1), (TPixel{0, 0, 40}));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(At(b, x, 0), (TPixel{0, 0, 50}));  // the border stays

  // P = 256 (green 1), neighbours 256, 256, 256 and 128: f = 25 x 128 / 256 = 12.5; ties go to
  // even: 12.5 -> 12, 13.5 -> 14.
  b = Filled(3, 3, {0, 1, 0});
  b.At(1, 2)[1] = 0;
  b.At(1, 2)[2] = 128;
  SharpImage(b, 25);
  EXPECT_EQ(At(b, 1, 1), (TPixel{12, 14, 12}));

  // A black pixel (P = 0) stays.
  b = Filled(3, 3, {9, 9, 9});
  b.At(1, 1)[0] = b.At(1, 1)[1] = b.At(1, 1)[2] = 0;
  SharpImage(b, 50);
  EXPECT_EQ(At(b, 1, 1), (TPixel{0, 0, 0}));
}

TEST(Effects, NarrowPicturesAreNotSharpenedOrBlurred) {
  for (auto [w, h] : {std::pair{1, 5}, {5, 1}, {2, 6}, {6, 2}}) {
    TBitmap24 b = Numbered(w, h);
    SharpImage(b, 50);
    BlurImage(b);
    EXPECT_EQ(b.Pixels, Numbered(w, h).Pixels) << w << "x" << h;
  }
}

TEST(Effects, MosaicFillsWholeBlocksOnly) {
  TBitmap24 b = Numbered(10, 10);
  MosaicImage(b, 3);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)  // column 9 and row 9 are strips narrower than 3
      EXPECT_EQ(At(b, x, y), (x == 9 || y == 9 ? TPixel{x, y, 7} : TPixel{x / 3 * 3, y / 3 * 3, 7})) << x << "," << y;
  for (int n : {1, -3, 11}) {
    b = Numbered(10, 10);
    MosaicImage(b, n);
    EXPECT_EQ(b.Pixels, Numbered(10, 10).Pixels) << n;
  }
}

TEST(Effects, BlurWritesTheRowBelowFromRowsAsTheyWere) {
  // Red values; output (x, y + 1) = ((x-1, y) + (x+1, y) + 2 x ((x-1, y+1) + (x, y+1) + (x+1, y+1))) / 8.
  const int red[4][4] = {{0, 0, 0, 0}, {0, 80, 160, 0}, {80, 0, 0, 246}, {0, 0, 0, 0}};
  std::vector<TPixel> px;
  for (auto& row : red)
    for (int v : row) px.push_back({0, 0, v});
  TBitmap24 b = Picture(4, 4, px);
  BlurImage(b);
  const int want[4][4] = {{0, 0, 0, 0},
                          {0, 80, 160, 0},
                          {80, 40, 71, 246},  // (160 + 160) / 8; (80 + 492) / 8 = 71.5 rounded down
                          {0, 10, 30, 0}};    // from row 2 as it was: 80 / 8, 246 / 8
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(b, x, y)[2], want[y][x]) << x << "," << y;
}

TEST(Effects, RotationsTrimAndResize) {
  TBitmap24 b = Numbered(3, 2);
  RotateRight(b);  // (x, y) -> (1 - y, x)
  ASSERT_EQ(b.Width * 10 + b.Height, 23);
  EXPECT_EQ(At(b, 1, 0), (TPixel{0, 0, 7}));
  EXPECT_EQ(At(b, 0, 2), (TPixel{2, 1, 7}));
  b = Numbered(3, 2);
  RotateLeft(b);  // (x, y) -> (y, 2 - x)
  EXPECT_EQ(At(b, 0, 2), (TPixel{0, 0, 7}));
  EXPECT_EQ(At(b, 1, 0), (TPixel{2, 1, 7}));
  // TURN keeps the size and reverses the pixel order, as two right turns do (across tiles).
  const TBitmap24 n = Numbered(130, 67);
  b = n;
  TurnImage(b);
  for (int i = 0; i < 130 * 67; i += 7) EXPECT_EQ(At(b, i % 130, i / 130), At(n, 129 - i % 130, 66 - i / 130));
  TBitmap24 twice = n;
  RotateRight(twice);
  RotateRight(twice);
  EXPECT_EQ(twice.Pixels, b.Pixels);

  b = Numbered(6, 5);
  ASSERT_TRUE(TrimImage(b, 1, 2, 4, 9));  // clipped at the bottom
  ASSERT_EQ(b.Width * 10 + b.Height, 33);
  EXPECT_EQ(At(b, 2, 2), (TPixel{3, 4, 7}));
  EXPECT_FALSE(TrimImage(b, 3, 0, 1, 3));   // inverted
  EXPECT_FALSE(TrimImage(b, -1, -1, 9, 9));  // all of it

  // Nearest pixel: columns and rows repeated or dropped; an oversized request changes nothing.
  b = Numbered(2, 2);
  ASSERT_TRUE(ResizeImage(b, 4, 3));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(b, x, y), (TPixel{x / 2, y * 2 / 3, 7}));
  b = Numbered(5, 4);
  ASSERT_TRUE(ResizeImage(b, 2, 1));
  EXPECT_EQ(At(b, 1, 0), (TPixel{2, 0, 7}));
  b = Numbered(5, 4);
  EXPECT_FALSE(ResizeImage(b, 100000, 100000));
  EXPECT_EQ(b.Pixels, Numbered(5, 4).Pixels);
}

}  // namespace
