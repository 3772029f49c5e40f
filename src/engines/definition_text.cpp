#include "engines/definition_text.h"

#include <memory>

#include "engines/config_line.h"
#include "engines/extended_keys.h"
#include "support/paths.h"
#include "support/text.h"

namespace sondrel {
namespace {

bool IsOperatorSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::uint8_t FlagFrom(std::string_view value) {
  // The flag is one byte: only the low byte of the number is kept (256 reads as 0).
  return static_cast<std::uint8_t>(static_cast<unsigned long>(LeadingNumber(value)) & 0xFF);
}

// Stores one key; error says why a value was refused. False for a key no engine has.
bool SetField(EngineDefinition& engine, std::string_view key, std::string_view value,
              std::string& error) {
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
  if (EqualsNoCase(key, "FILE") && !IsPlainFileStem(value)) {
    // The test modes put the stem into a path: it must name a file in their folder.
    error = "FILE is not a plain name (letters, digits, '-', '_', '.')";
    return true;
  }
  for (const TextKey& text : kTextKeys) {
    if (EqualsNoCase(key, text.key)) {
      engine.*text.field = std::string(value);
      return true;
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
  } else {
    std::string why;
    const KeyResult result = SetExtendedKey(engine, key, value, why);
    if (result == KeyResult::kUnknown) return false;
    if (result == KeyResult::kBadValue) error = std::string(key) + " wants " + why;
  }
  return true;
}

void Note(std::vector<std::string>* list, int line, std::string_view what) {
  if (list) list->push_back(std::to_string(line) + ": " + std::string(what));
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
  for (const auto& [key, value] : ExtendedKeysOf(engine)) line(key, value);
  return text;
}

void ReadDefinitions(std::string_view text, EngineList& list, DefinitionProblems* problems) {
  std::vector<std::string>* errors = problems ? &problems->errors : nullptr;
  std::vector<std::string>* warnings = problems ? &problems->warnings : nullptr;
  std::unique_ptr<EngineDefinition> current;
  std::string name;
  std::string value;
  std::string error;
  std::size_t pos = 0;
  int lineNumber = 1;
  bool continued = false;  // this piece is the rest of a line longer than the line buffer
  while (pos < text.size()) {
    // A line ends after its newline or when the line buffer is full, whichever comes first.
    std::size_t end = pos;
    std::size_t limit = std::min(text.size(), pos + kDefinitionLineSize - 1);
    while (end < limit && text[end] != '\n') ++end;
    const bool complete = end < limit || end == text.size();
    if (end < limit) ++end;  // keep the newline with its line
    std::string_view line = text.substr(pos, end - pos);
    pos = end;
    // A zero byte ends the line's text, as it would in a character buffer.
    line = line.substr(0, line.find('\0'));
    if (!complete && !continued) {
      Note(warnings, lineNumber, "line longer than " + std::to_string(kDefinitionLineSize - 1) +
                                     " characters: the rest is read as a line of its own");
    }

    int kind = ClassifyConfigLine(line, name, kDefinitionNameSize, value, kDefinitionValueSize);
    if (kind == ConfigSection) {
      if (current) list.Append(std::move(current));
      current = std::make_unique<EngineDefinition>();
      current->name = name;
    } else if (kind == ConfigKeyValue && !current) {
      Note(warnings, lineNumber, "key " + name + " outside an engine section is ignored");
    } else if (kind == ConfigKeyValue) {
      error.clear();
      if (!SetField(*current, name, value, error)) {
        Note(warnings, lineNumber, "unknown key " + name);
      } else if (!error.empty()) {
        Note(errors, lineNumber, error);
      }
    } else if (kind == ConfigOther && !continued) {
      Note(errors, lineNumber, "malformed line (not [name], KEY=value or a ; comment)");
    }
    continued = !complete;
    if (complete) ++lineNumber;
  }
  if (current) list.Append(std::move(current));
}

bool ReadDefinitionFile(const std::string& path, EngineList& list, DefinitionProblems* problems) {
  std::string text;
  if (!FileReadAll(path, text)) return false;
  ReadDefinitions(text, list, problems);
  return true;
}

}  // namespace sondrel
