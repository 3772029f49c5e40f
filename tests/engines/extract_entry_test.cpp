#include "engines/extract_entry.h"

#include <gtest/gtest.h>

#include "engines/engine_definition.h"
#include "engines/query.h"

namespace sondrel {
namespace {

class ExtractEntryTest : public ::testing::Test {
 protected:
  ExtractEntryTest() {
    engine.name = "Music Index";
    request.url = "http://h/d/p1.htm";
  }

  int Extract(std::string_view page, std::size_t& pos, bool final = true) {
    return ExtractEntry(page, pos, engine, scratch, request, final);
  }

  EngineDefinition engine;
  EngineRequest request;
  ResultEntry scratch = NewEntry();
};

TEST_F(ExtractEntryTest, TemplateEntryWithQuotesAndCase) {
  engine.format = "<b>__TITLE__</b><a href=__URL__>";
  const std::string page = "<B>Song</B><A HREF=\"s.mp3\"><B>Next</B><A HREF='n.mp3'>";
  std::size_t pos = 0;
  ASSERT_EQ(Extract(page, pos), kEntryFound);
  EXPECT_EQ(scratch.name, "Song");
  EXPECT_EQ(scratch.url, "http://h/d/s.mp3");
  EXPECT_EQ(scratch.engine, "Music Index");
  ASSERT_EQ(Extract(page, pos), kEntryFound);
  EXPECT_EQ(scratch.name, "Next");
  EXPECT_EQ(scratch.url, "http://h/d/n.mp3");
  const std::size_t end = pos;
  EXPECT_EQ(Extract(page, pos), kEntryNone);
  EXPECT_EQ(pos, end);
}

TEST_F(ExtractEntryTest, TemplateValuesAreCleaned) {
  engine.format = "<li>__URL__|__TITLE__|__PREVIEW__|__VAR1__|__DATE1__|__OTHER__</li>";
  const std::string longWord(40, 'w');
  const std::string page =
      "<li>a.mp3| A &amp; <i>B</i> |  one   two " + longWord + " |  v1  |3/14/2001|x</li>";
  std::size_t pos = 0;
  ASSERT_EQ(Extract(page, pos), kEntryFound);
  EXPECT_EQ(scratch.url, "http://h/d/a.mp3");
  EXPECT_EQ(scratch.name, "A & B");
  EXPECT_EQ(scratch.preview, "one two " + longWord.substr(0, 29) + " " + longWord.substr(29));
  EXPECT_EQ(scratch.var1, "v1");
  EXPECT_EQ(scratch.foundAt.day, 14);
  EXPECT_EQ(scratch.foundAt.year, 2001);
  EXPECT_EQ(page.substr(pos), "</li>");  // the template's last literal is not consumed
}

TEST_F(ExtractEntryTest, EntriesWithoutUrlAreNotFound) {
  engine.format = "<b>__TITLE__</b><a href=__URL__>";
  struct Case {
    const char* label;
    const char* page;
  };
  const Case cases[] = {
      {"no title literal", "<i>Song</i>"},
      {"url literal missing", "<b>Song</b> no link here"},
      {"url of spaces", "<b>Song</b><a href=   >"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::size_t pos = 1;
    EXPECT_EQ(Extract(c.page, pos), kEntryNone);
    EXPECT_EQ(pos, 1u);  // back where the extraction started
  }
}

TEST_F(ExtractEntryTest, UrlRulesRefuseRewriteAndName) {
  engine.format = "<a href=\"__URL__\">__TITLE__</a>";
  engine.urlFormat = "e=mp3 euf=f";
  const std::string longWord(40, 'x');
  const std::string page =
      "<a href=\"a.htm\">Page</a><a href=\"go.mp3?f=http%3A%2F%2Fx%2F" + longWord + ".mp3\"></a>";
  std::size_t pos = 0;
  EXPECT_EQ(Extract(page, pos), kEntryRefused);
  EXPECT_EQ(page.substr(pos, 6), "</a><a");  // past the refused entry
  ASSERT_EQ(Extract(page, pos), kEntryFound);
  EXPECT_EQ(scratch.url, "http://x/" + longWord + ".mp3");
  // An empty name becomes the address, with words broken at 29 characters.
  const std::string& url = scratch.url;
  EXPECT_EQ(scratch.name, url.substr(0, 29) + " " + url.substr(29, 29));
}

TEST_F(ExtractEntryTest, RewriteToNothingRefusesTheEntry) {
  // "euf" of a link whose parameter is empty leaves no address; the scan goes on after it.
  engine.format = "<a href=\"__URL__\">__TITLE__</a>";
  engine.urlFormat = "euf=u";
  const std::string page = "<a href=\"go?u=\">Empty</a><a href=\"go?u=http%3A%2F%2Fx%2Fb.mp3\">B</a>";
  std::size_t pos = 0;
  EXPECT_EQ(Extract(page, pos), kEntryRefused);
  ASSERT_EQ(Extract(page, pos), kEntryFound);
  EXPECT_EQ(scratch.url, "http://x/b.mp3");
}

TEST_F(ExtractEntryTest, AnchorModeTakesAcceptedLinksAndTheirFirstText) {
  engine.format = "__A__ e=mp3";
  const std::string page =
      "<p><a href=index.htm>Home</a> <!-- <a href=c.mp3>hidden</a> -->"
      "<A class=x HREF=\"song.mp3\"><b> My &amp; Song </b></a> tail";
  std::size_t pos = 0;
  ASSERT_EQ(Extract(page, pos), kEntryFound);
  EXPECT_EQ(scratch.url, "http://h/d/song.mp3");
  EXPECT_EQ(scratch.name, "My & Song");
  EXPECT_EQ(page.substr(pos), "</b></a> tail");
  EXPECT_EQ(Extract(page, pos), kEntryNone);
  EXPECT_EQ(pos, page.size());
}

TEST_F(ExtractEntryTest, AnchorModeWaitsForTheRestOfTheData) {
  engine.format = "__A__ e=mp3";
  struct Case {
    const char* label;
    std::string page;
    int finalResult;
  };
  const Case cases[] = {
      {"text runs to the end", "xx<a href=a.mp3>Hal", kEntryFound},
      {"no text yet", "xx<a href=a.mp3>", kEntryFound},
      {"open tag inside anchor", "xx<a href=a.mp3><b", kEntryFound},
      {"open anchor tag", "xx<a href=a.mp", kEntryNone},
      {"open comment", "xx<!-- <a href=a.mp3>x</a>", kEntryNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::size_t pos = 0;
    EXPECT_EQ(Extract(c.page, pos, false), kEntryNone);
    EXPECT_EQ(pos, 2u);  // at the anchor or tag, to be read again with more data
    pos = 0;
    EXPECT_EQ(Extract(c.page, pos, true), c.finalResult);
  }
}

TEST(PlainTextTest, DecodesThenDropsTags) {
  EXPECT_EQ(PlainText("a &lt;b&gt; c", 100), "a  c");
  EXPECT_EQ(PlainText("<b>x</b> < y", 100), "x < y");
  EXPECT_EQ(PlainText("abcdef", 3), "abc");
}

}  // namespace
}  // namespace sondrel
