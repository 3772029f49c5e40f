#include "engines/live_check.h"

#include "engines/engine_database.h"
#include "engines/engine_selection.h"
#include "engines/search_driver.h"
#include "results/search_document.h"
#include "results/settings.h"

namespace sondrel {

LiveCheckOutcome RunLiveCheck(const LiveCheck& check) {
  LiveCheckOutcome outcome;
  SearchDocument document;
  SetSearchChoices(document, check.query, kRemoveDuplicateUrls, kFilterNone, false);
  LoadedDatabase database;
  EngineSelection chosen(check.engines, check.chosen);
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
    const bool answered =
        engine.outcome == EngineOutcome::kDone || engine.outcome == EngineOutcome::kStoppedAtLimit;
    if (!answered || engine.kept == 0) return false;
  }
  return true;
}

}  // namespace sondrel
