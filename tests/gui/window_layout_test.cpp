// The main window's resize rules and the circling search image.

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "shell/move_image_animation.h"
#include "shell/window_layout.h"
#include "support/modal.h"

namespace sondrel {
namespace {

DesignSizes Design() {
  DesignSizes design;
  design.windowWidth = 609;
  design.panMainWidth = 479;
  design.panBoxDifference = 4;
  design.queryWidth = 455;
  design.duplicatesWidth = 300;  // an odd margin (179): it loses its odd pixel
  design.filterWidth = 250;
  design.urlColumnWidth = 200;
  return design;
}

TEST(WindowLayoutTest, WidthsFollowPanMainAndNeverShrinkBelowTheDesign) {
  struct Case {
    const char* what;
    int window, panMain, statusBar;
    bool restored;
    int windowOut, panBox, query, duplicates, filter, url, panel0;
  };
  const Case cases[] = {
      {"design size", 609, 479, 609, false, 609, 475, 455, 301, 251, 200, 359},
      {"wider by 200", 809, 679, 809, false, 809, 675, 655, 501, 451, 400, 559},
      {"narrower springs back", 500, 370, 500, true, 609, 475, 455, 301, 251, 200, 250},
      {"status bar narrower than its panel", 609, 479, 100, false, 609, 475, 455, 301, 251, 200, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const WindowLayout layout = LayOutWindow(Design(), c.window, c.panMain, c.statusBar);
    EXPECT_EQ(layout.restoreWindowWidth, c.restored);
    EXPECT_EQ(layout.windowWidth, c.windowOut);
    EXPECT_EQ(layout.panBoxWidth, c.panBox);
    EXPECT_EQ(layout.queryWidth, c.query);
    EXPECT_EQ(layout.duplicatesWidth, c.duplicates);
    EXPECT_EQ(layout.filterWidth, c.filter);
    EXPECT_EQ(layout.urlColumnWidth, c.url);
    EXPECT_EQ(layout.statusPanel0Width, c.panel0);
    EXPECT_EQ(layout.statusPanel1Width, 250);
  }
}

TEST(WindowLayoutTest, BannerIsCentredRoundingTowardZero) {
  EXPECT_EQ(BannerLeft(471), 1);
  EXPECT_EQ(BannerLeft(468), 0);
  EXPECT_EQ(BannerLeft(669), 100);
  EXPECT_EQ(BannerLeft(401), -33);  // -67 / 2 toward zero
}

TEST(MoveImageAnimationTest, PhasesCircleClockwiseAroundASquareOfTheImageSize) {
  const QPoint home(10, 20);
  const QPoint expected[] = {{10, 20}, {26, 20}, {43, 20}, {43, 36},
                             {43, 52}, {26, 52}, {10, 52}, {10, 36}};
  for (int phase = 0; phase < 8; ++phase) {
    SCOPED_TRACE(phase);
    // 33 wide, 32 high: the halves are rounded down.
    EXPECT_EQ(MoveImagePosition(home, 33, 32, phase), expected[phase]);
  }
  EXPECT_EQ(MoveImagePosition(home, 33, 32, 8), expected[0]);
}

TEST(MoveImageAnimationTest, StepsNoFasterThanTheStepTimeAndStopsAtHome) {
  QWidget panel;
  auto* image = new QLabel(&panel);
  image->setGeometry(10, 20, 32, 32);
  MoveImageAnimation animation(image);
  animation.Start();
  ASSERT_TRUE(animation.Running());
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(guitest::WaitUntil([&] { return animation.Phase() == 2; }, 5000));
  // Two moves, each only after more than the step time.
  EXPECT_GT(clock.elapsed(), 2 * kMoveImageStepMs);
  EXPECT_EQ(image->pos(), QPoint(42, 20));
  animation.Stop();
  EXPECT_FALSE(animation.Running());
  EXPECT_EQ(image->pos(), QPoint(10, 20));
}

}  // namespace
}  // namespace sondrel
