#include "engines/engine_pauses.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>

#include "engines/search_texts.h"
#include "support/paths.h"
#include "support/text.h"

namespace sondrel {
namespace {

std::string PausesPath(const std::string& home) {
  return (std::filesystem::path(home) / kEnginePausesFile).string();
}

std::optional<std::int64_t> ReadNumber(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "Sun, 06 Nov 1994 08:49:37 GMT" as Unix seconds.
std::optional<std::int64_t> ReadHttpDate(std::string_view text) {
  static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::size_t comma = text.find(", ");
  if (comma == std::string_view::npos || text.size() < comma + 2 + 24) return std::nullopt;
  const std::string_view rest = text.substr(comma + 2);  // "06 Nov 1994 08:49:37 GMT"
  if (rest.substr(20, 4) != " GMT" || rest[2] != ' ' || rest[6] != ' ' || rest[11] != ' ' ||
      rest[14] != ':' || rest[17] != ':') {
    return std::nullopt;
  }
  const auto day = ReadNumber(rest.substr(0, 2));
  const auto year = ReadNumber(rest.substr(7, 4));
  const auto hour = ReadNumber(rest.substr(12, 2));
  const auto minute = ReadNumber(rest.substr(15, 2));
  const auto second = ReadNumber(rest.substr(18, 2));
  const auto month = std::find(std::begin(kMonths), std::end(kMonths), rest.substr(3, 3));
  if (!day || !year || !hour || !minute || !second || month == std::end(kMonths)) {
    return std::nullopt;
  }
  std::tm tm{};
  tm.tm_mday = static_cast<int>(*day);
  tm.tm_mon = static_cast<int>(month - std::begin(kMonths));
  tm.tm_year = static_cast<int>(*year) - 1900;
  tm.tm_hour = static_cast<int>(*hour);
  tm.tm_min = static_cast<int>(*minute);
  tm.tm_sec = static_cast<int>(*second);
  const std::time_t t = ::timegm(&tm);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<std::int64_t>(t);
}

}  // namespace

std::int64_t PausedUntil(const EnginePauses& pauses, std::string_view engine, std::int64_t now) {
  for (const auto& [name, until] : pauses.until) {
    if (name == engine && until > now) return until;
  }
  return 0;
}

void PauseEngine(EnginePauses& pauses, std::string_view engine, std::int64_t until) {
  for (auto& [name, time] : pauses.until) {
    if (name == engine) {
      time = until;
      return;
    }
  }
  pauses.until.emplace_back(engine, until);
}

EnginePauses ReadEnginePauses(const std::string& home) {
  EnginePauses pauses;
  std::string text;
  if (home.empty() || !FileReadAll(PausesPath(home), text)) return pauses;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = std::string_view(text).substr(pos, end - pos);
    pos = end + 1;
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    if (const auto until = ReadNumber(line.substr(0, tab))) {
      PauseEngine(pauses, line.substr(tab + 1), *until);
    }
  }
  return pauses;
}

bool WriteEnginePauses(const std::string& home, const EnginePauses& pauses, std::int64_t now) {
  std::string text;
  for (const auto& [name, until] : pauses.until) {
    if (until > now) text += std::to_string(until) + "\t" + name + "\n";
  }
  const std::string path = PausesPath(home);
  std::error_code error;
  if (text.empty() && !std::filesystem::exists(path, error)) return true;
  return FileReplaceAll(path, text) == 1;
}

std::optional<std::int64_t> RetryAfterSeconds(std::string_view value, std::int64_t now) {
  value = value.substr(0, value.find_last_not_of(" \t\r\n") + 1);
  value.remove_prefix(std::min(value.find_first_not_of(" \t\r\n"), value.size()));
  std::optional<std::int64_t> seconds = ReadNumber(value);
  if (!seconds) {
    const std::optional<std::int64_t> date = ReadHttpDate(value);
    if (!date) return std::nullopt;
    seconds = *date - now;
  }
  if (*seconds < 0) seconds = 0;
  return std::min(*seconds, kMaxRetryAfterSeconds);
}

}  // namespace sondrel
