// compile and engines through the real sondrel-cli binary.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::RunCommand;
using testkit::ShellQuote;

const char kDefinitions[] =
    "; two engines\n"
    "[Music Index]\n"
    "url = http://music-index.local/\n"
    "FILE=musidx\n"
    "ACTION=http://music-index.local/find.cgi?q=__QUERY__&max=__HITS__\n"
    "MORE=find.cgi?__NEXT__\n"
    "VA=<a href=\"find.cgi?__NEXT__\">Next\n"
    "VA=\n"
    "VAESCAPE=yes\n"
    "FORMAT=<li><a href=\"__URL__\">__TITLE__</a></li>\n"
    "OPERATORS=   and   or  \n"
    "CLOSENESS=NEAR\n"
    "VALAST=2\n"
    "FORMATURL=e=mp3 ns=ftp\n"
    "SF1=Results for\n"
    "SF2=</ul>\n"
    "CAT=mp3;web\n"
    "\n"
    "[ Tune Archive ]\n"
    "ACTION=post://tune-archive.local/s?q=__QUERY__\n";

// A run in a home of its own unless the words name one: never the user's settings.
std::string Cli(const std::string& words) {
  static const testkit::TempDir home;
  const std::string where =
      words.find("--home") == std::string::npos ? " --home " + ShellQuote(home.path()) : "";
  return ShellQuote(SONDREL_CLI) + where + " " + words;
}

class EnginesCommandTest : public ::testing::Test {
 protected:
  std::string Q(const std::string& name) const { return ShellQuote(dir.File(name)); }
  testkit::TempDir dir;
};

TEST_F(EnginesCommandTest, CompileThenKeysGivesTheSameDatabase) {
  dir.Write("in.def", kDefinitions);
  auto compiled = RunCommand(Cli("compile " + Q("in.def") + " " + Q("first.db") + " 42"));
  ASSERT_EQ(compiled.status, 0) << compiled.err;

  auto listed = RunCommand(Cli("engines --db " + Q("first.db")));
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out, "Music Index\tenabled\n Tune Archive \tenabled\n");

  auto keys = RunCommand(Cli("engines --keys --db " + Q("first.db")));
  ASSERT_EQ(keys.status, 0) << keys.err;
  EXPECT_EQ(keys.out,
            "[Music Index]\n"
            "URL=http://music-index.local/\n"
            "FILE=musidx\n"
            "ACTION=http://music-index.local/find.cgi?q=__QUERY__&max=__HITS__\n"
            "MORE=find.cgi?__NEXT__\n"
            "VA=<a href=\"find.cgi?__NEXT__\">Next\n"
            "VA=\n"
            "FORMAT=<li><a href=\"__URL__\">__TITLE__</a></li>\n"
            "OPERATORS=and or\n"
            "CLOSENESS=NEAR\n"
            "VALAST=2\n"
            "FORMATURL=e=mp3 ns=ftp\n"
            "SF1=Results for\n"
            "SF2=</ul>\n"
            "CAT=mp3;web\n"
            "\n"
            "[ Tune Archive ]\n"
            "ACTION=post://tune-archive.local/s?q=__QUERY__\n");

  dir.Write("printed.def", keys.out);
  auto again = RunCommand(Cli("compile " + Q("printed.def") + " " + Q("second.db") + " -7"));
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(dir.Read("second.db"), dir.Read("first.db"));
}

TEST_F(EnginesCommandTest, DefaultDatabaseIsSeededIntoTheHome) {
  std::string home = dir.File("home");
  auto listed = RunCommand(Cli("engines --home " + ShellQuote(home)));
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("\tenabled\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(home + "/engines.db"));

  // Once seeded, the home database is the one used.
  dir.Write("one.def", "[Only One]\n");
  ASSERT_EQ(RunCommand(Cli("compile " + Q("one.def") + " " + ShellQuote(home + "/engines.db") +
                           " 0")).status, 0);
  EXPECT_EQ(RunCommand(Cli("engines --home " + ShellQuote(home))).out, "Only One\tenabled\n");
}

TEST_F(EnginesCommandTest, FailuresNameTheFile) {
  dir.Write("in.def", kDefinitions);
  auto missing = RunCommand(Cli("compile " + Q("missing.def") + " " + Q("x.db") + " 0"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find(dir.File("missing.def")), std::string::npos) << missing.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.db")));

  std::string unwritable = dir.File("no/such/dir/x.db");
  auto cannotWrite = RunCommand(Cli("compile " + Q("in.def") + " " + ShellQuote(unwritable) + " 0"));
  EXPECT_EQ(cannotWrite.status, 1);
  EXPECT_NE(cannotWrite.err.find(unwritable), std::string::npos) << cannotWrite.err;

  auto noDb = RunCommand(Cli("engines --db " + Q("missing.db")));
  EXPECT_EQ(noDb.status, 1);
  EXPECT_NE(noDb.err.find(dir.File("missing.db")), std::string::npos) << noDb.err;
  EXPECT_EQ(noDb.out, "");
}

TEST_F(EnginesCommandTest, UsageErrors) {
  dir.Write("in.def", kDefinitions);
  const std::string cases[] = {
      "compile " + Q("in.def") + " " + Q("x.db") + " twelve",
      "compile " + Q("in.def") + " " + Q("x.db") + " 4294967296",
      "compile " + Q("in.def") + " " + Q("x.db") + " 12abc",
      "compile " + Q("in.def") + " " + Q("x.db"),
      "compile " + Q("in.def") + " " + Q("x.db") + " 1 extra",
      "compile",
      "engines --bogus",
      "engines stray",
  };
  for (const std::string& words : cases) {
    SCOPED_TRACE(words);
    auto result = RunCommand(Cli(words));
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("usage"), std::string::npos) << result.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.db")));
}

}  // namespace
}  // namespace sondrel
