// What the status line says while the window searches and verifies and when that ends.

#include <gtest/gtest.h>

#include "engines/search_report.h"
#include "shell/window_status.h"

namespace sondrel {
namespace {

SearchReport ReportOf(std::initializer_list<EngineOutcome> outcomes) {
  SearchReport report;
  for (EngineOutcome outcome : outcomes) {
    EngineReport engine;
    engine.outcome = outcome;
    report.engines.push_back(engine);
  }
  return report;
}

TEST(WindowStatusTest, TextsForEachState) {
  using O = EngineOutcome;
  const struct {
    std::string text;
    const char* expected;
  } kCases[] = {
      {SearchingStatus(4, 6, 51), "Searching: 4 of 6 engines, 51 results"},
      {SearchingStatus(0, 1, 0), "Searching: 0 of 1 engines, 0 results"},
      {VerifyingStatus(12, 55), "Verifying 12 of 55"},
      {SearchDoneStatus(ReportOf({O::kDone, O::kFailed, O::kDone, O::kFailed, O::kSkipped}), 9),
       "2 of 5 engines failed"},
      // Skipped and stopped engines did not fail.
      {SearchDoneStatus(ReportOf({O::kDone, O::kSkipped, O::kStopped}), 51),
       "Search done: 51 results"},
      {SearchDoneStatus(SearchReport{}, 0), "Search done: 0 results"},
      {VerifyDoneStatus(55, 0), "Verified 55 entries"},
      {VerifyDoneStatus(55, 3), "Verified 55 entries, 3 invalid removed"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(c.text, c.expected);
  }
}

}  // namespace
}  // namespace sondrel
