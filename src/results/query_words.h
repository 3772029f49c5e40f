#pragma once
// The words of a query as the search cuts them: for the engines' query templates and for the
// result list's query filter alike.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace sondrel {

// Words are cut at these characters and at whitespace.
inline constexpr std::string_view kWordDelimiters = ",;+- \t\n\v\f\r";
// A longer word is cut into pieces of this length.
inline constexpr std::size_t kWordMax = 254;
// The any-word form of a text holds at most this many characters.
inline constexpr std::size_t kQueryWordsMax = 1023;

// Calls onWord for each word of text (trimmed first), in order; empty words are skipped.
void ForEachWord(std::string_view text, const std::function<void(std::string_view)>& onWord);

// The words of text joined by single spaces: "rock,roll" and "  rock  roll " give "rock roll".
std::string QueryWords(std::string_view text);

}  // namespace sondrel
