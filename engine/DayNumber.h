#pragma once
// Day numbers of date fields: 1 is 1 January of year 1 in the proleptic
// Gregorian calendar, so 1899-12-30 is 693594.

#include <cstdint>

namespace quire {

inline constexpr std::int32_t kDayNumberOf18991230 = 693594;
inline constexpr std::int32_t kMillisecondsPerDay = 86400000;

constexpr bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int DaysInMonth(int year, int month) {
  constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Whether year (1..9999), month and day name a real date.
constexpr bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

// The day number of a valid date.
constexpr std::int32_t DayNumber(int year, int month, int day) {
  const int y = year - 1;
  std::int32_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day;
}

struct TCivilDate {
  int year = 0, month = 0, day = 0;
};

// The date of a day number (the inverse of DayNumber for days >= 1).
constexpr TCivilDate CivilFromDayNumber(std::int32_t dayNumber) {
  // Whole 400-year cycles first (146097 days each), then years one by one.
  std::int32_t days = dayNumber - 1;  // days since 1 January of year 1
  int year = 1 + 400 * (days / 146097);
  days %= 146097;
  while (days >= (IsLeapYear(year) ? 366 : 365)) days -= IsLeapYear(year++) ? 366 : 365;
  int month = 1;
  while (days >= DaysInMonth(year, month)) days -= DaysInMonth(year, month++);
  return {year, month, days + 1};
}

static_assert(DayNumber(1, 1, 1) == 1);
static_assert(CivilFromDayNumber(693594).year == 1899 && CivilFromDayNumber(693594).day == 30);
static_assert(CivilFromDayNumber(DayNumber(2024, 2, 29)).month == 2);
static_assert(DayNumber(1899, 12, 30) == kDayNumberOf18991230);

}  // namespace quire
