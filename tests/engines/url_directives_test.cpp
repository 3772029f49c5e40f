#include "engines/url_directives.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

struct Case {
  const char* directives;
  const char* url;
  bool accepted;
  const char* rewritten;  // checked when accepted
};

void Check(const Case& c) {
  SCOPED_TRACE(std::string(c.directives) + " on " + c.url);
  std::string out;
  EXPECT_EQ(ApplyUrlDirectives(out, c.url, c.directives), c.accepted);
  if (c.accepted) {
    EXPECT_EQ(out, c.rewritten);
  }
}

TEST(UrlDirectivesTest, Filters) {
  const Case cases[] = {
      {"e=mp3 e=wma", "http://h/a.MP3", true, "http://h/a.MP3"},
      {"e=mp3 e=wma", "http://h/a.wma", true, "http://h/a.wma"},
      {"e=mp3 e=wma", "http://h/a.ogg", false, ""},
      {"e=mp3 e=wma", "http://h/dir/", false, ""},
      {"e=mp3 ns=ftp", "ftp://h/a.mp3", false, ""},
      {"e=mp3 ns=ftp", "http://h/a.mp3", true, "http://h/a.mp3"},
      {"e=mp3 s=ftp", "ftp://h/a.mp3", true, "ftp://h/a.mp3"},
      {"e=mp3 s=ftp", "http://h/a.mp3", false, ""},
      {"bstr=/music/", "http://h/Music/a.mp3", false, ""},
      {"bstr=/music/", "http://h/music/a.mp3", true, "http://h/music/a.mp3"},
      {"bnstr=ads", "http://ads.h/a.mp3", false, ""},
      {"ne=html;bnext=htm", "http://h/a.htm", false, ""},
      {"ne=html;bnext=htm", "http://h/a", true, "http://h/a"},
      {"e=", "http://h/a", true, "http://h/a"},  // no extension equals the empty one
      {"fnstr=?", "http://h/a?b", false, ""},
      {"fnstr=?", "http://h/a", true, "http://h/a"},
      {"u=.mp3 nu=/tmp/", "http://h/a.mp3", true, "http://h/a.mp3"},
      {"fext=mp3 fsch=http", "http://h/a.mp3", true, "http://h/a.mp3"},
      {"fnsch=HTTP", "http://h/a.mp3", false, ""},
      {"", "http://h/anything", true, "http://h/anything"},
      {"__A__ unknown=1 E=MP3", "http://h/a.mp3", true, "http://h/a.mp3"},
  };
  for (const Case& c : cases) Check(c);
}

TEST(UrlDirectivesTest, Rewriting) {
  const Case cases[] = {
      {"euf=url fext=mp3", "http://h/go.cgi?url=http%3A%2F%2Fx%2Fa.mp3&id=3", true,
       "http://x/a.mp3"},
      {"euf=url fext=mp3", "http://h/go.cgi?id=3", false, ""},
      {"euf=missing", "http://h/go.cgi?id=3", true, "http://h/go.cgi?id=3"},
      {"sfa=\"file=\"", "http://h/dl?file=http://x/a.mp3", true, "http://x/a.mp3"},
      // Unquoted, the value stops at the second '=' and "=" becomes a key of its own.
      {"sfa=file=", "http://h/dl?file=http://x/a.mp3", true, "=http://x/a.mp3"},
      {"sfa=nothere", "http://h/a", true, "http://h/a"},
      {"params", "http://h/r;http://x/a.mp3?q", true, "http://x/a.mp3"},
      {"params", "http://h/r;nothing", true, "http://h/r;nothing"},
      // sfa, euf and params start over from the original address; the last one wins.
      {"sfa=file= euf=id", "http://h/d?file=x&id=7", true, "7"},
      {"cfuvars=http://h/__D__/__F__.html cfusubs=http://files.h/__D__/__F__.mp3",
       "http://h/rock/song.html", true, "http://files.h/rock/song.mp3"},
      {"cfuvars=http://h/__D__/__F__.html cfusubs=http://files.h/__d__/__X__.mp3",
       "http://h/rock/song.html", true, "http://files.h/rock/.mp3"},
      // No capture: the list goes on and the cfusubs is ignored.
      {"cfuvars=http://other/__D__/ cfusubs=http://files.h/__D__", "http://h/rock/song.html",
       true, "http://h/rock/song.html"},
      // A capture must be followed by cfusubs at once; another directive there is dropped.
      {"cfuvars=http://h/__D__/ x=1 cfusubs=y", "http://h/rock/song.html", true,
       "http://h/rock/song.html"},
      // cfuvars works on the current address, after sfa.
      {"sfa=go= cfuvars=http://__H__/ cfusubs=ftp://__H__/", "http://r/go=http://x/a", true,
       "ftp://x/"},
  };
  for (const Case& c : cases) Check(c);
}

TEST(UrlDirectivesTest, BuildingFromCapturedValues) {
  const CapturedValues values = {{"ID", "tape 1"}, {"DIR", "a/b"}};
  struct Row {
    const char* directives;
    const char* value;
    bool accepted;
    const char* built;
  };
  const Row rows[] = {
      {"path", "a b/c#d?.mp3", true, "a%20b/c%23d%3F.mp3"},
      {"path", "already%20done/x.mp3", true, "already%20done/x.mp3"},
      {"path", "50%.mp3", true, "50%25.mp3"},
      {"path", "caf\xC3\xA9.mp3", true, "caf%C3%A9.mp3"},
      {"path pre=\"http://h/dl/__ID__/\"", "a b.mp3", true, "http://h/dl/tape%201/a%20b.mp3"},
      {"path pre=\"http://h/__DIR__/__NONE__\"", "x.mp3", true, "http://h/a%2Fb/x.mp3"},
      {"pre=http://h/ e=mp3", "x.ogg", false, ""},
      {"pre=http://h/ fsch=http", "x.mp3", true, "http://h/x.mp3"},
      {"pre=http://h/ path", "a b", true, "http%3A//h/a%20b"},  // order counts
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.directives) + " on " + row.value);
    std::string out;
    EXPECT_EQ(ApplyUrlDirectives(out, row.value, row.directives, &values), row.accepted);
    if (row.accepted) EXPECT_EQ(out, row.built);
    EXPECT_EQ(BuildsFromValue(row.directives), std::string(row.directives).find("pre=") != std::string::npos);
  }
}

TEST(UrlDirectivesTest, StagesSeparately) {
  EXPECT_TRUE(PassesUrlFilters("http://h/a.mp3", "e=mp3 fext=wma", FilterBefore));
  EXPECT_FALSE(PassesUrlFilters("http://h/a.mp3", "e=mp3 fext=wma", FilterAfter));
}

TEST(UrlDirectivesTest, LongInputIsBounded) {
  std::string out;
  std::string url = "http://h/?u=" + std::string(5000, 'x');
  EXPECT_TRUE(ApplyUrlDirectives(out, url, ""));
  EXPECT_EQ(out.size(), kRewriteSourceMax);
  std::string directives = "cfuvars=__A__ cfusubs=" + std::string(50, 'y') + "__A__";
  EXPECT_TRUE(ApplyUrlDirectives(out, url, directives));
  EXPECT_LE(out.size(), kRewrittenUrlMax);
}

}  // namespace
}  // namespace sondrel
