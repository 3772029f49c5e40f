#include "tasks/download_progress.h"

#include <algorithm>
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
  const std::uint64_t magnitude =
      seconds < 0 ? 0 - static_cast<std::uint64_t>(seconds) : static_cast<std::uint64_t>(seconds);
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
  const std::int64_t left = total > transferred ? total - transferred : 0;
  // left * elapsedMs stays within 64 bits for any real file and duration; cut rather than wrap.
  if (left > 0 && left > INT64_MAX / elapsedMs) return INT64_MAX;
  const std::int64_t leftMs = left * elapsedMs / transferred;
  return (leftMs + 500) / 1000;
}

namespace {

// The data report: bytes and time since the given start of this run.
void DescribeData(const NetProgress& progress, std::int64_t startBytes, std::int64_t startMs,
                  DownloadView& view) {
  const std::int64_t bytes = progress.transferred - startBytes;
  const std::int64_t ms = progress.elapsedMs - startMs;
  view.data = true;
  view.transferred = progress.transferred;
  view.total = progress.total;
  char text[512];
  // Without time passed there is no rate to tell; "0 bytes/s" would be wrong.
  if (ms > 0 && bytes > 0) {
    view.rate = TransferRate(bytes, ms);
    const long long got = progress.transferred;
    if (*view.rate < kRateInKilobytes) {
      std::snprintf(text, sizeof text, download_texts::kReceivedBytes, got,
                    static_cast<long long>(*view.rate));
    } else {
      std::snprintf(text, sizeof text, download_texts::kReceivedKilobytes, got,
                    static_cast<long long>(*view.rate / kKilobyte), RateFractionDigit(*view.rate));
    }
  } else {
    std::snprintf(text, sizeof text, download_texts::kReceivedBytesNoRate,
                  static_cast<long long>(progress.transferred));
  }
  view.stateLine = text;
  if (progress.total < 0) return;
  view.remainingSeconds = RemainingSeconds(ms, bytes, progress.total - startBytes);
  if (progress.transferred >= progress.total) view.remainingSeconds = 0;
  if (!view.remainingSeconds) return;
  // The bar moves with the estimate, as the window shows them together.
  view.barPosition = progress.transferred;
  view.barMaximum = progress.total;
  char line[64];
  std::snprintf(line, sizeof line, download_texts::kRemainingTime,
                DurationText(*view.remainingSeconds).c_str());
  view.remainingLine = line;
}

bool DescribeState(const NetProgress& progress, DownloadView& view) {
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
    default:
      return false;
  }
  view.stateLine = text;
  return true;
}

}  // namespace

bool DescribeDownloadProgress(const NetProgress& progress, DownloadView& view) {
  if (progress.state != kNetStateData) return DescribeState(progress, view);
  DescribeData(progress, 0, 0, view);
  return true;
}

bool DownloadMeter::Describe(const NetProgress& progress, DownloadView& view) {
  if (progress.state != kNetStateData) return DescribeState(progress, view);
  // A data report below the start means a new transfer on the same record (a restart).
  if (!started_ || progress.transferred < startBytes_ || progress.elapsedMs < startMs_) {
    started_ = true;
    startBytes_ = progress.transferred;
    startMs_ = progress.elapsedMs;
  }
  DescribeData(progress, startBytes_, startMs_, view);
  return true;
}

std::string ProgressLineText(const DownloadView& view) {
  std::string line = view.stateLine;
  if (view.total >= 0) {
    const std::int64_t percent =
        view.total == 0 ? 100 : std::min<std::int64_t>(100, view.transferred * 100 / view.total);
    char part[96];
    std::snprintf(part, sizeof part, download_texts::kShareOfTotal, static_cast<long long>(percent),
                  static_cast<long long>(view.total));
    line += part;
  }
  if (view.remainingLine) line += ", " + *view.remainingLine;
  return line;
}

}  // namespace sondrel
