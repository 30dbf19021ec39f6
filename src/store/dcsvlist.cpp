// Record lines: TCSVList splits one line into fields.
#include "store/DCSVList.h"

#include "text/DString.h"

namespace {
const std::string kEmpty;
}

TCSVList::TCSVList() { FItems.reserve(100); }

void TCSVList::ClearItems() {
  for (auto& s : FItems) s.clear();
  FCount = 0;
}

// One pass over the bytes. The item strings are kept between lines and assigned in place, so a
// reader that splits many lines with one list allocates only when a field outgrows its slot.
void TCSVList::SetLine(const std::string& line) {
  FLine = line;
  FCount = 0;
  const char* d = FLine.data();
  const size_t n = FLine.size();
  auto add = [&](size_t from, size_t len) -> std::string& {
    if (static_cast<size_t>(FCount) == FItems.size()) FItems.emplace_back();
    std::string& item = FItems[static_cast<size_t>(FCount++)];
    item.assign(d + from, len);
    return item;
  };
  bool inPlain = false, inQuoted = false, doubled = false;
  size_t start = 0;  // first byte of a plain field, or the opening quote of a quoted one
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(d[i]);
    if (IsSjisLead(c)) {
      if (!inQuoted && !inPlain) {
        inPlain = true;
        start = i;
      }
      ++i;  // the trail byte is never a separator or a quote; past the end the loop just stops
    } else if (c == ',' || c == ' ' || c == '\t') {
      if (inPlain) {
        add(start, i - start);
        inPlain = false;
      }
    } else if (c == '"') {
      if (!inQuoted) {
        inQuoted = true;  // a plain field under way is dropped
        start = i;
      } else if (i + 1 < n && d[i + 1] == '"') {
        doubled = true;
        ++i;
      } else {
        std::string& item = add(start + 1, i - start - 1);
        if (doubled) {  // "" -> "
          size_t w = 0;
          for (size_t r = 0; r < item.size(); ++r, ++w) {
            item[w] = item[r];
            if (item[r] == '"' && r + 1 < item.size() && item[r + 1] == '"') ++r;
          }
          item.resize(w);
        }
        doubled = false;
        inQuoted = false;
      }
      inPlain = false;
    } else if (!inQuoted && !inPlain) {
      inPlain = true;
      start = i;
    }
  }
  if (inPlain) add(start, n - start);  // a quoted field never closed is dropped
}

const std::string& TCSVList::Item(int index) const {
  if (index < 0 || index >= FCount) return kEmpty;
  return FItems[static_cast<size_t>(index)];
}

std::string MakeRecordLine(const std::vector<std::string>& fields) {
  size_t size = 2;
  for (const auto& f : fields) size += f.size() + 3;
  std::string out;
  out.reserve(size);
  out += '"';
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) out += "\",\"";
    out += fields[i];
  }
  out += '"';
  return out;
}
