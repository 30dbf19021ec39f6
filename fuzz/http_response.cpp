// HTTP response reading: header lines, Content-Length and chunked bodies, split across reads.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/httpclient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t block = 1 + data[0] % 64;  // the read size, chosen by the input
  TServerInformation info;
  std::string header, body;
  THTTPResponseReader reader(info, header, body, 1 << 16, 4096);
  reader.OnLog = [](const std::string&) {};
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  for (size_t at = 0; at < size - 1; at += block)
    if (!reader.Feed(bytes + at, std::min(block, size - 1 - at))) break;
  reader.PeerClosed();
  if (body.size() > (1u << 16) || header.size() > 4096 + 2) __builtin_trap();
  (void)ClassifyStatus(info.StatusLine);
  return 0;
}
