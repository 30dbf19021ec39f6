// Local date-times and the textual date forms of the data files.
#pragma once
#include <ctime>
#include <string>

struct TDateTime {
  int Year = 2008, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0;
  bool operator==(const TDateTime&) const = default;
};

TDateTime Now();                       // local time (TZ)
TDateTime FromUnix(time_t t);          // local time
time_t ToUnix(const TDateTime& d);     // local time; normalises out-of-range parts
TDateTime AddDays(const TDateTime& d, int days);
TDateTime AddSeconds(const TDateTime& d, long long seconds);
int DayOfWeek(const TDateTime& d);     // 0 = Sunday
int DaysInMonth(int year, int month);
bool IsLeapYear(int year);
bool IsValidDate(int year, int month, int day);

std::string FormatStamp(const TDateTime& d);         // 2009/05/17 08:03:09
std::string FormatDay(const TDateTime& d);           // 2009/05/17
std::string FormatCompactStamp(const TDateTime& d);  // 20090517080309
std::string FormatCompactDay(const TDateTime& d);    // 20090517
std::string FormatCompactMonth(const TDateTime& d);  // 200905
std::string FormatMailDate(const TDateTime& d, const std::string& zone); // Sun, 17 May 2009 08:03:09 +0900
std::string FormatHttpDate(time_t t);                // Sat, 05 Dec 2026 05:55:00 GMT

// Lenient readers with the defaults and corrections of the stored forms.
TDateTime ParseStamp(const std::string& s);
TDateTime ParseCompactStamp(const std::string& s);
TDateTime ParseCompactDay(const std::string& s);
TDateTime ParseCompactMonth(const std::string& s);
// Strict check: every part numeric and a real date and time of day.
bool IsValidStamp(const std::string& s);
