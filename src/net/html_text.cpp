#include "net/html_text.h"

#include <cstring>

#include "support/text.h"

namespace sondrel {
namespace {

std::string_view Cut(std::string_view text, std::size_t max) {
  return text.size() > max ? text.substr(0, max) : text;
}

// Characters that do not count when looking back for the '=' before a quote.
bool IsTagBlank(char c) {
  return c == '\f' || c == '\v' || c == '\n' || c == '\r' || c == '\t' || c == ' ' || c == ';';
}

bool IsAttrSpace(char c) { return c == '\n' || c == '\r' || c == '\t' || c == ' ' || c == ';'; }

// A comment whose text starts at start (the '!' of "<!--"). A nested "<!--" opens another
// level that needs its own "-->". Looks at the bytes read, not at what fits in
// out, so a comment longer than out still ends.
int ScanComment(std::string_view buffer, std::size_t start, std::size_t& cursor,
                std::string_view& out, std::size_t outMax) {
  const char* data = buffer.data();
  const std::size_t n = buffer.size();
  int level = 1;
  std::size_t i = start + 3;  // past "!--"
  while (i < n) {
    const void* hit = std::memchr(data + i, '>', n - i);
    // A nested opener may come before the next '>'; check the stretch up to it.
    std::size_t stop = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : n;
    for (std::size_t j = i; j < stop; ++j) {
      // "<!--": a '-' whose three predecessors are "<!-", all inside this comment.
      if (data[j] == '-' && j >= start + 3 && data[j - 1] == '-' && data[j - 2] == '!' &&
          data[j - 3] == '<') {
        ++level;
      }
    }
    if (!hit) break;
    if (stop >= start + 3 && data[stop - 1] == '-' && data[stop - 2] == '-') {
      if (--level == 0) {
        out = Cut(buffer.substr(start, stop - start), outMax);
        cursor = stop + 1;
        return HtmlComment;
      }
    }
    i = stop + 1;
  }
  out = Cut(buffer.substr(start), outMax);
  cursor = n;
  return HtmlOpenComment;
}

}  // namespace

int NextHtmlToken(std::string_view buffer, std::size_t& cursor, std::string_view& out,
                  std::size_t outMax) {
  const char* data = buffer.data();
  const std::size_t n = buffer.size();
  out = {};
  if (cursor >= n) {
    cursor = n;
    return HtmlEnd;
  }
  if (data[cursor] != '<') {
    std::size_t start = cursor;
    const void* lt = std::memchr(data + start, '<', n - start);
    std::size_t stop = lt ? static_cast<std::size_t>(static_cast<const char*>(lt) - data) : n;
    out = Cut(buffer.substr(start, stop - start), outMax);
    cursor = stop;
    return HtmlText;
  }
  const std::size_t start = cursor + 1;
  if (n - start >= 3 && data[start] == '!' && data[start + 1] == '-' && data[start + 2] == '-') {
    return ScanComment(buffer, start, cursor, out, outMax);
  }
  char lastSignificant = 0;
  char quote = 0;
  for (std::size_t i = start; i < n; ++i) {
    char c = data[i];
    if (quote) {
      if (c == quote) {
        quote = 0;
        lastSignificant = c;
      }
      continue;
    }
    if (c == '>') {
      out = Cut(buffer.substr(start, i - start), outMax);
      cursor = i + 1;
      return HtmlTag;
    }
    if ((c == '"' || c == '\'') && lastSignificant == '=') {
      quote = c;
      continue;
    }
    if (!IsTagBlank(c)) lastSignificant = c;
  }
  out = Cut(buffer.substr(start), outMax);
  cursor = n;
  return HtmlOpenTag;
}

int NextAttrToken(std::string_view& out, std::size_t outMax, std::string_view text,
                  std::size_t& cursor) {
  const std::size_t n = text.size();
  out = {};
  if (cursor >= n) {
    cursor = n;
    return AttrEnd;
  }
  const std::size_t start = cursor;
  char c = text[start];
  if (IsAttrSpace(c)) {
    std::size_t i = start;
    while (i < n && IsAttrSpace(text[i])) ++i;
    out = Cut(text.substr(start, i - start), outMax);
    cursor = i;
    return AttrSpace;
  }
  if (c == '=') {
    out = text.substr(start, 1);
    cursor = start + 1;
    return AttrEquals;
  }
  if (c == '"' || c == '\'') {
    std::size_t close = text.find(c, start + 1);
    std::size_t stop = close == std::string_view::npos ? n : close;
    out = Cut(text.substr(start + 1, stop - start - 1), outMax);
    cursor = close == std::string_view::npos ? n : close + 1;
    return AttrQuoted;
  }
  std::size_t i = start;
  while (i < n && text[i] != '=' && !IsAttrSpace(text[i])) ++i;
  out = Cut(text.substr(start, i - start), outMax);
  cursor = i;
  return AttrWord;
}

namespace {

int NextSolidToken(std::string_view& out, std::size_t outMax, std::string_view text,
                   std::size_t& cursor) {
  int kind;
  do {
    kind = NextAttrToken(out, outMax, text, cursor);
  } while (kind == AttrSpace);
  return kind;
}

}  // namespace

int FindTagAttribute(std::string_view& out, std::size_t outMax, std::string_view name,
                     std::string_view tagText, bool skipTagName) {
  out = {};
  std::size_t cursor = 0;
  std::string_view token;
  int kind = NextSolidToken(token, kAttrTokenMax, tagText, cursor);
  if (skipTagName) kind = NextSolidToken(token, kAttrTokenMax, tagText, cursor);
  bool found = false;
  while (kind == AttrWord && !found) {
    found = EqualsNoCase(token, name);
    kind = NextSolidToken(token, kAttrTokenMax, tagText, cursor);
    if (kind == AttrEquals) {
      kind = NextSolidToken(token, kAttrTokenMax, tagText, cursor);
      if (found && (kind == AttrWord || kind == AttrQuoted)) out = Cut(token, outMax);
      kind = NextSolidToken(token, kAttrTokenMax, tagText, cursor);
    }
  }
  return found ? 1 : 0;
}

bool NextAttribute(std::string_view& nameOut, std::string_view& valueOut, std::size_t outMax,
                   std::string_view text, std::size_t& cursor) {
  nameOut = {};
  valueOut = {};
  std::string_view token;
  int kind = NextSolidToken(token, outMax, text, cursor);
  if (kind == AttrEnd) return false;
  // A stray '=' is a name of its own: "a = b" reads a, then "=", then b.
  nameOut = token;
  std::size_t after = cursor;
  kind = NextAttrToken(token, outMax, text, after);
  cursor = after;
  if (kind == AttrEquals) {
    NextAttrToken(valueOut, outMax, text, cursor);
  }
  return true;
}

int NextPlainToken(std::string_view& out, std::size_t outMax, std::string_view text,
                   std::size_t& cursor, std::string_view delimiters,
                   std::string_view whitespace) {
  const std::size_t n = text.size();
  out = {};
  while (cursor < n && whitespace.find(text[cursor]) != std::string_view::npos) ++cursor;
  if (cursor >= n) {
    cursor = n;
    return 0;
  }
  const std::size_t start = cursor;
  char c = text[start];
  if (delimiters.find(c) != std::string_view::npos) {
    out = text.substr(start, 1);
    cursor = start + 1;
    return 1;
  }
  if (c == '"' || c == '\'') {
    std::size_t close = text.find(c, start + 1);
    std::size_t stop = close == std::string_view::npos ? n : close;
    out = Cut(text.substr(start + 1, stop - start - 1), outMax);
    cursor = close == std::string_view::npos ? n : close + 1;
    return 1;
  }
  std::size_t i = start;
  while (i < n && whitespace.find(text[i]) == std::string_view::npos &&
         delimiters.find(text[i]) == std::string_view::npos) {
    ++i;
  }
  out = Cut(text.substr(start, i - start), outMax);
  cursor = i;
  return 1;
}

}  // namespace sondrel
