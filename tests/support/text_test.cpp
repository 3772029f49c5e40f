#include "support/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace sondrel {
namespace {

TEST(TextTest, WhitespaceIsExactlyTheSixCharacters) {
  for (char c : std::string(" \t\n\v\f\r")) EXPECT_TRUE(IsSpace(c)) << int(c);
  for (char c : {'\0', 'a', '\x1c', '\xa0', '\x85'}) EXPECT_FALSE(IsSpace(c)) << int(c);
}

TEST(TextTest, StrCopyNCutsAtSizeMinusOne) {
  struct Case {
    const char* src;
    std::size_t size;
    const char* want;
  };
  const std::vector<Case> cases = {
      {"abc", 1, ""}, {"abc", 4, "abc"}, {"abcd", 4, "abc"}, {"", 5, ""}, {"abc", 0, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.src) + " size " + std::to_string(c.size));
    std::string dst = "old";
    EXPECT_EQ(StrCopyN(dst, c.src, c.size), std::string(c.want).size());
    EXPECT_EQ(dst, c.want);
    EXPECT_EQ(StrCopyN(c.src, c.size), c.want);
  }
}

TEST(TextTest, AppendAndCopyMaxStayBounded) {
  std::string dst = "ab";
  EXPECT_EQ(StrAppendN(dst, "cdef", 5), 4u);
  EXPECT_EQ(dst, "abcd");
  dst = "abcdef";  // already past the size: cut, nothing appended
  EXPECT_EQ(StrAppendN(dst, "x", 4), 3u);
  EXPECT_EQ(dst, "abc");
  EXPECT_EQ(StrCopyMax(dst, "abcdef", 3), 3u);
  EXPECT_EQ(dst, "abc");
  EXPECT_EQ(StrCopyMax(dst, "ab", 3), 2u);
  EXPECT_EQ(dst, "ab");
  // Source and destination may be the same text.
  std::string self = "abc";
  EXPECT_EQ(StrAppendN(self, self, 10), 6u);
  EXPECT_EQ(self, "abcabc");
  EXPECT_EQ(StrCopyN(self, std::string_view(self).substr(1), 4), 3u);
  EXPECT_EQ(self, "bca");
}

TEST(TextTest, BufRemove) {
  char buf[] = "abcdef";
  EXPECT_EQ(BufRemove(2, 1, buf, 6), 4);
  EXPECT_EQ(std::string(buf, 4), "adef");
  EXPECT_EQ(BufRemove(1, 4, buf, 4), -1);  // len <= pos
  char tail[] = "abcdef";
  EXPECT_EQ(BufRemove(10, 4, tail, 6), 4);  // a count past the end removes only the tail
  EXPECT_EQ(std::string(tail, 4), "abcd");
}

TEST(TextTest, StrCompareNoCaseFoldsToUpper) {
  EXPECT_EQ(StrCompareNoCase("Content-Length", "CONTENT-length"), 0);
  EXPECT_EQ(StrCompareNoCase("a", "B"), 'A' - 'B');
  EXPECT_GT(StrCompareNoCase("abc", "ab"), 0);
  EXPECT_LT(StrCompareNoCase("ab", "abc"), 0);
  // '[' lies between the upper and lower case letters: folding to upper puts it after 'a'.
  EXPECT_EQ(StrCompareNoCase("[", "a"), '[' - 'A');
  EXPECT_TRUE(EqualsNoCase("MiXeD", "mixed"));
  EXPECT_FALSE(EqualsNoCase("mixed", "mixe"));
  EXPECT_NE(StrCompareNoCase("\xe9", "\xc9"), 0);  // folding is ASCII only
}

TEST(TextTest, Searches) {
  EXPECT_EQ(StrFind("Hello World", "WORLD", false), 6);
  EXPECT_EQ(StrFind("Hello World", "WORLD", true), -1);
  EXPECT_EQ(StrFind("abc", "", true), 0);
  EXPECT_EQ(StrFind("aaab", "aab", true), 1);  // the scan restarts one after the failed start
  EXPECT_EQ(StrFind("ab", "abc", true), -1);
  const std::string_view buf("a\0bc\0d", 6);
  EXPECT_EQ(BufFind(buf, std::string_view("c\0d", 3), true), 3);
  EXPECT_EQ(BufFindEnd(buf, std::string_view("c\0d", 3), true), 6);
  EXPECT_EQ(BufFindEnd(buf, "x", true), -1);
  EXPECT_EQ(BufFind("xxABx", "ab", false), 2);
  EXPECT_EQ(BufFindAfter("xxabyy", "ab"), 4);
  EXPECT_EQ(BufFindAfter("xxabyy", "AB"), 0);  // case-sensitive, 0 when absent
}

TEST(TextTest, StrIndexInArrayAndFirstNonSpace) {
  const std::vector<std::string_view> words = {"GET", "POST", "get"};
  EXPECT_EQ(StrIndexInArray("get", words), 2);
  EXPECT_EQ(StrIndexInArray("PUT", words), -1);
  EXPECT_EQ(FirstNonSpaceUpper(" \t\v x"), 'X');
  EXPECT_EQ(FirstNonSpaceUpper("\r\n7"), '7');
  EXPECT_EQ(FirstNonSpaceUpper("   "), 0);
  EXPECT_EQ(FirstNonSpaceUpper(""), 0);
}

TEST(TextTest, StrTrimModes) {
  struct Case {
    int mode;
    const char* src;
    const char* want;
  };
  const std::vector<Case> cases = {
      {TrimLeft, " \t a b \r\n", "a b \r\n"}, {TrimRight, " \t a b \r\n", " \t a b"},
      {TrimBoth, " \t a b \r\n", "a b"},      {TrimAll, " \t a b \r\n", "ab"},
      {TrimBoth, "   ", ""},                  {TrimLeft, "", ""},
      {TrimBoth, "\v\fx\v\f", "x"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + " '" + c.src + "'");
    std::string dst = "old";
    StrTrim(c.mode, c.src, dst);
    EXPECT_EQ(dst, c.want);
    std::string same = c.src;  // source and destination may be the same buffer
    StrTrim(c.mode, same, same);
    EXPECT_EQ(same, c.want);
  }
  std::string untouched = "keep";
  StrTrim(5, "  x  ", untouched);
  EXPECT_EQ(untouched, "keep");
  EXPECT_EQ(Trimmed("  q  "), "q");
}

TEST(TextTest, LeadingNumber) {
  EXPECT_EQ(LeadingNumber("42abc"), 42);
  EXPECT_EQ(LeadingNumber("  -17"), -17);
  EXPECT_EQ(LeadingNumber("+5"), 5);
  EXPECT_EQ(LeadingNumber("abc"), 0);
  EXPECT_EQ(LeadingNumber("-"), 0);
  EXPECT_EQ(LeadingNumber("99999999999999999999999"), LONG_MAX);
  EXPECT_EQ(LeadingNumber("-99999999999999999999999"), LONG_MIN);
}

}  // namespace
}  // namespace sondrel
