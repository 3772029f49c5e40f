#include "net/html_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace sondrel {
namespace {

using Tokens = std::vector<std::pair<int, std::string>>;

Tokens Walk(std::string_view buffer, std::size_t outMax = 5000) {
  Tokens tokens;
  std::size_t cursor = 0;
  std::string_view out;
  for (int kind; (kind = NextHtmlToken(buffer, cursor, out, outMax)) != HtmlEnd;) {
    tokens.emplace_back(kind, std::string(out));
  }
  return tokens;
}

TEST(NextHtmlTokenTest, Pieces) {
  struct Case {
    const char* html;
    Tokens expected;
  };
  const Case cases[] = {
      {"<a href=\"x>y\">t</a>", {{HtmlTag, "a href=\"x>y\""}, {HtmlText, "t"}, {HtmlTag, "/a"}}},
      {"<!-- a <!-- b --> c -->d", {{HtmlComment, "!-- a <!-- b --> c --"}, {HtmlText, "d"}}},
      {"<!---->x", {{HtmlComment, "!----"}, {HtmlText, "x"}}},
      {"<!-->x", {{HtmlComment, "!--"}, {HtmlText, "x"}}},
      {"<!-- a > b -->", {{HtmlComment, "!-- a > b --"}}},
      // A quote counts only right after '=', blanks and ';' between them allowed.
      {"<b title=it's>x", {{HtmlTag, "b title=it's"}, {HtmlText, "x"}}},
      {"<b a= ;'>'>", {{HtmlTag, "b a= ;'>'"}}},
      {"<p>", {{HtmlTag, "p"}}},
      {"<>", {{HtmlTag, ""}}},
      {"plain", {{HtmlText, "plain"}}},
      {"<a hr", {{HtmlOpenTag, "a hr"}}},
      {"<a href='x>", {{HtmlOpenTag, "a href='x>"}}},
      {"x<!-- open", {{HtmlText, "x"}, {HtmlOpenComment, "!-- open"}}},
      {"<!-", {{HtmlOpenTag, "!-"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.html);
    EXPECT_EQ(Walk(c.html), c.expected);
  }
}

TEST(NextHtmlTokenTest, StepBackAndReadAgainWhenMoreArrives) {
  std::string page = "t<a hr";
  std::size_t cursor = 0;
  std::string_view out;
  EXPECT_EQ(NextHtmlToken(page, cursor, out, 100), HtmlText);
  std::size_t tagStart = cursor;
  EXPECT_EQ(NextHtmlToken(page, cursor, out, 100), HtmlOpenTag);
  EXPECT_EQ(cursor, page.size());
  cursor = tagStart;
  page += "ef=u>";
  EXPECT_EQ(NextHtmlToken(page, cursor, out, 100), HtmlTag);
  EXPECT_EQ(out, "a href=u");
  EXPECT_EQ(NextHtmlToken(page, cursor, out, 100), HtmlEnd);
}

TEST(NextHtmlTokenTest, LongPiecesAreCutButConsumed) {
  std::string comment = "<!--" + std::string(100, 'c') + "-->after";
  EXPECT_EQ(Walk(comment, 10), (Tokens{{HtmlComment, "!--ccccccc"}, {HtmlText, "after"}}));
  std::string tag = "<a " + std::string(100, 'x') + ">t";
  EXPECT_EQ(Walk(tag, 4), (Tokens{{HtmlTag, "a xx"}, {HtmlText, "t"}}));
  EXPECT_EQ(Walk("abcdef<b>", 2), (Tokens{{HtmlText, "ab"}, {HtmlTag, "b"}}));
}

TEST(NextAttrTokenTest, Kinds) {
  std::string_view text = " a=\"b c\";d ='e";
  Tokens tokens;
  std::size_t cursor = 0;
  std::string_view out;
  for (int kind; (kind = NextAttrToken(out, 100, text, cursor)) != AttrEnd;) {
    tokens.emplace_back(kind, std::string(out));
  }
  EXPECT_EQ(tokens, (Tokens{{AttrSpace, " "},
                            {AttrWord, "a"},
                            {AttrEquals, "="},
                            {AttrQuoted, "b c"},
                            {AttrSpace, ";"},
                            {AttrWord, "d"},
                            {AttrSpace, " "},
                            {AttrEquals, "="},
                            {AttrQuoted, "e"}}));
}

TEST(FindTagAttributeTest, Lookups) {
  struct Case {
    const char* tag;
    const char* name;
    bool skipTagName;
    int found;
    const char* value;
  };
  const Case cases[] = {
      {"a href=/x.mp3 title='t'", "HREF", true, 1, "/x.mp3"},
      {"a href=/x.mp3 title='t'", "title", true, 1, "t"},
      {"a  HREF = \"/y z.mp3\" ", "href", true, 1, "/y z.mp3"},
      {"a nohref title=t", "nohref", true, 1, ""},
      {"a \"quoted\"=1 href=x", "href", true, 0, ""},  // a quoted name stops the walk
      {"a = href=x", "href", true, 0, ""},            // so does a stray '='
      {"href=x", "href", false, 1, "x"},
      {"href=x", "href", true, 0, ""},  // the only word was taken as the tag name
      {"a src=x", "href", true, 0, ""},
      {"", "href", true, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tag) + " / " + c.name);
    std::string_view out;
    EXPECT_EQ(FindTagAttribute(out, 1024, c.name, c.tag, c.skipTagName), c.found);
    EXPECT_EQ(out, c.value);
  }
  std::string_view out;
  EXPECT_EQ(FindTagAttribute(out, 3, "href", "a href=abcdef", true), 1);
  EXPECT_EQ(out, "abc");
}

TEST(NextAttributeTest, NamesAndValues) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  auto all = [](std::string_view text) {
    Pairs pairs;
    std::size_t cursor = 0;
    std::string_view name, value;
    while (NextAttribute(name, value, 99, text, cursor)) pairs.emplace_back(name, value);
    return pairs;
  };
  EXPECT_EQ(all("a=b"), (Pairs{{"a", "b"}}));
  EXPECT_EQ(all("a = b"), (Pairs{{"a", ""}, {"=", ""}, {"b", ""}}));
  EXPECT_EQ(all("e=mp3;ns=ftp\tu"), (Pairs{{"e", "mp3"}, {"ns", "ftp"}, {"u", ""}}));
  EXPECT_EQ(all("sfa=\"file=\" x='a b'"), (Pairs{{"sfa", "file="}, {"x", "a b"}}));
  EXPECT_EQ(all("sfa=file="), (Pairs{{"sfa", "file"}, {"=", ""}}));
  EXPECT_EQ(all("k= v"), (Pairs{{"k", " "}, {"v", ""}}));
  EXPECT_EQ(all("\"\"=x y"), (Pairs{{"", "x"}, {"y", ""}}));
  EXPECT_EQ(all("   "), Pairs{});
}

TEST(NextPlainTokenTest, DelimitersQuotesAndRuns) {
  std::string_view text = "  ab,\"c d\" e;'f";
  std::vector<std::string> tokens;
  std::size_t cursor = 0;
  std::string_view out;
  while (NextPlainToken(out, 100, text, cursor, ",;", " ")) tokens.emplace_back(out);
  EXPECT_EQ(tokens, (std::vector<std::string>{"ab", ",", "c d", "e", ";", "f"}));
  cursor = 0;
  ASSERT_EQ(NextPlainToken(out, 1, text, cursor, ",;", " "), 1);
  EXPECT_EQ(out, "a");
}

}  // namespace
}  // namespace sondrel
