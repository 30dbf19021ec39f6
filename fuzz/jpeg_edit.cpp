// The JPEG editor's edit fields as any text, applied to a small picture. The input is cut at NUL
// bytes into trimming, rwidth, rheight, rotate, cchange, light, contrast, rtone, gtone, btone,
// csharp, mosaic, median, gammar and two bytes of picture size. The result is a picture of the
// size the fields ask for (or the old one, untouched, when that is over the pixel limit), and it
// encodes as a JPEG when JPEG can hold its size.
#include <cstdint>
#include <string>
#include <vector>

#include "images/jpeg_editor.h"

namespace {

const char* const kFields[] = {"trimming", "rwidth", "rheight", "rotate", "cchange", "light",  "contrast",
                               "rtone",    "gtone",  "btone",   "csharp", "mosaic",  "median", "gammar"};
constexpr size_t kFieldCount = sizeof kFields / sizeof kFields[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts(kFieldCount + 1);
  size_t k = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && k < kFieldCount) ++k;
    else parts[k] += static_cast<char>(data[i]);
  }
  const TJpegEditOptions o = ReadJpegEditOptions([&](const std::string& name) {
    for (size_t i = 0; i < kFieldCount; ++i)
      if (name == kFields[i]) return parts[i];
    return std::string();
  });
  // A resize into the millions of pixels costs seconds and proves nothing more than a small one.
  const long long w = o.Width > 0 ? o.Width : 1, h = o.Height > 0 ? o.Height : 1;
  if (w * h > 1'000'000 && w * h <= kMaxPixels) return 0;

  const std::string& sz = parts[kFieldCount];
  const int width = 1 + (sz.size() > 0 ? static_cast<unsigned char>(sz[0]) % 48 : 7);
  const int height = 1 + (sz.size() > 1 ? static_cast<unsigned char>(sz[1]) % 48 : 5);
  TBitmap24 picture;
  if (!picture.Resize(width, height)) __builtin_trap();
  for (size_t i = 0; i < picture.Pixels.size(); ++i) picture.Pixels[i] = static_cast<uint8_t>(i * 37);
  const TBitmap24 before = picture;

  int left = 0, top = 0, right = 0, bottom = 0;
  const bool trim = TrimmingRectangle(o.Trimming, width, height, left, top, right, bottom);
  if (trim && !(0 <= left && left < right && right <= width && 0 <= top && top < bottom && bottom <= height))
    __builtin_trap();
  if (ApplyJpegEdits(picture, o) == TEditResult::TooManyPixels) {
    if (picture.Width != before.Width || picture.Height != before.Height || picture.Pixels != before.Pixels)
      __builtin_trap();
    return 0;
  }
  int wantW = trim ? right - left : (o.Width > 0 ? o.Width : width);
  int wantH = trim ? bottom - top : (o.Height > 0 ? o.Height : height);
  if (o.Rotate == "RIGHT" || o.Rotate == "LEFT") std::swap(wantW, wantH);
  if (picture.Width != wantW || picture.Height != wantH ||
      picture.Pixels.size() != static_cast<size_t>(wantW) * static_cast<size_t>(wantH) * 3)
    __builtin_trap();
  // A side over JPEG's 65,535 is refused by the encoder (the page says the save failed).
  std::string jpeg;
  if (EncodeJPEG(picture, jpeg, kJpegEditQuality) != (wantW <= 65535 && wantH <= 65535)) __builtin_trap();
  return 0;
}
