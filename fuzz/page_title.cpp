// Fuzz target: the title of a fetched page. The input is a header block, an empty line and the body.
#include <cstddef>
#include <cstdint>
#include <string>

#include "admin/page_title.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find("\r\n\r\n");
  const std::string headers = split == std::string::npos ? "" : input.substr(0, split + 2);
  const std::string body = split == std::string::npos ? input : input.substr(split + 4);
  const std::string title = PageTitle(headers, body);
  if (title.size() > kMaxTitleBytes) __builtin_trap();
  return 0;
}
