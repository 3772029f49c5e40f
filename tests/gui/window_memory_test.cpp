// The window's place between runs: the file round trip, a damaged file, and the first start's
// size on screens of every size.

#include <gtest/gtest.h>

#include "shell/window_memory.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

TEST(WindowMemoryTest, RoundTripAndADamagedFileLeavesTheDefaults) {
  testkit::TempDir dir;
  const std::string path = dir.File("window.ini");
  WindowMemory memory;
  LoadWindowMemory(path, memory);  // no file: nothing changes
  EXPECT_TRUE(memory.geometry.isEmpty());
  EXPECT_TRUE(memory.columnWidths.empty());

  memory.geometry = QByteArray("\x01\x02\x00\xff", 4);
  memory.columnWidths = {310, 420, 60, 70, 35, 90};
  memory.splitterSizes = {400, 120};
  memory.reportShown = true;
  memory.columnsByUser = true;
  ASSERT_TRUE(SaveWindowMemory(path, memory));
  WindowMemory read;
  LoadWindowMemory(path, read);
  EXPECT_EQ(read.geometry, memory.geometry);
  EXPECT_EQ(read.columnWidths, memory.columnWidths);
  EXPECT_EQ(read.splitterSizes, memory.splitterSizes);
  EXPECT_TRUE(read.reportShown);
  EXPECT_TRUE(read.columnsByUser);

  for (const char* damaged : {"[list]\ncolumns=200, x, 60\n", "[list]\ncolumns=-4\n",
                              "[list]\ncolumns=99999999\n"}) {
    SCOPED_TRACE(damaged);
    dir.Write("window.ini", damaged);
    WindowMemory kept;
    kept.columnWidths = {1, 2};
    LoadWindowMemory(path, kept);
    EXPECT_EQ(kept.columnWidths, (std::vector<int>{1, 2}));
  }
}

TEST(WindowMemoryTest, FirstStartSizeFitsTheScreen) {
  const struct {
    QSize screen;
    QSize size;
  } kCases[] = {
      {{1920, 1080}, {1536, 864}},  // a share of a large screen
      {{1280, 800}, {1024, 650}},   // at least the first-start size
      {{1024, 768}, {976, 650}},
      {{800, 800}, {752, 650}},     // never past the screen, frame included
      {{640, 480}, {592, 432}},
      {{0, 0}, {kFirstStartWidth, kFirstStartHeight}},  // no screen known
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.screen.width());
    EXPECT_EQ(FirstStartSize(QRect(QPoint(0, 0), c.screen)), c.size);
  }
}

}  // namespace
}  // namespace sondrel
