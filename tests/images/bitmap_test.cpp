// The JPEG codec: round trip, broken and oversized streams are answers.
#include <gtest/gtest.h>

#include "images/bitmap.h"

namespace {

TBitmap24 Gradient(int w, int h) {
  TBitmap24 b;
  b.Resize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.At(x, y);
      p[0] = static_cast<uint8_t>(x * 255 / w);  // blue grows to the right
      p[1] = 0;
      p[2] = static_cast<uint8_t>(y * 255 / h);  // red grows downwards
    }
  return b;
}

TEST(Bitmap, JpegRoundTripKeepsSizeAndChannelOrder) {
  std::string jpeg;
  ASSERT_TRUE(EncodeJPEG(Gradient(64, 48), jpeg, 95));
  EXPECT_EQ(jpeg.substr(0, 3), "\xFF\xD8\xFF");
  TBitmap24 back;
  ASSERT_EQ(DecodeJPEG(jpeg, back), TDecodeResult::Ok);
  ASSERT_EQ(back.Width, 64);
  ASSERT_EQ(back.Height, 48);
  EXPECT_GT(back.At(60, 2)[0], 200);  // blue at the right, top
  EXPECT_LT(back.At(60, 2)[2], 40);
  EXPECT_GT(back.At(2, 45)[2], 200);  // red at the bottom, left
  EXPECT_LT(back.At(2, 45)[0], 40);
  int w = 0, h = 0;
  EXPECT_TRUE(JPEGSize(jpeg, w, h));
  EXPECT_EQ(w * 1000 + h, 64048);
  TBitmap24 empty;
  EXPECT_FALSE(EncodeJPEG(empty, jpeg));
}

TEST(Bitmap, BrokenAndOversizedStreamsAreAnswers) {
  std::string jpeg;
  ASSERT_TRUE(EncodeJPEG(Gradient(32, 32), jpeg));
  TBitmap24 b;
  for (const std::string& bad : {std::string(), std::string("BM\0\0", 4), jpeg.substr(0, 20), jpeg.substr(0, jpeg.size() / 2),
                                 std::string("\xFF\xD8\xFF\xE0") + std::string(100, '\xFF')}) {
    EXPECT_EQ(DecodeJPEG(bad, b), TDecodeResult::Broken) << bad.size();
    EXPECT_EQ(b.Width, 0);
  }
  // The frame header claims 60000 x 60000: refused before the pixels are made.
  const size_t sof = jpeg.find("\xFF\xC0", 2);
  ASSERT_NE(sof, std::string::npos);
  std::string huge = jpeg;
  huge[sof + 5] = huge[sof + 7] = static_cast<char>(0xEA);
  huge[sof + 6] = huge[sof + 8] = static_cast<char>(0x60);
  EXPECT_EQ(DecodeJPEG(huge, b), TDecodeResult::TooLarge);
  EXPECT_TRUE(b.Pixels.empty());
  EXPECT_FALSE(b.Resize(40'000'001, 1));
  EXPECT_FALSE(b.Resize(7000, 7000));
  EXPECT_FALSE(b.Resize(0, 5));
  EXPECT_TRUE(b.Resize(1, 5000, 1, 2, 3));
  EXPECT_EQ(b.At(0, 4999)[2], 3);
}

}  // namespace
