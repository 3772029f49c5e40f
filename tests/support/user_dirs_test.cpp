#include "support/user_dirs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "results/results_texts.h"
#include "results/settings.h"
#include "support/paths.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

// Sets the variables the user directories come from for one test, and puts them back.
class UserDirsTest : public ::testing::Test {
 protected:
  UserDirsTest() {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
      ::unsetenv(name);
    }
    ::setenv("HOME", dir_.path().c_str(), 1);
  }
  ~UserDirsTest() override {
    for (std::size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) {
        ::setenv(kNames[i], saved_[i]->c_str(), 1);
      } else {
        ::unsetenv(kNames[i]);
      }
    }
  }
  static constexpr const char* kNames[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                                           "SONDREL_HOME"};
  std::vector<std::optional<std::string>> saved_;
  testkit::TempDir dir_;
};

TEST_F(UserDirsTest, BaseDirectoriesFollowTheVariables) {
  const std::string home = dir_.path();
  struct Case {
    const char* data;
    const char* config;
    std::string wantData;
    std::string wantConfig;
  } cases[] = {
      {nullptr, nullptr, home + "/.local/share/sondrel", home + "/.config/sondrel"},
      {"/x/data", "/x/conf", "/x/data/sondrel", "/x/conf/sondrel"},
      // A relative value is not a base directory and is ignored.
      {"rel/data", "rel/conf", home + "/.local/share/sondrel", home + "/.config/sondrel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wantData);
    c.data ? ::setenv("XDG_DATA_HOME", c.data, 1) : ::unsetenv("XDG_DATA_HOME");
    c.config ? ::setenv("XDG_CONFIG_HOME", c.config, 1) : ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultProgramHome(), c.wantData);
    EXPECT_EQ(UserConfigDirectory(), c.wantConfig);
    EXPECT_TRUE(UsesUserDirectories(c.wantData + "/"));
    EXPECT_FALSE(UsesUserDirectories(home + "/elsewhere"));
  }
  ::setenv("SONDREL_HOME", (home + "/one").c_str(), 1);
  EXPECT_FALSE(UsesUserDirectories(DefaultProgramHome()));
  EXPECT_EQ(SettingsPath(ProgramHome()), home + "/one/" + std::string(texts::kSettingsFileName));
  EXPECT_EQ(DefaultDownloadDirectory(ProgramHome()), home + "/one/downloads");
}

TEST_F(UserDirsTest, SettingsMoveToTheConfigDirectoryOnce) {
  const std::string oldPath = DefaultProgramHome() + "/" + std::string(texts::kSettingsFileName);
  const std::string newPath = UserConfigDirectory() + "/" + std::string(texts::kSettingsFileName);
  ASSERT_TRUE(MakeDirectories(DefaultProgramHome()));
  ASSERT_EQ(FileWriteAll(oldPath, "old settings"), 12);

  EXPECT_EQ(SettingsPath(ProgramHome()), newPath);
  std::string moved;
  ASSERT_TRUE(FileReadAll(newPath, moved));
  EXPECT_EQ(moved, "old settings");
  EXPECT_LT(FileLengthOf(oldPath), 0);

  // A file left behind later does not replace the one in use.
  ASSERT_EQ(FileWriteAll(oldPath, "stale"), 5);
  EXPECT_EQ(SettingsPath(ProgramHome()), newPath);
  ASSERT_TRUE(FileReadAll(newPath, moved));
  EXPECT_EQ(moved, "old settings");
}

TEST_F(UserDirsTest, DownloadsGoToTheUsersDownloadDirectory) {
  // xdg-user-dir reads this file; without the program the fallback is ~/Downloads.
  ASSERT_TRUE(MakeDirectories(dir_.File(".config")));
  dir_.Write(".config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n");
  const bool haveTool = std::system("command -v xdg-user-dir >/dev/null 2>&1") == 0;
  const std::string want = dir_.path() + (haveTool ? "/Fetched" : "/Downloads");
  EXPECT_EQ(UserDownloadDirectory(), want);
  EXPECT_EQ(DefaultDownloadDirectory(ProgramHome()), want + "/Sondrel");
}

}  // namespace
}  // namespace sondrel
