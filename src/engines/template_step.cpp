#include "engines/template_step.h"

#include <algorithm>
#include <cstring>

#include "engines/json_string.h"
#include "support/text.h"

namespace sondrel {
namespace {

constexpr std::size_t npos = std::string_view::npos;

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether text starts with pattern, ignoring ASCII case.
bool StartsWithNoCase(const char* text, std::string_view pattern) {
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (FoldCase(text[i]) != FoldCase(pattern[i])) return false;
  }
  return true;
}

// First occurrence of pattern in text[from, limit), ignoring case; npos when none. Every step
// of every entry searches with it, so candidates are found by their first byte (memchr when
// that byte has no case, as '<' and '"' that start most literals) before comparing the rest.
std::size_t FindNoCase(std::string_view text, std::string_view pattern, std::size_t from,
                       std::size_t limit = npos) {
  if (from > text.size()) return npos;
  limit = std::min(limit, text.size());
  if (limit < from || limit - from < pattern.size()) return npos;
  if (pattern.empty()) return from;
  const char lower = FoldCase(pattern[0]);
  const char upper = lower >= 'a' && lower <= 'z' ? static_cast<char>(lower - 'a' + 'A') : lower;
  const char* base = text.data();
  const char* p = base + from;
  const char* last = base + limit - pattern.size();  // the last place a match can start
  const std::string_view rest = pattern.substr(1);
  while (p <= last) {
    if (lower == upper) {
      p = static_cast<const char*>(std::memchr(p, lower, static_cast<std::size_t>(last - p) + 1));
      if (!p) return npos;
    } else if (*p != lower && *p != upper) {
      ++p;
      continue;
    }
    if (StartsWithNoCase(p + 1, rest)) return static_cast<std::size_t>(p - base);
    ++p;
  }
  return npos;
}

}  // namespace

std::string_view StripQuotes(std::string_view text) {
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

bool TemplateStep(std::string_view page, std::size_t& pagePos, std::string_view templ,
                  std::size_t& templatePos, std::string& nameOut, std::string& valueOut,
                  bool noTags, bool jsonStrings) {
  nameOut.clear();
  valueOut.clear();
  if (templatePos > templ.size()) return false;
  const std::size_t open = templ.find(kTemplateMarker, templatePos);
  if (open == npos || open - templatePos > kStepBeforeMax) return false;
  const std::string_view before = templ.substr(templatePos, open - templatePos);
  templatePos = open;

  const std::size_t nameStart = open + kTemplateMarker.size();
  const std::size_t close = templ.find(kTemplateMarker, nameStart);
  if (close == npos) {
    // An unclosed placeholder ends the template.
    templatePos = templ.size();
    return false;
  }
  nameOut.assign(templ.substr(nameStart, std::min(close - nameStart, kStepNameMax)));
  templatePos = close + kTemplateMarker.size();

  const std::size_t next = templ.find(kTemplateMarker, templatePos);
  const bool toEnd = next == npos;
  const std::size_t afterEnd = toEnd ? templ.size() : next;
  std::string_view after =
      templ.substr(templatePos, std::min(afterEnd - templatePos, kStepAfterMax));
  templatePos = afterEnd;
  bool consumeAfter = !toEnd;
  if (after.empty()) {
    // A value with no literal of its own runs up to where the next entry starts.
    std::string_view leading = templ.substr(0, templ.find(kTemplateMarker));
    after = leading.size() >= kStepLeadingMax ? std::string_view("<") : leading;
    consumeAfter = false;
  }

  const std::size_t found = FindNoCase(page, before, pagePos);
  if (found == npos) return false;
  pagePos = found + before.size();
  const std::size_t valueStart = pagePos;
  // The value must be shorter than the limit, so after can only start within it; looking
  // further would cost time on every failing step and change nothing.
  const std::size_t searchLimit =
      valueStart + std::min(page.size() - valueStart, kStepValueLimit - 1 + after.size());
  std::size_t valueEnd = FindNoCase(page, after, valueStart, searchLimit);
  if (jsonStrings && after.starts_with('"')) {
    while (valueEnd != npos && IsEscapedQuote(page, valueStart, valueEnd)) {
      valueEnd = FindNoCase(page, after, valueEnd + 1, searchLimit);
    }
  }
  if (valueEnd == npos || valueEnd - valueStart >= kStepValueLimit) return false;
  const std::string_view value = page.substr(valueStart, valueEnd - valueStart);
  if (noTags && value.find_first_of("<>") != npos) return false;  // pagePos stays past before
  valueOut.assign(value);
  pagePos = valueEnd;
  if (consumeAfter) pagePos += after.size();
  return true;
}

}  // namespace sondrel
