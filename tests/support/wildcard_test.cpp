#include "support/wildcard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sondrel {
namespace {

TEST(WildcardTest, WildMatch) {
  struct Case {
    const char* text;
    const char* pattern;
    bool want;
  };
  const std::vector<Case> cases = {
      {"song.mp3", "*.mp3", true},
      {"a.mp3.mp3", "*.mp3", false},  // first occurrence of the literal, no backtracking
      {"SONG.MP3", "*.mp3", false},   // the literal after '*' keeps its case
      {"SONG.MP3", "s*", true},       // other characters ignore case
      {"x.mp3", "*.MP3", false},
      {"", "*", true},
      {"anything", "", false},
      {"", "", false},
      {"abc", "a?c", true},
      {"ABC", "a?c", true},
      {"ac", "a?c", false},
      {"abcd", "a?c", false},
      {"Track01.ogg", "track??.*", true},
      {"ab", "a**b", true},
      {"a", "*?", true},
      {"", "*?", false},
      {"abXcdXcd", "*Xcd", false},
      {"abXcd", "*X*d", true},
      {"abc", "abc", true},
      {"abc", "ab", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " ~ " + c.pattern);
    EXPECT_EQ(WildMatch(c.text, c.pattern), c.want);
  }
}

TEST(WildcardTest, WildMatchAny) {
  EXPECT_TRUE(WildMatchAny("song.mp3", "*.ogg *.mp3"));
  EXPECT_FALSE(WildMatchAny("song.wav", "*.ogg *.mp3"));
  EXPECT_TRUE(WildMatchAny("a", "  a"));  // empty entries match nothing, the rest still count
  EXPECT_FALSE(WildMatchAny("x", ""));
  // Each pattern is cut at 255 characters.
  const std::string a255(255, 'a');
  const std::string a300(300, 'a');
  EXPECT_TRUE(WildMatchAny(a255, a300));
  EXPECT_FALSE(WildMatchAny(a300, a300));
}

}  // namespace
}  // namespace sondrel
