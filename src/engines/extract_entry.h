#pragma once
// Cutting one result entry out of page text: with the engine's entry template, or in anchor
// mode (a format holding "__A__") by walking the page's links.

#include <cstddef>
#include <string>
#include <string_view>

#include "engines/url_building.h"
#include "results/result_entry.h"

namespace sondrel {

struct EngineDefinition;
struct EngineRequest;

inline constexpr std::string_view kAnchorModeMarker = "__A__";  // case-sensitive
inline constexpr std::size_t kPageTokenMax = 5000;              // HTML tokens and decoded text
inline constexpr std::size_t kEntryTitleMax = 1022;
inline constexpr std::size_t kAnchorUrlMax = 1023;
inline constexpr std::size_t kNameFromUrlMax = 1021;
inline constexpr std::size_t kDirectedNameMax = 1021;
// Words of names and previews are broken into pieces of at most this many characters.
inline constexpr std::size_t kEntryWordMax = 29;

enum EntryResult {
  kEntryNone = 0,     // nothing at pos: pos is back where it was, or where more data is needed
  kEntryFound = 1,    // scratch holds the entry; pos is past it
  kEntryRefused = 2,  // an entry whose URL the engine's URL rules refuse; pos is past it
};

// Empties the texts an extraction fills and stamps the entry with the engine and the time.
void PrepareScratch(ResultEntry& scratch, const EngineDefinition& engine);

// The next entry at or after pos in page; links resolve against request.url. Without final,
// more of the page is still to come: an anchor whose text reaches the end of page is left for
// the next call (kEntryNone with pos at the anchor) instead of being cut. values, when given,
// receives every value the template captured by placeholder name. An engine with a follow-up
// request finds items: an entry needs no URL there.
[[nodiscard]] int ExtractEntry(std::string_view page, std::size_t& pos,
                               const EngineDefinition& engine, ResultEntry& scratch,
                               const EngineRequest& request, bool final = true,
                               CapturedValues* values = nullptr);

// Entities decoded, then every "<...>" removed; at most max characters.
std::string PlainText(std::string_view html, std::size_t max);

}  // namespace sondrel
