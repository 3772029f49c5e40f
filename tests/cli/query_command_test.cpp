// query and urlrule through the real sondrel-cli binary.

#include <gtest/gtest.h>

#include <string>

#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::RunCommand;
using testkit::ShellQuote;

const char kDefinitions[] =
    "[Music Index]\n"
    "ACTION=http://music-index.local/find.cgi?q=__QUERY__&max=__HITS__\n"
    "\n"
    "[Tune Archive]\n"
    "ACTION=post://tune-archive.local/s?terms=__QUERY__&kind=audio\n";

// A run in a home of its own unless the words name one: never the user's settings.
std::string Cli(const std::string& words) {
  static const testkit::TempDir home;
  const std::string where =
      words.find("--home") == std::string::npos ? " --home " + ShellQuote(home.path()) : "";
  return ShellQuote(SONDREL_CLI) + where + " " + words;
}

class QueryCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("engines.def", kDefinitions);
    testkit::CommandResult compiled =
        RunCommand(Cli("compile " + ShellQuote(dir_.File("engines.def")) + " " +
                       ShellQuote(dir_.File("engines.db")) + " 0 --quiet"));
    ASSERT_EQ(compiled.status, 0) << compiled.err;
  }
  std::string Db() const { return " --db " + ShellQuote(dir_.File("engines.db")); }

  testkit::TempDir dir_;
};

TEST_F(QueryCommandTest, PrintsEachEnginesRequest) {
  testkit::CommandResult result = RunCommand(Cli("query 'rock, roll'" + Db()));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "Music Index\tGET\thttp://music-index.local/find.cgi?q=rock+roll&max=10\n"
            "Tune Archive\tPOST\thttp://tune-archive.local/s\tterms=rock+roll&kind=audio\n");
}

TEST_F(QueryCommandTest, OneEngineByName) {
  testkit::CommandResult result =
      RunCommand(Cli("query x --engine 'Tune Archive'" + Db()));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "Tune Archive\tPOST\thttp://tune-archive.local/s\tterms=x&kind=audio\n");

  result = RunCommand(Cli("query x --engine Nobody" + Db()));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Nobody"), std::string::npos);
}

TEST_F(QueryCommandTest, SkipsEnginesTheSettingsDisable) {
  const std::string home = " --home " + ShellQuote(dir_.File("home"));
  ASSERT_EQ(RunCommand(Cli("engines --disable 'Music Index'" + home + Db())).status, 0);
  testkit::CommandResult result = RunCommand(Cli("query x" + home + Db()));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "Tune Archive\tPOST\thttp://tune-archive.local/s\tterms=x&kind=audio\n");

  // Naming an engine asks for it whether or not it is enabled.
  result = RunCommand(Cli("query x --engine 'Music Index'" + home + Db()));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "Music Index\tGET\thttp://music-index.local/find.cgi?q=x&max=10\n");
}

// An engine that needs a key: the request shows where the key goes but never the key, and
// until one is set the user hears that a search skips the engine.
TEST_F(QueryCommandTest, AKeyedEngineShowsItsKeyAsPlaceholder) {
  dir_.Write("keyed.def", "[Keyed]\nACTION=http://keyed.local/api?q=__QUERY__&id=__KEY__\n");
  ASSERT_EQ(RunCommand(Cli("compile " + ShellQuote(dir_.File("keyed.def")) + " " +
                           ShellQuote(dir_.File("keyed.db")) + " 0 -q"))
                .status,
            0);
  const std::string words = "query x --db " + ShellQuote(dir_.File("keyed.db")) + " --home " +
                            ShellQuote(dir_.File("home"));
  const std::string request = "Keyed\tGET\thttp://keyed.local/api?q=x&id=__KEY__\n";

  testkit::CommandResult keyless = RunCommand(Cli(words));
  ASSERT_EQ(keyless.status, 0) << keyless.err;
  EXPECT_EQ(keyless.out, request);
  EXPECT_NE(keyless.err.find("Keyed needs a key"), std::string::npos) << keyless.err;
  EXPECT_NE(keyless.err.find("config engineKey.Keyed KEY"), std::string::npos) << keyless.err;

  ASSERT_EQ(
      RunCommand(Cli("config engineKey.Keyed Secret42 --home " + ShellQuote(dir_.File("home"))))
          .status,
      0);
  testkit::CommandResult keyed = RunCommand(Cli(words));
  ASSERT_EQ(keyed.status, 0) << keyed.err;
  EXPECT_EQ(keyed.out, request);
  EXPECT_EQ(keyed.err, "");
}

TEST_F(QueryCommandTest, FailuresAndUsage) {
  testkit::CommandResult result =
      RunCommand(Cli("query x --db " + ShellQuote(dir_.File("missing.db"))));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("missing.db"), std::string::npos);
  EXPECT_EQ(RunCommand(Cli("query" + Db())).status, 2);
  EXPECT_EQ(RunCommand(Cli("query a b" + Db())).status, 2);
}

TEST(UrlRuleCommandTest, AcceptsRewritesAndRefuses) {
  testkit::CommandResult result = RunCommand(
      Cli("urlrule 'euf=url fext=mp3' 'http://h/go.cgi?url=http%3A%2F%2Fx%2Fa.mp3&id=3' "
          "'http://h/go.cgi?id=3'"));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "accepted\thttp://x/a.mp3\n"
            "refused\thttp://h/go.cgi?id=3\n");
  EXPECT_EQ(RunCommand(Cli("urlrule 'e=mp3'")).status, 2);
}

}  // namespace
}  // namespace sondrel
