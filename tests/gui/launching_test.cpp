#include "shell/launching.h"
#include "shell/manual.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "support/modal.h"
#include "support/paths.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using Words = std::vector<std::string>;

TEST(BrowserArgv, PlaceholderRules) {
  const std::string a = "http://example.org/a b.mp3";
  struct Case {
    std::string command;
    Words argv;
  } cases[] = {
      {R"("/opt/My Browser/browser" %1)", {"/opt/My Browser/browser", a}},
      {R"("/opt/b" -nohome)", {"/opt/b", "ohome", a}},
      {"/opt/b", {"/opt/b", a}},
      // The program word keeps its signs; browsers here are often named with a minus.
      {"/usr/lib/firefox-esr/firefox-esr %1 --tail", {"/usr/lib/firefox-esr/firefox-esr", a}},
      {"/opt/b --url=%1", {"/opt/b", "url=" + a}},
      {R"(/opt/b "%1" rest)", {"/opt/b", a}},
      {"/opt/b -h rest", {"/opt/b", a}},
      {"/opt/b -x -", {"/opt/b", a}},
      {R"(/opt/b "unterminated)", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(detail::BrowserArgv(c.command, a), c.argv);
  }
  // A hostile address stays one element, wherever the mark is.
  const std::string hostile = R"(a "b" 'c'; touch x $(touch y) `touch z`)";
  EXPECT_EQ(detail::BrowserArgv("/opt/b %1", hostile), (Words{"/opt/b", hostile}));
  EXPECT_EQ(detail::BrowserArgv("/opt/b", hostile), (Words{"/opt/b", hostile}));
}

TEST(BrowserCommand, CutAndExecConversion) {
  const std::pair<std::string, std::string> cuts[] = {
      {R"("/opt/My Browser/browser" -nohome)", R"("/opt/My Browser/browser")"},
      {"/usr/lib/firefox-esr/firefox-esr %1", "/usr/lib/firefox-esr/firefox-esr"},
      {"/opt/b --new-window %1", "/opt/b"},
      {"  /opt/b  ", "/opt/b"},
  };
  for (const auto& [command, cut] : cuts) {
    SCOPED_TRACE(command);
    EXPECT_EQ(detail::CutBrowserCommand(command), cut);
  }
  const std::pair<std::string, std::string> execs[] = {
      {"firefox %u", "firefox %1"},
      {"app %F --icon %i %c %k 100%% %", "app %1 --icon    100% "},
  };
  for (const auto& [exec, command] : execs) {
    SCOPED_TRACE(exec);
    EXPECT_EQ(detail::BrowserCommandFromExec(exec), command);
  }
}

TEST(SplitCommandLine, Quoting) {
  Words words;
  ASSERT_TRUE(detail::SplitCommandLine(R"( "/opt/a b/c" 'd "e"' f\ g "h\"i\x" '' )", words));
  EXPECT_EQ(words, (Words{"/opt/a b/c", R"(d "e")", "f g", R"(h"i\x)", ""}));
  EXPECT_FALSE(detail::SplitCommandLine(R"(prog 'open)", words));
}

// Environment variables set for one test and put back afterwards.
class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"PATH", "HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME",
                             "XDG_DATA_DIRS", "XDG_CURRENT_DESKTOP"}) {
      const char* value = std::getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    ASSERT_TRUE(MakeDirectories(dir_.File("bin")));
    ::setenv("HOME", dir_.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", dir_.File("etc-xdg").c_str(), 1);
    ::setenv("XDG_DATA_HOME", dir_.File("data").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", dir_.File("share").c_str(), 1);
    ::unsetenv("XDG_CURRENT_DESKTOP");
    ::setenv("PATH", (dir_.File("bin") + ":/usr/bin:/bin").c_str(), 1);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

  void WriteFile(const std::string& path, const std::string& text) {
    ASSERT_TRUE(MakeDirectories(PathDirectory(path)));
    ASSERT_GT(FileWriteAll(path, text), 0);
  }
  // A program that records its arguments (count first, one a line) in record, then exits.
  std::string Recorder(const std::string& name, const std::string& record, int exitCode = 0) {
    const std::string path = dir_.File(name);
    WriteFile(path, "#!/bin/sh\nPATH=/usr/bin:/bin\nprintf '%s\\n' \"$#\" \"$@\" > '" + record +
                        ".tmp' && mv '" + record + ".tmp' '" + record + "'\nexit " +
                        std::to_string(exitCode) + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
  }
  Words Recorded(const std::string& record) {
    if (!guitest::WaitUntil([&] { return FileLengthOf(record) >= 0; }, 5000)) return {};
    std::string text;
    if (!FileReadAll(record, text)) return {};
    Words lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
      lines.push_back(text.substr(start, nl - start));
    }
    ::unlink(record.c_str());
    return lines;
  }
  void DefaultBrowser(const std::string& mimeappsDir, const std::string& value) {
    WriteFile(mimeappsDir + "/mimeapps.list",
              "[Added Associations]\nx-scheme-handler/http=other.desktop\n\n"
              "[Default Applications]\n# the user's choice\nx-scheme-handler/http=" + value + "\n");
  }
  void DesktopEntry(const std::string& name, const std::string& exec) {
    WriteFile(dir_.File("share/applications/" + name),
              "[Desktop Action New]\nExec=/wrong %u\n[Desktop Entry]\nType=Application\n"
              "Name=Browser\nExec=" + exec + "\n");
  }

  testkit::TempDir dir_;
  std::map<std::string, std::optional<std::string>> saved_;
};

const Words kHostile = {
    "a b",
    R"(it's "quoted")",
    "x; touch MARK",
    "$(touch MARK)",
    "`touch MARK`",
    "http://h/a b?x=1&y=2|touch MARK",
};

std::string WithMark(std::string text, const std::string& mark) {
  for (std::size_t at; (at = text.find("MARK")) != std::string::npos;) text.replace(at, 4, mark);
  return text;
}

TEST_F(LaunchTest, DetectsTheDefaultBrowserFromItsDesktopEntry) {
  std::string out = "stale";
  EXPECT_FALSE(DetectBrowser(out));
  EXPECT_EQ(out, "");

  const std::string record = dir_.File("browser-args");
  const std::string browser = Recorder("My Browser/browser", record);
  DesktopEntry("my-browser.desktop", "\"" + browser + "\" -nohome %u");
  DesktopEntry("fallback.desktop", "/opt/fallback %u");
  // The user's own list wins over the system's; a missing entry is passed over.
  DefaultBrowser(dir_.File("share/applications"), "fallback.desktop");
  DefaultBrowser(dir_.File("config"), "missing.desktop;my-browser.desktop;");
  ASSERT_TRUE(DetectBrowser(out));
  EXPECT_EQ(out, "\"" + browser + "\"");

  ASSERT_TRUE(OpenWithBrowser("http://example.org/x y"));
  EXPECT_EQ(Recorded(record), (Words{"1", "http://example.org/x y"}));
}

TEST_F(LaunchTest, RunWithArgumentPassesHostileTextAsOneArgument) {
  const std::string record = dir_.File("args");
  const std::string mark = dir_.File("mark");
  const std::string program = "\"" + Recorder("dir with space/prog", record) + "\"";
  for (const std::string& pattern : kHostile) {
    const std::string argument = WithMark(pattern, mark);
    SCOPED_TRACE(argument);
    ASSERT_TRUE(RunWithArgument(program, argument));
    EXPECT_EQ(Recorded(record), (Words{"1", argument}));
    EXPECT_LT(FileLengthOf(mark), 0) << "something else ran";
  }
  EXPECT_FALSE(RunWithArgument(dir_.File("no such program"), "x"));
  EXPECT_FALSE(RunWithArgument("'unterminated", "x"));
  EXPECT_FALSE(RunWithArgument(program, std::string(detail::kMaxRunCommandLine, 'a')));
}

TEST_F(LaunchTest, LaunchUrlUsesTheOpenerThenTheBrowserCommand) {
  const std::string opened = dir_.File("opened");
  const std::string mark = dir_.File("mark");
  const std::string opener = Recorder("bin/xdg-open", opened);
  for (const std::string& pattern : kHostile) {
    const std::string target = WithMark(pattern, mark);
    SCOPED_TRACE(target);
    ASSERT_TRUE(LaunchUrl(target));
    EXPECT_EQ(Recorded(opened), (Words{"1", target}));
    EXPECT_LT(FileLengthOf(mark), 0) << "something else ran";
  }

  // The opener fails: the default browser's command takes the address at its mark.
  const std::string browsed = dir_.File("browsed");
  Recorder("bin/xdg-open", opened, 3);
  DesktopEntry("b.desktop", Recorder("browser", browsed) + " --url=%u --rest");
  DefaultBrowser(dir_.File("config"), "b.desktop");
  const std::string target = WithMark("http://h/x; touch MARK", mark);
  ASSERT_TRUE(LaunchUrl(target));
  EXPECT_EQ(Recorded(opened), (Words{"1", target}));
  EXPECT_EQ(Recorded(browsed), (Words{"1", "url=" + target}));
  EXPECT_LT(FileLengthOf(mark), 0);

  // Neither opener nor browser.
  ::unlink(opener.c_str());
  ::unlink(dir_.File("config/mimeapps.list").c_str());
  EXPECT_FALSE(LaunchUrl("http://h/"));
  EXPECT_FALSE(LaunchUrl(""));
}

TEST_F(LaunchTest, StartedProgramsGetOnlyTheStandardDescriptors) {
  const std::string listing = dir_.File("fds");
  const std::string program = dir_.File("list-fds");
  WriteFile(program, "#!/bin/sh\nPATH=/usr/bin:/bin\nls -l /proc/$$/fd > '" + listing +
                         ".tmp'; mv '" + listing + ".tmp' '" + listing + "'\n");
  ::chmod(program.c_str(), 0755);
  WriteFile(dir_.File("leak-marker"), "x");
  const int inherited = ::open(dir_.File("leak-marker").c_str(), O_RDONLY);  // no O_CLOEXEC
  ASSERT_GE(inherited, 0);
  ASSERT_TRUE(RunWithArgument(program, "x"));
  ASSERT_TRUE(guitest::WaitUntil([&] { return FileLengthOf(listing) >= 0; }, 5000));
  ::close(inherited);
  std::string fds;
  ASSERT_TRUE(FileReadAll(listing, fds));
  EXPECT_EQ(fds.find("leak-marker"), std::string::npos) << fds;
}

TEST_F(LaunchTest, WaitChildReportsTheExitStatus) {
  const detail::Child child = detail::SpawnProgram({"sh", "-c", "exit 7"});
  ASSERT_GT(child.pid, 0);
  int status = 0;
  ASSERT_TRUE(detail::WaitChild(child, 5000, status));
  EXPECT_EQ(status, 7);
  EXPECT_EQ(detail::SpawnProgram({"/nonexistent/program"}).pid, -1);
}

TEST(ManualIndexPath, FindsTheManual) {
  const std::string path = ManualIndexPath();
  ASSERT_FALSE(path.empty());
  std::string page;
  ASSERT_TRUE(FileReadAll(path, page));
  EXPECT_NE(page.find("Keyboard shortcuts"), std::string::npos);
}

}  // namespace
}  // namespace sondrel
