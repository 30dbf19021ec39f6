// The index summary: month groups of the article index with their days and counts.
#include "store/index_summary.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

namespace {

// "yyyy/mm" of a stored date when its fifth character is "/", else "".
std::string_view MonthOf(std::string_view date) {
  return date.size() >= 7 && date[4] == '/' ? date.substr(0, 7) : std::string_view();
}

int DayOf(std::string_view date) {
  if (date.size() < 10 || date[7] != '/') return 0;
  const char a = date[8], b = date[9];
  if (a < '0' || a > '9' || b < '0' || b > '9') return 0;
  return (a - '0') * 10 + (b - '0');
}

std::string Key(std::string_view month, std::string_view category, bool visible) {
  std::string k;
  k.reserve(month.size() + category.size() + 2);
  k.append(month).push_back(visible ? '1' : '0');
  k.append(category);
  return k;
}

// A field written as its length, ":" and its bytes (ids may hold any byte).
void PutField(std::string& out, std::string_view s) {
  out += std::to_string(s.size());
  out += ':';
  out.append(s);
}

bool GetNumber(std::string_view& in, unsigned long long& v, char end) {
  const auto [p, ec] = std::from_chars(in.data(), in.data() + in.size(), v);
  if (ec != std::errc() || p == in.data() + in.size() || *p != end) return false;
  in.remove_prefix(static_cast<size_t>(p - in.data()) + 1);
  return true;
}

bool GetField(std::string_view& in, std::string& s) {
  unsigned long long n = 0;
  if (!GetNumber(in, n, ':') || n > in.size()) return false;
  s.assign(in.substr(0, n));
  in.remove_prefix(n);
  return true;
}

}  // namespace

void TIndexSummary::Add(std::string_view category, std::string_view date, bool visible) {
  const std::string_view month = MonthOf(date);
  // Consecutive articles mostly share their group.
  size_t at = FGroups.size();
  for (size_t back = 1; back <= 3 && back <= FGroups.size(); ++back) {
    const TMonthGroup& g = FGroups[FGroups.size() - back];
    if (g.visible == visible && g.month == month && g.category == category) {
      at = FGroups.size() - back;
      break;
    }
  }
  if (at == FGroups.size()) {
    const auto [it, added] = FPlace.try_emplace(Key(month, category, visible), FGroups.size());
    if (added) FGroups.push_back({std::string(month), std::string(category), visible, 0, 0});
    at = it->second;
  }
  TMonthGroup& g = FGroups[at];
  ++g.count;
  const int day = month.empty() ? 0 : DayOf(date);
  if (day >= 1 && day <= 31) g.days |= 1u << day;
}

TIndexSummary TIndexSummary::Of(const TContentList& contents) {
  TIndexSummary s;
  for (const TContentIndex& c : contents) s.Add(c.category, c.date, c.visible);
  return s;
}

void TIndexSummary::KeepShown(TCategoryList& categories, bool includeHiddenCategories, bool includeHidden) {
  // A blog has a few dozen categories at most: looked up in order. The first of an id counts;
  // any hidden one of an id hides its articles.
  FPlace.clear();
  auto kept = FGroups.begin();
  for (auto g = FGroups.begin(); g != FGroups.end(); ++g) {
    if (!includeHidden && !g->visible) continue;
    TCategoryData* first = nullptr;
    bool hidden = false;
    for (TCategoryData& k : categories)
      if (k.id == g->category) {
        if (!first) first = &k;
        hidden = hidden || !k.visible;
      }
    if (!includeHiddenCategories && hidden) continue;
    if (first) first->count += g->count;
    if (kept != g) *kept = std::move(*g);
    ++kept;
  }
  FGroups.erase(kept, FGroups.end());
}

std::vector<std::string> TIndexSummary::Months() const {
  std::vector<std::string> months;
  std::unordered_set<std::string_view> seen;
  for (const TMonthGroup& g : FGroups)
    if (g.visible && !g.month.empty() && seen.insert(g.month).second) months.push_back(g.month);
  return months;
}

uint32_t TIndexSummary::Days(int year, int month) const {
  if (year < 0 || year > 9999 || month < 1 || month > 12) return 0;
  char want[8];
  snprintf(want, sizeof want, "%04d/%02d", year, month);
  uint32_t days = 0;
  for (const TMonthGroup& g : FGroups)
    if (g.visible && g.month == want) days |= g.days;
  return days;
}

std::string TIndexSummary::Serialize() const {
  std::string out;
  for (const TMonthGroup& g : FGroups) {
    PutField(out, g.month);
    PutField(out, g.category);
    out += (g.visible ? " 1 " : " 0 ") + std::to_string(g.count) + " " + std::to_string(g.days) + "\n";
  }
  return out;
}

bool TIndexSummary::Parse(std::string_view in) {
  std::vector<TMonthGroup> groups;
  groups.reserve(static_cast<size_t>(std::count(in.begin(), in.end(), '\n')));
  while (!in.empty()) {
    TMonthGroup g;
    unsigned long long visible = 0, count = 0, days = 0;
    if (!GetField(in, g.month) || !GetField(in, g.category) || in.empty() || in[0] != ' ') return false;
    if (!g.month.empty() && (g.month.size() != 7 || g.month[4] != '/')) return false;  // as MonthOf makes it
    in.remove_prefix(1);
    if (!GetNumber(in, visible, ' ') || !GetNumber(in, count, ' ') || !GetNumber(in, days, '\n') || visible > 1 ||
        count == 0 || count > 0x7fffffff || days > 0xffffffffull || (days & 1))
      return false;
    g.visible = visible == 1;
    g.count = static_cast<int>(count);
    g.days = static_cast<uint32_t>(days);
    groups.push_back(std::move(g));
  }
  FGroups = std::move(groups);
  FPlace.clear();
  return true;
}
