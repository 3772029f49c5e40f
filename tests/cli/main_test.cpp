#include <gtest/gtest.h>

#include <string>

#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::RunCommand;
using testkit::ShellQuote;

struct Case {
  const char* words;
  int status;
  const char* inOut;  // expected in stdout ("" when stdout must be empty)
  const char* inErr;  // expected in stderr ("" when stderr must be empty)
};

TEST(CliConventions, ExitStatusesAndWhereTheTextGoes) {
  testkit::TempDir home;
  const Case cases[] = {
      {"--version", 0, "sondrel-cli ", ""},
      {"-V", 0, "sondrel-cli ", ""},
      {"search -V", 0, "sondrel-cli ", ""},
      {"--help", 0, "exit status:", ""},
      {"-h", 0, "commands:", ""},
      {"search --help", 0, "--max-results-per-engine N", ""},
      {"fetch -h", 0, "--timeout S", ""},
      {"verify --help", 0, "--remove-invalid", ""},
      {"download --help", 0, "130", ""},
      {"", 2, "", "commands:"},
      {"--bogus search rock", 2, "", "unknown or incomplete option --bogus before the command"},
      {"nosuchcommand", 2, "", "unknown command nosuchcommand"},
      {"search", 2, "", "usage: sondrel-cli search"},
      {"search rock --no-such-option", 2, "", "--no-such-option"},
      {"search rock --max-results many", 2, "", "--max-results"},
      {"fetch", 2, "", "fetch takes exactly one URL"},
      {"export x.sdp pdf", 2, "", "unknown export format pdf"},
      // After "--" a word starting with "-" is the query: the search gets as far as the
      // database, which is missing here.
      {"search --db /nonexistent/e.db -- -live", 1, "", "/nonexistent/e.db"},
      {"search --db /nonexistent/e.db -- -h", 1, "", "/nonexistent/e.db"},
      {"show /nonexistent/p.sdp", 1, "", "cannot open project file /nonexistent/p.sdp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words);
    const testkit::CommandResult result =
        RunCommand(ShellQuote(SONDREL_CLI) + " --home " + ShellQuote(home.path()) + " " + c.words);
    EXPECT_EQ(result.status, c.status) << result.err;
    if (*c.inOut == '\0') {
      EXPECT_EQ(result.out, "");
    } else {
      EXPECT_NE(result.out.find(c.inOut), std::string::npos) << result.out;
    }
    if (*c.inErr == '\0') {
      EXPECT_EQ(result.err, "");
    } else {
      EXPECT_NE(result.err.find(c.inErr), std::string::npos) << result.err;
    }
  }
}

// Every --json output that needs no server is one document a real parser accepts.
TEST(CliConventions, JsonDocumentsParse) {
  testkit::TempDir home;
  const std::string cli = ShellQuote(SONDREL_CLI) + " --home " + ShellQuote(home.path()) + " ";
  ASSERT_EQ(RunCommand(cli + "add " + ShellQuote(home.File("p.sdp")) + " http://h/a.mp3 x").status,
            0);
  const struct {
    std::string words;
    std::string check;  // a Python expression over the document d that must print True
  } cases[] = {
      {"engines --json",
       "len(d['engines']) > 0 and all(type(e['enabled']) is bool for e in d['engines'])"},
      {"show --json " + ShellQuote(home.File("p.sdp")),
       "d['entries'][0]['url'] == 'http://h/a.mp3' and d['entries'][0]['size'] is None"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    const testkit::CommandResult result = RunCommand(cli + c.words);
    ASSERT_EQ(result.status, 0) << result.err;
    home.Write("doc.json", result.out);
    const testkit::CommandResult parsed = RunCommand(
        "python3 -c " +
        ShellQuote("import json,sys\nd=json.load(open(sys.argv[1]))\nprint(" + c.check + ")") +
        " " + ShellQuote(home.File("doc.json")));
    EXPECT_EQ(parsed.out, "True\n") << result.out << parsed.err;
  }
}

}  // namespace
}  // namespace sondrel
