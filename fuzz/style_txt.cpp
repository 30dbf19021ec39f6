// style.txt: any design file reads into the design record and its stylesheet.
#include <cstdint>
#include <string>

#include "app/css_value.h"
#include "app/stylesheet.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = FuzzFolder();
  WriteFuzzFile(folder + "style.txt", data, size);
  const TCSSValue css = ReadDesign(folder, 0);
  TSystemSettings sys;
  DefaultSystemSettings(folder, sys);
  TStringList page;
  WriteStyleSheet(page, {sys, {sys.SysLargeCellWidth, sys.SysNaviCellWidth, sys.SysSubCellWidth}, "demo", folder,
                         folder, css});
  return 0;
}
