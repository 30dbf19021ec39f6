// Local date-times and the textual date forms.
#include "text/dates.h"

#include "text/DString.h"

namespace {
const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The decimal value of s[pos, pos+len), or def when that is not all digits (or out of range).
int Part(const std::string& s, size_t pos, size_t len, int def) {
  if (pos + len > s.size()) return def;
  int v = 0;
  for (size_t i = pos; i < pos + len; ++i) {
    if (s[i] < '0' || s[i] > '9') return def;
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

// The corrections of the stored forms; a day beyond its month's length becomes the month's last day.
TDateTime Correct(TDateTime d) {
  if (d.Month < 1 || d.Month > 12) d.Month = 1;
  if (d.Day < 1 || d.Day > 31) d.Day = 1;
  if (d.Day > DaysInMonth(d.Year, d.Month)) d.Day = DaysInMonth(d.Year, d.Month);
  if (d.Hour >= 24) d.Hour = 0;
  if (d.Minute >= 60) d.Minute = 0;
  if (d.Second >= 60) d.Second = 0;
  return d;
}

std::string Four(int y) {
  std::string s = std::to_string(y);
  while (s.size() < 4) s = "0" + s;
  return s;
}
}  // namespace

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 31;
  return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

bool IsValidDate(int y, int m, int d) { return m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m); }

TDateTime FromUnix(time_t t) {
  struct tm tm {};
  localtime_r(&t, &tm);
  TDateTime d;
  d.Year = tm.tm_year + 1900;
  d.Month = tm.tm_mon + 1;
  d.Day = tm.tm_mday;
  d.Hour = tm.tm_hour;
  d.Minute = tm.tm_min;
  d.Second = tm.tm_sec;
  return d;
}

time_t ToUnix(const TDateTime& d) {
  struct tm tm {};
  tm.tm_year = d.Year - 1900;
  tm.tm_mon = d.Month - 1;
  tm.tm_mday = d.Day;
  tm.tm_hour = d.Hour;
  tm.tm_min = d.Minute;
  tm.tm_sec = d.Second;
  tm.tm_isdst = -1;
  return mktime(&tm);
}

TDateTime Now() { return FromUnix(time(nullptr)); }
TDateTime AddSeconds(const TDateTime& d, long long s) { return FromUnix(ToUnix(d) + static_cast<time_t>(s)); }
TDateTime AddDays(const TDateTime& d, int days) {
  TDateTime n = d;
  n.Day += days;
  TDateTime r = FromUnix(ToUnix(n));
  r.Hour = d.Hour;  // keep the time of day across a zone change
  r.Minute = d.Minute;
  r.Second = d.Second;
  return r;
}

int DayOfWeek(const TDateTime& d) {
  // Sakamoto's method: 0 = Sunday.
  static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  int y = d.Year - (d.Month < 3 ? 1 : 0);
  int m = (d.Month >= 1 && d.Month <= 12) ? d.Month : 1;
  return ((y + y / 4 - y / 100 + y / 400 + t[m - 1] + d.Day) % 7 + 7) % 7;
}

std::string FormatDay(const TDateTime& d) { return Four(d.Year) + "/" + TwoDigits(d.Month) + "/" + TwoDigits(d.Day); }
std::string FormatStamp(const TDateTime& d) {
  return FormatDay(d) + " " + TwoDigits(d.Hour) + ":" + TwoDigits(d.Minute) + ":" + TwoDigits(d.Second);
}
std::string FormatCompactDay(const TDateTime& d) { return Four(d.Year) + TwoDigits(d.Month) + TwoDigits(d.Day); }
std::string FormatCompactMonth(const TDateTime& d) { return Four(d.Year) + TwoDigits(d.Month); }
std::string FormatCompactStamp(const TDateTime& d) {
  return FormatCompactDay(d) + TwoDigits(d.Hour) + TwoDigits(d.Minute) + TwoDigits(d.Second);
}

std::string FormatMailDate(const TDateTime& d, const std::string& zone) {
  return std::string(kWeekdays[DayOfWeek(d)]) + ", " + TwoDigitsBlank(d.Day) + " " + kMonths[(d.Month + 11) % 12] + " " +
         Four(d.Year) + " " + TwoDigits(d.Hour) + ":" + TwoDigits(d.Minute) + ":" + TwoDigits(d.Second) + " " + zone;
}

std::string FormatHttpDate(time_t t) {
  struct tm tm {};
  gmtime_r(&t, &tm);
  return std::string(kWeekdays[tm.tm_wday]) + ", " + TwoDigits(tm.tm_mday) + " " + kMonths[tm.tm_mon] + " " +
         Four(tm.tm_year + 1900) + " " + TwoDigits(tm.tm_hour) + ":" + TwoDigits(tm.tm_min) + ":" +
         TwoDigits(tm.tm_sec) + " GMT";
}

TDateTime ParseStamp(const std::string& s) {
  TDateTime d;
  d.Year = Part(s, 0, 4, 2008);
  d.Month = Part(s, 5, 2, 1);
  d.Day = Part(s, 8, 2, 1);
  d.Hour = Part(s, 11, 2, 0);
  d.Minute = Part(s, 14, 2, 0);
  d.Second = Part(s, 17, 2, 0);
  return Correct(d);
}

TDateTime ParseCompactStamp(const std::string& s) {
  TDateTime d;
  d.Year = Part(s, 0, 4, 2008);
  d.Month = Part(s, 4, 2, 1);
  d.Day = Part(s, 6, 2, 1);
  d.Hour = Part(s, 8, 2, 0);
  d.Minute = Part(s, 10, 2, 0);
  d.Second = Part(s, 12, 2, 0);
  return Correct(d);
}

TDateTime ParseCompactDay(const std::string& s) {
  TDateTime d;
  d.Year = Part(s, 0, 4, 2008);
  d.Month = Part(s, 4, 2, 1);
  d.Day = Part(s, 6, 2, 1);
  return Correct(d);
}

TDateTime ParseCompactMonth(const std::string& s) {
  TDateTime d;
  d.Year = Part(s, 0, 4, 2008);
  d.Month = Part(s, 4, 2, 1);
  return Correct(d);
}

bool IsValidStamp(const std::string& s) {
  if (s.size() != 19 || s[4] != '/' || s[7] != '/' || s[10] != ' ' || s[13] != ':' || s[16] != ':') return false;
  const int y = Part(s, 0, 4, -1), m = Part(s, 5, 2, -1), d = Part(s, 8, 2, -1);
  const int h = Part(s, 11, 2, -1), n = Part(s, 14, 2, -1), c = Part(s, 17, 2, -1);
  if (y < 0 || m < 0 || d < 0 || h < 0 || n < 0 || c < 0) return false;
  return IsValidDate(y, m, d) && h <= 23 && n <= 59 && c <= 59;
}
