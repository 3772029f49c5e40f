// The engines a fresh installation comes with, as a user meets them through sondrel-cli: the
// list of a fresh home, their fixtures replayed by engines --test, and engines --check against
// a source that answers (the local music index standing in for the network).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testkit/music_index.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using testkit::RunCommand;
using testkit::ShellQuote;

const std::string kShippedFixtures = std::string(SONDREL_SOURCE_DIR) + "/data/engines/fixtures";

testkit::CommandResult Cli(const std::string& home, const std::string& arguments) {
  return RunCommand(ShellQuote(SONDREL_CLI) + " --home " + ShellQuote(home) + " " + arguments);
}

TEST(ShippedEngines, AFreshHomeListsTheRealEngines) {
  testkit::TempDir home;
  const testkit::CommandResult listed = Cli(home.path(), "engines");
  ASSERT_EQ(listed.status, 0) << listed.out;
  EXPECT_EQ(listed.out,
            "Internet Archive\tenabled\nccMixter\tenabled\nWikimedia Commons\tenabled\n"
            "fyyd\tenabled\nJamendo\tenabled\n");
}

TEST(ShippedEngines, EnginesTestPassesTheShippedFixturesAndFailsABrokenOne) {
  testkit::TempDir home;
  const testkit::CommandResult passed = Cli(home.path(), "engines --test");
  EXPECT_EQ(passed.status, 0) << passed.out;
  EXPECT_NE(passed.out.find("ccMixter\tpassed\t3 results\n"), std::string::npos) << passed.out;
  EXPECT_NE(passed.err.find("5 of 5 engine fixtures passed"), std::string::npos) << passed.err;

  // The same fixtures, one page of one engine changed the way a source's new answer would be.
  testkit::TempDir copy;
  fs::copy(kShippedFixtures, copy.path(), fs::copy_options::recursive);
  std::string page = copy.Read("fyyd/fyyd1.htm");
  const std::string field = "\"enclosure\":";
  for (std::size_t at = page.find(field); at != std::string::npos; at = page.find(field, at)) {
    page.replace(at, field.size(), "\"audio_url\":");
  }
  copy.Write("fyyd/fyyd1.htm", page);
  const testkit::CommandResult broken =
      Cli(home.path(), "engines --test --fixtures " + ShellQuote(copy.path()));
  EXPECT_EQ(broken.status, 1) << broken.out;
  EXPECT_NE(broken.out.find("fyyd\tFAILED\n  result 1: missing JZ042"), std::string::npos)
      << broken.out;
  EXPECT_NE(broken.out.find("  replay: done, 1 pages, 0 matched,"), std::string::npos)
      << broken.out;
  EXPECT_NE(broken.err.find("4 of 5 engine fixtures passed"), std::string::npos) << broken.err;

  const testkit::CommandResult one = Cli(home.path(), "engines --test Jamendo");
  EXPECT_EQ(one.status, 0) << one.out;
  EXPECT_EQ(one.out.substr(0, one.out.find('\n')), "Jamendo\tpassed\t2 results");
  EXPECT_EQ(Cli(home.path(), "engines --test 'No Such Engine'").status, 1);
}

// What engines --keys prints of the shipped engines is a definition text that compiles back
// into engines that still read their fixtures.
TEST(ShippedEngines, TheirKeysRoundTripIntoEnginesThatPassTheFixtures) {
  testkit::TempDir home;
  const testkit::CommandResult keys = Cli(home.path(), "engines --keys");
  ASSERT_EQ(keys.status, 0) << keys.err;
  home.Write("again.def", keys.out);
  ASSERT_EQ(Cli(home.path(), "compile " + ShellQuote(home.File("again.def")) + " " +
                                 ShellQuote(home.File("again.db")) + " 0")
                .status,
            0);
  const testkit::CommandResult replayed =
      Cli(home.path(), "engines --test --db " + ShellQuote(home.File("again.db")));
  EXPECT_EQ(replayed.status, 0) << replayed.out;
}

// Jamendo needs the user's client id; without one it is skipped before any request is made.
TEST(ShippedEngines, JamendoWithoutAClientIdIsSkippedWithThatReason) {
  testkit::TempDir home;
  const testkit::CommandResult checked = Cli(home.path(), "engines --check Jamendo jazz");
  EXPECT_EQ(checked.status, 3) << checked.out << checked.err;
  EXPECT_TRUE(checked.out.starts_with("Jamendo: skipped (key missing")) << checked.out;
}

// The live check against sources that answer on this machine: the demo's engine, and an engine
// whose server is not there.
TEST(ShippedEngines, EnginesCheckPrintsTheReportAndSaysWhetherEveryEngineDelivered) {
  if (!testkit::MusicIndex::Installed()) GTEST_SKIP() << "no Python for the music index";
  testkit::MusicIndex index;
  ASSERT_TRUE(index.Start(false)) << index.error();
  testkit::TempDir home;
  home.Write("demo.def", index.DefinitionText() +
                             "\n[Gone]\nURL=http://127.0.0.1:1/\nFILE=gone\n"
                             "ACTION=http://127.0.0.1:1/find?q=__QUERY__\n"
                             "FORMAT=<li><a href=\"__URL__\">__TITLE__</a></li>\n");
  ASSERT_EQ(Cli(home.path(), "compile " + ShellQuote(home.File("demo.def")) + " " +
                                 ShellQuote(home.File("demo.db")) + " 0")
                .status,
            0);
  const std::string db = " --db " + ShellQuote(home.File("demo.db"));

  const testkit::CommandResult live = Cli(home.path(), "engines --check 'Demo Tracks' rock" + db);
  EXPECT_EQ(live.status, 0) << live.out << live.err;
  // The report reads as the one a search prints.
  EXPECT_TRUE(live.out.starts_with("Demo Tracks: done, 3 pages, ")) << live.out;
  EXPECT_NE(live.out.find(" kept, HTTP 200\n"), std::string::npos) << live.out;
  const testkit::CommandResult json =
      Cli(home.path(), "engines --check 'Demo Tracks' rock --json" + db);
  EXPECT_EQ(json.status, 0) << json.out << json.err;
  EXPECT_TRUE(
      json.out.starts_with("{\"query\":\"rock\",\"report\":{\"engines\":[{\"engine\":"
                           "\"Demo Tracks\",\"outcome\":\"done\",\"reason\":null,"))
      << json.out;
  EXPECT_NE(json.out.find("\"everyEngineDelivered\":true}"), std::string::npos) << json.out;

  const testkit::CommandResult gone = Cli(home.path(), "engines --check Gone rock" + db);
  EXPECT_EQ(gone.status, 3) << gone.out << gone.err;
  EXPECT_TRUE(gone.out.starts_with("Gone: failed (")) << gone.out;
  EXPECT_NE(gone.out.find("1 engine failed\n"), std::string::npos) << gone.out;
  const testkit::CommandResult goneJson = Cli(home.path(), "engines --check Gone rock --json" + db);
  EXPECT_EQ(goneJson.status, 3);
  EXPECT_NE(goneJson.out.find("\"nothingAnswered\":true},\"everyEngineDelivered\":false}"),
            std::string::npos)
      << goneJson.out;
  EXPECT_EQ(Cli(home.path(), "engines --check" + db).status, 2);
}

}  // namespace
}  // namespace sondrel
