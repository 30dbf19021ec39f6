// XML-RPC answers of ping servers: member lookup, decoding and the result cells.
#include <cstddef>
#include <cstdint>
#include <string>

#include "syndication/update_ping.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  std::string result, message;
  PingAnswerCells("HTTP/1.1 200 OK", {"HTTP/1.1 200 OK"}, body, result, message);
  // Nothing of the answer's markup reaches the page.
  if (result.find('<') != std::string::npos) __builtin_trap();
  return 0;
}
