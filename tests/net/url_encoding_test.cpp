#include "net/url_encoding.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

TEST(DecodeHtmlEntitiesTest, Entities) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"a&amp;b&foo;c&#65;d&", "a&bcd&"},
      {"&quot;&lt;&gt;&nbsp;", "\"<> "},
      {"&#9;&#10;&#13;&#32;", "\t\n\r "},
      {"&AMP;", ""},                  // names are case-sensitive; unknown ones vanish
      {"&amp", "&amp"},               // no ';': copied as it stands
      {"&#65", "&#65"},
      {"a & b", "a & b"},
      {"&abcdefghijk;", "&abcdefghijk;"},  // too long for an entity
      {"&#;", ""},
      {"x&", "x&"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out;
    EXPECT_EQ(DecodeHtmlEntities(out, 100, c.text), std::string(c.expected).size());
    EXPECT_EQ(out, c.expected);
  }
}

TEST(DecodeHtmlEntitiesTest, StopsAtOutMax) {
  std::string out;
  EXPECT_EQ(DecodeHtmlEntities(out, 3, "abcdef"), 3u);
  EXPECT_EQ(out, "abc");
  // "&x" needs two places; with one left it is dropped.
  EXPECT_EQ(DecodeHtmlEntities(out, 3, "ab&x"), 2u);
  EXPECT_EQ(out, "ab");
  EXPECT_EQ(DecodeHtmlEntities(out, 0, "abc"), 0u);
}

TEST(FormEncodeTest, EncodesAllButSafeCharacters) {
  EXPECT_EQ(FormEncode("a b-c"), "a+b%2Dc");
  EXPECT_EQ(FormEncode("x.y@z_1"), "x.y@z%5F1");
  EXPECT_EQ(FormEncode("\"\xff\n"), "%22%FF%0A");
  EXPECT_EQ(FormEncode(""), "");
}

TEST(UrlDecodeTest, PlusAndEscapes) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"a+b%2Dc", "a b-c"},   {"%2f%2F", "//"}, {"100%", "100%"},
      {"%4", "%4"},           {"%zz", "%zz"},   {"%41%", "A%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    UrlDecode(text);
    EXPECT_EQ(text, c.expected);
  }
  std::string zero = "a%00b";
  UrlDecode(zero);
  EXPECT_EQ(zero, std::string("a\0b", 3));
}

TEST(QueryParamTest, FindsDecodedValue) {
  std::string value;
  const char* url = "http://h/go.cgi?id=3&URL=http%3A%2F%2Fx%2Fa.mp3&flag&e=a+b";
  EXPECT_EQ(QueryParam(value, 1997, "url", url), 1);
  EXPECT_EQ(value, "http://x/a.mp3");
  EXPECT_EQ(QueryParam(value, 1997, "e", url), 1);
  EXPECT_EQ(value, "a b");
  EXPECT_EQ(QueryParam(value, 1997, "flag", url), 1);
  EXPECT_EQ(value, "");
  EXPECT_EQ(QueryParam(value, 1997, "none", url), 0);
  EXPECT_EQ(QueryParam(value, 4, "url", url), 1);
  EXPECT_EQ(value, "http");
  EXPECT_EQ(QueryParam(value, 100, "x", "http://h/p"), 0);
}

TEST(FindHttpUrlTest, FindsAndTrims) {
  struct Case {
    const char* text;
    std::size_t outMax;
    const char* expected;
  };
  const Case cases[] = {
      {"see http://h/p.mp3, more", 100, "http://h/p.mp3"},
      {"<a href=\"http://h/~u/a.mp3\">", 100, "http://h/~u/a.mp3"},
      {"(http://h/x).", 100, "http://h/x"},
      {"HTTP://h/x", 100, ""},
      {"nothing here", 100, ""},
      {"http://h/abcdef", 10, "http://h/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out;
    char first = FindHttpUrl(out, c.outMax, c.text);
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(first, out.empty() ? 0 : out[0]);
  }
}

}  // namespace
}  // namespace sondrel
