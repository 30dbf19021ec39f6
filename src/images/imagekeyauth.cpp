// The picture code: issue, check, the distorted picture and the KEYIMAGE command.
#include "images/ImageKeyAuth.h"

#include <sys/random.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/Unit1.h"
#include "store/DCSVList.h"
#include "store/keylist.h"
#include "text/DString.h"
#include "text/dates.h"

namespace {

void Fill(TBitmap24& b, int width, int height, TColor24 c) { b.Resize(width, height, c.Blue, c.Green, c.Red); }

void Put(TBitmap24& b, int x, int y, TColor24 c) {
  if (x < 0 || y < 0 || x >= b.Width || y >= b.Height) return;
  uint8_t* p = b.At(x, y);
  p[0] = c.Blue;
  p[1] = c.Green;
  p[2] = c.Red;
}

// Copies `cell` onto the picture with its top-left corner at (x, y), clipped.
void Paste(TBitmap24& picture, const TBitmap24& cell, int x, int y) {
  for (int row = std::max(0, -y); row < cell.Height && y + row < picture.Height; ++row) {
    const int from = std::max(0, -x), to = std::min(cell.Width, picture.Width - x);
    if (from < to) std::copy(cell.At(from, row), cell.At(from, row) + (to - from) * 3, picture.At(x + from, y + row));
  }
}

// An address as a field of a record line: no quotes, no control characters.
std::string FieldText(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != '"' && static_cast<unsigned char>(c) >= 0x20) out += c;
  return out;
}

void PutLE(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

std::string NewKeyCode() {
  std::string code = UpperCase(RandomCode(5));
  for (char& c : code) {
    switch (c) {
      case '0': c = '4'; break;
      case '1': c = '2'; break;
      case '8': c = 'H'; break;
      case 'O': c = 'L'; break;
      case 'I': c = 'R'; break;
      case 'B': c = 'Z'; break;
      default: break;
    }
  }
  return code;
}

std::string TImageKeyAuth::Issue(const std::string& clientAddress) {
  const std::string id = RandomCode(32);
  AppendKeyLine(Folder, MakeRecordLine({FormatStamp(Now()), FieldText(clientAddress), id, NewKeyCode()}),
                time(nullptr));
  return id;
}

bool TImageKeyAuth::Check(const std::string& id, const std::string& code, bool take) {
  return CheckKey(Folder, id, code, time(nullptr), take);
}

void TImageKeyAuth::DrawPicture(const std::string& id, int left, int top, int right, int bottom, std::string& out) {
  std::string text;
  switch (LookupKey(Folder, id, time(nullptr), text)) {
    case TKeyLookup::Found: break;
    case TKeyLookup::Unreadable: text = "ERROR1"; break;
    case TKeyLookup::Missing: text = "ERROR2"; break;
    case TKeyLookup::NoList: text = "ERROR3"; break;
    case TKeyLookup::WriteFailed: text = "ERROR4"; break;
  }
  unsigned seed = 0;
  if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) seed = static_cast<unsigned>(time(nullptr));
  std::mt19937 random(seed);
  TBitmap24 picture;
  DrawTextPicture(text, left, top, right, bottom, picture, random);
  out.clear();
  if (BitmapOutput) out = EncodeBMP(picture);
  else EncodeJPEG(picture, out);
}

void TImageKeyAuth::DrawTextPicture(const std::string& text, int left, int top, int right, int bottom,
                                    TBitmap24& picture, std::mt19937& random) {
  // A listed code is five characters; a hand-made list may hold any text: the picture stays small.
  const std::string shown = text.substr(0, 64);
  const TColor24 background = ColorOf(BackgroundColor), ink = ColorOf(FontColor);
  TGlyphFont regular, bold;
  regular.Open(FontName, FontSize, false);
  bold.Open(FontName, FontSize, true);
  const int spacing = std::max(CharacterSpacing, 0);
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::max(right, 0);
  bottom = std::max(bottom, 0);

  int textWidth = 0;
  for (unsigned char c : shown) textWidth += bold.CharWidth(c) + spacing;
  const int width = std::max(textWidth + left + right, 1), height = std::max(regular.TextHeight() + top + bottom, 1);
  Fill(picture, width, height, background);

  std::uniform_int_distribution<int> twist(0, 19);
  TBitmap24 cell;
  int x = left;
  for (unsigned char c : shown) {
    const int cellWidth = std::max(bold.CharWidth(c) + spacing, 1);
    Fill(cell, cellWidth, height, background);
    bold.DrawChar(cell, 0, 0, c, ink);
    TwistPicture(cell, 10 - twist(random));
    Paste(picture, cell, x + spacing / 2, 0);
    x += cellWidth;
  }
  BlurPicture(picture);
  if (NoiseLineCount > 0) {
    std::uniform_int_distribution<int> column(0, width - 1);
    const TColor24 noise = ColorOf(NoiseLineColor);
    for (int i = 0; i < NoiseLineCount && i < 1000; ++i) {
      const int a = column(random), b = column(random);
      DrawLine(picture, a, 0, b, height, noise);
    }
  }
  const TColor24 border = ColorOf(BorderColor);
  DrawLine(picture, 0, 0, width - 1, 0, border);
  DrawLine(picture, width - 1, 0, width - 1, height - 1, border);
  DrawLine(picture, width - 1, height - 1, 0, height - 1, border);
  DrawLine(picture, 0, height - 1, 0, 0, border);
}

void TwistPicture(TBitmap24& cell, int strength) {
  const int w = cell.Width, h = cell.Height;
  if (w <= 0 || h <= 0) return;
  TBitmap24 out;
  out.Resize(w, h, 0xFF, 0xFF, 0xFF);
  const int cx = w / 2, cy = h / 2;
  const long long s = strength;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      long long dx = x - cx, dy = y - cy;
      if (dx == 0 && dy == 0) dx = dy = 1;
      const long long d = std::llround(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
      const long long k = s * h / d + s;
      const long long sy = y - k * dx / 100, sx = x + k * dy / 100;
      if (sx >= 0 && sx < w && sy >= 0 && sy < h) std::copy(cell.At(static_cast<int>(sx), static_cast<int>(sy)),
                                                            cell.At(static_cast<int>(sx), static_cast<int>(sy)) + 3,
                                                            out.At(x, y));
    }
  }
  cell.Pixels.swap(out.Pixels);
}

void BlurPicture(TBitmap24& picture) {
  const int w = picture.Width, h = picture.Height;
  for (int y = 1; y + 1 < h; ++y) {
    for (int x = 1; x + 1 < w; ++x) {
      uint8_t* p = picture.At(x, y);
      const uint8_t *up = picture.At(x, y - 1), *down = picture.At(x, y + 1), *l = p - 3, *r = p + 3;
      for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<uint8_t>((up[ch] + down[ch] + l[ch] + r[ch]) / 4);
    }
  }
}

void DrawLine(TBitmap24& picture, int x0, int y0, int x1, int y1, TColor24 color) {
  const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  if (dx == 0 && dy == 0) {
    Put(picture, x0, y0, color);
    return;
  }
  int err = dx + dy;
  for (;;) {
    if (x0 == x1 && y0 == y1) break;  // the end point is the next line's start
    Put(picture, x0, y0, color);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

std::string EncodeBMP(const TBitmap24& picture) {
  const uint32_t rowBytes = (static_cast<uint32_t>(picture.Width) * 3 + 3) & ~3u;
  const uint32_t image = rowBytes * static_cast<uint32_t>(picture.Height);
  std::string out = "BM";
  PutLE(out, 54 + image, 4);
  PutLE(out, 0, 4);
  PutLE(out, 54, 4);
  PutLE(out, 40, 4);
  PutLE(out, static_cast<uint32_t>(picture.Width), 4);
  PutLE(out, static_cast<uint32_t>(picture.Height), 4);  // rows from the bottom
  PutLE(out, 1, 2);
  PutLE(out, 24, 2);
  PutLE(out, 0, 4);
  PutLE(out, image, 4);
  PutLE(out, 3780, 4);  // 96 dpi
  PutLE(out, 3780, 4);
  PutLE(out, 0, 4);
  PutLE(out, 0, 4);
  for (int y = picture.Height - 1; y >= 0; --y) {
    out.append(reinterpret_cast<const char*>(picture.Row(y)), static_cast<size_t>(picture.Width) * 3);
    out.append(rowBytes - static_cast<uint32_t>(picture.Width) * 3, '\0');
  }
  return out;
}

int TWebModule1::DoKeyImage(const TCommandEntry&) {
  SetFontMatchCache(Sys.DATAFOLDER + "fontmatch.txt");
  TImageKeyAuth auth;
  auth.Folder = AccountFolder();
  auth.FontName = "Times New Roman";
  auth.FontSize = 21;
  auth.CharacterSpacing = 20;
  std::string jpeg;
  auth.DrawPicture(Arg3, 5, 0, 5, 5, jpeg);
  Response.ContentType = "image/jpeg";
  Response.SetContentStream(std::move(jpeg));
  return 1;
}
