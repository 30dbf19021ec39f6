// The 24-bit picture both the picture code and the JPEG editor draw on, and its JPEG codec.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Rows from the top, each pixel the bytes blue, green, red; rows are packed (no padding).
struct TBitmap24 {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;

  // False (and an empty picture) when the size is not positive or over kMaxPixels.
  bool Resize(int width, int height, uint8_t blue = 0, uint8_t green = 0, uint8_t red = 0);
  uint8_t* Row(int y) { return Pixels.data() + static_cast<size_t>(y) * Width * 3; }
  const uint8_t* Row(int y) const { return Pixels.data() + static_cast<size_t>(y) * Width * 3; }
  uint8_t* At(int x, int y) { return Row(y) + static_cast<size_t>(x) * 3; }
  const uint8_t* At(int x, int y) const { return Row(y) + static_cast<size_t>(x) * 3; }
};

// No picture larger than this is made or decoded: a small file can claim a huge size.
constexpr long long kMaxPixels = 40'000'000;

// Whether width x height is a picture the system makes (positive sides, at most kMaxPixels).
bool PictureSizeAllowed(long long width, long long height);

enum class TDecodeResult { Ok, Broken, TooLarge };

// Decodes a JPEG stream into 24 bits (gray and CMYK pictures converted). A broken stream is an
// answer, never an exit; the size is checked from the header before any large allocation.
TDecodeResult DecodeJPEG(const std::string& bytes, TBitmap24& out);
// Reads only the header: the picture's size. False when it is not a readable JPEG header.
bool JPEGSize(const std::string& bytes, int& width, int& height);
// Decodes a BMP file (1, 4, 8, 16, 24 and 32 bits, bottom-up or top-down) into 24 bits. A file
// shorter than its headers promise is Broken; the size is checked before the pixels are made.
TDecodeResult DecodeBMP(const std::string& bytes, TBitmap24& out);
// Encodes with the library defaults apart from the quality. False on an empty picture.
bool EncodeJPEG(const TBitmap24& picture, std::string& out, int quality = 75);
