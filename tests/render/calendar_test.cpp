// The month calendar: layout, links, today and the tag's colours.
#include <gtest/gtest.h>

#include "render/calendar.h"
#include "text/DString.h"

namespace {

TDateTime Day(int y, int m, int d) { return {.Year = y, .Month = m, .Day = d}; }

std::string Calendar(int y, int m, const TDateTime& today, const TContentList& a = {}) {
  return BuildCalendar("demo", y, m, TCalendarColor(), TIndexSummary::Of(a), today);
}

// Day cells a..b, plain or of the neighbour months.
std::string Plain(int a, int b, const std::string& open = "<td>") {
  std::string s;
  for (int d = a; d <= b; ++d) s += open + std::to_string(d) + "</td>";
  return s;
}
std::string Grey(int a, int b) { return Plain(a, b, "<td style=\"color:silver\">"); }

bool Has(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

const std::string kBottomOpen = "<tr><td colspan=\"7\" style=\"background:white; color:black; text-align:center;\">";

TEST(CalendarTest, WholeMonthWithArticlesTodayAndNeighbourDays) {
  // May 2009 starts on a Friday and ends on a Sunday; today is Sunday the 17th.
  TContentList list = {{"c1", "x", "2009/05/20 10:00:00", "", "t", false}};
  for (const char* d : {"2009/05/17 08:03:09", "2009/05/03 12:00:00", "2009/05/03 09:00:00", "2009/04/30 23:59:59",
                        "2008/05/04 00:00:00"})
    list.push_back({"c1", "x", d, d, "t", true});
  EXPECT_EQ(Calendar(2009, 5, Day(2009, 5, 17), list),
            "<table border=\"0\" class=\"ctable\">"
            "<colgroup style=\"background:#ffe0e0; color:black\"><col></colgroup>"
            "<colgroup style=\"background:white; color:black\"><col><col><col><col><col></colgroup>"
            "<colgroup style=\"background:#e0ffff; color:black\"><col></colgroup>"
            "<tr><td colspan=\"7\" style=\"background:blue; text-align:center;\">"
            "<a href=\"./velm.exe?demo+sv+200904\" style=\"color:white\">&lt;&lt;</a> "
            "<span style=\"color:white\">2009/05 "
            "<a href=\"./velm.exe?demo+sv+200906\" style=\"color:white\">&gt;&gt;</a> </td></tr><tr>"
            "<td>日</td><td>月</td><td>火</td><td>水</td><td>木</td><td>金</td><td>土</td></tr><tr>" +
                Grey(26, 30) + Plain(1, 2) + "</tr><tr><td><a href=\"./velm.exe?demo+sv+20090503\">3</a></td>" +
                Plain(4, 9) + "</tr><tr>" + Plain(10, 16) + "</tr><tr><td style=\"background:#c0ffc0\"><a "
                "href=\"./velm.exe?demo+sv+20090517\" style=\"color:blue\">17</a></td>" + Plain(18, 23) + "</tr><tr>" +
                Plain(24, 30) + "</tr><tr>" + Plain(31, 31) + Grey(1, 6) + "</tr>" + kBottomOpen +
                "2009/05/17 (日)</td></tr></table>");
}

TEST(CalendarTest, MonthLengthsYearTurnAndOddInput) {
  const TDateTime today = Day(2009, 1, 15);
  // February 2008 starts on a Friday (27 to 31 January lead) and has a 29th.
  const std::string leap = Calendar(2008, 2, today);
  EXPECT_TRUE(Has(leap, "</tr><tr>" + Grey(27, 31) + Plain(1, 2) + "</tr><tr>"));
  EXPECT_TRUE(Has(leap, Plain(24, 29) + Grey(1, 1) + "</tr>"));
  EXPECT_FALSE(Has(leap, "<td>30</td>"));
  // February 2009: Sunday the 1st to Saturday the 28th, four rows, no neighbour days;
  // the Saturday rule leaves its "</tr><tr>" before the bottom row.
  const std::string plain = Calendar(2009, 2, today);
  EXPECT_FALSE(Has(plain, "color:silver") || Has(plain, "<td>29</td>"));
  EXPECT_TRUE(Has(plain, "</tr><tr>" + Plain(1, 7) + "</tr><tr>"));
  EXPECT_TRUE(Has(plain, Plain(22, 28) + "</tr><tr>" + kBottomOpen + "2009/01/15 (木)</td></tr></table>"));
  // Across the year turn; the same day a year earlier is no today.
  EXPECT_TRUE(Has(Calendar(2008, 12, today), "demo+sv+200811\" style=\"color:white\">&lt;&lt;</a> <span style=\"color:"
                                             "white\">2008/12 <a href=\"./velm.exe?demo+sv+200901\""));
  const std::string lastYear = Calendar(2008, 1, today, {{"c1", "x", "2008/01/15 10:00:00", "", "t", true}});
  EXPECT_TRUE(Has(lastYear, "<td><a href=\"./velm.exe?demo+sv+20080115\">15</a></td>") && !Has(lastYear, "#c0ffc0"));
  // Today without articles: highlighted, no link. An impossible month shows today's; odd
  // article dates are no days with articles.
  const std::string shown = Calendar(2009, 1, today);
  EXPECT_TRUE(Has(shown, "demo+sv+200812\" style=\"color:white\">&lt;&lt;</a> <span style=\"color:white\">2009/01 "
                         "<a href=\"./velm.exe?demo+sv+200902\""));
  EXPECT_TRUE(Has(shown, "<td style=\"background:#c0ffc0\">15</td>"));
  EXPECT_EQ(Calendar(0, 0, today), shown);
  EXPECT_EQ(Calendar(2009, 13, today), shown);
  TContentList odd;
  for (const char* d : {"2009/01/xx", "2009/01/", "2009/01/00 00:00:00", "2009/01/32 00:00:00"})
    odd.push_back({"c1", "x", d, d, "t", true});
  EXPECT_EQ(Calendar(2009, 1, today, odd), shown);
}

TEST(CalendarTest, TagAttributesSetOnlyTheirColours) {
  const TDateTime today = Day(2009, 5, 17);
  const std::string sunday = BuildCalendar("demo", 2009, 5, CalendarColors("<CALENDAR SunBgColor=\"red\">"), {}, today);
  EXPECT_NE(sunday, Calendar(2009, 5, today));
  EXPECT_EQ(ReplaceAll(sunday, "background:red;", "background:#ffe0e0;"), Calendar(2009, 5, today));
  // Each name sets its own field ("text" and "link" are not the names that end in them);
  // quoted and bare values alike.
  const char* const names[] = {"monthbgcolor", "sunbgcolor", "satbgcolor",    "bgcolor",    "monthtext",     "suntext",
                               "sattext",      "text",       "monthlink",     "link",       "nowbgcolor",    "nowtext",
                               "outdaybgcolor", "outdaytext", "nowdatebgcolor", "nowdatetext"};
  std::string tag = "<calendar";
  for (int i = 0; i < 16; ++i) tag += std::string(" ") + names[i] + (i % 2 ? "=c" : "=\"c") + std::to_string(i) + (i % 2 ? "" : "\"");
  const TCalendarColor c = CalendarColors(tag + ">");
  const std::string got[] = {c.MonthBgColor, c.SunBgColor, c.SatBgColor,    c.BgColor,    c.MonthText,     c.SunText,
                             c.SatText,      c.Text,       c.MonthLink,     c.Link,       c.NowBgColor,    c.NowText,
                             c.OutDayBgColor, c.OutDayText, c.NowDateBgColor, c.NowDateText};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(got[i], "c" + std::to_string(i)) << names[i];
}

}  // namespace
