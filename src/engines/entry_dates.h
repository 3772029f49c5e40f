#pragma once
// The dates that an entry template can read off a result page into the entry's foundAt.

#include <string_view>

#include "support/dates.h"

namespace sondrel {

// "month/day/year" (or with '-'): day, month and year replace those of stamp when all three
// are present and month and day are in range; the time of day is kept. Whether it was read.
bool ReadDate1(std::string_view value, DateStamp& stamp);

// "Mon day hour:minute" (cut at '/', '-', ':' and spaces): stamp becomes that day and time in
// the current year, second 0; an unknown month name keeps the stamp's month. The day must be
// 1-31 and the time a real time of day. Whether it was read.
bool ReadDate2(std::string_view value, DateStamp& stamp);

}  // namespace sondrel
