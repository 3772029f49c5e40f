#include "engines/json_string.h"

#include <gtest/gtest.h>

#include <string>

namespace sondrel {
namespace {

const std::string kFffd(kReplacementCharacter);

TEST(JsonStringTest, DecodesEscapes) {
  struct Case {
    std::string body;
    std::string text;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {R"(http:\/\/h\/a.mp3)", "http://h/a.mp3"},
      {R"(say \"hi\" \\ back)", "say \"hi\" \\ back"},
      {R"(a\nb\tc\rd\be\ff)", "a\nb\tc\rd\be\ff"},
      {R"(caf\u00e9)", "caf\xC3\xA9"},
      {R"(\u20AC)", "\xE2\x82\xAC"},
      {R"(\ud83c\udfb5 note)", "\xF0\x9F\x8E\xB5 note"},  // a surrogate pair is one character
      {"raw \xC3\xA9 stays", "raw \xC3\xA9 stays"},
      // Broken escapes: one replacement each, and what follows is decoded as usual.
      {R"(x\qy)", "x" + kFffd + "y"},
      {R"(end\)", "end" + kFffd},
      {R"(\u12)", kFffd},
      {R"(\u12zz\n)", kFffd + "zz\n"},
      {R"(\ud83c alone)", kFffd + " alone"},
      {R"(\ud83c\u0041)", kFffd + "A"},
      {R"(\udfb5 low first)", kFffd + " low first"},
      {R"(nul\u0000)", "nul" + kFffd},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(DecodeJsonString(c.body), c.text);
  }
}

TEST(JsonStringTest, EscapedQuoteCountsTheBackslashesBeforeIt) {
  struct Case {
    std::string text;
    bool escaped;
  };
  const Case cases[] = {{R"(a")", false}, {R"(a\")", true}, {R"(a\\")", false}, {R"(\\\")", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsEscapedQuote(c.text, 0, c.text.size() - 1), c.escaped);
  }
  // Backslashes before from are not part of the value.
  EXPECT_FALSE(IsEscapedQuote(R"(\")", 1, 1));
}

TEST(JsonStringTest, CutNeverSplitsACharacter) {
  const std::string text = "ab\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5";  // a b é € 🎵
  struct Case {
    std::size_t max;
    std::size_t kept;
  };
  const Case cases[] = {{2, 2}, {3, 2}, {4, 4}, {5, 4}, {6, 4}, {7, 7}, {8, 7}, {10, 7}, {11, 11}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max);
    EXPECT_EQ(CutUtf8(text, c.max).size(), c.kept);
  }
  // Bytes that are not UTF-8 are cut where the limit says.
  EXPECT_EQ(CutUtf8("\x80\x80\x80\x80\x80", 3).size(), 3u);
}

}  // namespace
}  // namespace sondrel
