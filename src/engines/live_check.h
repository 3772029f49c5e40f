#pragma once
// The live check of engines: a real search of their sources, for whoever has a network and
// wants to know in one step whether a definition still reads what its source answers today.

#include <string>
#include <vector>

#include "engines/engine_definition.h"
#include "engines/search_report.h"

namespace sondrel {

struct Settings;

struct LiveCheck {
  EngineList& engines;
  Settings& settings;  // connections, timeout, proxies and engine keys of the search
  std::string home;    // the program home (engine pauses after a 429 are kept there)
  std::string query;
  std::vector<int> chosen;  // indices into engines; only these take part
};

struct LiveCheckOutcome {
  SearchReport report;  // one entry per chosen engine
  int results = 0;      // results kept in all
};

// A normal search on the calling thread (no update check); the enabled flags of the engines
// are as before afterwards. The network layer must be started by the caller.
[[nodiscard]] LiveCheckOutcome RunLiveCheck(const LiveCheck& check);

// Every engine answered and kept at least one result.
bool EveryEngineDelivered(const SearchReport& report);

}  // namespace sondrel
