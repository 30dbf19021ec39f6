// The editor's effects: channel tables for the point effects, row loops for the rest. Sums of
// the formulas are kept as exact integer fractions, so the rounding ties come out as written.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "images/NewEfectImage.h"

namespace {

// Floor division with the remainder in [0, den) (den > 0).
inline void FloorDivide(long long num, long long den, long long& q, long long& r) {
  q = num / den;
  r = num % den;
  if (r < 0) {
    --q;
    r += den;
  }
}

inline int Pack(const uint8_t* p) { return p[0] << 16 | p[1] << 8 | p[2]; }

// The gray value round((30 red + 59 green + 11 blue) / 100) for every weighted sum.
struct TGrayTables {
  uint16_t Blue[256], Green[256], Red[256];
  std::vector<uint8_t> Gray;  // by weighted sum, 0 .. 25500
  TGrayTables() : Gray(25501) {
    for (int v = 0; v < 256; ++v) {
      Blue[v] = static_cast<uint16_t>(11 * v);
      Green[v] = static_cast<uint16_t>(59 * v);
      Red[v] = static_cast<uint16_t>(30 * v);
    }
    for (int n = 0; n <= 25500; ++n) Gray[n] = static_cast<uint8_t>(RoundHalfEven(n, 100));
  }
  uint8_t Of(const uint8_t* p) const { return Gray[Blue[p[0]] + Green[p[1]] + Red[p[2]]]; }
};

const TGrayTables& Grays() {
  static const TGrayTables tables;
  return tables;
}

// Every pixel becomes the three tables' values of its gray.
void FromGray(TBitmap24& picture, const TChannelTable& blue, const TChannelTable& green, const TChannelTable& red) {
  const TGrayTables& g = Grays();
  uint8_t* p = picture.Pixels.data();
  uint8_t* const end = p + picture.Pixels.size();
  for (; p != end; p += 3) {
    const uint8_t y = g.Of(p);
    p[0] = blue[y];
    p[1] = green[y];
    p[2] = red[y];
  }
}

}  // namespace

long long RoundHalfEven(long long num, long long den) {
  long long q, r;
  FloorDivide(num, den, q, r);
  if (2 * r > den) return q + 1;
  if (2 * r == den) return q + (q & 1);
  return q;
}

uint8_t ClampRound(long long num, long long den) {
  if (num >= 255 * den) return 255;
  if (num < 0) return 0;
  return static_cast<uint8_t>(RoundHalfEven(num, den));
}

TChannelTable IdentityTable() {
  TChannelTable t;
  for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(v);
  return t;
}

TChannelTable NegativeTable() {
  TChannelTable t;
  for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(255 - v);
  return t;
}

TChannelTable ContrastTable(int step) {
  TChannelTable t;
  for (int v = 0; v < 256; ++v) t[v] = ClampRound(100LL * v + static_cast<long long>(v - 128) * step, 100);
  return t;
}

TChannelTable BrightnessTable(int step) {
  TChannelTable t;
  for (int v = 0; v < 256; ++v) t[v] = ClampRound(static_cast<long long>(v) + step, 1);
  return t;
}

TChannelTable GammaTable(double gamma) {
  TChannelTable t;
  for (int v = 0; v < 256; ++v) {
    // nearbyint rounds ties to even in the default rounding mode.
    const double e = std::nearbyint(255.0 * std::pow((v + 1) / 255.0, gamma)) - 1.0;
    t[v] = e >= 255.0 ? 255 : e < 0.0 || std::isnan(e) ? 0 : static_cast<uint8_t>(e);
  }
  return t;
}

TChannelTable ComposeTables(const TChannelTable& first, const TChannelTable& then) {
  TChannelTable t;
  for (int v = 0; v < 256; ++v) t[v] = then[first[v]];
  return t;
}

void ApplyTable(TBitmap24& picture, const TChannelTable& table) {
  for (uint8_t& v : picture.Pixels) v = table[v];
}

void ApplyTables(TBitmap24& picture, const TChannelTable& blue, const TChannelTable& green, const TChannelTable& red) {
  uint8_t* p = picture.Pixels.data();
  uint8_t* const end = p + picture.Pixels.size();
  for (; p != end; p += 3) {
    p[0] = blue[p[0]];
    p[1] = green[p[1]];
    p[2] = red[p[2]];
  }
}

void MonoImage(TBitmap24& picture, const TChannelTable& after) { FromGray(picture, after, after, after); }

void SepiaImage(TBitmap24& picture, const TChannelTable& after) {
  TChannelTable blue, green, red;
  for (int y = 0; y < 256; ++y) {
    const int k = y <= 127 ? y : 255 - y;
    // y - 41k/127, y + 5k/127, y + 41k/127: always within 0 .. 255.
    blue[y] = after[RoundHalfEven(127LL * y - 41LL * k, 127)];
    green[y] = after[RoundHalfEven(127LL * y + 5LL * k, 127)];
    red[y] = after[RoundHalfEven(127LL * y + 41LL * k, 127)];
  }
  FromGray(picture, blue, green, red);
}

void NegaImage(TBitmap24& picture) { ApplyTable(picture, NegativeTable()); }
void ContrastImage(TBitmap24& picture, int step) { ApplyTable(picture, ContrastTable(step)); }
void BrightImage(TBitmap24& picture, int step) { ApplyTable(picture, BrightnessTable(step)); }
void GammaImage(TBitmap24& picture, double gamma) { ApplyTable(picture, GammaTable(gamma)); }

void ToneImage(TBitmap24& picture, int red, int green, int blue) {
  ApplyTables(picture, BrightnessTable(blue), BrightnessTable(green), BrightnessTable(red));
}

void SharpImage(TBitmap24& picture, int strength) {
  const int w = picture.Width, h = picture.Height;
  if (strength == 0 || w < 3 || h < 3) return;
  const size_t rowBytes = static_cast<size_t>(w) * 3;
  // The rows above and at y as they were before: row y is changed once it has been copied.
  std::vector<uint8_t> above(picture.Row(0), picture.Row(0) + rowBytes), here(rowBytes);
  // Per pixel of a row: P, the difference from the neighbours times the strength, and their
  // quotient, each in a loop of its own so that the divisions run side by side.
  std::vector<int> packed(static_cast<size_t>(w));
  std::vector<long long> num(static_cast<size_t>(w));
  std::vector<double> quotient(static_cast<size_t>(w));
  for (int y = 1; y < h - 1; ++y) {
    std::memcpy(here.data(), picture.Row(y), rowBytes);
    const uint8_t* up = above.data();
    const uint8_t* down = picture.Row(y + 1);
    const uint8_t* c = here.data();
    for (int x = 1; x < w - 1; ++x) {
      const size_t i = static_cast<size_t>(x) * 3;
      const int p = Pack(c + i);
      packed[x] = p;
      num[x] = static_cast<long long>(strength) * (4 * p - Pack(c + i - 3) - Pack(c + i + 3) - Pack(up + i) - Pack(down + i));
    }
    for (int x = 1; x < w - 1; ++x) {
      // Beyond +-256 every channel clamps, so the quotient is cut there (a black pixel gives 0).
      const double f = static_cast<double>(num[x]) / std::max(packed[x], 1);
      quotient[x] = std::clamp(f, -256.0, 256.0);
    }
    uint8_t* out = picture.Row(y);
    for (int x = 1; x < w - 1; ++x) {
      const long long p = packed[x], n = num[x];
      if (p == 0 || n == 0) continue;  // a black pixel, or no change
      // v + n / p = v + q + r / p with 0 <= r < p: the floor of the double quotient is off by
      // at most one.
      long long q = static_cast<long long>(std::floor(quotient[x]));
      long long r = n - q * p;
      q = r < 0 ? q - 1 : r >= p ? q + 1 : q;
      r = n - q * p;
      const int roundUp = 2 * r > p, tie = 2 * r == p;
      const size_t i = static_cast<size_t>(x) * 3;
      for (int k = 0; k < 3; ++k) {
        const int t = c[i + k] + static_cast<int>(q);
        out[i + k] = static_cast<uint8_t>(t < 0 ? 0 : t >= 255 ? 255 : t + (roundUp | (tie & t)));
      }
    }
    std::swap(above, here);
  }
}

void MosaicImage(TBitmap24& picture, int size) {
  if (size < 2) return;  // 1 x 1 blocks are the picture itself
  const int blocksX = picture.Width / size, blocksY = picture.Height / size;
  if (blocksX == 0 || blocksY == 0) return;
  const size_t span = static_cast<size_t>(blocksX) * size * 3;
  for (int by = 0; by < blocksY; ++by) {
    uint8_t* top = picture.Row(by * size);
    // Each block's top left pixel is read before any pixel of that block is written.
    for (int bx = 0; bx < blocksX; ++bx) {
      uint8_t* block = top + static_cast<size_t>(bx) * size * 3;
      for (int x = 1; x < size; ++x) std::memcpy(block + x * 3, block, 3);
    }
    for (int y = 1; y < size; ++y) std::memcpy(picture.Row(by * size + y), top, span);
  }
}

void BlurImage(TBitmap24& picture) {
  const int w = picture.Width, h = picture.Height;
  if (w < 3 || h < 3) return;
  const size_t rowBytes = static_cast<size_t>(w) * 3;
  std::vector<uint8_t> out(rowBytes);
  // Bottom up: row y + 1 is written from rows y and y + 1, which are then still as they were.
  for (int y = h - 2; y >= 1; --y) {
    const uint8_t* a = picture.Row(y);
    const uint8_t* b = picture.Row(y + 1);
    for (size_t i = 3; i + 3 < rowBytes; ++i)
      out[i] = static_cast<uint8_t>((a[i - 3] + a[i + 3] + 2 * (b[i - 3] + b[i] + b[i + 3])) >> 3);
    std::memcpy(picture.Row(y + 1) + 3, out.data() + 3, rowBytes - 6);
  }
}

bool TrimImage(TBitmap24& picture, int left, int top, int right, int bottom) {
  const int w = picture.Width, h = picture.Height;
  left = std::clamp(left, 0, w);
  right = std::clamp(right, 0, w);
  top = std::clamp(top, 0, h);
  bottom = std::clamp(bottom, 0, h);
  if (right <= left || bottom <= top) return false;
  if (left == 0 && top == 0 && right == w && bottom == h) return false;
  TBitmap24 out;
  if (!out.Resize(right - left, bottom - top)) return false;
  const size_t bytes = static_cast<size_t>(out.Width) * 3;
  for (int y = 0; y < out.Height; ++y) std::memcpy(out.Row(y), picture.At(left, top + y), bytes);
  picture = std::move(out);
  return true;
}

bool ResizeImage(TBitmap24& picture, int width, int height) {
  if (width == picture.Width && height == picture.Height) return true;
  TBitmap24 out;
  if (picture.Width <= 0 || picture.Height <= 0 || !out.Resize(width, height)) return false;
  std::vector<size_t> from(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) from[x] = static_cast<size_t>(static_cast<long long>(x) * picture.Width / width) * 3;
  const size_t bytes = static_cast<size_t>(width) * 3;
  int lastSource = -1;
  for (int y = 0; y < height; ++y) {
    const int sy = static_cast<int>(static_cast<long long>(y) * picture.Height / height);
    uint8_t* d = out.Row(y);
    if (sy == lastSource) {
      std::memcpy(d, out.Row(y - 1), bytes);  // a repeated row
      continue;
    }
    lastSource = sy;
    const uint8_t* s = picture.Row(sy);
    for (int x = 0; x < width; ++x, d += 3) std::memcpy(d, s + from[x], 3);
  }
  picture = std::move(out);
  return true;
}

namespace {

// Rotation by quarter turns, in tiles so that both pictures are walked within the cache.
template <bool Clockwise>
void RotateQuarter(TBitmap24& picture) {
  const int w = picture.Width, h = picture.Height;
  if (w <= 0 || h <= 0) return;
  TBitmap24 out;
  if (!out.Resize(h, w)) return;
  constexpr int kTile = 64;
  for (int y0 = 0; y0 < h; y0 += kTile) {
    const int y1 = std::min(h, y0 + kTile);
    for (int x0 = 0; x0 < w; x0 += kTile) {
      const int x1 = std::min(w, x0 + kTile);
      for (int x = x0; x < x1; ++x) {
        // Clockwise: (x, y) goes to (h - 1 - y, x); counter-clockwise: to (y, w - 1 - x).
        uint8_t* row = out.Row(Clockwise ? x : w - 1 - x);
        for (int y = y0; y < y1; ++y) std::memcpy(row + static_cast<size_t>(Clockwise ? h - 1 - y : y) * 3, picture.At(x, y), 3);
      }
    }
  }
  picture = std::move(out);
}

}  // namespace

void RotateRight(TBitmap24& picture) { RotateQuarter<true>(picture); }
void RotateLeft(TBitmap24& picture) { RotateQuarter<false>(picture); }

void TurnImage(TBitmap24& picture) {
  uint8_t* a = picture.Pixels.data();
  uint8_t* b = a + picture.Pixels.size();
  while (b - a >= 6) {
    b -= 3;
    std::swap_ranges(a, a + 3, b);
    a += 3;
  }
}
