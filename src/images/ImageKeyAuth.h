// TImageKeyAuth: the picture code of the comment form. A code is issued into the account's
// keylist.txt, drawn as a distorted picture (each character twisted, the whole blurred and
// framed) and checked, once, when the comment is posted.
#pragma once
#include <cstdint>
#include <random>
#include <string>

#include "images/bitmap.h"
#include "images/glyphs.h"

class TImageKeyAuth {
public:
  std::string Folder;                // holds keylist.txt, ends in "/"
  int NoiseLineCount = 0;            // random vertical lines over the picture
  std::string FontName = "Impact";
  int FontSize = 18;                 // points
  uint32_t FontColor = 0x0000FF;     // #RRGGBB
  uint32_t BackgroundColor = 0xFFFFFF;
  uint32_t NoiseLineColor = 0x0000D0;
  uint32_t BorderColor = 0x7F9DB9;
  int CharacterSpacing = 10;         // pixels added to each character cell
  bool BitmapOutput = false;         // a BMP file instead of JPEG

  // Makes a code for a client and lists it; the code's id (32 letters and digits).
  std::string Issue(const std::string& clientAddress);
  // Whether a live code with this id is exactly `code`. With `take` an accepted code is used
  // up: it admits one post.
  bool Check(const std::string& id, const std::string& code, bool take);
  // The picture of the id's code (or of ERROR1 to ERROR4 when there is none to show) with the
  // margins given, as a JPEG (or BMP) stream.
  void DrawPicture(const std::string& id, int left, int top, int right, int bottom, std::string& out);
  // The picture of a text; `random` gives each character's twist and the noise lines.
  void DrawTextPicture(const std::string& text, int left, int top, int right, int bottom, TBitmap24& picture,
                       std::mt19937& random);
};

// A code text: five characters, upper case, without the look-alikes 0 1 8 O I B.
std::string NewKeyCode();

// Twists a picture around its centre with strength s: every pixel takes the one its offset from
// the centre points at, white where that lies outside.
void TwistPicture(TBitmap24& cell, int strength);
// Each colour of every inner pixel becomes the mean of its four neighbours, in place, in row
// order.
void BlurPicture(TBitmap24& picture);
// A one-pixel line from (x0, y0) towards (x1, y1), its end point left out, clipped.
void DrawLine(TBitmap24& picture, int x0, int y0, int x1, int y1, TColor24 color);
// An uncompressed 24-bit BMP file of the picture.
std::string EncodeBMP(const TBitmap24& picture);
