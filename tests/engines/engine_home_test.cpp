#include "engines/engine_home.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

TEST(EngineHome, SeedsFromTheInstalledDatabaseOnce) {
  testkit::TempDir dir;
  std::filesystem::create_directories(dir.File("prefix/bin"));
  std::filesystem::create_directories(dir.File("prefix/share/sondrel"));
  std::string exeDir = dir.File("prefix/bin");
  std::string home = dir.File("home/sub");

  // Nothing installed: nothing to seed from.
  EXPECT_FALSE(SeedDatabase(home, exeDir));
  EXPECT_FALSE(std::filesystem::exists(DatabasePathInHome(home)));

  // A build directory keeps the database beside the executable.
  dir.Write("prefix/bin/engines.db", "built");
  ASSERT_TRUE(SeedDatabase(home, exeDir));
  EXPECT_EQ(dir.Read("home/sub/engines.db"), "built");

  // The installed share folder comes first, but an existing home database is never replaced.
  dir.Write("prefix/share/sondrel/engines.db", "installed");
  ASSERT_TRUE(SeedDatabase(home, exeDir));
  EXPECT_EQ(dir.Read("home/sub/engines.db"), "built");
  std::string otherHome = dir.File("other");
  ASSERT_TRUE(SeedDatabase(otherHome, exeDir));
  EXPECT_EQ(dir.Read("other/engines.db"), "installed");

  EXPECT_FALSE(SeedDatabase(dir.File("third"), ""));
}

TEST(EngineHome, ExecutableDirectoryHoldsThisTest) {
  std::string exeDir = ExecutableDirectory();
  ASSERT_FALSE(exeDir.empty());
  EXPECT_TRUE(std::filesystem::exists(exeDir + "/engines_engine_home_test"));
}

}  // namespace
}  // namespace sondrel
