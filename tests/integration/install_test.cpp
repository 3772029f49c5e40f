// The installed tree: the files a desktop, a shell and man expect, each checked by the
// validator of its format.

#include <gtest/gtest.h>

#include <string>

#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::CommandResult;
using testkit::RunCommand;
using testkit::ShellQuote;

bool Have(const std::string& program) {
  return RunCommand("command -v " + ShellQuote(program)).status == 0;
}

class InstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = new testkit::TempDir;
    installed_ = RunCommand("cmake --install " + ShellQuote(SONDREL_BINARY_DIR) +
                            " --strip --prefix " + ShellQuote(prefix_->path()));
  }
  static void TearDownTestSuite() {
    delete prefix_;
    prefix_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(installed_.status, 0) << installed_.out << installed_.err; }

  static std::string Installed(const std::string& relative) {
    return prefix_->path() + "/" + relative;
  }

  static testkit::TempDir* prefix_;
  static CommandResult installed_;
};

testkit::TempDir* InstallTest::prefix_ = nullptr;
CommandResult InstallTest::installed_;

TEST_F(InstallTest, ValidatorsAcceptTheDesktopFiles) {
  const struct {
    const char* tool;
    std::string command;
  } checks[] = {
      {"desktop-file-validate",
       "desktop-file-validate " + ShellQuote(Installed("share/applications/sondrel.desktop"))},
      {"appstreamcli",
       "appstreamcli validate --no-net " +
           ShellQuote(Installed("share/metainfo/org.sondrel.Sondrel.metainfo.xml"))},
      {"update-mime-database",
       "update-mime-database " + ShellQuote(Installed("share/mime")) + " && grep -q '\\*\\.sdp' " +
           ShellQuote(Installed("share/mime/globs2")) + " && test -f " +
           ShellQuote(Installed("share/mime/application/x-sondrel-project.xml"))},
  };
  for (const auto& check : checks) {
    SCOPED_TRACE(check.command);
    if (!Have(check.tool)) {
      ADD_FAILURE() << check.tool << " is not installed (scripts/setup-deps installs it)";
      continue;
    }
    const CommandResult result = RunCommand(check.command);
    EXPECT_EQ(result.status, 0) << result.out << result.err;
  }
  // The desktop entry opens the project type it declares.
  const CommandResult entry =
      RunCommand("cat " + ShellQuote(Installed("share/applications/sondrel.desktop")));
  EXPECT_NE(entry.out.find("MimeType=application/x-sondrel-project;"), std::string::npos);
  EXPECT_NE(entry.out.find("Exec=sondrel %f"), std::string::npos);
}

TEST_F(InstallTest, ManualPagesFormatWithoutWarnings) {
  for (const char* page : {"sondrel.1", "sondrel-cli.1"}) {
    SCOPED_TRACE(page);
    const std::string path = Installed(std::string("share/man/man1/") + page);
    const CommandResult result = RunCommand("MANWIDTH=80 man --warnings -l " + ShellQuote(path));
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("NAME"), std::string::npos);
    EXPECT_EQ(result.err, "");
  }
  // Every exit status the program gives is documented.
  const CommandResult text =
      RunCommand("MANWIDTH=200 man -l " + ShellQuote(Installed("share/man/man1/sondrel-cli.1")));
  for (const char* status : {"EXIT STATUS", "130", "Nothing answered"}) {
    EXPECT_NE(text.out.find(status), std::string::npos) << status;
  }
}

// The manual page cannot fall behind the program: every option a command's --help lists is
// in it.
TEST_F(InstallTest, ManualPageNamesEveryOptionOfTheHelp) {
  const CommandResult page = RunCommand("LC_ALL=C MANWIDTH=1000 man -l " +
                                        ShellQuote(Installed("share/man/man1/sondrel-cli.1")));
  ASSERT_EQ(page.status, 0) << page.err;
  for (const char* command : {"search", "show", "verify", "download", "fetch", "engines", "query",
                              "update", "config", "add", "export", "urlrule", "compile"}) {
    SCOPED_TRACE(command);
    const CommandResult options = RunCommand(
        "(" + ShellQuote(Installed("bin/sondrel-cli")) + " " + command +
        " --help | awk '/^  -/ { for (i = 1; i <= NF; i++) { w = $i; sub(/,$/, \"\", w); "
        "if (w ~ /^-/) print w; else break } }')");
    ASSERT_EQ(options.status, 0) << options.err;
    std::size_t from = 0;
    int count = 0;
    while (from < options.out.size()) {
      const std::size_t end = options.out.find('\n', from);
      const std::string option = options.out.substr(from, end - from);
      from = end == std::string::npos ? options.out.size() : end + 1;
      ++count;
      EXPECT_NE(page.out.find(option), std::string::npos) << option;
    }
    EXPECT_GE(count, 4);  // the common options at least
  }
}

TEST_F(InstallTest, ProgramsAreStripped) {
  for (const char* program : {"bin/sondrel", "bin/sondrel-cli"}) {
    SCOPED_TRACE(program);
    const CommandResult sections = RunCommand("readelf -S " + ShellQuote(Installed(program)));
    ASSERT_EQ(sections.status, 0) << sections.err;
    EXPECT_EQ(sections.out.find(".symtab"), std::string::npos);
    EXPECT_EQ(sections.out.find(".debug_info"), std::string::npos);
  }
}

TEST_F(InstallTest, ShellCompletionsOfferCommandsOptionsAndEngines) {
  testkit::TempDir home;
  const std::string path = "PATH=" + ShellQuote(Installed("bin")) + ":\"$PATH\" ";
  // bash: what the completion function puts in COMPREPLY for a few command lines.
  const std::string bash =
      path + "bash -c 'source " +
      ShellQuote(Installed("share/bash-completion/completions/sondrel-cli")) +
      "; complete_line() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _sondrel_cli; "
      "printf \"%s\\n\" \"${COMPREPLY[@]}\"; }; "
      "complete_line sondrel-cli sea; "
      "complete_line sondrel-cli search --max-results-p; "
      "complete_line sondrel-cli --home " +
      home.path() +
      " search --engines Internet\\ A; "
      "complete_line sondrel-cli --home " +
      home.path() + " config engineKey.J'";
  const CommandResult offered = RunCommand(bash);
  ASSERT_EQ(offered.status, 0) << offered.err;
  EXPECT_EQ(offered.out,
            "search\n--max-results-per-engine\nInternet\\ Archive\nengineKey.Jamendo\n");

  if (Have("zsh")) {
    EXPECT_EQ(RunCommand("zsh -n " + ShellQuote(Installed("share/zsh/site-functions/_sondrel-cli")))
                  .status,
              0);
  }
  if (Have("fish")) {
    const CommandResult fish =
        RunCommand(path + "fish -c 'source " +
                   ShellQuote(Installed("share/fish/vendor_completions.d/sondrel-cli.fish")) +
                   "; complete -C\"sondrel-cli search --no-v\"'");
    EXPECT_EQ(fish.status, 0) << fish.err;
    EXPECT_NE(fish.out.find("--no-verify"), std::string::npos) << fish.out;
  }
}

}  // namespace
}  // namespace sondrel
