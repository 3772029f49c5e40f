#pragma once
// Character-level URL helpers: HTML entity decoding, form encoding, percent decoding, query
// parameters and finding an http:// address inside text.

#include <cstddef>
#include <string>
#include <string_view>

namespace sondrel {

// Entities are collected up to this many characters after the '&'.
inline constexpr std::size_t kEntityNameMax = 10;
// Query parameter names are compared after being cut to this length.
inline constexpr std::size_t kQueryParamNameMax = 198;

// Copies text into out (at most outMax characters), replacing &quot; &amp; &lt; &gt; &nbsp;
// and &#9; &#10; &#13; &#32;. Other complete entities vanish; an incomplete one stays as is.
// Returns the number of characters written.
std::size_t DecodeHtmlEntities(std::string& out, std::size_t outMax, std::string_view text);
std::string DecodeHtmlEntities(std::string_view text, std::size_t outMax);

// Space -> '+', letters, digits, '.' and '@' unchanged, every other byte "%XX" (upper case).
std::string FormEncode(std::string_view text);
void FormEncodeAppend(std::string& out, std::string_view text);

// In place: '+' -> space, "%xx" -> the byte; an incomplete escape stays.
void UrlDecode(std::string& text);
// "%xx" -> the byte, an incomplete escape stays; unlike form decoding, '+' stays a plus (paths,
// userinfo).
std::string PercentDecoded(std::string_view text);

// The value of the first query pair of url whose name equals name ignoring case, decoded and
// cut to valueMax characters. 1 when found, else 0 (value then empty).
[[nodiscard]] int QueryParam(std::string& value, std::size_t valueMax, std::string_view name,
                             std::string_view url);

// Character classes of addresses found in text.
bool IsUrlChar(unsigned char c);
bool IsUrlEndChar(unsigned char c);

// The first "http://" address in text (at most outMax - 1 characters, trailing punctuation
// cut). Returns its first character, 0 when there is none (out then empty).
char FindHttpUrl(std::string& out, std::size_t outMax, std::string_view text);

}  // namespace sondrel
