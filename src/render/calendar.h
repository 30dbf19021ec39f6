// The month calendar of the side menu.
#pragma once
#include <string>

#include "store/index_summary.h"
#include "store/velmlib.h"
#include "text/dates.h"

// The sixteen colours of a calendar; each is set by the tag attribute of its lower-case name.
struct TCalendarColor {
  std::string MonthBgColor = "blue", SunBgColor = "#ffe0e0", SatBgColor = "#e0ffff", BgColor = "white",
              MonthText = "white", SunText = "black", SatText = "black", Text = "black",
              MonthLink = "white", Link = "blue", NowBgColor = "#c0ffc0",
              NowText = "black",        // read, not drawn
              OutDayBgColor = "white",  // read, not drawn
              OutDayText = "silver", NowDateBgColor = "white", NowDateText = "black";
};

// The colours of one "<CALENDAR ...>" tag: attribute names without regard to case, a missing
// attribute keeps its default.
TCalendarColor CalendarColors(const std::string& tag);

// The calendar of year/month (a month outside 1-12 or a year outside 1-9999 shows today's
// month). Days of visible articles link to their day archive; today is highlighted.
std::string BuildCalendar(const std::string& accountId, int year, int month, const TCalendarColor& colors,
                          const TIndexSummary& articles, const TDateTime& today);
