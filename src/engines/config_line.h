#pragma once
// One line of a sectioned configuration text ("[name]" sections, KEY=value lines, ";"
// comments, "#begin NAME" / "#end" blocks), classified after trimming.

#include <cstddef>
#include <string>
#include <string_view>

namespace sondrel {

enum ConfigLineKind {
  ConfigComment = 0,     // first character ';'
  ConfigBlank = 1,       // empty after trimming
  ConfigKeyValue = 2,    // '=' anywhere but first: name before it, value after it, both trimmed
  ConfigSection = 3,     // "[name]": the name between the brackets, untrimmed
  ConfigOther = 4,       // anything else, including "#begin" without a name
  ConfigBlockBegin = 5,  // "#begin NAME ...": name is NAME
  ConfigBlockEnd = 6,    // "#end ..."
};

// Only the first word of a line is looked at for the block forms; longer words are cut.
inline constexpr std::size_t kConfigFirstWordSize = 200;

// Empties name and value, classifies the line and fills them for the kinds that have them,
// with at most nameSize and valueSize characters.
int ClassifyConfigLine(std::string_view line, std::string& name, std::size_t nameSize,
                       std::string& value, std::size_t valueSize);

}  // namespace sondrel
