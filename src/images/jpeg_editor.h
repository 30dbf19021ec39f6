// The JPEG editor without the pages: the upload check, the edit fields and the chain of edits.
#pragma once
#include <functional>
#include <string>

#include "images/bitmap.h"

// The working picture and the result of the last edit, in the account's image folder.
inline const char* const kJpegWorkName = "_jpegmod.jpg";
inline const char* const kJpegResultName = "__jpegmod.jpg";
// A stored picture must be smaller than this.
constexpr long long kJpegUploadLimit = 5 * 1024 * 1024;
// The quality of every JPEG the editor writes.
constexpr int kJpegEditQuality = 90;

enum class TUploadCheck {
  Ok,
  NotPicture,  // neither JPEG nor BMP, or a picture that does not decode
  TooManyPixels,
  TooLarge,    // the JPEG stream reaches kJpegUploadLimit
  NotEncoded,  // a BMP that could not be written as JPEG
};

// Classifies an uploaded stream by its first bytes; a BMP is replaced by its JPEG encoding.
// Ok only for a stream that decodes whole and that may be stored.
TUploadCheck PrepareEditorUpload(std::string& stream);

// The posted fields of one edit, read as the edit uses them.
struct TJpegEditOptions {
  std::string Trimming;          // "left top right bottom"
  int Width = 0, Height = 0;     // rwidth, rheight; 0 or less keeps the size
  std::string Rotate, Color;     // upper case: RIGHT LEFT TURN; SEPIA MONO NEGA
  int Light = 0, Contrast = 0, RedTone = 0, GreenTone = 0, BlueTone = 0;
  int Sharp = 0, Mosaic = 0;
  bool Blur = false;
  double Gamma = 1.0;            // a value of 0 or less, or not a number, is 1.0
};

// An integer field: surrounding blanks ignored, anything else that is not a 32-bit number is 0.
int EditInteger(const std::string& text);
// The gamma field: a finite decimal number, else 1.0.
double EditGammaValue(const std::string& text);
// field(name) gives the posted value of a field ("" when missing).
TJpegEditOptions ReadJpegEditOptions(const std::function<std::string(const std::string&)>& field);

// The rectangle of the trimming field: false when it does not trim (not four items, a value of
// -1 or a non-number, or exactly the whole picture).
bool TrimmingRectangle(const std::string& text, int width, int height, int& left, int& top, int& right, int& bottom);

enum class TEditResult { Ok, TooManyPixels };
// The edits in their order: trimming, colour, contrast, brightness, gamma, resize (when nothing
// was trimmed), sharpen, mosaic, blur, colour tone, rotation. TooManyPixels (picture unchanged)
// when the new size is over the pixel limit.
TEditResult ApplyJpegEdits(TBitmap24& picture, const TJpegEditOptions& options);
