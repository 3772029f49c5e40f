#include "engines/live_check.h"

#include <cstdint>

#include "engines/engine_database.h"
#include "engines/search_driver.h"
#include "results/search_document.h"
#include "results/settings.h"

namespace sondrel {
namespace {

// Only the chosen engines take part; the flags of all come back afterwards.
class ChosenEngines {
 public:
  ChosenEngines(EngineList& list, const std::vector<int>& chosen) : list_(list) {
    for (auto& engine : list_) {
      saved_.push_back(engine->enabled);
      engine->enabled = 0;
    }
    for (int index : chosen) list_.Get(index)->enabled = 1;
  }
  ~ChosenEngines() {
    std::size_t i = 0;
    for (auto& engine : list_) engine->enabled = saved_[i++];
  }
  ChosenEngines(const ChosenEngines&) = delete;
  ChosenEngines& operator=(const ChosenEngines&) = delete;

 private:
  EngineList& list_;
  std::vector<std::uint8_t> saved_;
};

}  // namespace

LiveCheckOutcome RunLiveCheck(const LiveCheck& check) {
  LiveCheckOutcome outcome;
  SearchDocument document;
  SetSearchChoices(document, check.query, kRemoveDuplicateUrls, kFilterNone, false);
  LoadedDatabase database;
  ChosenEngines chosen(check.engines, check.chosen);
  SearchSession session(document, check.engines, check.settings, database);
  session.home = check.home;
  session.mode = kSearchNormal;
  session.updateCheck = false;
  if (!PrepareSearch(session)) return outcome;
  RunSearchThread(session);
  CompleteSearch(session);
  outcome.report = session.report;
  outcome.results = document.entries.Count();
  return outcome;
}

bool EveryEngineDelivered(const SearchReport& report) {
  if (report.engines.empty()) return false;
  for (const EngineReport& engine : report.engines) {
    const bool answered = engine.outcome == EngineOutcome::kDone ||
                          engine.outcome == EngineOutcome::kStoppedAtLimit;
    if (!answered || engine.kept == 0) return false;
  }
  return true;
}

}  // namespace sondrel
