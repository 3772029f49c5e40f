#include "engines/entry_dates.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

DateStamp Start() {
  DateStamp stamp;
  stamp.day = 9;
  stamp.month = 12;
  stamp.year = 2026;
  stamp.hour = 23;
  stamp.minute = 5;
  stamp.second = 7;
  return stamp;
}

TEST(EntryDatesTest, Date1) {
  struct Case {
    const char* value;
    bool read;
    int day, month, year;
  };
  const Case cases[] = {
      {"3/14/2001", true, 14, 3, 2001},
      {" 12-31-99 ", true, 31, 12, 99},
      {"1/1/0", true, 1, 1, 0},
      {"13/1/2001", false, 9, 12, 2026},
      {"0/1/2001", false, 9, 12, 2026},
      {"1/32/2001", false, 9, 12, 2026},
      {"1/0/2001", false, 9, 12, 2026},
      {"3/14", false, 9, 12, 2026},
      {"", false, 9, 12, 2026},
      {"3/14/99999999999999999999", false, 9, 12, 2026},  // no year the stamp can hold
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    DateStamp stamp = Start();
    EXPECT_EQ(ReadDate1(c.value, stamp), c.read);
    EXPECT_EQ(stamp.day, c.day);
    EXPECT_EQ(stamp.month, c.month);
    EXPECT_EQ(stamp.year, c.year);
    EXPECT_EQ(stamp.hour, 23);  // the time of day stays
    EXPECT_EQ(stamp.second, 7);
  }
}

TEST(EntryDatesTest, Date2) {
  const int thisYear = DateStamp::CurrentLocal().year;
  struct Case {
    const char* value;
    bool read;
    int day, month, hour, minute;
  };
  const Case cases[] = {
      {"Mar 14 10:30", true, 14, 3, 10, 30},  {"Jan-2-0:0", true, 2, 1, 0, 0},
      {"mar 14 10:30", true, 14, 12, 10, 30},  // month names are case-sensitive
      {"Foo 14 10:30", true, 14, 12, 10, 30}, {"Mar 32 10:30", false, 9, 12, 23, 5},
      {"Mar 14 24:00", false, 9, 12, 23, 5},  {"Mar 14 10:60", false, 9, 12, 23, 5},
      {"Mar 14 10", false, 9, 12, 23, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    DateStamp stamp = Start();
    EXPECT_EQ(ReadDate2(c.value, stamp), c.read);
    EXPECT_EQ(stamp.day, c.day);
    EXPECT_EQ(stamp.month, c.month);
    EXPECT_EQ(stamp.hour, c.hour);
    EXPECT_EQ(stamp.minute, c.minute);
    EXPECT_EQ(stamp.year, c.read ? thisYear : 2026);
    EXPECT_EQ(stamp.second, c.read ? 0 : 7);
  }
}

}  // namespace
}  // namespace sondrel
