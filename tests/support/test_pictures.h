// Picture files for tests: BMP files in the forms people have, written byte by byte, and
// JPEG files through the system's encoder.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "images/bitmap.h"

struct TTestBMP {
  int Width = 1, Height = 1, Bits = 24;
  bool TopDown = false;
  bool Core = false;                             // the 12-byte OS/2 header
  std::vector<std::array<uint8_t, 3>> Palette;   // blue, green, red
  std::function<uint32_t(int x, int y)> Value;   // 0xRRGGBB, or a palette index for 1, 4 and 8 bits

  std::string Bytes() const {
    const auto put16 = [](std::string& s, uint32_t v) { s += static_cast<char>(v & 255); s += static_cast<char>(v >> 8 & 255); };
    const auto put32 = [&](std::string& s, uint32_t v) { put16(s, v & 0xFFFF); put16(s, v >> 16); };
    const uint32_t stride = (static_cast<uint32_t>(Width) * Bits + 31) / 32 * 4;
    const uint32_t header = Core ? 12 : 40, entry = Core ? 3 : 4;
    const uint32_t offset = 14 + header + static_cast<uint32_t>(Palette.size()) * entry;
    std::string s = "BM";
    put32(s, offset + stride * Height);
    put32(s, 0);
    put32(s, offset);
    put32(s, header);
    if (Core) {
      put16(s, Width);
      put16(s, Height);
      put16(s, 1);
      put16(s, Bits);
    } else {
      put32(s, Width);
      put32(s, TopDown ? static_cast<uint32_t>(-Height) : Height);
      put16(s, 1);
      put16(s, Bits);
      put32(s, 0);
      put32(s, stride * Height);
      put32(s, 2835);
      put32(s, 2835);
      put32(s, static_cast<uint32_t>(Palette.size()));
      put32(s, 0);
    }
    for (const auto& c : Palette) {
      s.append({static_cast<char>(c[0]), static_cast<char>(c[1]), static_cast<char>(c[2])});
      if (!Core) s += '\0';
    }
    for (int i = 0; i < Height; ++i) {
      const int y = TopDown ? i : Height - 1 - i;
      std::string row(stride, '\0');
      for (int x = 0; x < Width; ++x) {
        const uint32_t v = Value(x, y);
        if (Bits >= 24) {
          const size_t at = static_cast<size_t>(x) * (Bits / 8);
          row[at] = static_cast<char>(v & 255);
          row[at + 1] = static_cast<char>(v >> 8 & 255);
          row[at + 2] = static_cast<char>(v >> 16 & 255);
          if (Bits == 32) row[at + 3] = static_cast<char>(255);
        } else {
          const int bit = x * Bits;
          row[bit / 8] = static_cast<char>(row[bit / 8] | v << (8 - Bits - bit % 8));
        }
      }
      s += row;
    }
    return s;
  }
};

// A JPEG of w x h with the colour (blue, green, red) of each pixel given by `colour`.
inline std::string TestJPEG(int w, int h, const std::function<std::array<uint8_t, 3>(int x, int y)>& colour,
                            int quality = 95) {
  TBitmap24 b;
  b.Resize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const auto c = colour(x, y);
      uint8_t* p = b.At(x, y);
      p[0] = c[0];
      p[1] = c[1];
      p[2] = c[2];
    }
  std::string out;
  EncodeJPEG(b, out, quality);
  return out;
}
