#include "tasks/download_progress.h"

#include <cstdio>
#include <cstdlib>

#include "tasks/download_texts.h"

namespace sondrel {
namespace {

constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kKilobyte = 1024;
constexpr std::int64_t kRateInKilobytes = 1000;

}  // namespace

std::string DurationText(std::int64_t seconds) {
  // |INT64_MIN| does not exist; anything that large is past the clock anyway.
  const std::uint64_t magnitude = seconds < 0 ? 0 - static_cast<std::uint64_t>(seconds)
                                              : static_cast<std::uint64_t>(seconds);
  if (magnitude >= static_cast<std::uint64_t>(kDurationMaxHours * kSecondsPerHour)) {
    return download_texts::kDurationTooLong;
  }
  const int hours = static_cast<int>(magnitude / kSecondsPerHour);
  const int minutes = static_cast<int>(magnitude % kSecondsPerHour / 60);
  const int secs = static_cast<int>(magnitude % 60);
  char text[16];
  std::snprintf(text, sizeof text, download_texts::kDurationFormat, hours, minutes, secs);
  return text;
}

std::int64_t TransferRate(std::int64_t transferred, std::int64_t elapsedMs) {
  if (elapsedMs <= 0 || transferred <= 0) return 0;
  // transferred * 1000 overflows only past 9 PB; divide first there.
  if (transferred > INT64_MAX / 1000) return transferred / elapsedMs * 1000;
  return transferred * 1000 / elapsedMs;
}

int RateFractionDigit(std::int64_t rate) {
  std::int64_t r = rate % kKilobyte;
  if (r >= 1000) {
    r /= 1000;
  } else if (r >= 100) {
    r /= 100;
  } else if (r >= 10) {
    r /= 10;
  }
  return static_cast<int>(r);
}

std::optional<std::int64_t> RemainingSeconds(std::int64_t elapsedMs, std::int64_t transferred,
                                             std::int64_t total) {
  if (elapsedMs <= 0 || transferred <= 0 || total < 0) return std::nullopt;
  const std::int64_t s = elapsedMs / 1000;
  // s * total stays within 64 bits for any real file and duration; cut rather than wrap.
  if (s > 0 && total > INT64_MAX / s) return INT64_MAX;
  return s * total / transferred - s;
}

bool DescribeDownloadProgress(const NetProgress& progress, DownloadView& view) {
  char text[512];
  switch (progress.state) {
    case kNetStateResolving:
      std::snprintf(text, sizeof text, download_texts::kResolving, progress.text.c_str());
      break;
    case kNetStateConnecting:
      std::snprintf(text, sizeof text, "%s", download_texts::kConnecting);
      break;
    case kNetStateConnected:
      std::snprintf(text, sizeof text, download_texts::kConnected, progress.text.c_str(),
                    progress.port);
      break;
    case kNetStateData: {
      const std::int64_t rate = TransferRate(progress.transferred, progress.elapsedMs);
      const long long got = progress.transferred;
      if (rate < kRateInKilobytes) {
        std::snprintf(text, sizeof text, download_texts::kReceivedBytes, got,
                      static_cast<long long>(rate));
      } else {
        std::snprintf(text, sizeof text, download_texts::kReceivedKilobytes, got,
                      static_cast<long long>(rate / kKilobyte), RateFractionDigit(rate));
      }
      const std::optional<std::int64_t> remaining =
          RemainingSeconds(progress.elapsedMs, progress.transferred, progress.total);
      if (remaining) {
        char line[64];
        std::snprintf(line, sizeof line, download_texts::kRemainingTime,
                      DurationText(*remaining).c_str());
        view.remainingLine = line;
        view.barPosition = progress.transferred;
        view.barMaximum = progress.total;
      }
      break;
    }
    default:
      return false;
  }
  view.stateLine = text;
  return true;
}

}  // namespace sondrel
