#include "engines/definition_text.h"

#include <memory>

#include "engines/config_line.h"
#include "support/paths.h"
#include "support/text.h"

namespace sondrel {
namespace {

bool IsOperatorSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::uint8_t FlagFrom(std::string_view value) {
  // The flag is one byte: only the low byte of the number is kept (256 reads as 0).
  return static_cast<std::uint8_t>(static_cast<unsigned long>(LeadingNumber(value)) & 0xFF);
}

void SetField(EngineDefinition& engine, std::string_view key, std::string_view value) {
  struct TextKey {
    std::string_view key;
    std::string EngineDefinition::*field;
  };
  static const TextKey kTextKeys[] = {
      {"URL", &EngineDefinition::homeUrl},       {"FILE", &EngineDefinition::fileStem},
      {"ACTION", &EngineDefinition::action},     {"MORE", &EngineDefinition::more},
      {"FORMAT", &EngineDefinition::format},     {"FORMATURL", &EngineDefinition::urlFormat},
      {"SF1", &EngineDefinition::startMarker},   {"SF2", &EngineDefinition::varMarker},
      {"CAT", &EngineDefinition::categories},
  };
  for (const TextKey& text : kTextKeys) {
    if (EqualsNoCase(key, text.key)) {
      engine.*text.field = std::string(value);
      return;
    }
  }
  if (EqualsNoCase(key, "VAESCAPE")) {
    engine.escapeVars = FlagFrom(value);
  } else if (EqualsNoCase(key, "VALAST")) {
    engine.varsAfterEntries = FlagFrom(value);
  } else if (EqualsNoCase(key, "OPERATORS")) {
    engine.operators = NormaliseOperators(value);
  } else if (EqualsNoCase(key, "CLOSENESS")) {
    engine.closeness = NormaliseOperators(value);
  } else if (EqualsNoCase(key, "VA")) {
    auto pattern = std::make_unique<VarPattern>();
    pattern->pattern = std::string(value);
    engine.varPatterns.Append(std::move(pattern));
  }
}

}  // namespace

std::string NormaliseOperators(std::string_view text) {
  std::string trimmed = Trimmed(text);
  std::string joined;
  int words = 0;
  std::size_t pos = 0;
  while (pos < trimmed.size()) {
    while (pos < trimmed.size() && IsOperatorSeparator(trimmed[pos])) ++pos;
    std::size_t start = pos;
    while (pos < trimmed.size() && !IsOperatorSeparator(trimmed[pos]) &&
           pos - start < kOperatorWordMax) {
      ++pos;
    }
    if (pos == start) break;
    joined.append(trimmed, start, pos - start);
    joined += '@';
    ++words;
  }
  if (words >= 2) joined.pop_back();
  return Trimmed(joined);
}

std::string OperatorsAsText(std::string_view stored) {
  // A single word kept a trailing '@'.
  if (stored.ends_with('@')) {
    std::string_view word = stored.substr(0, stored.size() - 1);
    if (NormaliseOperators(word) == stored) return std::string(word);
  }
  // Two or more words were joined with '@': spaces for every '@' read best.
  std::string spaced(stored);
  for (char& c : spaced) {
    if (c == '@') c = ' ';
  }
  if (NormaliseOperators(spaced) == stored) return spaced;
  // Words that hold '@' themselves: split at as few '@' as the word limit allows, keeping
  // every word non-empty, and at least two words so no trailing '@' is added.
  std::string split;
  std::size_t start = 0;
  int words = 0;
  while (start < stored.size()) {
    bool restFits = stored.size() - start <= kOperatorWordMax;
    if (restFits && words > 0) break;
    std::size_t cut = std::string_view::npos;
    std::size_t last = std::min(stored.size() - 2, start + kOperatorWordMax);
    for (std::size_t p = start + 1; p <= last && stored.size() >= 2; ++p) {
      if (stored[p] == '@') {
        cut = p;
        if (restFits) break;  // one split is all that is needed
      }
    }
    if (cut == std::string_view::npos) return std::string(stored);
    split.append(stored.substr(start, cut - start)).append(" ");
    start = cut + 1;
    ++words;
  }
  split.append(stored.substr(start));
  if (NormaliseOperators(split) == stored) return split;
  return std::string(stored);
}

std::string DefinitionSectionOf(const EngineDefinition& engine) {
  std::string text = "[" + engine.name + "]\n";
  auto line = [&text](std::string_view key, std::string_view value) {
    if (value.empty()) return;
    text.append(key).append("=").append(value).append("\n");
  };
  auto flag = [](std::uint8_t value) { return value ? std::to_string(value) : std::string(); };
  line("URL", engine.homeUrl);
  line("FILE", engine.fileStem);
  line("ACTION", engine.action);
  line("MORE", engine.more);
  line("VAESCAPE", flag(engine.escapeVars));
  // Every pattern, empty ones too: each VA line adds one.
  for (const auto& pattern : engine.varPatterns) text.append("VA=").append(pattern->pattern).append("\n");
  line("FORMAT", engine.format);
  line("OPERATORS", OperatorsAsText(engine.operators));
  line("CLOSENESS", OperatorsAsText(engine.closeness));
  line("VALAST", flag(engine.varsAfterEntries));
  line("FORMATURL", engine.urlFormat);
  line("SF1", engine.startMarker);
  line("SF2", engine.varMarker);
  line("CAT", engine.categories);
  return text;
}

void ReadDefinitions(std::string_view text, EngineList& list) {
  std::unique_ptr<EngineDefinition> current;
  std::string name;
  std::string value;
  std::size_t pos = 0;
  while (pos < text.size()) {
    // A line ends after its newline or when the line buffer is full, whichever comes first.
    std::size_t end = pos;
    std::size_t limit = std::min(text.size(), pos + kDefinitionLineSize - 1);
    while (end < limit && text[end] != '\n') ++end;
    if (end < limit) ++end;  // keep the newline with its line
    std::string_view line = text.substr(pos, end - pos);
    pos = end;
    // A zero byte ends the line's text, as it would in a character buffer.
    line = line.substr(0, line.find('\0'));

    int kind = ClassifyConfigLine(line, name, kDefinitionNameSize, value, kDefinitionValueSize);
    if (kind == ConfigSection) {
      if (current) list.Append(std::move(current));
      current = std::make_unique<EngineDefinition>();
      current->name = name;
    } else if (kind == ConfigKeyValue && current) {
      SetField(*current, name, value);
    }
  }
  if (current) list.Append(std::move(current));
}

bool ReadDefinitionFile(const std::string& path, EngineList& list) {
  std::string text;
  if (!FileReadAll(path, text)) return false;
  ReadDefinitions(text, list);
  return true;
}

}  // namespace sondrel
