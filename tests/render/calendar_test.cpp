// The month calendar: layout, links, today and the tag's colours.
#include <gtest/gtest.h>

#include "render/calendar.h"
#include "text/DString.h"

namespace {

TDateTime Day(int y, int m, int d) {
  TDateTime t;
  t.Year = y;
  t.Month = m;
  t.Day = d;
  return t;
}

TContentIndex Article(const std::string& date, bool visible = true) {
  TContentIndex c;
  c.date = date;
  c.visible = visible;
  return c;
}

// Plain day cells a..b.
std::string Plain(int a, int b) {
  std::string s;
  for (int d = a; d <= b; ++d) s += "<td>" + std::to_string(d) + "</td>";
  return s;
}
std::string Grey(int a, int b) {
  std::string s;
  for (int d = a; d <= b; ++d) s += "<td style=\"color:silver\">" + std::to_string(d) + "</td>";
  return s;
}
size_t Count(const std::string& hay, const std::string& needle) {
  size_t n = 0;
  for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
  return n;
}

const std::string kBottomOpen = "<tr><td colspan=\"7\" style=\"background:white; color:black; text-align:center;\">";

TEST(CalendarTest, WholeMonthWithArticlesTodayAndNeighbourDays) {
  // May 2009 starts on a Friday and ends on a Sunday; today is Sunday the 17th.
  const TContentList contents = {Article("2009/05/20 10:00:00", false), Article("2009/05/17 08:03:09"),
                                 Article("2009/05/03 12:00:00"), Article("2009/05/03 09:00:00"),
                                 Article("2009/04/30 23:59:59"), Article("2008/05/04 00:00:00")};
  const std::string html = BuildCalendar("demo", 2009, 5, TCalendarColor(), TIndexSummary::Of(contents), Day(2009, 5, 17));
  const std::string expected =
      "<table border=\"0\" class=\"ctable\">"
      "<colgroup style=\"background:#ffe0e0; color:black\"><col></colgroup>"
      "<colgroup style=\"background:white; color:black\"><col><col><col><col><col></colgroup>"
      "<colgroup style=\"background:#e0ffff; color:black\"><col></colgroup>"
      "<tr><td colspan=\"7\" style=\"background:blue; text-align:center;\">"
      "<a href=\"./velm.exe?demo+sv+200904\" style=\"color:white\">&lt;&lt;</a> "
      "<span style=\"color:white\">2009/05 "
      "<a href=\"./velm.exe?demo+sv+200906\" style=\"color:white\">&gt;&gt;</a> </td></tr><tr>"
      "<td>日</td><td>月</td><td>火</td><td>水</td><td>木</td><td>金</td><td>土</td></tr><tr>" +
      Grey(26, 30) + Plain(1, 2) + "</tr><tr>" +
      "<td><a href=\"./velm.exe?demo+sv+20090503\">3</a></td>" + Plain(4, 9) + "</tr><tr>" + Plain(10, 16) +
      "</tr><tr>" +
      "<td style=\"background:#c0ffc0\"><a href=\"./velm.exe?demo+sv+20090517\" style=\"color:blue\">17</a></td>" +
      Plain(18, 23) + "</tr><tr>" + Plain(24, 30) + "</tr><tr>" + Plain(31, 31) + Grey(1, 6) + "</tr>" +
      kBottomOpen + "2009/05/17 (日)</td></tr></table>";
  EXPECT_EQ(html, expected);
}

TEST(CalendarTest, FebruaryLengthsAndAMonthFromSundayToSaturday) {
  const TDateTime today = Day(2020, 1, 1);
  const std::string leap = BuildCalendar("demo", 2008, 2, TCalendarColor(), {}, today);
  EXPECT_NE(leap.find("<td>29</td>"), std::string::npos);
  EXPECT_EQ(leap.find("<td>30</td>"), std::string::npos);
  // February 2008 starts on a Friday: 27 to 31 January lead.
  EXPECT_NE(leap.find("</tr><tr>" + Grey(27, 31) + "<td>1</td><td>2</td></tr><tr>"), std::string::npos);

  // February 2009: Sunday the 1st to Saturday the 28th, exactly four rows, no neighbour days;
  // the Saturday rule leaves its "</tr><tr>" before the bottom row.
  const std::string plain = BuildCalendar("demo", 2009, 2, TCalendarColor(), {}, today);
  EXPECT_EQ(Count(plain, "color:silver"), 0u);
  EXPECT_NE(plain.find("</tr><tr>" + Plain(1, 7) + "</tr><tr>"), std::string::npos);
  EXPECT_NE(plain.find(Plain(22, 28) + "</tr><tr>" + kBottomOpen + "2020/01/01 (水)"), std::string::npos);
  EXPECT_EQ(plain.find("<td>29</td>"), std::string::npos);
}

TEST(CalendarTest, YearTurnLinksTodayOnlyInItsOwnMonthAndOddInput) {
  const TDateTime today = Day(2009, 1, 15);
  const TContentList contents = {Article("2009/01/15 10:00:00"), Article("2008/01/15 10:00:00")};
  const std::string jan = BuildCalendar("demo", 2009, 1, TCalendarColor(), TIndexSummary::Of(contents), today);
  EXPECT_NE(jan.find("demo+sv+200812\" style=\"color:white\">&lt;&lt;"), std::string::npos);
  EXPECT_NE(jan.find("demo+sv+200902\" style=\"color:white\">&gt;&gt;"), std::string::npos);
  const std::string dec = BuildCalendar("demo", 2008, 12, TCalendarColor(), TIndexSummary::Of(contents), today);
  EXPECT_NE(dec.find("demo+sv+200811\""), std::string::npos);
  EXPECT_NE(dec.find("demo+sv+200901\""), std::string::npos);
  EXPECT_EQ(dec.find("#c0ffc0"), std::string::npos);
  // The same month a year earlier: a plain link, nothing highlighted, today's date below.
  const std::string lastYear = BuildCalendar("demo", 2008, 1, TCalendarColor(), TIndexSummary::Of(contents), today);
  EXPECT_EQ(lastYear.find("#c0ffc0"), std::string::npos);
  EXPECT_NE(lastYear.find("<td><a href=\"./velm.exe?demo+sv+20080115\">15</a></td>"), std::string::npos);
  EXPECT_NE(lastYear.find("2009/01/15 (木)</td></tr></table>"), std::string::npos);
  // Today without articles: highlighted, no link.
  EXPECT_NE(BuildCalendar("demo", 2009, 1, TCalendarColor(), {}, today).find("<td style=\"background:#c0ffc0\">15</td>"),
            std::string::npos);

  // An impossible month shows today's; odd article dates are no days with articles.
  const std::string shown = BuildCalendar("demo", 2009, 1, TCalendarColor(), {}, today);
  EXPECT_EQ(BuildCalendar("demo", 0, 0, TCalendarColor(), {}, today), shown);
  EXPECT_EQ(BuildCalendar("demo", 2009, 13, TCalendarColor(), {}, today), shown);
  const TContentList odd = {Article("2009/01/xx"), Article("2009/01/"), Article("2009/01/00 00:00:00"),
                            Article("2009/01/32 00:00:00")};
  EXPECT_EQ(BuildCalendar("demo", 2009, 1, TCalendarColor(), TIndexSummary::Of(odd), today), shown);
}

TEST(CalendarTest, TagAttributesSetOnlyTheirColours) {
  const TDateTime today = Day(2009, 5, 17);
  const std::string sunday = BuildCalendar("demo", 2009, 5, CalendarColors("<CALENDAR SunBgColor=\"red\">"), {}, today);
  EXPECT_EQ(ReplaceAll(sunday, "background:red;", "background:#ffe0e0;"),
            BuildCalendar("demo", 2009, 5, TCalendarColor(), {}, today));
  EXPECT_NE(sunday, BuildCalendar("demo", 2009, 5, TCalendarColor(), {}, today));

  // Each name sets its own field ("text" and "link" are not the names that end in them).
  const char* const names[] = {"monthbgcolor", "sunbgcolor", "satbgcolor",    "bgcolor",    "monthtext",     "suntext",
                               "sattext",      "text",       "monthlink",     "link",       "nowbgcolor",    "nowtext",
                               "outdaybgcolor", "outdaytext", "nowdatebgcolor", "nowdatetext"};
  std::string tag = "<calendar";
  for (int i = 0; i < 16; ++i) tag += std::string(" ") + names[i] + "=" + (i % 2 ? "c" : "\"c") + std::to_string(i) + (i % 2 ? "" : "\"");
  const TCalendarColor c = CalendarColors(tag + ">");
  const std::string got[] = {c.MonthBgColor, c.SunBgColor, c.SatBgColor,    c.BgColor,    c.MonthText,     c.SunText,
                             c.SatText,      c.Text,       c.MonthLink,     c.Link,       c.NowBgColor,    c.NowText,
                             c.OutDayBgColor, c.OutDayText, c.NowDateBgColor, c.NowDateText};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(got[i], "c" + std::to_string(i)) << names[i];
}

}  // namespace
