// config, add, show, export and the engine choice through the real sondrel-cli.

#include <gtest/gtest.h>

#include <string>

#include "results/project_file.h"
#include "results/results_texts.h"
#include "results/settings.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::RunCommand;
using testkit::ShellQuote;

class ResultsCommandsTest : public ::testing::Test {
 protected:
  testkit::CommandResult Cli(const std::string& arguments) {
    last_ = RunCommand(std::string(SONDREL_CLI) + " --home " + ShellQuote(home_.path()) + " " +
                       arguments);
    return last_;
  }
  // Standard error of the last run.
  const std::string& Err() const { return last_.err; }
  std::string Project() { return home_.File("rock.sdp"); }

  testkit::TempDir home_;
  testkit::CommandResult last_;
};

TEST_F(ResultsCommandsTest, ConfigPrintsSetsAndRefuses) {
  testkit::CommandResult all = Cli("config");
  ASSERT_EQ(all.status, 0);
  EXPECT_NE(all.out.find("maxConnections=7\n"), std::string::npos);
  EXPECT_NE(all.out.find("verifyAfterSearch=1\n"), std::string::npos);
  EXPECT_NE(all.out.find("downloadDirectory=" + home_.File("downloads") + "\n"), std::string::npos);

  EXPECT_EQ(Cli("config maxConnections 12").status, 0);
  EXPECT_EQ(Cli("config timeoutSeconds 95").status, 0);
  EXPECT_EQ(Cli("config browserPath '/opt/my browser/run'").status, 0);
  EXPECT_EQ(Cli("config maxConnections").out, "maxConnections=12\n");
  EXPECT_EQ(Cli("config browserPath").out, "browserPath=/opt/my browser/run\n");

  // What the CLI wrote is what the program reads.
  Settings settings;
  SettingsDefaults(settings, home_.path());
  ASSERT_TRUE(ReadSettings(SettingsPath(home_.path()), settings));
  EXPECT_EQ(settings.maxConnections, 12);
  EXPECT_EQ(settings.timeoutSeconds, 95);

  struct Case {
    const char* arguments;
    int status;
  } refused[] = {
      {"config maxConnections lots", 2}, {"config maxConnections 70000", 2},
      {"config showToolbar 2", 2},       {"config noSuchKey", 2},
      {"config enabledEngines A", 2},    {"config a b c", 2},
  };
  const std::string before = home_.Read(texts::kSettingsFileName.data());
  for (const Case& c : refused) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(Cli(c.arguments).status, c.status);
    EXPECT_FALSE(Err().empty());
  }
  EXPECT_EQ(home_.Read(texts::kSettingsFileName.data()), before);
}

const std::string kHeader = "Name\tURL\tSize\tStatus\tPos\tEngine\n";

TEST_F(ResultsCommandsTest, AddShowAndExport) {
  testkit::CommandResult added =
      Cli("add " + ShellQuote(Project()) + " http://h/one.mp3 'Song \"One\"'");
  ASSERT_EQ(added.status, 0) << Err();
  EXPECT_EQ(added.out, kHeader + "Song \"One\"\thttp://h/one.mp3\t???\t" +
                           std::string(texts::kStatusNotVerified) + "\t1\t" +
                           std::string(texts::kHandMadeEngineLabel) + "\n");
  ASSERT_EQ(Cli("add " + ShellQuote(Project()) + " ftp://f/two.mp3").status, 0);

  testkit::CommandResult shown = Cli("show " + ShellQuote(Project()));
  ASSERT_EQ(shown.status, 0) << Err();
  const std::string rows =
      "Song \"One\"\thttp://h/one.mp3\t???\t" + std::string(texts::kStatusNotVerified) + "\t1\t" +
      std::string(texts::kHandMadeEngineLabel) + "\n" + std::string(texts::kEmptyNamePlaceholder) +
      "\tftp://f/two.mp3\t???\t" + std::string(texts::kStatusNotVerified) + "\t1\t" +
      std::string(texts::kHandMadeEngineLabel) + "\n";
  EXPECT_EQ(shown.out.substr(0, 6), "query=");
  EXPECT_NE(shown.out.find("duplicates=remove\nfilter=none\n"), std::string::npos);
  EXPECT_NE(shown.out.find("entries=2\n\n" + kHeader + rows), std::string::npos) << shown.out;

  testkit::CommandResult exported = Cli("export " + ShellQuote(Project()) + " cdf");
  ASSERT_EQ(exported.status, 0) << Err();
  EXPECT_EQ(exported.out, home_.File("rock.cdf") + "\n");
  EXPECT_EQ(home_.Read("rock.cdf"), "\"Song 'One'\",\"http://h/one.mp3\",\"0\",\"" +
                                        std::string(texts::kHandMadeEngineLabel) +
                                        "\",\"\"\n\"\",\"ftp://f/two.mp3\",\"0\",\"" +
                                        std::string(texts::kHandMadeEngineLabel) + "\",\"\"\n");
  ASSERT_EQ(Cli("export " + ShellQuote(Project()) + " htm").status, 0);
  EXPECT_NE(home_.Read("rock.htm").find("<A HREF=\"ftp://f/two.mp3\">"), std::string::npos);
  EXPECT_EQ(Cli("export " + ShellQuote(Project()) + " pdf").status, 2);
  EXPECT_EQ(Cli("export " + ShellQuote(home_.File("none.sdp")) + " txt").status, 1);
  EXPECT_NE(Err().find("none.sdp"), std::string::npos);
}

// The page says which encoding its names are in, so a browser shows "Björk", not "BjÃ¶rk".
TEST_F(ResultsCommandsTest, HtmlExportDeclaresUtf8) {
  ASSERT_EQ(Cli("add " + ShellQuote(Project()) + " http://h/b.mp3 'Bj\xc3\xb6rk'").status, 0);
  ASSERT_EQ(Cli("export " + ShellQuote(Project()) + " htm").status, 0) << Err();
  const std::string page = home_.Read("rock.htm");
  EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos) << page;
  EXPECT_NE(page.find("Bj\xc3\xb6rk"), std::string::npos) << page;
}

TEST_F(ResultsCommandsTest, AddRefusesWhatIsNotHttpOrFtpAndLeavesTheProject) {
  ASSERT_EQ(Cli("add " + ShellQuote(Project()) + " http://h/a.mp3").status, 0);
  const std::string before = home_.Read("rock.sdp");
  for (const char* url :
       {"h/a.mp3", "www.example.com/a.mp3", "file:///etc/passwd", "mailto:x@y", "http://", ""}) {
    SCOPED_TRACE(url);
    testkit::CommandResult refused = Cli("add " + ShellQuote(Project()) + " " + ShellQuote(url));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(Err().find(texts::kAddEntryBadUrl), std::string::npos);
    EXPECT_EQ(home_.Read("rock.sdp"), before);
  }
  // Not created either, and a file that is not a project is never overwritten.
  EXPECT_EQ(Cli("add " + ShellQuote(home_.File("new.sdp")) + " nowhere").status, 1);
  EXPECT_EQ(Cli("show " + ShellQuote(home_.File("new.sdp"))).status, 1);
  home_.Write("notes.txt", "my notes");
  EXPECT_EQ(Cli("add " + ShellQuote(home_.File("notes.txt")) + " http://h/x").status, 1);
  EXPECT_EQ(home_.Read("notes.txt"), "my notes");
}

TEST_F(ResultsCommandsTest, EngineChoiceChangesTheEnabledList) {
  home_.Write(
      "two.def",
      "[Alpha]\nACTION=http://a.local/?q=__QUERY__\nFORMAT=<a href=\"__URL__\">__TITLE__</a>\n\n"
      "[Beta]\nACTION=http://b.local/?q=__QUERY__\nFORMAT=<a href=\"__URL__\">__TITLE__</a>\n");
  ASSERT_EQ(Cli("compile " + ShellQuote(home_.File("two.def")) + " " +
                ShellQuote(home_.File("engines.db")) + " 0")
                .status,
            0)
      << Err();
  testkit::CommandResult disabled = Cli("engines --disable Beta");
  ASSERT_EQ(disabled.status, 0) << Err();
  EXPECT_EQ(disabled.out, "Alpha\tenabled\nBeta\tdisabled\n");
  EngineChoice choice = ReadEngineChoice(home_.path());
  EXPECT_TRUE(choice.fromFile);
  EXPECT_TRUE(choice.Enabled("Alpha"));
  EXPECT_FALSE(choice.Enabled("Beta"));

  EXPECT_EQ(Cli("engines --disable-all").out, "Alpha\tdisabled\nBeta\tdisabled\n");
  EXPECT_EQ(Cli("engines --enable Beta").out, "Alpha\tdisabled\nBeta\tenabled\n");
  EXPECT_EQ(Cli("engines --enable-all").out, "Alpha\tenabled\nBeta\tenabled\n");
  EXPECT_EQ(Cli("engines --enable Gamma").status, 1);
  EXPECT_EQ(Cli("engines --enable").status, 2);
  EXPECT_EQ(Cli("engines --enable-all --disable-all").status, 2);
}

}  // namespace
}  // namespace sondrel
