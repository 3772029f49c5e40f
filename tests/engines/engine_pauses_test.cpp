#include "engines/engine_pauses.h"

#include <gtest/gtest.h>

#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

TEST(EnginePausesTest, RetryAfterInSecondsOrAsADate) {
  const std::int64_t now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  struct Case {
    const char* value;
    std::optional<std::int64_t> seconds;
  };
  const Case cases[] = {
      {"120", 120},
      {" 7 \r", 7},
      {"0", 0},
      {"Sun, 06 Nov 1994 08:51:37 GMT", 120},
      {"Sun, 06 Nov 1994 08:00:00 GMT", 0},  // already past
      {"Fri, 31 Dec 2060 23:59:59 GMT", kMaxRetryAfterSeconds},
      {"99999999999", kMaxRetryAfterSeconds},
      {"-5", 0},
      {"soon", std::nullopt},
      {"", std::nullopt},
      {"Sun, 06 Nov 1994 08:51:37 UTC", std::nullopt},
      {"Sun, 06 Nox 1994 08:51:37 GMT", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(RetryAfterSeconds(c.value, now), c.seconds);
  }
}

TEST(EnginePausesTest, KeptInTheHomeUntilTheyPass) {
  testkit::TempDir home;
  EnginePauses pauses;
  PauseEngine(pauses, "Busy Engine", 1000);
  PauseEngine(pauses, "Old", 400);
  PauseEngine(pauses, "Busy Engine", 2000);  // a later answer replaces the earlier one
  ASSERT_TRUE(WriteEnginePauses(home.path(), pauses, 500));
  EXPECT_EQ(home.Read("engine-pauses"), "2000\tBusy Engine\n");

  const EnginePauses read = ReadEnginePauses(home.path());
  EXPECT_EQ(PausedUntil(read, "Busy Engine", 1999), 2000);
  EXPECT_EQ(PausedUntil(read, "Busy Engine", 2000), 0);
  EXPECT_EQ(PausedUntil(read, "busy engine", 1000), 0);  // names compare exactly

  home.Write("engine-pauses", "garbage\n12x\tA\n3000\tGood\n");
  EXPECT_EQ(PausedUntil(ReadEnginePauses(home.path()), "Good", 0), 3000);
  EXPECT_TRUE(ReadEnginePauses(home.File("nowhere")).until.empty());
}

}  // namespace
}  // namespace sondrel
