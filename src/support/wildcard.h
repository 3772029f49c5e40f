#pragma once

#include <string_view>

namespace sondrel {

// '*' matches any run without backtracking (the literal after it is found case-sensitively at
// its first occurrence), '?' one character, anything else one character ignoring case.
bool WildMatch(std::string_view text, std::string_view pattern);
// Patterns separated by single spaces, each at most 255 characters.
bool WildMatchAny(std::string_view text, std::string_view patterns);

}  // namespace sondrel
