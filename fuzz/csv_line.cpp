// Record lines: any line splits without fault, and fields written by the writers read back as
// they were.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "store/DCSVList.h"
#include "text/DString.h"

namespace {
// A field that ends inside a double-byte character would take its closing quote along: no
// writer stores one.
bool EndsOnCharacter(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) i += IsSjisLead(static_cast<unsigned char>(s[i])) ? 2 : 1;
  return i == s.size();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  TCSVList csv;
  csv.SetLine(line);
  std::vector<std::string> fields;
  for (int i = 0; i < csv.Count(); ++i) fields.push_back(csv.Item(i));
  (void)csv.Item(csv.Count());
  // Fields without quotes or line breaks are what the writers store: they come back unchanged.
  for (auto& f : fields)
    std::erase_if(f, [](char c) { return c == '"' || c == '\r' || c == '\n'; });
  if (fields.empty() || !std::all_of(fields.begin(), fields.end(), EndsOnCharacter)) return 0;
  TCSVList again;
  again.SetLine(MakeRecordLine(fields));
  if (again.Count() != static_cast<int>(fields.size())) abort();
  for (int i = 0; i < again.Count(); ++i)
    if (again.Item(i) != fields[static_cast<size_t>(i)]) abort();
  return 0;
}
