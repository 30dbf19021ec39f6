// Fetched feeds: detection, decoding, parsing and the box HTML of RSS 1.0, RSS 2.0 and Atom.
#include <cstddef>
#include <cstdint>
#include <string>

#include "syndication/feed_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  bool xml = false;
  const std::string html = RenderFeed(body, data[0] & 1, data[0] >> 4, xml);
  // The box never carries a script tag of the feed into the page.
  if (html.find("<script") != std::string::npos || html.find('\0') != std::string::npos) __builtin_trap();
  return 0;
}
