#include "support/tokens.h"

#include <algorithm>

#include "support/text.h"

namespace sondrel {

namespace {
constexpr std::string_view kWhitespace = " \t\n\v\f\r";

bool IsIn(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
std::size_t Room(std::size_t size) { return size == 0 ? 0 : size - 1; }
}  // namespace

char NextToken(std::string& out, std::size_t outSize, std::string_view src, std::size_t& pos,
               std::string_view delimiters) {
  out.clear();
  std::size_t i = std::min(pos, src.size());
  while (i < src.size() && (IsSpace(src[i]) || IsIn(src[i], delimiters))) ++i;
  const std::size_t room = Room(outSize);
  while (i < src.size() && !IsIn(src[i], delimiters) && out.size() < room) out.push_back(src[i++]);
  // Step over the delimiter that ended the token, but not over the rest of a cut token.
  if (i < src.size() && IsIn(src[i], delimiters)) ++i;
  pos = i;
  return out.empty() ? 0 : out[0];
}

char NextDigits(std::string& out, std::size_t outSize, std::string_view src, std::size_t& pos) {
  out.clear();
  std::size_t i = std::min(pos, src.size());
  while (i < src.size() && !IsDigit(src[i])) ++i;
  const std::size_t room = Room(outSize);
  while (i < src.size() && IsDigit(src[i]) && out.size() < room) out.push_back(src[i++]);
  pos = i;
  return out.empty() ? 0 : out[0];
}

int NextQueryToken(std::string& out, std::size_t outSize, std::string_view src, std::size_t& pos,
                   std::string_view delimiters) {
  out.clear();
  std::size_t i = std::min(pos, src.size());
  while (i < src.size() && IsSpace(src[i])) ++i;
  if (i >= src.size()) {
    pos = i;
    return QueryTokenEnd;
  }
  const char first = src[i];
  if (first == '"') {
    // The whole quoted string is consumed even when it is cut, so the parser stays in step.
    for (++i; i < src.size() && src[i] != '"'; ++i) {
      if (src[i] == '\\' && i + 1 < src.size()) ++i;
      if (out.size() < outSize) out.push_back(src[i]);
    }
    if (i < src.size()) ++i;  // closing quote
    pos = i;
    return QueryTokenQuoted;
  }
  if (IsIn(first, delimiters)) {
    out.push_back(first);
    pos = i + 1;
    return QueryTokenDelimiter;
  }
  // A word or number runs to the next delimiter, which is left for the next call.
  for (; i < src.size() && !IsIn(src[i], delimiters); ++i) {
    if (out.size() < outSize) out.push_back(src[i]);
  }
  while (!out.empty() && IsSpace(out.back())) out.pop_back();
  pos = i;
  if (i >= src.size()) return QueryTokenLast;
  return IsDigit(first) ? QueryTokenNumber : QueryTokenWord;
}

namespace {
// Length of the placeholder (marker, letters and digits, marker) at pos, or 0 when there is none.
std::size_t PlaceholderAt(std::string_view text, std::size_t pos, std::string_view marker) {
  if (text.substr(pos, marker.size()) != marker) return 0;
  std::size_t i = pos + marker.size();
  while (i < text.size() && IsAlnum(text[i])) ++i;
  if (text.substr(i, marker.size()) != marker) return 0;
  return i + marker.size() - pos;
}
}  // namespace

int SplitTemplate(std::string_view text, std::size_t& pos, std::string& out, std::size_t outSize,
                  std::string_view marker) {
  out.clear();
  if (pos >= text.size()) {
    pos = std::min(pos, text.size());
    return TemplateEnd;
  }
  const std::size_t room = Room(outSize);
  if (room == 0) return TemplateEnd;  // nothing fits; never loop without progress
  std::size_t length = 0;
  int kind = TemplateLiteral;
  if (!marker.empty()) length = PlaceholderAt(text, pos, marker);
  if (length > 0) {
    kind = TemplatePlaceholder;
  } else if (marker.empty()) {
    length = text.size() - pos;
  } else {
    // A stray marker is literal; look for the next one from the character after it.
    const std::size_t next = text.find(marker, pos + 1);
    length = (next == std::string_view::npos ? text.size() : next) - pos;
  }
  length = std::min(length, room);
  out.assign(text.substr(pos, length));
  pos += length;
  return kind;
}

std::string CollapseSpaces(std::size_t dstSize, std::string_view src, std::size_t wordSize) {
  std::string dst;
  std::string word;
  std::size_t pos = 0;
  if (Room(wordSize) == 0) return dst;
  while (NextToken(word, wordSize, src, pos, kWhitespace) != 0) {
    StrAppendN(dst, word, dstSize);
    StrAppendN(dst, " ", dstSize);
  }
  return Trimmed(dst);
}

}  // namespace sondrel
