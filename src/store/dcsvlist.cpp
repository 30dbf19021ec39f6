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

void TCSVList::SetLine(const std::string& line) {
  FLine = line;
  FCount = 0;
  const size_t n = line.size();
  auto add = [&](const char* p, size_t len) {
    if (static_cast<size_t>(FCount) < FItems.size())
      FItems[FCount].assign(p, len);
    else
      FItems.emplace_back(p, len);
    ++FCount;
  };
  bool inPlain = false, inQuoted = false, doubled = false;
  size_t start = 0;
  const char* d = line.data();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(d[i]);
    if (IsSjisLead(c)) {
      if (!inQuoted && !inPlain) {
        inPlain = true;
        start = i;
      }
      ++i;  // the trail byte is never a separator or a quote
    } else if (c == ',' || c == ' ' || c == '\t') {
      if (inPlain) {
        add(d + start, i - start);
        inPlain = false;
      }
    } else if (c == '"') {
      if (inQuoted) {
        if (i + 1 < n && d[i + 1] == '"') {
          doubled = true;
          ++i;
        } else {
          if (doubled) {
            std::string v(d + start + 1, i - start - 1);
            add("", 0);
            FItems[FCount - 1] = ReplaceAll(v, "\"\"", "\"");
          } else {
            add(d + start + 1, i - start - 1);
          }
          doubled = false;
          inQuoted = false;
        }
      } else {
        inQuoted = true;
        start = i;  // an unquoted field under way is dropped
      }
      inPlain = false;
    } else if (!inQuoted && !inPlain) {
      inPlain = true;
      start = i;
    }
  }
  if (inPlain) add(d + start, std::min(n, line.size()) - start);
}

const std::string& TCSVList::Item(int index) const {
  if (index < 0 || index >= FCount) return kEmpty;
  return FItems[index];
}

std::string MakeRecordLine(const std::vector<std::string>& fields) {
  std::string out = "\"";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) out += "\",\"";
    out += fields[i];
  }
  out += "\"";
  return out;
}
