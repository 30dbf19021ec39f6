// multipart/form-data: the first line is the content type, the rest the body. Located file
// data always lies inside the body.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "gateway/multipart.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  const size_t nl = in.find('\n');
  const std::string type = nl == std::string::npos ? in : in.substr(0, nl);
  const std::string body = nl == std::string::npos ? "" : in.substr(nl + 1);
  for (const char* name : {"upfile", "edtlink", "a", ""}) {
    (void)ReadMultipartField(body, name, type, true);
    (void)ReadMultipartField(body, name, type, false);
    const TUploadFileinfo f = LocateMultipartFile(body, name);
    if (f.DataSize < 0) abort();
    if (f.DataSize > 0 && (f.DataStart < 1 || f.DataStart - 1 + f.DataSize > static_cast<long long>(body.size())))
      abort();
    if (MultipartData(body, f.DataStart, f.DataSize).size() != static_cast<size_t>(f.DataSize)) abort();
    const std::string base = UploadFileBaseName(f.FileName);
    // A "\\" or ":" may stay as the second byte of a double-byte character; "/" never.
    if (base.find('/') != std::string::npos || (!base.empty() && base[0] == '.')) abort();
  }
  return 0;
}
