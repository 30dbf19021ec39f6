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
  for (const auto& b : boxes)
    if (b && b->size() > size) abort();
  return 0;
}
