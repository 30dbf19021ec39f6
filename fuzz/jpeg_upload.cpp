// Fuzz target: the JPEG editor's upload check, which classifies a stream by its first bytes and
// decodes it whole (JPEG through libjpeg, BMP through stb_image and then encoded as JPEG).
#include <cstddef>
#include <cstdint>
#include <string>

#include "images/jpeg_editor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string stream(reinterpret_cast<const char*>(data), size);
  if (PrepareEditorUpload(stream) == TUploadCheck::Ok) {
    // What is accepted is stored: a JPEG that decodes, below the size limit.
    TBitmap24 picture;
    if (DecodeJPEG(stream, picture) != TDecodeResult::Ok || static_cast<long long>(stream.size()) >= kJpegUploadLimit)
      __builtin_trap();
  }
  return 0;
}
