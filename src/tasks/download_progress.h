#pragma once
// What a download shows while it runs: the state line, the remaining time and the bar, worked
// out from the client's NetProgress. Pure, so that every front end shows the same.

#include <cstdint>
#include <optional>
#include <string>

#include "net/net_progress.h"

namespace sondrel {

// 100 hours or more do not fit the clock format.
inline constexpr std::int64_t kDurationMaxHours = 100;

// "%02d:%02d:%02d" of |seconds|; "99:99:99" from 100 hours on.
std::string DurationText(std::int64_t seconds);

// Bytes per second since the transfer began: transferred * 1000 / elapsedMs, 0 when no time
// passed. 64-bit throughout: a resumed large file over a short time must not wrap.
std::int64_t TransferRate(std::int64_t transferred, std::int64_t elapsedMs);
// The leading decimal digit of rate mod 1024, the fraction shown after the whole kilobytes.
int RateFractionDigit(std::int64_t rate);
// Seconds left at the average rate so far; nothing unless elapsedMs, transferred and total
// are all known.
std::optional<std::int64_t> RemainingSeconds(std::int64_t elapsedMs, std::int64_t transferred,
                              std::int64_t total);

struct DownloadView {
  std::string stateLine;
  std::optional<std::string> remainingLine;  // "Remaining time: %s"
  std::optional<std::int64_t> barPosition;   // of barMaximum, minimum 0
  std::int64_t barMaximum = 0;
};
// The view for one progress report; false for states that change nothing.
bool DescribeDownloadProgress(const NetProgress& progress, DownloadView& view);

}  // namespace sondrel
