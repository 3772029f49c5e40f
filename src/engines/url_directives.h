#pragma once
// An engine's URL rules: a directive list ("e=mp3 e=wma ns=ftp euf=url fnstr=?") that decides
// whether an extracted link is a result and rewrites it into the file's real address.

#include <cstddef>
#include <string>
#include <string_view>

#include "engines/url_building.h"

namespace sondrel {

inline constexpr std::size_t kDirectiveTokenMax = 99;
inline constexpr std::size_t kRewriteSourceMax = 1997;  // sfa, euf and the starting copy
inline constexpr std::size_t kRewrittenUrlMax = 1999;

// Runs the "before" filters on url, the rewriting directives, then the "after" filters on the
// rewritten address. out receives the rewritten address (empty when refused early). Whether
// the link is accepted.
// values fills the placeholders of pre= (each value encoded as a path segment); without it
// they give nothing.
[[nodiscard]] bool ApplyUrlDirectives(std::string& out, std::string_view url,
                                      std::string_view directives,
                                      const CapturedValues* values = nullptr);

// Whether the list holds a pre= directive: the link it applies to is then a captured value,
// taken as it is, and only the built address is resolved against the page.
bool BuildsFromValue(std::string_view directives);

enum FilterStage { FilterBefore = 0, FilterAfter = 1 };
// One filter stage alone: whether url passes the stage's directives of the list.
[[nodiscard]] bool PassesUrlFilters(std::string_view url, std::string_view directives,
                                    FilterStage stage);

}  // namespace sondrel
