// search through the real sondrel-cli against the local music index: the JSON document, the
// report on stderr and the status when nothing answers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engines/engine_database.h"
#include "testkit/music_index.h"
#include "testkit/scripted_http_server.h"
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
  // A database of the index's engines; with another port, every engine points there instead.
  std::string Database(int port = 0) {
    std::string text = index_->DefinitionText();
    if (port != 0) {
      const std::string live = "127.0.0.1:" + std::to_string(index_->port());
      const std::string other = "127.0.0.1:" + std::to_string(port);
      for (std::size_t at = text.find(live); at != std::string::npos; at = text.find(live, at)) {
        text.replace(at, live.size(), other);
      }
    }
    home_.Write("demo.def", text);
    const std::string path = home_.File("engines-" + std::to_string(port) + ".db");
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
    const testkit::CommandResult result = RunCommand(
        "python3 -c " + ShellQuote("import json,sys\nd=json.load(open(sys.argv[1]))\n" + program) +
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
      Cli("search rock --json --no-verify --db " + ShellQuote(Database()));
  ASSERT_EQ(result.status, 0) << result.err;
  // Sizes are bytes or null, statuses words; the report has one line per engine, and what the
  // engines kept is what the list holds.
  const std::string checked =
      Python(result.out,
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
      Cli("search rock -q --no-save --no-verify --db " + ShellQuote(Database()));
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_TRUE(quiet.out.starts_with("Name\tURL\tSize\tStatus\tPos\tEngine\n"));
}

// With every engine unreachable the search exits 3, and the empty list replaces neither the
// project it was to be saved to nor the export.
TEST_F(SearchCommandTest, NothingAnsweredExitsThreeAndKeepsTheProject) {
  const std::string project = home_.File("mine.sdp");
  ASSERT_EQ(Cli("add " + ShellQuote(project) + " http://h/kept.mp3").status, 0);
  home_.Write("mine.htm", "earlier export");
  const testkit::CommandResult result =
      Cli("search rock --json --no-verify --project " + ShellQuote(project) + " --export " +
          ShellQuote(home_.File("mine.htm")) + " --db " + ShellQuote(Database(1)));
  EXPECT_EQ(result.status, 3) << result.err;
  EXPECT_NE(result.err.find("127.0.0.1: connection refused"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("6 engines failed"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("no engine answered"), std::string::npos) << result.err;
  EXPECT_EQ(Python(result.out,
                   "r=d['report']\nprint(r['nothingAnswered'], r['failed'], len(d['entries']),"
                   " {x['reason'] for x in r['engines']}, d['project'])\n"),
            "True 6 0 {'refused'} None\n");
  const testkit::CommandResult shown = Cli("show " + ShellQuote(project));
  EXPECT_NE(shown.out.find("http://h/kept.mp3"), std::string::npos) << shown.out;
  EXPECT_EQ(home_.Read("mine.htm"), "earlier export");
}

// Ctrl-C stops the whole run: the search ends, no verification follows, the project keeps what
// arrived, and the status says it was interrupted.
TEST_F(SearchCommandTest, InterruptStopsSearchAndVerification) {
  testkit::ScriptedHttpServer silent({testkit::ScriptedReply{"", true}});
  const std::string command = "SONDREL_UPDATE_URL=http://127.0.0.1:1/ " + ShellQuote(SONDREL_CLI) +
                              " --home " + ShellQuote(home_.path()) +
                              " search rock --verify --timeout 60 --db " +
                              ShellQuote(Database(silent.port()));
  // The engines wait on a server that never answers until the interrupt arrives.
  const std::string progress = ShellQuote(home_.File("progress"));
  const testkit::CommandResult result =
      RunCommand("(" + command + " 2>" + progress +
                 " & pid=$!; i=0; while [ $i -lt 50 ] && ! grep -q SEARCH: " + progress +
                 "; do sleep 0.1; i=$((i+1)); done; sleep 0.3; kill -INT $pid; wait $pid; " +
                 "status=$?; cat " + progress + " >&2; exit $status)");
  EXPECT_EQ(result.status, 130) << result.err;
  EXPECT_EQ(result.err.find("VERIFY:"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(": stopped"), std::string::npos) << result.err;
  EXPECT_EQ(home_.Read("rock.sdp").substr(0, 14), "SondrelProject");
}

// A failed update names the address and the cause, and exits as fetch does: 3 when nothing
// answered, 4 for an error reply, 1 for anything else.
TEST(UpdateCommand, AFailureSaysWhyAndExitsWithItsStatus) {
  testkit::ScriptedHttpServer missing(std::vector<testkit::ScriptedReply>{
      {testkit::HttpReply("HTTP/1.1 404 Not Found", "", "gone")}});
  testkit::ScriptedHttpServer garbled(std::vector<testkit::ScriptedReply>{
      {testkit::HttpReply("HTTP/1.1 200 OK", "", "this is no engine database")}});
  struct Case {
    std::string url;
    int status;
    std::string told;
  } cases[] = {
      {"http://127.0.0.1:1/engines.db", 3, "http://127.0.0.1:1/engines.db: connection refused"},
      {missing.Url("/engines.db"), 4, missing.Url("/engines.db") + ": HTTP 404 Not Found"},
      {garbled.Url("/engines.db"), 1, "not an engine database"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    testkit::TempDir home;
    const testkit::CommandResult result =
        RunCommand("SONDREL_UPDATE_URL=" + ShellQuote(c.url) + " " + ShellQuote(SONDREL_CLI) +
                   " -q --home " + ShellQuote(home.path()) + " update");
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_NE(result.err.find("could not be updated. "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(c.told), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
}

}  // namespace
}  // namespace sondrel
