#include "support/text.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace sondrel {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

namespace {
// Room for characters in a buffer of size bytes (one is kept for the terminator).
std::size_t Room(std::size_t size) { return size == 0 ? 0 : size - 1; }

bool SameChar(char a, char b, bool caseSensitive) {
  return caseSensitive ? a == b : UpperAscii(a) == UpperAscii(b);
}
}  // namespace

// src may view dst's own characters, so results are built apart and then moved in.
std::size_t StrCopyN(std::string& dst, std::string_view src, std::size_t size) {
  dst = std::string(src.substr(0, std::min(src.size(), Room(size))));
  return dst.size();
}

std::string StrCopyN(std::string_view src, std::size_t size) {
  return std::string(src.substr(0, std::min(src.size(), Room(size))));
}

std::size_t StrAppendN(std::string& dst, std::string_view src, std::size_t size) {
  const std::size_t room = Room(size);
  if (dst.size() >= room) {
    dst.resize(room);
    return dst.size();
  }
  src = src.substr(0, std::min(src.size(), room - dst.size()));
  const char* begin = dst.data();
  if (src.data() >= begin && src.data() < begin + dst.capacity()) {
    // src views dst itself: appending may move the buffer under it, so copy it first.
    const std::string copy(src);
    dst.append(copy);
  } else {
    dst.append(src);
  }
  return dst.size();
}

std::size_t StrCopyMax(std::string& dst, std::string_view src, std::size_t n) {
  dst = std::string(src.substr(0, std::min(src.size(), n)));
  return dst.size();
}

int BufRemove(int count, int pos, char* buf, int len) {
  if (pos < 0 || len <= pos) return -1;
  // Never move bytes from beyond the end: a count past the end removes only the tail.
  count = std::clamp(count, 0, len - pos);
  std::memmove(buf + pos, buf + pos + count, static_cast<std::size_t>(len - pos - count));
  return len - count;
}

int StrCompareNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    // A missing character compares as the terminator would.
    const int ca = i < a.size() ? static_cast<unsigned char>(UpperAscii(a[i])) : 0;
    const int cb = i < b.size() ? static_cast<unsigned char>(UpperAscii(b[i])) : 0;
    if (ca != cb) return ca - cb;
  }
  return 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StrCompareNoCase(a, b) == 0;
}

int BufFind(std::string_view buf, std::string_view pattern, bool caseSensitive) {
  if (pattern.empty()) return 0;
  if (pattern.size() > buf.size()) return -1;
  const std::size_t last = buf.size() - pattern.size();
  for (std::size_t start = 0; start <= last; ++start) {
    std::size_t i = 0;
    while (i < pattern.size() && SameChar(buf[start + i], pattern[i], caseSensitive)) ++i;
    if (i == pattern.size()) return static_cast<int>(start);
  }
  return -1;
}

int StrFind(std::string_view text, std::string_view pattern, bool caseSensitive) {
  return BufFind(text, pattern, caseSensitive);
}

int BufFindEnd(std::string_view buf, std::string_view pattern, bool caseSensitive) {
  const int at = BufFind(buf, pattern, caseSensitive);
  return at < 0 ? -1 : at + static_cast<int>(pattern.size());
}

int BufFindAfter(std::string_view buf, std::string_view pattern) {
  const int at = BufFind(buf, pattern, true);
  return at < 0 ? 0 : at + static_cast<int>(pattern.size());
}

int StrIndexInArray(std::string_view text, std::span<const std::string_view> strings) {
  for (std::size_t i = 0; i < strings.size(); ++i) {
    if (strings[i] == text) return static_cast<int>(i);
  }
  return -1;
}

char FirstNonSpaceUpper(std::string_view text) {
  for (char c : text) {
    if (!IsSpace(c)) return UpperAscii(c);
  }
  return 0;
}

void StrTrim(int mode, std::string_view src, std::string& dst) {
  std::size_t begin = 0;
  std::size_t end = src.size();
  switch (mode) {
    case TrimLeft:
    case TrimRight:
    case TrimBoth:
      if (mode != TrimRight) {
        while (begin < end && IsSpace(src[begin])) ++begin;
      }
      if (mode != TrimLeft) {
        while (end > begin && IsSpace(src[end - 1])) --end;
      }
      dst = std::string(src.substr(begin, end - begin));
      return;
    case TrimAll: {
      std::string out;
      out.reserve(src.size());
      for (char c : src) {
        if (!IsSpace(c)) out.push_back(c);
      }
      dst = std::move(out);
      return;
    }
    default:
      return;
  }
}

std::string Trimmed(std::string_view text) {
  std::string out;
  StrTrim(TrimBoth, text, out);
  return out;
}

long LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    // Saturate instead of overflowing on hostile input.
    if (value > (LONG_MAX - digit) / 10) return negative ? LONG_MIN : LONG_MAX;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

}  // namespace sondrel
