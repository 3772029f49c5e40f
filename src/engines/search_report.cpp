#include "engines/search_report.h"

#include <algorithm>

namespace sondrel {

int SearchReport::FailedCount() const {
  return static_cast<int>(std::count_if(engines.begin(), engines.end(), [](const EngineReport& e) {
    return e.outcome == EngineOutcome::kFailed;
  }));
}

bool SearchReport::NothingAnswered() const {
  if (engines.empty()) return false;
  return std::all_of(engines.begin(), engines.end(), [](const EngineReport& e) {
    return e.outcome == EngineOutcome::kFailed || e.outcome == EngineOutcome::kSkipped;
  });
}

std::string_view OutcomeWord(EngineOutcome outcome) {
  switch (outcome) {
    case EngineOutcome::kDone: return "done";
    case EngineOutcome::kStoppedAtLimit: return "stopped-at-limit";
    case EngineOutcome::kFailed: return "failed";
    case EngineOutcome::kSkipped: return "skipped";
    case EngineOutcome::kStopped: return "stopped";
  }
  return "unknown";
}

}  // namespace sondrel
