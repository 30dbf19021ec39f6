// The JPEG editor's upload check, edit fields and chain of edits.
#include "images/jpeg_editor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "images/NewEfectImage.h"
#include "text/DString.h"

TUploadCheck PrepareEditorUpload(std::string& stream) {
  const auto byte = [&](size_t i) { return i < stream.size() ? static_cast<unsigned char>(stream[i]) : 0; };
  TBitmap24 picture;
  if (byte(0) == 0xFF && byte(1) == 0xD8 && byte(2) == 0xFF) {
    if (static_cast<long long>(stream.size()) >= kJpegUploadLimit) return TUploadCheck::TooLarge;
    switch (DecodeJPEG(stream, picture)) {
      case TDecodeResult::Ok: return TUploadCheck::Ok;
      case TDecodeResult::TooLarge: return TUploadCheck::TooManyPixels;
      case TDecodeResult::Broken: return TUploadCheck::NotPicture;
    }
  }
  if (byte(0) == 'B' && byte(1) == 'M') {
    switch (DecodeBMP(stream, picture)) {
      case TDecodeResult::Ok: break;
      case TDecodeResult::TooLarge: return TUploadCheck::TooManyPixels;
      case TDecodeResult::Broken: return TUploadCheck::NotPicture;
    }
    std::string jpeg;
    if (!EncodeJPEG(picture, jpeg, kJpegEditQuality)) return TUploadCheck::NotEncoded;
    stream.swap(jpeg);
    if (static_cast<long long>(stream.size()) >= kJpegUploadLimit) return TUploadCheck::TooLarge;
    return TUploadCheck::Ok;
  }
  return TUploadCheck::NotPicture;
}

int EditInteger(const std::string& text) { return StrToIntDef(Trim(text), 0); }

double EditGammaValue(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty()) return 1.0;
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(v)) return 1.0;
  return v;
}

TJpegEditOptions ReadJpegEditOptions(const std::function<std::string(const std::string&)>& field) {
  TJpegEditOptions o;
  o.Trimming = field("trimming");
  o.Width = EditInteger(field("rwidth"));
  o.Height = EditInteger(field("rheight"));
  o.Rotate = UpperCase(field("rotate"));
  o.Color = UpperCase(field("cchange"));
  o.Light = EditInteger(field("light"));
  o.Contrast = EditInteger(field("contrast"));
  o.RedTone = EditInteger(field("rtone"));
  o.GreenTone = EditInteger(field("gtone"));
  o.BlueTone = EditInteger(field("btone"));
  o.Sharp = EditInteger(field("csharp"));
  o.Mosaic = EditInteger(field("mosaic"));
  o.Blur = field("median") == "1";
  o.Gamma = EditGammaValue(field("gammar"));
  if (o.Gamma <= 0) o.Gamma = 1.0;
  return o;
}

bool TrimmingRectangle(const std::string& text, int width, int height, int& left, int& top, int& right, int& bottom) {
  std::vector<std::string> items;
  std::string item;
  for (char c : text + " ") {
    if (c == '\r' || c == '\n' || c == '\t') continue;
    if (c != ' ') {
      item += c;
    } else if (!item.empty()) {
      items.push_back(item);
      item.clear();
    }
  }
  if (items.size() != 4) return false;
  int v[4];
  for (int i = 0; i < 4; ++i) {
    v[i] = StrToIntDef(items[i], -1);
    if (v[i] == -1) return false;
  }
  // Clipped to the picture: an area that is empty or the whole picture trims nothing.
  left = std::clamp(v[0], 0, width);
  top = std::clamp(v[1], 0, height);
  right = std::clamp(v[2], 0, width);
  bottom = std::clamp(v[3], 0, height);
  if (right <= left || bottom <= top) return false;
  return !(left == 0 && top == 0 && right == width && bottom == height);
}

TEditResult ApplyJpegEdits(TBitmap24& picture, const TJpegEditOptions& o) {
  int left = 0, top = 0, right = 0, bottom = 0;
  const bool trim = TrimmingRectangle(o.Trimming, picture.Width, picture.Height, left, top, right, bottom);
  const int width = o.Width > 0 ? o.Width : picture.Width;
  const int height = o.Height > 0 ? o.Height : picture.Height;
  const bool resize = !trim && (width != picture.Width || height != picture.Height);
  if (resize && !PictureSizeAllowed(width, height)) return TEditResult::TooManyPixels;

  if (trim) TrimImage(picture, left, top, right, bottom);

  // Negative, contrast, brightness and gamma map each channel alone: one table does them all,
  // after the gray of mono or sepia.
  TChannelTable table = IdentityTable();
  bool tabled = false;
  const auto then = [&](const TChannelTable& next) {
    table = ComposeTables(table, next);
    tabled = true;
  };
  if (o.Color == "NEGA") then(NegativeTable());
  if (o.Contrast != 0) then(ContrastTable(o.Contrast));
  if (o.Light != 0) then(BrightnessTable(o.Light));
  if (o.Gamma != 1.0) then(GammaTable(o.Gamma));
  if (o.Color == "MONO") {
    MonoImage(picture, table);
  } else if (o.Color == "SEPIA") {
    SepiaImage(picture, table);
  } else if (tabled) {
    ApplyTable(picture, table);
  }

  if (resize) ResizeImage(picture, width, height);
  if (o.Sharp != 0) SharpImage(picture, o.Sharp);
  if (o.Mosaic != 0) MosaicImage(picture, o.Mosaic);
  if (o.Blur) BlurImage(picture);
  if (o.RedTone != 0 || o.GreenTone != 0 || o.BlueTone != 0) ToneImage(picture, o.RedTone, o.GreenTone, o.BlueTone);

  if (o.Rotate == "RIGHT") {
    RotateRight(picture);
  } else if (o.Rotate == "LEFT") {
    RotateLeft(picture);
  } else if (o.Rotate == "TURN") {
    TurnImage(picture);
  }
  return TEditResult::Ok;
}
