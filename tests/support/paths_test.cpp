#include "support/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

TEST(PathsTest, ShortenMiddle) {
  const std::string twenty = "abcdefghijklmnopqrst";
  EXPECT_EQ(ShortenMiddle(twenty, 10), "abc...rst");
  EXPECT_EQ(ShortenMiddle(twenty, 11), "abcd...qrst");
  EXPECT_EQ(ShortenMiddle(twenty, 20), twenty);
  EXPECT_EQ(ShortenMiddle(twenty, 25), twenty);
  EXPECT_EQ(ShortenMiddle(twenty, 5), "a...t");
  EXPECT_EQ(ShortenMiddle(twenty, 4), "...");
  EXPECT_EQ(ShortenMiddle(twenty, 0), "...");
}

TEST(PathsTest, PathParts) {
  struct Case {
    const char* path;
    const char* fileName;
    const char* directory;
    const char* withTxt;
  };
  for (const Case& c : {Case{"/a/b/c.mp3", "c.mp3", "/a/b", "/a/b/c.txt"},
                        Case{"/c.mp3", "c.mp3", "/", "/c.txt"},
                        Case{"c.mp3", "c.mp3", "c.mp3", "c.txt"},
                        Case{"a/", "", "a", "a/.txt"},
                        Case{"dir.d/song", "song", "dir.d", "dir.d/song.txt"},
                        Case{"a/.hidden", ".hidden", "a", "a/.hidden.txt"},
                        Case{"a.b.c", "a.b.c", "a.b.c", "a.b.txt"},
                        Case{"", "", "", ".txt"}}) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(PathFileName(c.path), c.fileName);
    EXPECT_EQ(PathDirectory(c.path), c.directory);
    EXPECT_EQ(PathChangeExt(c.path, ".txt"), c.withTxt);
  }
  EXPECT_EQ(PathCombine("/home/u/list.txt", "x/y/song.mp3"), "/home/u/song.mp3");
  EXPECT_EQ(PathCombine("list.txt", "song.mp3"), "song.mp3");
  EXPECT_EQ(PathCombine("/music/", "a/b.ogg"), "/music/b.ogg");
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  return names;
}

TEST(PathsTest, WholeFileWritesAndReads) {
  testkit::TempDir dir;
  const std::string path = dir.File("data.bin");
  const std::string data("a\0b\xff", 4);
  EXPECT_EQ(FileWriteAll(path, data), 4);
  EXPECT_EQ(FileLengthOf(path), 4);
  std::string back;
  EXPECT_TRUE(FileReadAll(path, back));
  EXPECT_EQ(back, data);
  EXPECT_EQ(FileWriteAll(path, "x"), 1);  // truncates
  EXPECT_EQ(FileLengthOf(path), 1);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0133, 0u);  // never executable, never writable by others

  EXPECT_LT(FileWriteAll(dir.File("missing/x"), "x"), 1);
  EXPECT_EQ(FileLengthOf(dir.File("missing")), -1);
  EXPECT_EQ(FileLengthOf(dir.path()), -1);
  EXPECT_FALSE(FileReadAll(dir.File("missing"), back));
}

TEST(PathsTest, FileReplaceAllNeverLeavesAHalfWrittenFile) {
  testkit::TempDir dir;
  const std::string path = dir.File("settings");
  dir.Write("settings", "old contents");
  EXPECT_EQ(FileReplaceAll(path, "new"), 1);
  EXPECT_EQ(dir.Read("settings"), "new");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"settings"});

  // The rename fails over a directory: nothing is replaced and no temporary file stays.
  ASSERT_TRUE(MakeDirectories(dir.File("taken")));
  EXPECT_EQ(FileReplaceAll(dir.File("taken"), "x"), 0);
  struct stat st {};
  ASSERT_EQ(stat(dir.File("taken").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(Names(dir.path()).size(), 2u);
  EXPECT_EQ(FileReplaceAll(dir.File("missing/x"), "x"), 0);
}

TEST(PathsTest, MakeDirectories) {
  testkit::TempDir dir;
  EXPECT_TRUE(MakeDirectories(dir.File("a/b/c")));
  EXPECT_TRUE(MakeDirectories(dir.File("a/b/c")));  // existing is fine
  EXPECT_TRUE(MakeDirectories(dir.File("a//d/")));
  dir.Write("file", "x");
  EXPECT_FALSE(MakeDirectories(dir.File("file")));
  EXPECT_FALSE(MakeDirectories(dir.File("file/sub")));
  EXPECT_FALSE(MakeDirectories(""));
}

TEST(PathsTest, ProgramHomeFollowsTheEnvironment) {
  testkit::TempDir dir;
  setenv("SONDREL_HOME", dir.File("explicit/home").c_str(), 1);
  EXPECT_EQ(ProgramHome(), dir.File("explicit/home"));
  struct stat st {};
  EXPECT_EQ(stat(dir.File("explicit/home").c_str(), &st), 0);

  setenv("SONDREL_HOME", "", 1);  // empty counts as unset
  setenv("XDG_DATA_HOME", dir.File("xdg").c_str(), 1);
  EXPECT_EQ(ProgramHome(), dir.File("xdg/sondrel"));

  unsetenv("SONDREL_HOME");
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", dir.File("user").c_str(), 1);
  EXPECT_EQ(ProgramHome(), dir.File("user/.local/share/sondrel"));
  EXPECT_EQ(stat(dir.File("user/.local/share/sondrel").c_str(), &st), 0);
}

}  // namespace
}  // namespace sondrel
