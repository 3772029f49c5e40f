#pragma once
// What each engine did in one search: how it ended and why, and how its entries fared. The
// search fills it; the front ends print it (text on stderr, JSON, the window's report view).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/net_failure.h"

namespace sondrel {

enum class EngineOutcome : std::uint8_t {
  kDone,            // every page it had was read
  kStoppedAtLimit,  // stopped at a result, page or size limit
  kFailed,          // failure names the reason
  kSkipped,         // not started: a missing key, or rate limited until a later time
  kStopped,         // the user stopped the search
};

struct EngineReport {
  std::string engine;  // the engine's name
  EngineOutcome outcome = EngineOutcome::kDone;
  NetFailure failure;  // kind kNone unless failed or skipped
  int httpStatus = 0;  // the last page's status, 0 when none arrived
  int pages = 0;       // pages (and follow-up pages) received
  std::int64_t bytes = 0;
  int matched = 0;         // entries the extraction found
  int refusedByRules = 0;  // refused by URL rules and the acceptance tests
  int duplicates = 0;
  int kept = 0;            // entries added to the result list
  int followUps = 0;        // follow-up requests made (one per item, at most FOLLOWMAX)
  int followUpsFailed = 0;  // follow-ups that brought no page: only their items were lost
  std::string limit;        // with kStoppedAtLimit: which one ("PAGES 5", "FOLLOWMAX 100", ...)
  std::int64_t retryAfter = 0;  // Unix time the source asked us to wait until; 0 for none
};

struct SearchReport {
  std::vector<EngineReport> engines;

  int FailedCount() const;
  // True when engines were asked and none of them answered (every one failed or was skipped).
  bool NothingAnswered() const;
};

// "done", "stopped-at-limit", "failed", "skipped", "stopped".
std::string_view OutcomeWord(EngineOutcome outcome);

}  // namespace sondrel
