#include "engines/entry_dates.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/text.h"
#include "support/tokens.h"

namespace sondrel {
namespace {

constexpr std::size_t kDateTokenSize = 64;
constexpr std::string_view kDate1Delimiters = "/-";
constexpr std::string_view kDate2Delimiters = "/-: ";
constexpr std::array<std::string_view, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr long kYearMax = INT16_MAX;  // what the stamp can hold

bool InRange(long value, long low, long high) {
  return value >= low && value <= high;
}

}  // namespace

bool ReadDate1(std::string_view value, DateStamp& stamp) {
  const std::string text = Trimmed(value);
  std::string token;
  std::size_t pos = 0;
  long parts[3] = {0, 0, 0};
  for (long& part : parts) {
    if (NextToken(token, kDateTokenSize, text, pos, kDate1Delimiters) == 0) return false;
    part = LeadingNumber(token);
  }
  const long month = parts[0], day = parts[1], year = parts[2];
  if (!InRange(month, 1, 12) || !InRange(day, 1, 31) || !InRange(year, 0, kYearMax)) {
    return false;
  }
  stamp.day = static_cast<std::uint8_t>(day);
  stamp.month = static_cast<std::uint8_t>(month);
  stamp.year = static_cast<std::int16_t>(year);
  return true;
}

bool ReadDate2(std::string_view value, DateStamp& stamp) {
  std::string tokens[4];
  std::size_t pos = 0;
  for (std::string& token : tokens) {
    if (NextToken(token, kDateTokenSize, value, pos, kDate2Delimiters) == 0) return false;
  }
  const long day = LeadingNumber(tokens[1]);
  const long hour = LeadingNumber(tokens[2]);
  const long minute = LeadingNumber(tokens[3]);
  // A stamp with hour 99 would be no time at all; such a value leaves the stamp alone.
  if (!InRange(day, 1, 31) || !InRange(hour, 0, 23) || !InRange(minute, 0, 59)) return false;
  int month = stamp.month;
  for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
    if (tokens[0] == kMonthNames[i]) month = static_cast<int>(i) + 1;
  }
  stamp.day = static_cast<std::uint8_t>(day);
  stamp.month = static_cast<std::uint8_t>(month);
  stamp.year = DateStamp::CurrentLocal().year;
  stamp.hour = static_cast<std::uint8_t>(hour);
  stamp.minute = static_cast<std::uint8_t>(minute);
  stamp.second = 0;
  return true;
}

}  // namespace sondrel
