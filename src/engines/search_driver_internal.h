#pragma once
// What the search's slots and its test modes share inside the engines layer.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/search_driver.h"

namespace sondrel::detail {

std::string Cut(std::string_view text, std::size_t max);
void OnInterface(SearchSession& session, const std::function<void()>& fn);
// The progress callback with the counts, on the interface thread.
void ReportCounts(SearchSession& session);
// Neither stopped nor ended by the total result limit.
bool Running(const SearchSession& session);
std::int64_t UnixNow();
ExtractionContext MakeScanContext(SearchSession& session);
// The record every request of the search reports through: the timeout, the search's cancel flag.
void FillConnectionProgress(NetProgress& progress, const SearchSession& session);
// The engine's own header lines; a User-Agent among them replaces the program's agent.
void AddEngineHeaders(HttpRequest& http, const EngineRequest& request,
                      const EngineDefinition& engine);
// The query fields and the engine's key.
QueryFields FieldsFor(const SearchSession& session, const EngineDefinition& engine);
// One report line per enabled engine, in list order; index i is engine i's line (-1: disabled).
std::vector<int> BeginReport(SearchSession& session);
// Skips an engine whose key is missing or whose source asked for a pause; says so in report.
bool SkipEngine(SearchSession& session, const EngineDefinition& engine, EngineReport& report);
// The engine's line of the report once it has ended.
void FinishReport(SearchSession& session, const EngineDefinition& engine, const NetFailure& failure,
                  std::string limit, EngineReport& report);

}  // namespace sondrel::detail
