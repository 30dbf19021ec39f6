// BMP decoding through stb_image (BMP only), with the checks stb_image leaves out: the size is
// refused before any pixel is made, and a file that ends before its pixel rows is broken
// (stb_image would read zeros past the end).
#include <cstdlib>
#include <cstring>

#include "images/bitmap.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS 40000000
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace {

unsigned Get16(const std::string& b, size_t at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}
unsigned long Get32(const std::string& b, size_t at) {
  return Get16(b, at) | static_cast<unsigned long>(Get16(b, at + 2)) << 16;
}

// What the headers promise: the size, and whether the pixel rows fit in the file.
TDecodeResult CheckHeaders(const std::string& b, long long& width, long long& height) {
  if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return TDecodeResult::Broken;
  const unsigned long offset = Get32(b, 10), headerSize = Get32(b, 14);
  unsigned bits = 0;
  unsigned long compression = 0;
  if (headerSize == 12) {  // OS/2 core header: unsigned 16-bit sides
    width = Get16(b, 18);
    height = Get16(b, 20);
    bits = Get16(b, 24);
  } else {
    if (headerSize < 40 || b.size() < 34) return TDecodeResult::Broken;
    width = static_cast<int32_t>(Get32(b, 18));
    height = static_cast<int32_t>(Get32(b, 22));
    if (height < 0) height = -height;  // top-down rows
    bits = Get16(b, 28);
    compression = Get32(b, 30);
  }
  if (width <= 0 || height <= 0) return TDecodeResult::Broken;
  if (!PictureSizeAllowed(width, height)) return TDecodeResult::TooLarge;
  // Plain rows and bit fields are all stb_image reads; it would take any other value for plain rows.
  if (compression != 0 && compression != 3 && compression != 6) return TDecodeResult::Broken;
  if (bits == 0 || bits > 32) return TDecodeResult::Broken;
  const long long rowBits = width * bits;
  const long long stride = (rowBits + 31) / 32 * 4;
  // The last row may lack its padding.
  const long long need = static_cast<long long>(offset) + stride * (height - 1) + (rowBits + 7) / 8;
  if (need > static_cast<long long>(b.size())) return TDecodeResult::Broken;
  return TDecodeResult::Ok;
}

}  // namespace

TDecodeResult DecodeBMP(const std::string& bytes, TBitmap24& out) {
  out = TBitmap24();
  long long width = 0, height = 0;
  const TDecodeResult checked = CheckHeaders(bytes, width, height);
  if (checked != TDecodeResult::Ok) return checked;
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) return TDecodeResult::Broken;
  const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
  const int size = static_cast<int>(bytes.size());
  int w = 0, h = 0, channels = 0;
  // The header as stb_image reads it (its info keeps the sign of a top-down height).
  if (!stbi_info_from_memory(data, size, &w, &h, &channels) || w != width || std::abs(h) != height)
    return TDecodeResult::Broken;
  stbi_uc* rgb = stbi_load_from_memory(data, size, &w, &h, &channels, 3);
  if (!rgb) return TDecodeResult::Broken;
  if (w != width || h != height || !out.Resize(w, h)) {
    stbi_image_free(rgb);
    out = TBitmap24();
    return TDecodeResult::Broken;
  }
  const size_t count = static_cast<size_t>(w) * h;
  const stbi_uc* s = rgb;
  uint8_t* d = out.Pixels.data();
  for (size_t i = 0; i < count; ++i, s += 3, d += 3) {
    d[0] = s[2];
    d[1] = s[1];
    d[2] = s[0];
  }
  stbi_image_free(rgb);
  return TDecodeResult::Ok;
}
