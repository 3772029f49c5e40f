#include "engines/config_line.h"

#include "support/text.h"

namespace sondrel {
namespace {

bool IsWordSeparator(char c) { return c == ' ' || c == '\t'; }

// The next space- or tab-separated word at pos, advancing pos past it.
std::string_view NextWord(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && IsWordSeparator(text[pos])) ++pos;
  std::size_t start = pos;
  while (pos < text.size() && !IsWordSeparator(text[pos])) ++pos;
  return text.substr(start, pos - start);
}

std::string CutTo(std::string_view text, std::size_t size) {
  return std::string(text.substr(0, size));
}

}  // namespace

int ClassifyConfigLine(std::string_view line, std::string& name, std::size_t nameSize,
                       std::string& value, std::size_t valueSize) {
  name.clear();
  value.clear();
  std::string trimmed = Trimmed(line);
  std::string_view text = trimmed;

  if (!text.empty() && text.front() == ';') return ConfigComment;
  if (text.empty()) return ConfigBlank;

  std::size_t equals = text.find('=');
  if (equals != std::string_view::npos && equals > 0) {
    name = CutTo(Trimmed(text.substr(0, equals)), nameSize);
    // Trim again after the cut so a value never ends in the whitespace the cut exposed.
    value = Trimmed(CutTo(Trimmed(text.substr(equals + 1)), valueSize));
    return ConfigKeyValue;
  }

  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
    name = CutTo(text.substr(1, text.size() - 2), nameSize);
    return ConfigSection;
  }

  std::size_t pos = 0;
  std::string_view firstWord = NextWord(text, pos);
  firstWord = firstWord.substr(0, kConfigFirstWordSize - 1);
  if (EqualsNoCase(firstWord, "#begin")) {
    std::string_view blockName = NextWord(text, pos);
    if (blockName.empty()) return ConfigOther;
    name = CutTo(blockName, nameSize);
    return ConfigBlockBegin;
  }
  if (EqualsNoCase(firstWord, "#end")) return ConfigBlockEnd;
  return ConfigOther;
}

}  // namespace sondrel
