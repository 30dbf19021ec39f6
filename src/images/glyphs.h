// Text on a TBitmap24: a font family resolved through fontconfig, its glyphs from FreeType.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "images/bitmap.h"

struct TColor24 {
  uint8_t Red = 0, Green = 0, Blue = 0;
};
// "#RRGGBB" as a number 0xRRGGBB.
constexpr TColor24 ColorOf(uint32_t rgb) {
  return {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb)};
}

// Where fontconfig's choices are kept between processes (a file made again whenever the font
// configuration or a chosen font file changes); empty: fontconfig is asked in every process.
// Reading its whole configuration costs more than the rest of a small picture.
void SetFontMatchCache(const std::string& path);

class TGlyphFont {
public:
  TGlyphFont();
  ~TGlyphFont();
  TGlyphFont(const TGlyphFont&) = delete;
  TGlyphFont& operator=(const TGlyphFont&) = delete;

  // The face fontconfig chooses for the family (bold or regular) at `points` on a 96 dpi
  // screen. False when no font can be had; the metrics then are those of a blank font of that
  // size, and nothing is drawn.
  bool Open(const std::string& family, int points, bool bold);
  const std::string& File() const { return FFile; }

  // The advance of a character in pixels.
  int CharWidth(unsigned char c);
  // The height of a line of text: ascent plus descent.
  int TextHeight() const { return FAscent + FDescent; }
  int Ascent() const { return FAscent; }
  // Draws c with the top-left corner of its line cell at (x, y), clipped to the picture; the
  // glyph's coverage blends the colour over what is there.
  void DrawChar(TBitmap24& picture, int x, int y, unsigned char c, TColor24 color);

private:
  struct TFace;
  bool Face();
  std::unique_ptr<TFace> F;
  std::string FFile;
  int FIndex = 0;
  bool FEmbolden = false;
  int FPixels = 0, FAscent = 0, FDescent = 0;
};
