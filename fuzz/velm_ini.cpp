// velm.ini: any file reads into settings without fault or runaway work.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/settings.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = FuzzFolder();
  WriteFuzzFile(folder + "velm.ini", data, size);
  TSystemSettings s;
  ReadSystemSettings(folder, s);
  return 0;
}
