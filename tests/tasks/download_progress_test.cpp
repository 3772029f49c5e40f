#include "tasks/download_progress.h"

#include <gtest/gtest.h>

#include <string>

namespace sondrel {
namespace {

NetProgress DataReport(std::int64_t transferred, std::int64_t total, std::int64_t elapsedMs) {
  NetProgress progress;
  progress.state = kNetStateData;
  progress.transferred = transferred;
  progress.total = total;
  progress.elapsedMs = elapsedMs;
  return progress;
}

// The estimate is made from milliseconds, not whole seconds: 9 % after 0.9 s has about nine
// seconds to go, not none.
TEST(DownloadMeter, RemainingTimeFromTheFirstSecond) {
  const struct {
    std::int64_t transferred, total, elapsedMs;
    std::optional<std::int64_t> remaining;
  } cases[] = {
      {90, 1000, 900, 9},                               // 910 bytes at 100 bytes/s
      {90, 1000, 0, std::nullopt},                      // no time yet: no estimate
      {500, 1000, 1999, 2},                             // 1.999 s to go
      {1000, 1000, 10, 0},                              // done, however fast
      {5'000'000'000LL, 10'000'000'000LL, 60'000, 60},  // past 32 bits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.elapsedMs);
    DownloadMeter meter;
    DownloadView view;
    ASSERT_TRUE(meter.Describe(DataReport(0, c.total, 0), view));
    view = DownloadView{};
    ASSERT_TRUE(meter.Describe(DataReport(c.transferred, c.total, c.elapsedMs), view));
    EXPECT_EQ(view.remainingSeconds, c.remaining);
    EXPECT_EQ(view.remainingLine.has_value(), c.remaining.has_value());
    EXPECT_EQ(view.barPosition.has_value(), c.remaining.has_value());
    EXPECT_EQ(view.rate.has_value(), c.elapsedMs > 0);
  }
}

// A resumed file: the part that was already there is not counted as received in this run.
TEST(DownloadMeter, ResumedPartDoesNotCountTowardsTheRate) {
  DownloadMeter meter;
  DownloadView view;
  ASSERT_TRUE(meter.Describe(DataReport(900'000, 1'000'000, 0), view));
  view = DownloadView{};
  ASSERT_TRUE(meter.Describe(DataReport(910'000, 1'000'000, 2'000), view));
  ASSERT_TRUE(view.rate);
  EXPECT_EQ(*view.rate, 5'000);  // 10000 bytes in 2 s, not 910000
  EXPECT_EQ(view.remainingSeconds, 18);
  EXPECT_EQ(ProgressLineText(view),
            "910000 bytes received (4.9 KB/s), 91 % of 1000000 bytes, Remaining time: 00:00:18");
}

// Without any time passed there is no rate: nothing may claim "0 bytes/s".
TEST(DownloadMeter, NoRateBeforeTimePasses) {
  DownloadMeter meter;
  DownloadView view;
  ASSERT_TRUE(meter.Describe(DataReport(0, -1, 0), view));
  view = DownloadView{};
  ASSERT_TRUE(meter.Describe(DataReport(150'000, -1, 0), view));
  EXPECT_FALSE(view.rate);
  EXPECT_EQ(view.stateLine, "150000 bytes received");
  EXPECT_EQ(ProgressLineText(view), "150000 bytes received");
}

}  // namespace
}  // namespace sondrel
