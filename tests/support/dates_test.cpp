#include "support/dates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

DateStamp Stamp(int day, int month, int year, int hour = 0, int minute = 0, int second = 0) {
  DateStamp d;
  d.day = static_cast<std::uint8_t>(day);
  d.month = static_cast<std::uint8_t>(month);
  d.year = static_cast<std::int16_t>(year);
  d.hour = static_cast<std::uint8_t>(hour);
  d.minute = static_cast<std::uint8_t>(minute);
  d.second = static_cast<std::uint8_t>(second);
  return d;
}

bool SameStamp(const DateStamp& a, const DateStamp& b) { return CompareStamps(a, b) == 0; }

class DatesTest : public ::testing::Test {
 protected:
  // Conversions to and from the clock are checked in a fixed zone.
  static void SetUpTestSuite() {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

TEST_F(DatesTest, DayNumberKnownDays) {
  EXPECT_EQ(DayNumber(1, 1, 1970), 719529);
  EXPECT_EQ(WeekDay(DayNumber(1, 1, 1970)), 4);  // Thursday
  EXPECT_EQ(DayNumber(1, 1, 0), 1);
  EXPECT_EQ(WeekDay(DayNumber(9, 12, 2026)), 3);  // a Wednesday
  EXPECT_EQ(DayNumber(1, 3, 2000) - DayNumber(28, 2, 2000), 2);  // leap century
  EXPECT_EQ(DayNumber(1, 3, 1900) - DayNumber(28, 2, 1900), 1);  // not a leap year
  EXPECT_EQ(DayNumber(1, 1, 2001) - DayNumber(1, 1, 2000), 366);
}

TEST_F(DatesTest, DayNumberToDateIsTheExactInverse) {
  const long first = DayNumber(1, 1, -800);
  const long last = DayNumber(31, 12, 2800);
  CalendarDate previous = DayNumberToDate(first - 1);
  for (long n = first; n <= last; ++n) {
    const CalendarDate date = DayNumberToDate(n);
    ASSERT_EQ(DayNumber(date.day, date.month, date.year), n);
    // Consecutive numbers are consecutive calendar days.
    const bool nextDay = date.day == previous.day + 1 && date.month == previous.month &&
                         date.year == previous.year;
    const bool nextMonth = date.day == 1 && ((date.month == previous.month + 1 &&
                                              date.year == previous.year) ||
                                             (date.month == 1 && previous.month == 12 &&
                                              date.year == previous.year + 1));
    ASSERT_TRUE(nextDay || nextMonth) << n;
    previous = date;
  }
}

TEST_F(DatesTest, TimeOfDay) {
  EXPECT_EQ(SecondsOf({1, 2, 3}), 3723);
  const TimeOfDay t = TimeOfDayFromSeconds(3723);
  EXPECT_EQ(t.hours, 1);
  EXPECT_EQ(t.minutes, 2);
  EXPECT_EQ(t.seconds, 3);
  EXPECT_EQ(TimeDifference({0, 0, 10}, {23, 59, 50}), 20);  // passed midnight
  EXPECT_EQ(TimeDifference({10, 0, 0}, {9, 0, 0}), 3600);
  EXPECT_EQ(TimeDifference({9, 0, 0}, {9, 0, 0}), 0);
}

TEST_F(DatesTest, CompareAndEmpty) {
  EXPECT_TRUE(DateStamp{}.IsEmpty());
  EXPECT_FALSE(Stamp(0, 0, 0, 0, 0, 1).IsEmpty());
  struct Case {
    DateStamp a, b;
    int want;
  };
  for (const Case& c : {Case{Stamp(1, 1, 2000), Stamp(1, 1, 2000), 0},
                        Case{Stamp(31, 12, 1999, 23), Stamp(1, 1, 2000), -1},
                        Case{Stamp(1, 2, 2000), Stamp(31, 1, 2000), 1},
                        Case{Stamp(1, 1, 2000, 0, 0, 2), Stamp(1, 1, 2000, 0, 0, 1), 1},
                        Case{Stamp(1, 1, 2000, 0, 1, 0), Stamp(1, 1, 2000, 0, 0, 59), 1}}) {
    EXPECT_EQ(CompareStamps(c.a, c.b), c.want);
    EXPECT_EQ(CompareStamps(c.b, c.a), -c.want);
  }
}

TEST_F(DatesTest, HoursBetweenTruncatesTheTimeOfDayTerm) {
  EXPECT_EQ(HoursBetween(Stamp(2, 1, 2000, 1), Stamp(1, 1, 2000, 23)), 2);
  EXPECT_EQ(HoursBetween(Stamp(1, 1, 2000, 10, 30), Stamp(1, 1, 2000, 11)), 0);
  EXPECT_EQ(HoursBetween(Stamp(2, 1, 2000), Stamp(1, 1, 2000, 23, 30)), 1);
  EXPECT_EQ(HoursBetween(Stamp(1, 1, 2000), Stamp(2, 1, 2000, 1)), -25);
  EXPECT_EQ(HoursBetween(Stamp(1, 3, 2000), Stamp(1, 2, 2000)), 29 * 24);
}

TEST_F(DatesTest, PackAndUnpackFileSystemWords) {
  std::uint16_t timeWord = 0;
  std::uint16_t dateWord = 0;
  PackStamp(Stamp(13, 7, 2004, 15, 42, 37), timeWord, dateWord);
  EXPECT_EQ(timeWord, 18 | (42 << 5) | (15 << 11));
  EXPECT_EQ(dateWord, 13 | (7 << 5) | (24 << 9));
  EXPECT_TRUE(SameStamp(UnpackStamp(timeWord, dateWord), Stamp(13, 7, 2004, 15, 42, 36)));
  // Years outside the packed range are held at its ends instead of spilling into the month.
  PackStamp(Stamp(1, 12, 1970), timeWord, dateWord);
  EXPECT_TRUE(SameStamp(UnpackStamp(timeWord, dateWord), Stamp(1, 12, 1980)));
  PackStamp(Stamp(1, 12, 2200), timeWord, dateWord);
  EXPECT_TRUE(SameStamp(UnpackStamp(timeWord, dateWord), Stamp(1, 12, 2107)));
}

TEST_F(DatesTest, ClockConversions) {
  EXPECT_TRUE(SameStamp(DateStamp::FromTime(0), Stamp(1, 1, 1970)));
  EXPECT_TRUE(SameStamp(DateStamp::FromTime(1100000000), Stamp(9, 11, 2004, 11, 33, 20)));
  EXPECT_EQ(Stamp(9, 11, 2004, 11, 33, 20).ToTime(), 1100000000);
  EXPECT_EQ(DateStamp{}.ToTime(), -1);
  EXPECT_EQ(Stamp(1, 13, 2000).ToTime(), -1);
  EXPECT_EQ(Stamp(1, 1, 2000, 24).ToTime(), -1);

  const std::time_t before = std::time(nullptr);
  const DateStamp now = DateStamp::CurrentLocal();
  const std::time_t after = std::time(nullptr);
  EXPECT_GE(now.ToTime(), before);
  EXPECT_LE(now.ToTime(), after);
  const CalendarDate today = Today();
  EXPECT_GE(today.year, 2020);
  EXPECT_TRUE(today.month >= 1 && today.month <= 12);
  const TimeOfDay t = Now();
  EXPECT_TRUE(t.hours >= 0 && t.hours < 24 && t.minutes >= 0 && t.minutes < 60);
}

TEST_F(DatesTest, FileModificationStamp) {
  testkit::TempDir dir;
  dir.Write("f", "x");
  const std::string path = dir.File("f");
  const DateStamp d = Stamp(24, 12, 2003, 18, 5, 7);
  ASSERT_TRUE(SetFileModifiedStamp(path.c_str(), d));
  EXPECT_TRUE(SameStamp(FileModifiedStamp(path.c_str()), d));
  EXPECT_TRUE(FileModifiedStamp(dir.File("missing").c_str()).IsEmpty());
  EXPECT_FALSE(SetFileModifiedStamp(dir.File("missing").c_str(), d));
  EXPECT_FALSE(SetFileModifiedStamp(path.c_str(), DateStamp{}));
}

}  // namespace
}  // namespace sondrel
