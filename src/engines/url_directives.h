#pragma once
// An engine's URL rules: a directive list ("e=mp3 e=wma ns=ftp euf=url fnstr=?") that decides
// whether an extracted link is a result and rewrites it into the file's real address.

#include <cstddef>
#include <string>
#include <string_view>

namespace sondrel {

inline constexpr std::size_t kDirectiveTokenMax = 99;
inline constexpr std::size_t kRewriteSourceMax = 1997;  // sfa, euf and the starting copy
inline constexpr std::size_t kRewrittenUrlMax = 1999;

// Runs the "before" filters on url, the rewriting directives, then the "after" filters on the
// rewritten address. out receives the rewritten address (empty when refused early). Whether
// the link is accepted.
[[nodiscard]] bool ApplyUrlDirectives(std::string& out, std::string_view url,
                                      std::string_view directives);

enum FilterStage { FilterBefore = 0, FilterAfter = 1 };
// One filter stage alone: whether url passes the stage's directives of the list.
[[nodiscard]] bool PassesUrlFilters(std::string_view url, std::string_view directives,
                                    FilterStage stage);

}  // namespace sondrel
