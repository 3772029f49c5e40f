#pragma once
// The find text: words, quoted phrases, AND/+ , OR, NOT/- and parentheses, evaluated strictly
// left to right without precedence ("a OR b AND c" is (a OR b) AND c).

#include <cstddef>
#include <string_view>

namespace sondrel {

inline constexpr std::size_t kMaxFindText = 199;

// True when text satisfies the expression; each operand is searched ignoring case.
bool FindExpression(std::string_view text, std::string_view expression);

}  // namespace sondrel
