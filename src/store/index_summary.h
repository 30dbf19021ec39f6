// What the side menu needs of the whole article index (the months, the days of a month with
// articles, the articles per category), kept in cindex.sum beside the index so that a page of a
// large blog reads a few kilobytes instead of every index line.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/velmlib.h"

// The articles of one month ("yyyy/mm", or "" for a date without a month), one category and
// one visibility, in the order the first of them has in the index read newest first.
struct TMonthGroup {
  std::string month, category;
  bool visible = true;
  int count = 0;
  uint32_t days = 0;  // bit d: an article on day d (1..31)
};

class TIndexSummary {
public:
  // One article of the index read newest first.
  void Add(std::string_view category, std::string_view date, bool visible);
  static TIndexSummary Of(const TContentList& contents);

  // Keeps the groups that a page shows: hidden categories left out unless includeHiddenCategories,
  // hidden articles unless includeHidden; the count of each category of `categories` (the first
  // one of an id) is raised by what remains.
  void KeepShown(TCategoryList& categories, bool includeHiddenCategories, bool includeHidden);

  // The months of the visible articles, newest first as the index has them ("yyyy/mm" as stored).
  std::vector<std::string> Months() const;
  // The days of a month that have a visible article.
  uint32_t Days(int year, int month) const;

  std::string Serialize() const;
  bool Parse(std::string_view text);  // false when the text is not a summary (nothing kept)

  const std::vector<TMonthGroup>& Groups() const { return FGroups; }

private:
  std::vector<TMonthGroup> FGroups;
  std::unordered_map<std::string, size_t> FPlace;  // month, visibility and category -> group
};
