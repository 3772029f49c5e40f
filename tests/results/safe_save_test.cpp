#include "results/safe_save.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/record_file.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

// A save killed before its rename leaves its temporary file; the next save of that file
// clears it away, while a file of a save still running is left alone.
TEST(SafeSaveTest, TheNextSaveRemovesWhatAKilledSaveLeft) {
  testkit::TempDir dir;
  const std::string path = dir.File("p.sdp");
  ASSERT_TRUE(WriteRecordFileSafely(path, [](RecordFile& file) { file.WriteU8(1); }));
  for (int run = 0; run < 3; ++run) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      (void)WriteRecordFileSafely(path, [](RecordFile& file) {
        file.WriteU8(2);
        ::kill(::getpid(), SIGKILL);
      });
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
  }
  // Each killed save found the one before it gone.
  ASSERT_EQ(dir.Names().size(), 2u);
  // A temporary file of this very process counts as one being written.
  const std::string mine = "p.sdp.tmp-" + std::to_string(::getpid()) + "-abcdef";
  dir.Write(mine, "in progress");
  dir.Write("p.sdp.tmp-notes", "not ours");

  ASSERT_TRUE(WriteRecordFileSafely(path, [](RecordFile& file) { file.WriteU8(3); }));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"p.sdp", mine, "p.sdp.tmp-notes"}));
  EXPECT_EQ(dir.Read("p.sdp"), "\x03");
}

}  // namespace
}  // namespace sondrel
