#pragma once
// Cursor-based tokenizers. Each takes the source and a position that the call advances,
// and cuts its output at outSize - 1 characters; a cut token continues in the next call.

#include <cstddef>
#include <string>
#include <string_view>

namespace sondrel {

// Skips whitespace and delimiters, copies up to the next delimiter, steps over that delimiter.
// Returns the first character of the token, 0 when none was left.
char NextToken(std::string& out, std::size_t outSize, std::string_view src, std::size_t& pos,
               std::string_view delimiters);
// Skips to the next decimal digit and copies the run of digits.
char NextDigits(std::string& out, std::size_t outSize, std::string_view src, std::size_t& pos);

enum QueryTokenKind {
  QueryTokenEnd = 0,
  QueryTokenDelimiter = 1,
  QueryTokenQuoted = 2,
  QueryTokenNumber = 3,
  QueryTokenWord = 4,
  QueryTokenLast = 5,  // a number or word that ended at the end of the input
};
// Reads one query token; out holds at most outSize characters.
int NextQueryToken(std::string& out, std::size_t outSize, std::string_view src, std::size_t& pos,
                   std::string_view delimiters);

enum TemplatePieceKind { TemplateEnd = 0, TemplatePlaceholder = 1, TemplateLiteral = 2 };
// Cuts the next piece of a template: a placeholder (marker, letters and digits, marker,
// returned with both markers) or literal text.
int SplitTemplate(std::string_view text, std::size_t& pos, std::string& out, std::size_t outSize,
                  std::string_view marker);

// Words of src joined by single spaces, each word cut into pieces of wordSize - 1.
std::string CollapseSpaces(std::size_t dstSize, std::string_view src, std::size_t wordSize = 30);

}  // namespace sondrel
