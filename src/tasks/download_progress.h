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

// Bytes per second over elapsedMs: transferred * 1000 / elapsedMs, 0 when no time passed.
// 64-bit throughout: a large file over a short time must not wrap.
std::int64_t TransferRate(std::int64_t transferred, std::int64_t elapsedMs);
// The leading decimal digit of rate mod 1024, the fraction shown after the whole kilobytes.
int RateFractionDigit(std::int64_t rate);
// Seconds left, to the nearest second, when transferred of total took elapsedMs; nothing
// unless elapsedMs, transferred and total are all known.
std::optional<std::int64_t> RemainingSeconds(std::int64_t elapsedMs, std::int64_t transferred,
                                             std::int64_t total);

struct DownloadView {
  std::string stateLine;
  std::optional<std::string> remainingLine;  // "Remaining time: %s"
  std::optional<std::int64_t> barPosition;   // of barMaximum, minimum 0
  std::int64_t barMaximum = 0;
  // The figures of a data report, for front ends that word them themselves.
  bool data = false;  // a data report, not a connection state
  std::int64_t transferred = 0;
  std::int64_t total = -1;           // -1 when unknown
  std::optional<std::int64_t> rate;  // bytes per second, once time has passed
  std::optional<std::int64_t> remainingSeconds;
};
// The view for one progress report, counting the whole transfer from the record's start;
// false for states that change nothing.
bool DescribeDownloadProgress(const NetProgress& progress, DownloadView& view);

// Follows one transfer from its first data report, so that the rate and remaining time count
// the bytes and time of this run only: the part of a resumed file that was already there
// does not make the rate look higher than it is.
class DownloadMeter {
 public:
  bool Describe(const NetProgress& progress, DownloadView& view);

 private:
  bool started_ = false;
  std::int64_t startBytes_ = 0;
  std::int64_t startMs_ = 0;
};

// One line for a terminal or a log: the state line, then the share of the total and the
// remaining time when known: "1048576 bytes received (512.0 KB/s), 20 % of 5242880 bytes,
// Remaining time: 00:00:08".
std::string ProgressLineText(const DownloadView& view);

}  // namespace sondrel
