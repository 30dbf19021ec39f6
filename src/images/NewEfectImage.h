// The JPEG editor's effects on 24-bit blue-green-red pictures. Every effect gives what it would
// give reading the picture as it was before the effect; most work in place row by row.
// "Clamp" is: 255 or more gives 255, below 0 gives 0, then rounding to nearest, ties to even.
#pragma once
#include <array>
#include <cstdint>

#include "images/bitmap.h"

// One channel value mapped to another.
using TChannelTable = std::array<uint8_t, 256>;

// num / den rounded to the nearest integer, ties to even (den > 0).
long long RoundHalfEven(long long num, long long den);
// Clamp of num / den (den > 0).
uint8_t ClampRound(long long num, long long den);

TChannelTable IdentityTable();
TChannelTable NegativeTable();             // 255 - v
TChannelTable ContrastTable(int step);     // clamp(v + (v - 128) x step / 100)
TChannelTable BrightnessTable(int step);   // clamp(v + step)
TChannelTable GammaTable(double gamma);    // clamp(round(255 x ((v + 1) / 255)^gamma) - 1)
// `first`, then `then`.
TChannelTable ComposeTables(const TChannelTable& first, const TChannelTable& then);

void ApplyTable(TBitmap24& picture, const TChannelTable& table);
void ApplyTables(TBitmap24& picture, const TChannelTable& blue, const TChannelTable& green, const TChannelTable& red);

// gray = round(0.3 red + 0.59 green + 0.11 blue) in all three channels, then `after`.
void MonoImage(TBitmap24& picture, const TChannelTable& after = IdentityTable());
// The brown tone made from the same gray, then `after`.
void SepiaImage(TBitmap24& picture, const TChannelTable& after = IdentityTable());
void NegaImage(TBitmap24& picture);
void ContrastImage(TBitmap24& picture, int step);
void BrightImage(TBitmap24& picture, int step);
void GammaImage(TBitmap24& picture, double gamma);
void ToneImage(TBitmap24& picture, int red, int green, int blue);

// Pixels with a neighbour on every side move away from their four neighbours by strength x
// (4P - neighbours) / P, P the pixel packed as blue x 65536 + green x 256 + red.
void SharpImage(TBitmap24& picture, int strength);
// size x size blocks from the top left, each wholly inside filled with its top left colour.
void MosaicImage(TBitmap24& picture, int size);
// For rows y = 1 .. height-2 and columns x = 1 .. width-2, the pixel (x, y+1) becomes
// (x-1,y) + (x+1,y) + 2 x ((x-1,y+1) + (x,y+1) + (x+1,y+1)), divided by 8 rounding down.
void BlurImage(TBitmap24& picture);

// Keeps the area from (left, top) to (right, bottom) clipped to the picture. False, and the
// picture unchanged, when the clipped area is empty or the whole picture.
bool TrimImage(TBitmap24& picture, int left, int top, int right, int bottom);
// Nearest-pixel stretch to width x height. False, and the picture unchanged, when that size is
// not one the system makes.
bool ResizeImage(TBitmap24& picture, int width, int height);
void RotateRight(TBitmap24& picture);  // 90 degrees clockwise
void RotateLeft(TBitmap24& picture);   // 90 degrees counter-clockwise
void TurnImage(TBitmap24& picture);    // 180 degrees: the pixel order reversed
