// The 24-bit picture and its JPEG codec (libjpeg-turbo) with an error handler that returns.
#include "images/bitmap.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

bool PictureSizeAllowed(long long width, long long height) {
  return width > 0 && height > 0 && width <= kMaxPixels && height <= kMaxPixels && width * height <= kMaxPixels;
}

bool TBitmap24::Resize(int width, int height, uint8_t blue, uint8_t green, uint8_t red) {
  if (!PictureSizeAllowed(width, height)) {
    Width = Height = 0;
    Pixels.clear();
    return false;
  }
  Width = width;
  Height = height;
  const size_t size = static_cast<size_t>(width) * height * 3;
  if (blue == green && green == red) {
    Pixels.assign(size, blue);  // one fill instead of two
    return true;
  }
  Pixels.resize(size);
  for (size_t i = 0; i < Pixels.size(); i += 3) {
    Pixels[i] = blue;
    Pixels[i + 1] = green;
    Pixels[i + 2] = red;
  }
  return true;
}

namespace {

// libjpeg reports errors through error_exit, which must not return: jump back instead.
struct TJpegError {
  jpeg_error_mgr Mgr;
  jmp_buf Jump;
};

void ErrorExit(j_common_ptr info) { longjmp(reinterpret_cast<TJpegError*>(info->err)->Jump, 1); }
void NoMessage(j_common_ptr) {}
// Warnings are kept quiet, except that a stream which ends early is a broken picture (the
// library would fill the rest with gray).
void EmitMessage(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) ErrorExit(info);
}

// The decompressor with its source set; Begin reads the header. Destroyed on every path.
class TJpegReader {
public:
  explicit TJpegReader(const std::string& bytes) : FBytes(bytes) {
    Info.err = jpeg_std_error(&Error.Mgr);
    Error.Mgr.error_exit = ErrorExit;
    Error.Mgr.output_message = NoMessage;
    Error.Mgr.emit_message = EmitMessage;
  }
  ~TJpegReader() {
    if (FCreated) jpeg_destroy_decompress(&Info);
  }
  jpeg_decompress_struct Info{};
  TJpegError Error{};

  // Call inside the setjmp frame of the caller.
  void Begin() {
    jpeg_create_decompress(&Info);
    FCreated = true;
    jpeg_mem_src(&Info, reinterpret_cast<const unsigned char*>(FBytes.data()), FBytes.size());
    jpeg_read_header(&Info, TRUE);
  }

private:
  const std::string& FBytes;
  bool FCreated = false;
};

}  // namespace

bool JPEGSize(const std::string& bytes, int& width, int& height) {
  if (bytes.empty()) return false;
  TJpegReader r(bytes);
  if (setjmp(r.Error.Jump)) return false;
  r.Begin();
  width = static_cast<int>(r.Info.image_width);
  height = static_cast<int>(r.Info.image_height);
  return true;
}

TDecodeResult DecodeJPEG(const std::string& bytes, TBitmap24& out) {
  out = TBitmap24();
  if (bytes.empty()) return TDecodeResult::Broken;
  TJpegReader r(bytes);
  std::vector<uint8_t> cmykRow;  // made before the jump point, so the jump never skips its destructor
  if (setjmp(r.Error.Jump)) {
    out = TBitmap24();
    return TDecodeResult::Broken;
  }
  r.Begin();
  if (!PictureSizeAllowed(r.Info.image_width, r.Info.image_height)) return TDecodeResult::TooLarge;
  const bool cmyk = r.Info.jpeg_color_space == JCS_CMYK || r.Info.jpeg_color_space == JCS_YCCK;
  r.Info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_start_decompress(&r.Info);
  if (!out.Resize(static_cast<int>(r.Info.output_width), static_cast<int>(r.Info.output_height)))
    return TDecodeResult::TooLarge;
  if (cmyk) cmykRow.resize(static_cast<size_t>(out.Width) * 4);
  while (r.Info.output_scanline < r.Info.output_height) {
    const int y = static_cast<int>(r.Info.output_scanline);
    JSAMPROW row = cmyk ? cmykRow.data() : out.Row(y);
    if (jpeg_read_scanlines(&r.Info, &row, 1) != 1) break;
    if (cmyk) {
      // Adobe writes inverted CMYK: each channel times the black channel gives the colour.
      uint8_t* d = out.Row(y);
      for (int x = 0; x < out.Width; ++x) {
        const uint8_t* s = &cmykRow[static_cast<size_t>(x) * 4];
        d[x * 3] = static_cast<uint8_t>(s[2] * s[3] / 255);
        d[x * 3 + 1] = static_cast<uint8_t>(s[1] * s[3] / 255);
        d[x * 3 + 2] = static_cast<uint8_t>(s[0] * s[3] / 255);
      }
    }
  }
  jpeg_finish_decompress(&r.Info);
  return TDecodeResult::Ok;
}

bool EncodeJPEG(const TBitmap24& picture, std::string& out, int quality) {
  out.clear();
  if (picture.Width <= 0 || picture.Height <= 0) return false;
  jpeg_compress_struct info{};
  TJpegError error{};
  info.err = jpeg_std_error(&error.Mgr);
  error.Mgr.error_exit = ErrorExit;
  error.Mgr.output_message = NoMessage;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(error.Jump)) {
    jpeg_destroy_compress(&info);
    free(buffer);
    out.clear();
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(picture.Width);
  info.image_height = static_cast<JDIMENSION>(picture.Height);
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(picture.Row(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  out.assign(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&info);
  free(buffer);
  return true;
}
