// config, add, show, export and the engine choice through the real sondrel-cli.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "results/project_file.h"
#include "results/results_texts.h"
#include "results/settings.h"
#include "testkit/scripted_http_server.h"
#include "testkit/scripted_tls_server.h"
#include "testkit/temp_dir.h"
#include "testkit/test_certificates.h"

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
  // engines.db in the home with the engines Alpha and Beta.
  void CompileTwoEngines() {
    home_.Write(
        "two.def",
        "[Alpha]\nACTION=http://a.local/?q=__QUERY__\nFORMAT=<a href=\"__URL__\">__TITLE__</a>\n\n"
        "[Beta]\nACTION=http://b.local/?q=__QUERY__\nFORMAT=<a href=\"__URL__\">__TITLE__</a>\n");
    ASSERT_EQ(Cli("compile " + ShellQuote(home_.File("two.def")) + " " +
                  ShellQuote(home_.File("engines.db")) + " 0")
                  .status,
              0)
        << Err();
  }

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
    const char* told;  // part of the message
  } refused[] = {
      {"config maxConnections lots", 2, "from 1 to 20"},
      {"config maxConnections 70000", 2, "from 1 to 20"},
      {"config maxConnections 0", 2, "from 1 to 20"},
      {"config maxConnections 21", 2, "from 1 to 20"},
      {"config timeoutSeconds 0", 2, "from 5 to 500"},
      {"config timeoutSeconds 4", 2, "from 5 to 500"},
      {"config timeoutSeconds 501", 2, "from 5 to 500"},
      {"config webProxyPort 65536", 2, "from 0 to 65535"},
      {"config showToolbar 2", 2, "0 or 1"},
      {"config noSuchKey", 2, "noSuchKey"},
      {"config enabledEngines A", 2, "enabledEngines"},
      {"config a b c", 2, "at most"},
  };
  const std::string before = home_.Read(texts::kSettingsFileName.data());
  for (const Case& c : refused) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(Cli(c.arguments).status, c.status);
    EXPECT_NE(Err().find(c.told), std::string::npos) << Err();
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
  ASSERT_NO_FATAL_FAILURE(CompileTwoEngines());
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

// Many processes changing one file at once: each change is made on what the one before left.
TEST_F(ResultsCommandsTest, ConcurrentAddsAndConfigsLoseNothing) {
  const std::string cli = std::string(SONDREL_CLI) + " --home " + ShellQuote(home_.path());
  std::string adds = "fail=0; pids=;";
  for (int i = 0; i < 20; ++i) {
    adds += cli + " add " + ShellQuote(Project()) + " http://h/" + std::to_string(i) +
            ".mp3 >/dev/null & pids=\"$pids $!\";";
  }
  adds += " for p in $pids; do wait $p || fail=1; done; exit $fail";
  ASSERT_EQ(RunCommand(adds).status, 0);
  SearchDocument document;
  ASSERT_EQ(LoadDocument(Project(), document), kLoadOk);
  EXPECT_EQ(document.entries.Count(), 20);

  const std::vector<std::pair<std::string, std::string>> keys = {
      {"maxConnections", "12"},   {"timeoutSeconds", "95"}, {"maxResultsPerEngine", "33"},
      {"maxResultsTotal", "444"}, {"webProxyPort", "3128"}, {"ftpProxyPort", "2121"},
      {"showToolbar", "0"},       {"showStatusBar", "0"},   {"webProxyAddress", "proxy"},
      {"browserPath", "/bin/b"},  {"showAbout", "1"},       {"verifyAfterSearch", "0"},
  };
  std::string configs = "fail=0; pids=;";
  for (const auto& [key, value] : keys) {
    configs += cli + " config " + key + " " + value + " & pids=\"$pids $!\";";
  }
  configs += " for p in $pids; do wait $p || fail=1; done; exit $fail";
  ASSERT_EQ(RunCommand(configs).status, 0);
  for (const auto& [key, value] : keys) {
    SCOPED_TRACE(key);
    EXPECT_EQ(Cli("config " + key).out, key + "=" + value + "\n");
  }
}

// A key set with config takes the engine out of "key missing": the search asks its server with
// the key, yet the key shows in no output and in none of the captured pages.
TEST_F(ResultsCommandsTest, EngineKeySetByConfigReachesTheEngineOnly) {
  const std::string secret = "S3cretClientId";
  testkit::ScriptedHttpServer server(std::vector<testkit::ScriptedReply>{{testkit::HttpReply(
      "HTTP/1.0 200 OK", "Content-Type: text/html\r\n", "<a href=\"/x.mp3\">X</a>")}});
  home_.Write("keyed.def", "[Keyed]\nACTION=" + server.Url("/find?q=__QUERY__&id=__KEY__") +
                               "\nFORMAT=<a href=\"__URL__\">__TITLE__</a>\n");
  ASSERT_EQ(Cli("compile " + ShellQuote(home_.File("keyed.def")) + " " +
                ShellQuote(home_.File("keyed.db")) + " 0")
                .status,
            0);
  const std::string search =
      "search --db " + ShellQuote(home_.File("keyed.db")) + " --no-verify --no-save rock";

  testkit::CommandResult keyless = Cli(search);
  EXPECT_NE(keyless.err.find("Keyed: skipped"), std::string::npos) << keyless.err;
  EXPECT_EQ(server.Connections(), 0);

  ASSERT_EQ(Cli("config engineKey.Keyed " + secret).status, 0) << Err();
  const testkit::CommandResult keyed = Cli(search + " --capture");
  ASSERT_EQ(keyed.status, 0) << keyed.err;
  EXPECT_NE(keyed.err.find("Keyed: done"), std::string::npos) << keyed.err;
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_NE(server.Requests()[0].find("&id=" + secret + " "), std::string::npos);

  const std::string printed = keyed.out + keyed.err + Cli("config").out +
                              Cli("config engineKeys").out + Cli("config engineKey.Keyed").out;
  EXPECT_EQ(printed.find(secret), std::string::npos) << printed;
  EXPECT_NE(printed.find("engineKeys=Keyed=***\n"), std::string::npos) << printed;
  // Only the settings file holds the key, though the pages were captured.
  EXPECT_NE(RunCommand("find " + ShellQuote(home_.File("search")) + " -type f").out, "");
  const testkit::CommandResult holders =
      RunCommand("grep -rl " + ShellQuote(secret) + " " + ShellQuote(home_.path()));
  EXPECT_EQ(holders.out, SettingsPath(home_.path()) + "\n");

  // A key the settings file would cut is refused, and the one stored stays.
  EXPECT_EQ(Cli("config engineKey.Keyed " + std::string(5000, 'k')).status, 2);
  EXPECT_NE(Err().find("would not fit"), std::string::npos) << Err();
  Settings stored;
  SettingsDefaults(stored, home_.path());
  ASSERT_TRUE(ReadSettings(SettingsPath(home_.path()), stored));
  EXPECT_EQ(EngineKey(stored, "Keyed"), secret);

  ASSERT_EQ(Cli("config engineKey.Keyed ''").status, 0);
  EXPECT_EQ(Cli("config engineKey.Keyed").out, "engineKey.Keyed=\n");
  EXPECT_NE(Cli(search).err.find("Keyed: skipped"), std::string::npos) << Err();
}

// caFile is stored as an absolute path to a file that can be read, the https requests of
// later runs trust it, and "" clears it.
TEST_F(ResultsCommandsTest, ConfigCaFileIsTrustedByLaterRuns) {
  testkit::TestCertificates certificates;
  ASSERT_TRUE(certificates.ok());
  testkit::ScriptedTlsServer server(certificates.valid(),
                                    {{testkit::HttpReply("HTTP/1.1 200 OK", "", "secret")}});
  ASSERT_TRUE(server.ok());
  const std::string fetch = "fetch -q " + ShellQuote(server.Url("/f"));
  home_.Write("extra.pem", RunCommand("cat " + ShellQuote(certificates.caFile())).out);

  const testkit::CommandResult set =
      RunCommand("cd " + ShellQuote(home_.path()) + " && " + ShellQuote(SONDREL_CLI) +
                 " --home . config caFile extra.pem");
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(Cli("config caFile").out, "caFile=" + home_.File("extra.pem") + "\n");
  EXPECT_EQ(Cli(fetch).out, "secret") << Err();

  for (const char* refused : {"/no/such.pem", "/"}) {
    SCOPED_TRACE(refused);
    EXPECT_EQ(Cli(std::string("config caFile ") + refused).status, 2);
    EXPECT_NE(Err().find("cannot read"), std::string::npos) << Err();
  }
  EXPECT_EQ(Cli("config caFile ''").status, 0);
  EXPECT_EQ(Cli("config caFile").out, "caFile=\n");
  EXPECT_EQ(Cli(fetch).status, 1);
  EXPECT_NE(Err().find("unknown issuer"), std::string::npos) << Err();
}

// A search reads the settings when it starts and saves them when it ends; a config change made
// in between must survive that save.
TEST_F(ResultsCommandsTest, ASearchKeepsAConfigChangeMadeWhileItRan) {
  std::mutex mutex;
  std::condition_variable wake;
  bool asked = false, changed = false;
  testkit::ScriptedHttpServer server([&](int, const std::string&) -> testkit::ScriptedReply {
    std::unique_lock lock(mutex);
    asked = true;
    wake.notify_all();
    wake.wait_for(lock, std::chrono::seconds(10), [&] { return changed; });
    return {testkit::HttpReply("HTTP/1.0 200 OK", "Content-Type: text/html\r\n",
                               "<a href=\"/x.mp3\">X</a>"),
            false};
  });
  home_.Write("one.def", "[Pages]\nACTION=" + server.Url("/find?q=__QUERY__") +
                             "\nFORMAT=<a href=\"__URL__\">__TITLE__</a>\n");
  ASSERT_EQ(Cli("compile " + ShellQuote(home_.File("one.def")) + " " +
                ShellQuote(home_.File("one.db")) + " 0")
                .status,
            0);
  ASSERT_EQ(Cli("config timeoutSeconds 30").status, 0);
  testkit::CommandResult searched;
  std::thread search([&] {
    searched = RunCommand(std::string(SONDREL_CLI) + " --home " + ShellQuote(home_.path()) +
                          " --quiet search --db " + ShellQuote(home_.File("one.db")) +
                          " --no-verify --no-save rock");
  });
  {
    std::unique_lock lock(mutex);
    wake.wait_for(lock, std::chrono::seconds(20), [&] { return asked; });
  }
  EXPECT_EQ(Cli("config maxConnections 12").status, 0);
  {
    std::lock_guard lock(mutex);
    changed = true;
  }
  wake.notify_all();
  search.join();
  ASSERT_EQ(searched.status, 0) << searched.err;
  EXPECT_EQ(Cli("config maxConnections").out, "maxConnections=12\n");
  EXPECT_EQ(Cli("config timeoutSeconds").out, "timeoutSeconds=30\n");
  EXPECT_EQ(Cli("config searchHistory").out, "searchHistory=rock\n");
}

// A settings file this version cannot read is kept under another name before a change replaces
// it, and the user is told where.
TEST_F(ResultsCommandsTest, ConfigKeepsASettingsFileThatDoesNotRead) {
  const std::string magic(texts::kSettingsMagic);
  const std::string newer = magic.substr(0, magic.size() - 1) + "\x02" + "future fields";
  struct Case {
    const char* what;
    std::string bytes;
    const char* suffix;
  } cases[] = {
      {"newer version", newer, ".newer-"},
      {"foreign", "not settings at all", ".unreadable-"},
      {"damaged", magic + std::string("\x07\x00\x3c", 3), ".unreadable-"},
  };
  const std::string name(texts::kSettingsFileName);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testkit::TempDir home;
    home.Write(name, c.bytes);
    testkit::CommandResult changed = RunCommand(std::string(SONDREL_CLI) + " --home " +
                                                ShellQuote(home.path()) + " config showAbout 1");
    ASSERT_EQ(changed.status, 0) << changed.err;
    std::string kept;
    for (const std::string& file : home.Names()) {
      if (file.starts_with(name + c.suffix)) kept = file;
    }
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(home.Read(kept), c.bytes);
    EXPECT_NE(changed.err.find(home.File(kept)), std::string::npos) << changed.err;
    Settings settings;
    SettingsDefaults(settings, home.path());
    ASSERT_EQ(LoadSettingsFile(SettingsPath(home.path()), settings), SettingsFileState::kRead);
    EXPECT_EQ(settings.showAbout, 1);
  }
}

// An unrelated change on a fresh home leaves every engine enabled.
TEST_F(ResultsCommandsTest, ConfigOnAFreshHomeKeepsEveryEngineEnabled) {
  ASSERT_NO_FATAL_FAILURE(CompileTwoEngines());
  ASSERT_EQ(Cli("config timeoutSeconds 30").status, 0) << Err();
  EXPECT_EQ(Cli("engines").out, "Alpha\tenabled\nBeta\tenabled\n");
  EXPECT_EQ(Cli("engines --disable Beta").out, "Alpha\tenabled\nBeta\tdisabled\n");
  ASSERT_EQ(Cli("config timeoutSeconds 40").status, 0) << Err();
  EXPECT_EQ(Cli("engines").out, "Alpha\tenabled\nBeta\tdisabled\n");
  EXPECT_EQ(Cli("engines --disable-all").status, 0);
  EXPECT_EQ(Cli("engines").out, "Alpha\tdisabled\nBeta\tdisabled\n");
}

}  // namespace
}  // namespace sondrel
