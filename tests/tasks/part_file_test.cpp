#include "tasks/part_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/paths.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

class PartFileTest : public ::testing::Test {
 protected:
  std::string Target() const { return dir_.File("song.mp3"); }
  testkit::TempDir dir_;
  NetFailure failure_;
};

TEST_F(PartFileTest, TakesTheFinalNameOnlyOnCommit) {
  PartFile part;
  ASSERT_EQ(part.Open(Target(), failure_), PartOpen::kOpened);
  ASSERT_TRUE(part.WriteRecord({"http://h/song.mp3", "\"v1\""}));
  ASSERT_TRUE(FdWriteAll(part.fd(), "first half"));
  EXPECT_FALSE(PathExists(Target()));  // a cut-off file never looks finished
  EXPECT_EQ(part.Length(), 10);

  PartRecord record;
  ASSERT_TRUE(ReadPartRecordOf(Target(), record));
  EXPECT_EQ(record.url, "http://h/song.mp3");
  EXPECT_EQ(record.validator, "\"v1\"");
  // A record that would need two lines for one value is not kept at all.
  EXPECT_FALSE(part.WriteRecord({"http://h/a\nvalidator=forged", ""}));
  EXPECT_FALSE(ReadPartRecordOf(Target(), record));

  ASSERT_TRUE(part.Restart());
  ASSERT_TRUE(FdWriteAll(part.fd(), "whole"));
  ASSERT_TRUE(part.Commit(false, failure_));
  EXPECT_EQ(dir_.Read("song.mp3"), "whole");
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"song.mp3"});
}

TEST_F(PartFileTest, AnExistingFileIsReplacedOnlyWhenAllowed) {
  dir_.Write("song.mp3", "mine");
  PartFile part;
  ASSERT_EQ(part.Open(Target(), failure_), PartOpen::kOpened);
  ASSERT_TRUE(FdWriteAll(part.fd(), "theirs"));
  EXPECT_FALSE(part.Commit(false, failure_));
  EXPECT_EQ(failure_.kind, FailureKind::kLocalFile);
  EXPECT_EQ(dir_.Read("song.mp3"), "mine");
  EXPECT_EQ(dir_.Read("song.mp3.part"), "theirs");  // nothing lost either way
  ASSERT_TRUE(part.Commit(true, failure_));
  EXPECT_EQ(dir_.Read("song.mp3"), "theirs");
}

TEST_F(PartFileTest, ASecondDownloadOfTheSameFileIsKeptOut) {
  PartFile first;
  ASSERT_EQ(first.Open(Target(), failure_), PartOpen::kOpened);
  PartFile second;
  EXPECT_EQ(second.Open(Target(), failure_), PartOpen::kBusy);
  EXPECT_NE(failure_.detail.find("already being downloaded"), std::string::npos);
  first.Close();
  EXPECT_EQ(second.Open(Target(), failure_), PartOpen::kOpened);
}

TEST_F(PartFileTest, PlantedLinksAreNeverFollowed) {
  dir_.Write("outside", "keep me");
  ASSERT_EQ(::symlink(dir_.File("outside").c_str(), dir_.File("song.mp3.part").c_str()), 0);
  PartFile part;
  EXPECT_EQ(part.Open(Target(), failure_), PartOpen::kRefused);
  EXPECT_NE(failure_.detail.find("symbolic link"), std::string::npos);

  // A link with the final name is replaced itself, when at all; its target stays.
  ASSERT_EQ(::unlink(dir_.File("song.mp3.part").c_str()), 0);
  ASSERT_EQ(::symlink(dir_.File("outside").c_str(), Target().c_str()), 0);
  EXPECT_TRUE(PathExists(Target()));
  ASSERT_EQ(part.Open(Target(), failure_), PartOpen::kOpened);
  ASSERT_TRUE(FdWriteAll(part.fd(), "new"));
  EXPECT_FALSE(part.Commit(false, failure_));
  ASSERT_TRUE(part.Commit(true, failure_));
  EXPECT_EQ(dir_.Read("song.mp3"), "new");
  EXPECT_EQ(dir_.Read("outside"), "keep me");
}

TEST_F(PartFileTest, EmptyPartsLeaveNothingAndDevicesAreWrittenDirectly) {
  {
    PartFile part;
    ASSERT_EQ(part.Open(Target(), failure_), PartOpen::kOpened);
    ASSERT_TRUE(part.WriteRecord({"http://h/song.mp3", ""}));
    part.DiscardIfEmpty();
  }
  EXPECT_TRUE(dir_.Names().empty());

  PartFile device;
  ASSERT_EQ(device.Open("/dev/null", failure_), PartOpen::kOpened);
  EXPECT_TRUE(device.direct());
  EXPECT_TRUE(device.Restart());
  EXPECT_TRUE(FdWriteAll(device.fd(), "gone"));
  EXPECT_TRUE(device.Commit(false, failure_));

  PartFile missing;
  EXPECT_EQ(missing.Open(dir_.File("no/such/dir/a.mp3"), failure_), PartOpen::kRefused);
}

TEST_F(PartFileTest, FreeNamesSkipOtherFilesAndOtherAddressesParts) {
  const std::string url = "http://h/song.mp3";
  EXPECT_EQ(FreeDownloadName(Target(), url), Target());
  dir_.Write("song.mp3", "taken");
  EXPECT_EQ(FreeDownloadName(Target(), url), dir_.File("song (1).mp3"));
  // A part of another address is someone else's download; one of this address is ours.
  dir_.Write("song (1).mp3.part", "other");
  dir_.Write("song (1).mp3.part.meta", "url=http://elsewhere/song.mp3\nvalidator=\n");
  EXPECT_EQ(FreeDownloadName(Target(), url), dir_.File("song (2).mp3"));
  dir_.Write("song (1).mp3.part.meta", "url=" + url + "\nvalidator=\n");
  EXPECT_EQ(FreeDownloadName(Target(), url), dir_.File("song (1).mp3"));

  dir_.Write("index", "x");
  EXPECT_EQ(FreeDownloadName(dir_.File("index"), url), dir_.File("index (1)"));
  dir_.Write(".hidden", "x");
  EXPECT_EQ(FreeDownloadName(dir_.File(".hidden"), url), dir_.File(".hidden (1)"));
}

}  // namespace
}  // namespace sondrel
