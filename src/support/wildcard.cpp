#include "support/wildcard.h"

#include "support/text.h"

namespace sondrel {

namespace {
constexpr std::size_t kMaxPatternLength = 255;
}

bool WildMatch(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return false;
  std::size_t t = 0;
  std::size_t p = 0;
  while (p < pattern.size()) {
    const char c = pattern[p];
    if (c == '*') {
      ++p;
      if (p == pattern.size()) return true;
      // The literal run after '*' is taken at its first occurrence; no backtracking.
      const std::size_t runEnd = pattern.find_first_of("*?", p);
      const std::string_view run =
          pattern.substr(p, (runEnd == std::string_view::npos ? pattern.size() : runEnd) - p);
      if (run.empty()) continue;
      const std::size_t at = text.find(run, t);
      if (at == std::string_view::npos) return false;
      t = at + run.size();
      p += run.size();
    } else {
      if (t >= text.size()) return false;
      if (c != '?' && UpperAscii(c) != UpperAscii(text[t])) return false;
      ++t;
      ++p;
    }
  }
  return t == text.size();
}

bool WildMatchAny(std::string_view text, std::string_view patterns) {
  std::size_t start = 0;
  while (start <= patterns.size()) {
    std::size_t end = patterns.find(' ', start);
    if (end == std::string_view::npos) end = patterns.size();
    const std::string_view one = patterns.substr(start, end - start);
    if (WildMatch(text, one.substr(0, kMaxPatternLength))) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace sondrel
