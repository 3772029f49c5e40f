#include "results/query_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sondrel {
namespace {

std::vector<std::string> WordsOf(std::string_view text) {
  std::vector<std::string> words;
  ForEachWord(text, [&](std::string_view word) { words.emplace_back(word); });
  return words;
}

TEST(QueryWordsTest, AnyWordForm) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"rock,roll", "rock roll"},
      {"  rock   roll  ", "rock roll"},
      {"a-b, c", "a b c"},
      {"a+b;c\td\ne", "a b c d e"},
      {"Beatles \"let it be\"", "Beatles \"let it be\""},
      {",;+- ", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(QueryWords(c.text), c.expected);
  }
}

TEST(QueryWordsTest, LongWordsAreCutIntoPieces) {
  std::string word(600, 'w');
  EXPECT_EQ(WordsOf(word),
            (std::vector<std::string>{std::string(254, 'w'), std::string(254, 'w'),
                                      std::string(92, 'w')}));
  EXPECT_EQ(WordsOf("x\"y z\""), (std::vector<std::string>{"x\"y", "z\""}));
}

TEST(QueryWordsTest, ResultIsAtMost1023Characters) {
  std::string many;
  for (int i = 0; i < 400; ++i) many += "abcd ";
  std::string words = QueryWords(many);
  EXPECT_LE(words.size(), kQueryWordsMax);
  EXPECT_GT(words.size(), 1000u);
  EXPECT_NE(words.back(), ' ');
}

}  // namespace
}  // namespace sondrel
