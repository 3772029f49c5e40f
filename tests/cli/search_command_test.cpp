// search through the real sondrel-cli against the local music index: the JSON document, the
// report on stderr and the status when nothing answers.

#include <gtest/gtest.h>

#include <string>

#include "engines/engine_database.h"
#include "testkit/music_index.h"
#include "testkit/suite_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::RunCommand;
using testkit::ShellQuote;

class SearchCommandTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testkit::MusicIndex::Installed()) return;
    index_ = new testkit::MusicIndex;
    testkit::KeepIfStarted(index_, [](auto& server) { return server.Start(false); });
  }
  static void TearDownTestSuite() {
    delete index_;
    index_ = nullptr;
  }
  void SetUp() override {
    if (!index_) GTEST_SKIP() << "the music index needs python3";
  }
  // A database of the index's engines; with refused, every engine points at a closed port.
  std::string Database(bool refused) {
    std::string text = index_->DefinitionText();
    if (refused) {
      const std::string live = "127.0.0.1:" + std::to_string(index_->port());
      for (std::size_t at = text.find(live); at != std::string::npos; at = text.find(live, at)) {
        text.replace(at, live.size(), "127.0.0.1:1");
      }
    }
    home_.Write("demo.def", text);
    const std::string path = home_.File(refused ? "refused.db" : "engines.db");
    EXPECT_EQ(CompileDefinitions(home_.File("demo.def"), path, 0), CompileOk);
    return path;
  }
  testkit::CommandResult Cli(const std::string& arguments) {
    return RunCommand("SONDREL_UPDATE_URL=http://127.0.0.1:1/ " + ShellQuote(SONDREL_CLI) +
                      " --home " + ShellQuote(home_.path()) + " " + arguments);
  }
  // Runs python3 over a JSON document; its stdout.
  std::string Python(const std::string& document, const std::string& program) {
    home_.Write("doc.json", document);
    const testkit::CommandResult result =
        RunCommand("python3 -c " + ShellQuote("import json,sys\nd=json.load(open(sys.argv[1]))\n" +
                                              program) +
                   " " + ShellQuote(home_.File("doc.json")));
    EXPECT_EQ(result.status, 0) << result.err << document;
    return result.out;
  }

  static testkit::MusicIndex* index_;
  testkit::TempDir home_;
};

testkit::MusicIndex* SearchCommandTest::index_ = nullptr;

TEST_F(SearchCommandTest, JsonHoldsEntriesProjectAndReport) {
  const testkit::CommandResult result =
      Cli("search rock --json --no-verify --db " + ShellQuote(Database(false)));
  ASSERT_EQ(result.status, 0) << result.err;
  // Sizes are bytes or null, statuses words; the report has one line per engine, and what the
  // engines kept is what the list holds.
  const std::string checked = Python(result.out,
                                     "e=d['entries']; r=d['report']\n"
                                     "print(d['query'], d['project'], len(e) > 30)\n"
                                     "print(all(x['size'] is None for x in e),"
                                     " {x['status'] for x in e})\n"
                                     "print(len(r['engines']), r['failed'], r['nothingAnswered'],"
                                     " sum(x['kept'] for x in r['engines']) == len(e))\n"
                                     "print({x['outcome'] for x in r['engines']},"
                                     " all(x['pages'] > 0 and x['bytes'] > 0 for x in r['engines']))\n");
  EXPECT_EQ(checked, "rock " + home_.File("rock.sdp") +
                         " True\nTrue {'not-verified'}\n6 0 False True\n{'done'} True\n");
  // The report and where the project went are on stderr, one line per engine.
  EXPECT_NE(result.err.find(": done, "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("saved the search as " + home_.File("rock.sdp")), std::string::npos);

  const testkit::CommandResult quiet =
      Cli("search rock -q --no-save --no-verify --db " + ShellQuote(Database(false)));
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_TRUE(quiet.out.starts_with("Name\tURL\tSize\tStatus\tPos\tEngine\n"));
}

TEST_F(SearchCommandTest, NothingAnsweredExitsThree) {
  const testkit::CommandResult result =
      Cli("search rock --json --no-verify --no-save --db " + ShellQuote(Database(true)));
  EXPECT_EQ(result.status, 3) << result.err;
  EXPECT_NE(result.err.find("127.0.0.1: connection refused"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("6 engines failed"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("no engine answered"), std::string::npos) << result.err;
  EXPECT_EQ(Python(result.out,
                   "r=d['report']\nprint(r['nothingAnswered'], r['failed'], len(d['entries']),"
                   " {x['reason'] for x in r['engines']}, d['project'])\n"),
            "True 6 0 {'refused'} None\n");
}

}  // namespace
}  // namespace sondrel
