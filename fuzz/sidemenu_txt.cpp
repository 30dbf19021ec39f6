// sidemenu.txt: any file gives the gadget boxes, each taken from its own block.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "render/side_menu.h"
#include "text/DString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TStringList lines = SplitLines(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<std::optional<std::string>> boxes(1 + size % 12);
  ReadSideMenuBlocks(lines, boxes);
  // A box holds lines of the file joined by CR LF: at most twice the bytes of the file.
  for (const auto& b : boxes)
    if (b && b->size() > 2 * size) abort();
  return 0;
}
