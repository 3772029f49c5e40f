#include "engines/json_string.h"

#include <cstdint>
#include <optional>

namespace sondrel {
namespace {

constexpr std::size_t kHexDigits = 4;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The four hex digits after "\u" at body[pos]; pos moves past the digits that were read.
std::optional<std::uint32_t> ReadHex4(std::string_view body, std::size_t& pos) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < kHexDigits; ++i) {
    if (pos >= body.size()) return std::nullopt;
    const int digit = HexValue(body[pos]);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
    ++pos;
  }
  return value;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsHighSurrogate(std::uint32_t cp) { return cp >= 0xD800 && cp <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t cp) { return cp >= 0xDC00 && cp <= 0xDFFF; }

// Decodes the "\u" escape whose digits start at pos (just after the 'u').
void DecodeUnicodeEscape(std::string_view body, std::size_t& pos, std::string& out) {
  const std::optional<std::uint32_t> first = ReadHex4(body, pos);
  if (!first || *first == 0 || IsLowSurrogate(*first)) {
    out.append(kReplacementCharacter);
    return;
  }
  if (!IsHighSurrogate(*first)) {
    AppendUtf8(out, *first);
    return;
  }
  // A high surrogate counts only together with the low one that must follow it; without one
  // it is broken, and whatever follows is decoded on its own.
  if (body.substr(pos, 2) == "\\u") {
    std::size_t next = pos + 2;
    const std::optional<std::uint32_t> second = ReadHex4(body, next);
    if (second && IsLowSurrogate(*second)) {
      AppendUtf8(out, 0x10000 + ((*first - 0xD800) << 10) + (*second - 0xDC00));
      pos = next;
      return;
    }
  }
  out.append(kReplacementCharacter);
}

char SimpleEscape(char c) {
  switch (c) {
    case '"': return '"';
    case '\\': return '\\';
    case '/': return '/';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return 0;
  }
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Bytes of the UTF-8 sequence that lead starts, 0 for a byte that starts none.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

}  // namespace

std::string DecodeJsonString(std::string_view body) {
  std::string out;
  out.reserve(body.size());
  std::size_t pos = 0;
  while (pos < body.size()) {
    const std::size_t slash = body.find('\\', pos);
    if (slash == std::string_view::npos) {
      out.append(body.substr(pos));
      break;
    }
    out.append(body.substr(pos, slash - pos));
    pos = slash + 1;
    if (pos >= body.size()) {
      out.append(kReplacementCharacter);
      break;
    }
    const char letter = body[pos++];
    if (letter == 'u') {
      DecodeUnicodeEscape(body, pos, out);
    } else if (const char plain = SimpleEscape(letter)) {
      out.push_back(plain);
    } else {
      out.append(kReplacementCharacter);
    }
  }
  return out;
}

bool IsEscapedQuote(std::string_view text, std::size_t from, std::size_t quote) {
  std::size_t slashes = 0;
  while (quote > from + slashes && text[quote - 1 - slashes] == '\\') ++slashes;
  return slashes % 2 == 1;
}

std::string_view CutUtf8(std::string_view text, std::size_t max) {
  if (text.size() <= max) return text;
  std::size_t end = max;
  if (!IsContinuation(static_cast<unsigned char>(text[end]))) return text.substr(0, end);
  // The cut falls inside a sequence: step back to its lead byte and leave the whole sequence
  // out. Stray continuation bytes (not UTF-8 at all) are cut where they are.
  std::size_t lead = end;
  while (lead > 0 && end - lead < 3 && IsContinuation(static_cast<unsigned char>(text[lead]))) {
    --lead;
  }
  const std::size_t length = SequenceLength(static_cast<unsigned char>(text[lead]));
  if (length > 1 && lead + length > end) end = lead;
  return text.substr(0, end);
}

}  // namespace sondrel
