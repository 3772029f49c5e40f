#include "engines/engine_definition.h"

#include "support/string_list.h"
#include "support/text.h"
#include "support/tokens.h"

namespace sondrel {
namespace {

constexpr std::string_view kPlaceholderMarker = "__";

void ClearPatternState(EngineDefinition& engine) {
  for (const auto& pattern : engine.varPatterns) {
    pattern->value.reset();
    pattern->captured = 0;
  }
}

}  // namespace

void SetAllEnabled(EngineList& list, bool enabled) {
  for (const auto& engine : list) engine->enabled = enabled ? 1 : 0;
}

void ApplyEnabledNames(EngineList& list, const StringList& names) {
  for (const auto& engine : list) engine->enabled = names.IndexOf(engine->name, true) >= 0 ? 1 : 0;
}

void RebuildEnabledNames(const EngineList& list, StringList& names) {
  names.Clear();
  for (const auto& engine : list) {
    if (engine->enabled) names.Add(engine->name);
  }
}

void ResetSearchState(EngineList& list) {
  for (const auto& engine : list) {
    engine->foundCount = 0;
    engine->nextPosition = 0;
    engine->entriesThisPage = 0;
    engine->lastEntryEnd = 0;
    engine->startMarkerPos = -1;
    engine->tally = EntryTally{};
  }
}

void ResetPageState(EngineDefinition& engine) {
  engine.entriesThisPage = 0;
  engine.lastEntryEnd = 0;
  engine.startMarkerPos = -1;
  engine.varMarkerPos = -1;
  ClearPatternState(engine);
}

void ReleasePageValues(EngineDefinition& engine) {
  // The counters stay: the next-page step still reads them after the page is finished.
  ClearPatternState(engine);
}

int FindPatternForVariable(const EngineDefinition& engine, std::string_view placeholder) {
  for (int i = 0; i < engine.varPatterns.Count(); ++i) {
    const std::string& pattern = engine.varPatterns.Get(i)->pattern;
    std::size_t pos = 0;
    std::string piece;
    int kind;
    // A buffer as long as the pattern itself, so a placeholder is never cut.
    while ((kind = SplitTemplate(pattern, pos, piece, pattern.size() + 1, kPlaceholderMarker)) ==
           TemplateLiteral) {
    }
    if (kind == TemplatePlaceholder && EqualsNoCase(piece, placeholder)) return i;
  }
  return -1;
}

}  // namespace sondrel
