#include "support/tokens.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sondrel {
namespace {

std::vector<std::string> AllTokens(std::string_view src, std::string_view delimiters,
                                   std::size_t outSize) {
  std::vector<std::string> tokens;
  std::string out;
  std::size_t pos = 0;
  while (NextToken(out, outSize, src, pos, delimiters) != 0) tokens.push_back(out);
  EXPECT_TRUE(out.empty());
  return tokens;
}

TEST(TokensTest, NextTokenSkipsEmptyTokensAndCutsLongOnes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(AllTokens("a,,b", ",", 10), (V{"a", "b"}));
  // Whitespace inside a token stays unless it is a delimiter itself.
  EXPECT_EQ(AllTokens("  key = value", "=", 10), (V{"key ", "value"}));
  EXPECT_EQ(AllTokens("abcdef", ",", 4), (V{"abc", "def"}));
  EXPECT_EQ(AllTokens("abc,def", ",", 4), (V{"abc", "def"}));
  EXPECT_EQ(AllTokens(" ,, \t", ",", 4), V{});
}

TEST(TokensTest, NextTokenReturnsFirstCharacterAndAdvances) {
  std::string out;
  std::size_t pos = 0;
  EXPECT_EQ(NextToken(out, 10, "x1;y2", pos, ";"), 'x');
  EXPECT_EQ(pos, 3u);
  pos = 99;  // a cursor past the end yields nothing
  EXPECT_EQ(NextToken(out, 10, "x1;y2", pos, ";"), 0);
}

TEST(TokensTest, NextDigits) {
  std::string out;
  std::size_t pos = 0;
  EXPECT_EQ(NextDigits(out, 10, "ab12cd345", pos), '1');
  EXPECT_EQ(out, "12");
  EXPECT_EQ(NextDigits(out, 10, "ab12cd345", pos), '3');
  EXPECT_EQ(out, "345");
  EXPECT_EQ(NextDigits(out, 10, "ab12cd345", pos), 0);
  pos = 0;
  EXPECT_EQ(NextDigits(out, 3, "12345", pos), '1');
  EXPECT_EQ(out, "12");
  EXPECT_EQ(NextDigits(out, 3, "12345", pos), '3');
  EXPECT_EQ(out, "34");
}

TEST(TokensTest, NextQueryTokenKinds) {
  const std::string_view src = R"(  foo (12|"a \"b\" c") bar  baz)";
  struct Want {
    int kind;
    const char* text;
  };
  const std::vector<Want> wants = {{QueryTokenWord, "foo"},      {QueryTokenDelimiter, "("},
                                   {QueryTokenNumber, "12"},     {QueryTokenDelimiter, "|"},
                                   {QueryTokenQuoted, "a \"b\" c"}, {QueryTokenDelimiter, ")"},
                                   {QueryTokenLast, "bar  baz"}, {QueryTokenEnd, ""}};
  std::size_t pos = 0;
  std::string out;
  for (const auto& want : wants) {
    SCOPED_TRACE(want.text);
    EXPECT_EQ(NextQueryToken(out, 64, src, pos, "()|"), want.kind);
    EXPECT_EQ(out, want.text);
  }
}

TEST(TokensTest, NextQueryTokenEdges) {
  std::string out;
  std::size_t pos = 0;
  EXPECT_EQ(NextQueryToken(out, 64, "\"unterminated \\", pos, "|"), QueryTokenQuoted);
  EXPECT_EQ(out, "unterminated \\");
  EXPECT_EQ(NextQueryToken(out, 64, "\"unterminated \\", pos, "|"), QueryTokenEnd);
  // Cut tokens are consumed whole, so the next call sees the delimiter.
  pos = 0;
  EXPECT_EQ(NextQueryToken(out, 3, "abcdef|x", pos, "|"), QueryTokenWord);
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(NextQueryToken(out, 3, "abcdef|x", pos, "|"), QueryTokenDelimiter);
  pos = 0;
  EXPECT_EQ(NextQueryToken(out, 2, "\"abcd\"|", pos, "|"), QueryTokenQuoted);
  EXPECT_EQ(out, "ab");
  EXPECT_EQ(NextQueryToken(out, 2, "\"abcd\"|", pos, "|"), QueryTokenDelimiter);
  pos = 0;
  EXPECT_EQ(NextQueryToken(out, 64, "7up", pos, "|"), QueryTokenLast);
  EXPECT_EQ(NextQueryToken(out, 64, " \t ", pos = 0, "|"), QueryTokenEnd);
}

std::vector<std::pair<int, std::string>> Pieces(std::string_view text, std::size_t outSize) {
  std::vector<std::pair<int, std::string>> pieces;
  std::size_t pos = 0;
  std::string out;
  for (int kind; (kind = SplitTemplate(text, pos, out, outSize, "__")) != TemplateEnd;) {
    pieces.emplace_back(kind, out);
    if (pieces.size() > text.size() + 1) break;  // no progress: fail below rather than hang
  }
  return pieces;
}

TEST(TokensTest, SplitTemplatePieces) {
  using P = std::vector<std::pair<int, std::string>>;
  EXPECT_EQ(Pieces("q=__QUERY__&n=__NUM1__x", 64),
            (P{{TemplateLiteral, "q="},
               {TemplatePlaceholder, "__QUERY__"},
               {TemplateLiteral, "&n="},
               {TemplatePlaceholder, "__NUM1__"},
               {TemplateLiteral, "x"}}));
  EXPECT_EQ(Pieces("____", 64), (P{{TemplatePlaceholder, "____"}}));
  EXPECT_EQ(Pieces("a__b c__", 64),
            (P{{TemplateLiteral, "a"}, {TemplateLiteral, "__b c"}, {TemplateLiteral, "__"}}));
  EXPECT_EQ(Pieces("plain text", 64), (P{{TemplateLiteral, "plain text"}}));
  EXPECT_EQ(Pieces("", 64), P{});
}

TEST(TokensTest, SplitTemplateGivesTheInputBack) {
  for (std::string_view text : {"q=__QUERY__&n=__NUM1__x", "___QUERY__", "__", "_a__b__c_",
                                "__x y__z__", "no markers", "__Q__\0__R__"}) {
    for (std::size_t outSize : {2u, 3u, 5u, 100u}) {
      SCOPED_TRACE(std::string(text) + " size " + std::to_string(outSize));
      std::string joined;
      for (const auto& [kind, piece] : Pieces(text, outSize)) {
        EXPECT_LE(piece.size(), outSize - 1);
        joined += piece;
      }
      EXPECT_EQ(joined, text);
    }
  }
}

TEST(TokensTest, CollapseSpaces) {
  EXPECT_EQ(CollapseSpaces(100, "  a \t b\n\nc  "), "a b c");
  EXPECT_EQ(CollapseSpaces(100, "abcdefg hi", 4), "abc def g hi");
  EXPECT_EQ(CollapseSpaces(6, "hello world"), "hello");
  EXPECT_EQ(CollapseSpaces(100, " \r\n "), "");
}

}  // namespace
}  // namespace sondrel
