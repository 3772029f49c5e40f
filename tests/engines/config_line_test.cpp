#include "engines/config_line.h"

#include <gtest/gtest.h>

#include <string>

namespace sondrel {
namespace {

struct LineCase {
  std::string line;
  int kind;
  std::string name;
  std::string value;
};

TEST(ClassifyConfigLine, KindsAndOutputs) {
  const LineCase cases[] = {
      {"; comment", ConfigComment, "", ""},
      {";KEY=value", ConfigComment, "", ""},  // a comment even with '='
      {"   ; indented comment", ConfigComment, "", ""},
      {"", ConfigBlank, "", ""},
      {" \t \t ", ConfigBlank, "", ""},
      {"\r\n", ConfigBlank, "", ""},
      {"KEY=value", ConfigKeyValue, "KEY", "value"},
      {"KEY = some value ", ConfigKeyValue, "KEY", "some value"},
      {"  URL=http://h/?a=b  \r\n", ConfigKeyValue, "URL", "http://h/?a=b"},  // first '=' splits
      {"VA=", ConfigKeyValue, "VA", ""},
      {"K\t=\t", ConfigKeyValue, "K", ""},
      {"[a=b]", ConfigKeyValue, "[a", "b]"},  // key test comes before the section test
      {"=value", ConfigOther, "", ""},
      {"= x = y", ConfigOther, "", ""},
      {"[Music Index]", ConfigSection, "Music Index", ""},
      {"[ padded ]", ConfigSection, " padded ", ""},  // section names are not trimmed
      {"  [x]  ", ConfigSection, "x", ""},
      {"[]", ConfigSection, "", ""},
      {"[a]]", ConfigSection, "a]", ""},
      {"[", ConfigOther, "", ""},
      {"]", ConfigOther, "", ""},
      {"[open", ConfigOther, "", ""},
      {"plain words", ConfigOther, "", ""},
      {"#begin", ConfigOther, "", ""},
      {"#begin   ", ConfigOther, "", ""},
      {"#begin block1", ConfigBlockBegin, "block1", ""},
      {"#BEGIN\tblock1 further words", ConfigBlockBegin, "block1", ""},
      {"#Begin \t block2\t", ConfigBlockBegin, "block2", ""},
      {"#beginning block", ConfigOther, "", ""},
      {"#end", ConfigBlockEnd, "", ""},
      {"#END of block1", ConfigBlockEnd, "", ""},
      {"#ended", ConfigOther, "", ""},
      {"#begin a=b", ConfigKeyValue, "#begin a", "b"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE("line: \"" + c.line + "\"");
    std::string name = "stale";
    std::string value = "stale";
    EXPECT_EQ(ClassifyConfigLine(c.line, name, 100, value, 1024), c.kind);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(value, c.value);
  }
}

TEST(ClassifyConfigLine, CutsNameAndValueAtTheirSizes) {
  struct SizeCase {
    std::string line;
    int kind;
    std::size_t nameLength;
    std::size_t valueLength;
  };
  const SizeCase cases[] = {
      {std::string(100, 'k') + "=" + std::string(1024, 'v'), ConfigKeyValue, 100, 1024},
      {std::string(101, 'k') + "=" + std::string(1025, 'v'), ConfigKeyValue, 100, 1024},
      {"[" + std::string(100, 'n') + "]", ConfigSection, 100, 0},
      {"[" + std::string(150, 'n') + "]", ConfigSection, 100, 0},
      {"#begin " + std::string(150, 'b'), ConfigBlockBegin, 100, 0},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE("line length " + std::to_string(c.line.size()));
    std::string name;
    std::string value;
    EXPECT_EQ(ClassifyConfigLine(c.line, name, 100, value, 1024), c.kind);
    EXPECT_EQ(name.size(), c.nameLength);
    EXPECT_EQ(value.size(), c.valueLength);
  }
}

TEST(ClassifyConfigLine, ValueCutNeverEndsInWhitespace) {
  std::string line = "K=" + std::string(5, 'v') + "   " + std::string(5, 'w');
  std::string name;
  std::string value;
  ASSERT_EQ(ClassifyConfigLine(line, name, 100, value, 7), ConfigKeyValue);
  EXPECT_EQ(value, "vvvvv");
}

}  // namespace
}  // namespace sondrel
