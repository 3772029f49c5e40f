#include "results/find_expression.h"

#include <gtest/gtest.h>

#include <string>

namespace sondrel {
namespace {

TEST(FindExpressionTest, LeftToRightWithoutPrecedence) {
  struct Case {
    const char* text;
    const char* expression;
    bool match;
  } cases[] = {
      {"Rock Anthem", "rock AND NOT live", true},
      {"Rock Live", "rock AND NOT live", false},
      {"Rock Live", "rock and not live", false},
      {"Rock Live", "rock -live", false},
      {"Rock Live", "rock +live", true},
      {"rock", "rock roll", true},  // two operands in a row: the first alone
      {"roll", "rock roll", false},
      // a OR b AND c is (a OR b) AND c.
      {"a", "aa OR a AND c", false},
      {"a c", "aa OR a AND c", true},
      {"xc", "a OR b AND c", false},
      // a OR (b AND c) with the parentheses.
      {"a", "a OR (b AND c)", true},
      {"b", "a OR (b AND c)", false},
      {"the and song", "AND", true},  // an operator word at the start is a plain word
      {"house", "house AND", true},   // an operator at the end keeps the value so far
      {"x", "house OR", false},
      {"dance hall", "\"dance hall\"", true},
      {"hall dance", "\"dance hall\"", false},
      {"and", "\"and\"", true},  // a quoted operator word is an operand
      {"anything", "", false},
      {"anything", "\"\"", false},  // an empty phrase is false
      {"a", "(a", true},            // an unclosed group ends at the end
      {"b", "(a) OR b", true},
      {"ab", "a AND b", true},
      {"ab", "a AND NOT b", false},
      {"ab", "a AND OR b", false},  // AND then OR: "OR" is read again as the operand
      {"a OR", "a AND OR b", true},
      {"Metal", "rock OR metal OR jazz", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.expression) + " on " + c.text);
    EXPECT_EQ(FindExpression(c.text, c.expression), c.match);
  }
}

TEST(FindExpressionTest, DeepNestingEndsWithoutExhaustingTheStack) {
  const std::string deep(100000, '(');
  EXPECT_FALSE(FindExpression("text", deep));
  EXPECT_TRUE(FindExpression("text(", deep + "text"));
}

}  // namespace
}  // namespace sondrel
