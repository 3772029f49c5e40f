#pragma once
// Captured values of engines that answer with JSON are the bodies of JSON strings: their
// escapes are decoded here to UTF-8. Engines choose this per definition (DECODE=json).

#include <cstddef>
#include <string>
#include <string_view>

namespace sondrel {

// U+FFFD, which every escape that cannot be decoded becomes.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// The text of a JSON string body (without its quotes): \" \\ \/ \b \f \n \r \t and \uXXXX,
// surrogate pairs joined into one character. A broken escape (an unknown letter, too few hex
// digits, a lone surrogate, \u0000, a backslash at the end) becomes U+FFFD; the bytes after
// it are decoded as usual. Bytes that are not escapes are copied unchanged.
std::string DecodeJsonString(std::string_view body);

// Whether the quote at text[quote] is escaped, that is preceded by an odd number of
// backslashes after from.
bool IsEscapedQuote(std::string_view text, std::size_t from, std::size_t quote);

// text cut to at most max bytes without splitting a UTF-8 sequence at the end.
std::string_view CutUtf8(std::string_view text, std::size_t max);

}  // namespace sondrel
