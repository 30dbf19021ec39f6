// SMTP replies as they arrive: multi-line replies split anywhere.
#include <cstddef>
#include <cstdint>

#include "net/DMail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t block = 1 + data[0] % 32;
  TSMTPReplyReader reader(4096);
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  for (size_t at = 0; at < size - 1 && !reader.Complete(); at += block)
    reader.Feed(bytes + at, std::min(block, size - 1 - at));
  (void)reader.Failure();
  (void)reader.LastText();
  size_t total = 0;
  for (const auto& l : reader.Lines()) total += l.size();
  if (total > 4096) __builtin_trap();
  return 0;
}
