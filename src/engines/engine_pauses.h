#pragma once
// Engines that answered 429 or 503 with Retry-After are left alone until that time has
// passed: in this search and in later ones, also after a restart. The times are kept in the
// program home, one line per engine: "UNIX-SECONDS<TAB>ENGINE NAME".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sondrel {

// A server asking for more than this is taken at this word: an engine is never shut out for
// longer than a day by one answer.
inline constexpr std::int64_t kMaxRetryAfterSeconds = 24 * 60 * 60;

struct EnginePauses {
  std::vector<std::pair<std::string, std::int64_t>> until;  // engine name, Unix seconds
};

// The time until which the engine is paused, 0 when it is not (or no longer) paused.
std::int64_t PausedUntil(const EnginePauses& pauses, std::string_view engine, std::int64_t now);
void PauseEngine(EnginePauses& pauses, std::string_view engine, std::int64_t until);

// A missing or unreadable file gives no pauses; lines that do not read are passed over.
EnginePauses ReadEnginePauses(const std::string& home);
// Pauses that have passed are left out. False when the file could not be replaced.
[[nodiscard]] bool WriteEnginePauses(const std::string& home, const EnginePauses& pauses,
                                     std::int64_t now);

// Seconds to wait from a Retry-After value: delta seconds or an HTTP date (IMF-fixdate),
// at most kMaxRetryAfterSeconds; nullopt when it does not read.
std::optional<std::int64_t> RetryAfterSeconds(std::string_view value, std::int64_t now);

}  // namespace sondrel
