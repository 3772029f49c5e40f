#include "support/dates.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace sondrel {

namespace {
constexpr long kDayOffset = 146037;  // makes 1 January of year 0 day 1
constexpr long kDaysPer400Years = 146097;
constexpr long kSecondsPerDay = 24L * 3600;
constexpr int kPackedYearBase = 1980;
constexpr int kPackedYearLast = kPackedYearBase + 127;

// Floor division and modulo, so that dates before the epoch of the count stay continuous.
long FloorDiv(long a, long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }
long FloorMod(long a, long b) { return a - FloorDiv(a, b) * b; }

long SecondsOfStamp(const DateStamp& d) { return d.hour * 3600L + d.minute * 60L + d.second; }
long DayNumberOfStamp(const DateStamp& d) { return DayNumber(d.day, d.month, d.year); }

bool LocalTime(std::time_t t, std::tm& out) { return localtime_r(&t, &out) != nullptr; }
}  // namespace

long DayNumber(int day, int month, int year) {
  const long m = FloorMod(month + 9L, 12);
  const long y = year + FloorDiv(month + 9L, 12) + 399;
  return 365 * y + FloorDiv(y, 4) - FloorDiv(y, 100) + FloorDiv(y, 400) + (153 * m + 2) / 5 + day -
         kDayOffset;
}

CalendarDate DayNumberToDate(long n) {
  // z counts days from 1 March of the shifted year 0, in whole 400-year eras.
  const long z = n + kDayOffset - 1;
  const long era = FloorDiv(z, kDaysPer400Years);
  const long doe = z - era * kDaysPer400Years;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  CalendarDate date;
  date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  date.year = static_cast<int>(yoe + era * 400 - 400 + (date.month <= 2 ? 1 : 0));
  return date;
}

int WeekDay(long n) { return static_cast<int>(FloorMod(n + 5, 7)); }

long SecondsOf(const TimeOfDay& t) { return t.hours * 3600L + t.minutes * 60L + t.seconds; }

TimeOfDay TimeOfDayFromSeconds(long seconds) {
  TimeOfDay t;
  t.hours = static_cast<int>(seconds / 3600);
  t.minutes = static_cast<int>(seconds % 3600 / 60);
  t.seconds = static_cast<int>(seconds % 60);
  return t;
}

long TimeDifference(const TimeOfDay& a, const TimeOfDay& b) {
  const long diff = SecondsOf(a) - SecondsOf(b);
  return diff < 0 ? diff + kSecondsPerDay : diff;
}

CalendarDate Today() {
  std::tm tm{};
  CalendarDate date;
  if (!LocalTime(std::time(nullptr), tm)) return date;
  date.day = tm.tm_mday;
  date.month = tm.tm_mon + 1;
  date.year = tm.tm_year + 1900;
  return date;
}

TimeOfDay Now() {
  std::tm tm{};
  TimeOfDay t;
  if (!LocalTime(std::time(nullptr), tm)) return t;
  t.hours = tm.tm_hour;
  t.minutes = tm.tm_min;
  t.seconds = tm.tm_sec;
  return t;
}

bool DateStamp::IsEmpty() const {
  return day == 0 && month == 0 && year == 0 && hour == 0 && minute == 0 && second == 0;
}

DateStamp DateStamp::FromTime(std::time_t t) {
  std::tm tm{};
  DateStamp d;
  if (!LocalTime(t, tm)) return d;
  d.day = static_cast<std::uint8_t>(tm.tm_mday);
  d.month = static_cast<std::uint8_t>(tm.tm_mon + 1);
  d.year = static_cast<std::int16_t>(tm.tm_year + 1900);
  d.hour = static_cast<std::uint8_t>(tm.tm_hour);
  d.minute = static_cast<std::uint8_t>(tm.tm_min);
  // A leap second is shown as the last ordinary one.
  d.second = static_cast<std::uint8_t>(std::min(tm.tm_sec, 59));
  return d;
}

DateStamp DateStamp::CurrentLocal() { return FromTime(std::time(nullptr)); }

std::time_t DateStamp::ToTime() const {
  if (IsEmpty()) return -1;
  if (day < 1 || day > 31 || month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59) {
    return -1;
  }
  std::tm tm{};
  tm.tm_mday = day;
  tm.tm_mon = month - 1;
  tm.tm_year = year - 1900;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;  // let the zone rules decide summer time
  return std::mktime(&tm);
}

int CompareStamps(const DateStamp& a, const DateStamp& b) {
  const long fieldsA[] = {a.year, a.month, a.day, a.hour, a.minute, a.second};
  const long fieldsB[] = {b.year, b.month, b.day, b.hour, b.minute, b.second};
  for (int i = 0; i < 6; ++i) {
    if (fieldsA[i] != fieldsB[i]) return fieldsA[i] < fieldsB[i] ? -1 : 1;
  }
  return 0;
}

long HoursBetween(const DateStamp& a, const DateStamp& b) {
  // C++ division truncates toward zero, as the time-of-day term must.
  return (DayNumberOfStamp(a) - DayNumberOfStamp(b)) * 24 +
         (SecondsOfStamp(a) - SecondsOfStamp(b)) / 3600;
}

void PackStamp(const DateStamp& d, std::uint16_t& timeWord, std::uint16_t& dateWord) {
  // Each field is masked to its bits, and the year kept in the representable range,
  // so a bad field never spills into its neighbours.
  const int year = std::clamp<int>(d.year, kPackedYearBase, kPackedYearLast);
  timeWord = static_cast<std::uint16_t>(((d.second / 2) & 0x1f) | ((d.minute & 0x3f) << 5) |
                                        ((d.hour & 0x1f) << 11));
  dateWord = static_cast<std::uint16_t>((d.day & 0x1f) | ((d.month & 0x0f) << 5) |
                                        ((year - kPackedYearBase) << 9));
}

DateStamp UnpackStamp(std::uint16_t timeWord, std::uint16_t dateWord) {
  DateStamp d;
  d.second = static_cast<std::uint8_t>((timeWord & 0x1f) * 2);
  d.minute = static_cast<std::uint8_t>((timeWord >> 5) & 0x3f);
  d.hour = static_cast<std::uint8_t>(timeWord >> 11);
  d.day = static_cast<std::uint8_t>(dateWord & 0x1f);
  d.month = static_cast<std::uint8_t>((dateWord >> 5) & 0x0f);
  d.year = static_cast<std::int16_t>((dateWord >> 9) + kPackedYearBase);
  return d;
}

DateStamp FileModifiedStamp(const char* path) {
  struct stat st {};
  if (path == nullptr || stat(path, &st) != 0) return DateStamp{};
  return DateStamp::FromTime(st.st_mtime);
}

bool SetFileModifiedStamp(const char* path, const DateStamp& d) {
  const std::time_t t = d.ToTime();
  if (path == nullptr || t == -1) return false;
  struct timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;  // leave the access time alone
  times[1].tv_sec = t;
  return utimensat(AT_FDCWD, path, times, 0) == 0;
}

}  // namespace sondrel
