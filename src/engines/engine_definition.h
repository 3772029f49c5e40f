#pragma once
// One search engine as data: where and how to send the query, how to read its result pages,
// plus the counters the search keeps per engine and per page. The engine list holds them in
// database order, which is the order the search visits them in.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/ptr_array.h"

namespace sondrel {

class StringList;

struct VarPattern {
  std::string pattern;               // "<a href=\"find.cgi?__NEXT__\">Next": first placeholder is captured
  std::optional<std::string> value;  // captured from the current page; page state
  std::uint8_t captured = 0;         // page state
};

// How captured values are decoded before they are used.
enum class ValueDecoding : std::uint8_t {
  kHtml,  // as found in the page (entities are decoded where a value is used)
  kJson,  // the body of a JSON string: escapes decoded to UTF-8
};

// Next pages from a counter: __COUNTER__ is start on the first page and start + n * step on
// the n-th next one.
struct CounterPaging {
  bool on = false;
  std::int32_t start = 0;
  std::int32_t step = 0;
};

// How the entries of one engine fared in a search, for its report.
struct EntryTally {
  int matched = 0;     // entries the templates found (items of follow-up engines not counted)
  int refused = 0;     // refused by the URL rules, the query filter, the patterns or the block list
  int duplicates = 0;  // already in the result list
};

inline constexpr int kMaxPagesLimit = 500;       // PAGES: 1..500, also the default
inline constexpr int kFollowUpsDefault = 100;    // FOLLOWMAX when not given
inline constexpr int kFollowUpsLimit = 1000;     // FOLLOWMAX: 1..1000

struct EngineDefinition {
  static constexpr int kVarPatternCapacity = 10;
  static constexpr int kVarPatternGrowth = 5;

  EngineDefinition() : varPatterns(kVarPatternCapacity, kVarPatternGrowth) {}

  std::string name;
  std::string homeUrl;       // URL
  std::string fileStem;      // FILE: "musidx" -> musidx0.htm, musidx1.htm in the test modes
  std::string action;        // ACTION: "http://host/find.cgi?q=__QUERY__"
  std::string more;          // MORE: next-page template; empty for single-page engines
  std::uint8_t escapeVars = 0;         // VAESCAPE
  PtrArray<VarPattern> varPatterns;    // VA, in file order
  std::string format;        // FORMAT: entry template, or anchor directives with "__A__"
  std::string operators;     // OPERATORS, normalised: "AND@OR@NOT"
  std::string closeness;     // CLOSENESS, normalised like operators
  std::uint8_t varsAfterEntries = 0;   // VALAST
  std::string urlFormat;     // FORMATURL: "e=mp3 e=mp2 ns=ftp"
  std::string startMarker;   // SF1
  std::string varMarker;     // SF2
  std::uint8_t enabled = 0;  // from the settings; never stored
  std::int32_t foundCount = 0;
  std::int32_t nextPosition = 0;
  std::int32_t entriesThisPage = 0;
  std::int32_t lastEntryEnd = 0;
  std::int32_t startMarkerPos = -1;  // page offset just after startMarker; -1 until found
  std::int32_t varMarkerPos = -1;    // page offset just after varMarker; -1 until found
  std::string categories;    // CAT: "mp3;web"
  EntryTally tally;          // per search

  // Keys for engines that answer with APIs. Their defaults keep an engine as it was.
  ValueDecoding decoding = ValueDecoding::kHtml;  // DECODE
  std::vector<std::string> headers;  // HEADER, in file order: "Accept: application/json"
  CounterPaging counter;             // COUNTER: "1,1"
  int maxPages = 0;                  // PAGES; 0: kMaxPagesLimit
  std::string follow;                // FOLLOW: "https://h/item/__ID__", one request per entry
  std::string followFormat;          // FOLLOWFORMAT: entry template of follow-up pages
  std::string followUrlFormat;       // FOLLOWURL: URL directives of follow-up entries
  std::string followStartMarker;     // FOLLOWSF1
  int maxFollowUps = 0;              // FOLLOWMAX; 0: kFollowUpsDefault

  int PageLimit() const { return maxPages > 0 ? maxPages : kMaxPagesLimit; }
  int FollowUpLimit() const { return maxFollowUps > 0 ? maxFollowUps : kFollowUpsDefault; }
};

class EngineList : public PtrArray<EngineDefinition> {
 public:
  static constexpr int kInitialCapacity = 10;
  static constexpr int kGrowth = 5;

  EngineList() : PtrArray<EngineDefinition>(kInitialCapacity, kGrowth) {}
};

void SetAllEnabled(EngineList& list, bool enabled);
// An engine is enabled exactly when its name is in names (case-sensitive); engines that share
// a name therefore switch together.
void ApplyEnabledNames(EngineList& list, const StringList& names);
// names becomes the names of the enabled engines, in list order.
void RebuildEnabledNames(const EngineList& list, StringList& names);

// Before a search: per-engine counters back to zero, start marker not yet found.
void ResetSearchState(EngineList& list);
// When a page starts to arrive: per-page counters, markers and captured variables cleared.
void ResetPageState(EngineDefinition& engine);
// When a page is finished: the captured values are dropped; the page counters stay.
void ReleasePageValues(EngineDefinition& engine);

// Index of the first pattern whose first placeholder ("__NEXT__", markers included) equals
// placeholder ignoring case; -1 if none.
int FindPatternForVariable(const EngineDefinition& engine, std::string_view placeholder);

}  // namespace sondrel
