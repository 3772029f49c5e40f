#pragma once
// The definition text engine authors write: "[name]" starts an engine, KEY=value lines set
// its fields (keys ignore case), ';' lines are comments, anything else is skipped.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_definition.h"

namespace sondrel {

// A longer line is read as several lines, each classified on its own.
inline constexpr std::size_t kDefinitionLineSize = 1024;
inline constexpr std::size_t kDefinitionNameSize = 100;
inline constexpr std::size_t kDefinitionValueSize = 1024;
// Longer operator words are cut into pieces of this many characters.
inline constexpr std::size_t kOperatorWordMax = 254;

// What an author must hear about a definition text, each line "LINE: what" (lines from 1).
// Errors make the compile fail; warnings do not.
struct DefinitionProblems {
  std::vector<std::string> errors;    // "12: malformed line", "4: FILE is not a plain name"
  std::vector<std::string> warnings;  // "7: unknown key FORMATT"
};

// Appends the engines of text to list in section order. A value that problems reports as an
// error is not stored.
void ReadDefinitions(std::string_view text, EngineList& list,
                     DefinitionProblems* problems = nullptr);
// The same from a file; false when it cannot be read.
[[nodiscard]] bool ReadDefinitionFile(const std::string& path, EngineList& list,
                                      DefinitionProblems* problems = nullptr);

// Words split at spaces, tabs, CR and LF, joined with '@'; a single word keeps a trailing '@'
// ("AND" -> "AND@", " and  or " -> "and@or").
std::string NormaliseOperators(std::string_view text);
// A value that NormaliseOperators turns back into stored, when there is one (else stored).
std::string OperatorsAsText(std::string_view stored);

// The engine as a definition-text section: "[name]", then a KEY=value line for every stored
// value, so that reading the text back gives the same record.
std::string DefinitionSectionOf(const EngineDefinition& engine);

}  // namespace sondrel
