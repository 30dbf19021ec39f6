// The month calendar of the side menu.
#include "render/calendar.h"

#include "app/Unit1.h"
#include "text/DHTMLTag.h"
#include "text/DString.h"

namespace {

const char* const kWeekNames[] = {"日", "月", "火", "水", "木", "金", "土"};

// "yyyy/mm/dd" of a day.
std::string DayText(int year, int month, int day) {
  TDateTime d;
  d.Year = year;
  d.Month = month;
  d.Day = day;
  return FormatDay(d);
}

// The six digits of a month archive.
std::string MonthWord(int year, int month) {
  const std::string s = DayText(year, month, 1);
  return s.substr(0, 4) + s.substr(5, 2);
}

std::string OutDay(const TCalendarColor& c, int day) {
  return "<td style=\"color:" + c.OutDayText + "\">" + std::to_string(day) + "</td>";
}

}  // namespace

TCalendarColor CalendarColors(const std::string& tag) {
  TCalendarColor c;
  struct TSlot {
    const char* Name;
    std::string TCalendarColor::*Field;
  };
  static const TSlot kSlots[] = {
      {"monthbgcolor", &TCalendarColor::MonthBgColor}, {"sunbgcolor", &TCalendarColor::SunBgColor},
      {"satbgcolor", &TCalendarColor::SatBgColor},     {"bgcolor", &TCalendarColor::BgColor},
      {"monthtext", &TCalendarColor::MonthText},       {"suntext", &TCalendarColor::SunText},
      {"sattext", &TCalendarColor::SatText},           {"text", &TCalendarColor::Text},
      {"monthlink", &TCalendarColor::MonthLink},       {"link", &TCalendarColor::Link},
      {"nowbgcolor", &TCalendarColor::NowBgColor},     {"nowtext", &TCalendarColor::NowText},
      {"outdaybgcolor", &TCalendarColor::OutDayBgColor}, {"outdaytext", &TCalendarColor::OutDayText},
      {"nowdatebgcolor", &TCalendarColor::NowDateBgColor}, {"nowdatetext", &TCalendarColor::NowDateText},
  };
  const TOptionList options = GetOptionList(tag);
  for (const TSlot& s : kSlots)
    for (const TOptionIndex& o : options)
      if (SameText(o.Name, s.Name)) {
        c.*s.Field = o.Value;
        break;
      }
  return c;
}

std::string BuildCalendar(const std::string& accountId, int year, int month, const TCalendarColor& c,
                          const TIndexSummary& articles, const TDateTime& today) {
  if (month < 1 || month > 12 || year < 1 || year > 9999) {
    year = today.Year;
    month = today.Month;
  }
  const int length = DaysInMonth(year, month);

  // The days of this month that have a visible article.
  const uint32_t days = articles.Days(year, month);
  bool hasArticle[32] = {};
  for (int d = 1; d <= length; ++d) hasArticle[d] = (days >> d) & 1;

  const int prevYear = month == 1 ? year - 1 : year, prevMonth = month == 1 ? 12 : month - 1;
  const int nextYear = month == 12 ? year + 1 : year, nextMonth = month == 12 ? 1 : month + 1;
  const std::string archive = "./velm.exe?" + accountId + "+sv+";
  const std::string monthWord = MonthWord(year, month);

  std::string out;
  out.reserve(4096);
  out += "<table border=\"0\" class=\"ctable\">";
  out += "<colgroup style=\"background:" + c.SunBgColor + "; color:" + c.SunText + "\"><col></colgroup>";
  out += "<colgroup style=\"background:" + c.BgColor + "; color:" + c.Text +
         "\"><col><col><col><col><col></colgroup>";
  out += "<colgroup style=\"background:" + c.SatBgColor + "; color:" + c.SatText + "\"><col></colgroup>";
  out += "<tr><td colspan=\"7\" style=\"background:" + c.MonthBgColor + "; text-align:center;\">";
  out += "<a href=\"" + archive + MonthWord(prevYear, prevMonth) + "\" style=\"color:" + c.MonthLink +
         "\">&lt;&lt;</a> ";
  out += "<span style=\"color:" + c.MonthText + "\">" + DayText(year, month, 1).substr(0, 7);
  out += " <a href=\"" + archive + MonthWord(nextYear, nextMonth) + "\" style=\"color:" + c.MonthLink +
         "\">&gt;&gt;</a> ";
  out += "</td></tr><tr>";
  for (const char* name : kWeekNames) out += std::string("<td>") + name + "</td>";
  out += "</tr><tr>";

  TDateTime first;
  first.Year = year;
  first.Month = month;
  first.Day = 1;
  const int firstWeekday = DayOfWeek(first);
  const int prevLength = DaysInMonth(prevYear, prevMonth);
  for (int i = 0; i < firstWeekday; ++i) out += OutDay(c, prevLength - firstWeekday + 1 + i);

  const bool thisMonth = today.Year == year && today.Month == month;
  for (int day = 1; day <= length; ++day) {
    const std::string dayText = std::to_string(day);
    const std::string link = archive + monthWord + TwoDigits(day);
    if (thisMonth && day == today.Day) {
      out += "<td style=\"background:" + c.NowBgColor + "\">";
      out += hasArticle[day] ? "<a href=\"" + link + "\" style=\"color:" + c.Link + "\">" + dayText + "</a>" : dayText;
      out += "</td>";
    } else if (hasArticle[day]) {
      out += "<td><a href=\"" + link + "\">" + dayText + "</a></td>";
    } else {
      out += "<td>" + dayText + "</td>";
    }
    if ((firstWeekday + day - 1) % 7 == 6) out += "</tr><tr>";
  }
  const int lastWeekday = (firstWeekday + length - 1) % 7;
  if (lastWeekday != 6) {
    for (int day = 1; day <= 6 - lastWeekday; ++day) out += OutDay(c, day);
    out += "</tr>";
  }

  out += "<tr><td colspan=\"7\" style=\"background:" + c.NowDateBgColor + "; color:" + c.NowDateText +
         "; text-align:center;\">" + FormatDay(today) + " (" + kWeekNames[DayOfWeek(today)] +
         ")</td></tr></table>";
  return out;
}

std::string TWebModule1::CalendarHTML(const std::string& tag, int year, int month, const TIndexSummary& articles) {
  return BuildCalendar(Account.Id, year, month, CalendarColors(tag), articles, Now());
}
