#pragma once
// A small HTML tokenizer over a counted buffer that may still be arriving: it hands out one
// piece at a time (text, tag, comment) as a view into the buffer, and reads attributes out of
// a tag's text. Nothing is allocated per token.

#include <cstddef>
#include <string_view>

namespace sondrel {

enum HtmlTokenKind {
  HtmlEnd = 0,
  HtmlTag = 1,
  HtmlText = 2,
  HtmlComment = 3,
  HtmlOpenTag = 4,      // the data ended inside a tag: step back and read again later
  HtmlOpenComment = 5,  // the data ended inside a comment
};

// Reads the piece at cursor and advances cursor past it. A tag or comment comes without its
// '<' and closing '>'; out is cut to outMax characters (the rest is still consumed).
int NextHtmlToken(std::string_view buffer, std::size_t& cursor, std::string_view& out,
                  std::size_t outMax);

enum AttrTokenKind {
  AttrEnd = 0,
  AttrSpace = 1,   // a run of LF, CR, tab, space or ';'
  AttrEquals = 2,
  AttrQuoted = 3,  // out without its quotes
  AttrWord = 4,
};
int NextAttrToken(std::string_view& out, std::size_t outMax, std::string_view text,
                  std::size_t& cursor);

// Attribute tokens are read this long at most while looking an attribute up.
inline constexpr std::size_t kAttrTokenMax = 1024;

// Looks the attribute name (any case) up in a tag's text, skipping the tag name first when
// asked. 1 when found, even without a value (out then empty); 0 otherwise.
[[nodiscard]] int FindTagAttribute(std::string_view& out, std::size_t outMax,
                                   std::string_view name, std::string_view tagText,
                                   bool skipTagName);

// The next "name=value" (or bare "name") at cursor. False when the text is exhausted.
bool NextAttribute(std::string_view& nameOut, std::string_view& valueOut, std::size_t outMax,
                   std::string_view text, std::size_t& cursor);

// Skips whitespace characters, then reads one delimiter, one quoted string (without quotes)
// or a run up to whitespace or a delimiter. 1 when a token was read, 0 at the end.
int NextPlainToken(std::string_view& out, std::size_t outMax, std::string_view text,
                   std::size_t& cursor, std::string_view delimiters, std::string_view whitespace);

}  // namespace sondrel
