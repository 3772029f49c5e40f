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
    const testkit::CommandResult result = RunCommand(
        ShellQuote(SONDREL_CLI) + " --home " + ShellQuote(home.path()) + " " + c.words);
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

}  // namespace
}  // namespace sondrel
