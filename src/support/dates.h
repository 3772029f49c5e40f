#pragma once
// Calendar arithmetic and the local date-time stamp. Local time only; no zones anywhere.

#include <cstdint>
#include <ctime>

namespace sondrel {

struct CalendarDate {
  int day = 0;
  int month = 0;  // 1-12
  int year = 0;   // full year, e.g. 2001
};

struct TimeOfDay {
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
};

// Continuous day count with 1 January of year 0 as day 1 (1 January 1970 is 719529).
long DayNumber(int day, int month, int year);
CalendarDate DayNumberToDate(long n);
int WeekDay(long n);  // 0 = Sunday
long SecondsOf(const TimeOfDay& t);
TimeOfDay TimeOfDayFromSeconds(long seconds);
long TimeDifference(const TimeOfDay& a, const TimeOfDay& b);  // a - b, past midnight allowed
CalendarDate Today();
TimeOfDay Now();

// An all-zero stamp means "no date".
struct DateStamp {
  std::uint8_t day = 0;
  std::uint8_t month = 0;
  std::int16_t year = 0;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;

  void Clear() { *this = DateStamp{}; }
  bool IsEmpty() const;
  static DateStamp FromTime(std::time_t t);  // local time
  static DateStamp CurrentLocal();
  std::time_t ToTime() const;  // local time; -1 when empty or invalid
};

int CompareStamps(const DateStamp& a, const DateStamp& b);  // -1, 0, 1
long HoursBetween(const DateStamp& a, const DateStamp& b);  // a - b
// The two 16-bit words of the packed file-system time.
void PackStamp(const DateStamp& d, std::uint16_t& timeWord, std::uint16_t& dateWord);
DateStamp UnpackStamp(std::uint16_t timeWord, std::uint16_t dateWord);
// Modification time of a file as a local stamp; empty when it cannot be read.
DateStamp FileModifiedStamp(const char* path);
bool SetFileModifiedStamp(const char* path, const DateStamp& d);

}  // namespace sondrel
