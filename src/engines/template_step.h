#pragma once
// Templates of result entries and page variables: literal text with "__NAME__" placeholders.
// One step finds the literal before the next placeholder in the page and takes the page text
// up to the literal after it as the placeholder's value.

#include <cstddef>
#include <string>
#include <string_view>

namespace sondrel {

inline constexpr std::string_view kTemplateMarker = "__";
inline constexpr std::size_t kStepBeforeMax = 198;  // a longer literal fails the step
inline constexpr std::size_t kStepNameMax = 96;
inline constexpr std::size_t kStepAfterMax = 199;
// A leading literal this long is not used as the end of a trailing value; "<" is, instead.
inline constexpr std::size_t kStepLeadingMax = 199;
inline constexpr std::size_t kStepValueLimit = 1021;  // a value is shorter than this

// Takes the next placeholder of templ at templatePos and its value from page at pagePos; both
// positions advance. The literals are matched ignoring case. With noTags a value holding '<'
// or '>' fails. With jsonStrings a value whose closing literal starts with '"' does not end at
// an escaped quote (\"), so a JSON string is taken whole. On failure pagePos is where the step
// left it: unchanged when the literal before the placeholder was not found, else just past
// that literal.
[[nodiscard]] bool TemplateStep(std::string_view page, std::size_t& pagePos, std::string_view templ,
                                std::size_t& templatePos, std::string& nameOut,
                                std::string& valueOut, bool noTags, bool jsonStrings = false);

// text without one pair of surrounding double or single quotes.
std::string_view StripQuotes(std::string_view text);

}  // namespace sondrel
