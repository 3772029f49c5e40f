#include "shell/banner.h"

#include <QWidget>

#include <gtest/gtest.h>

#include "support/modal.h"

namespace sondrel {
namespace {

TEST(BannerTest, MovesBetweenPagesRotatesTipsAndStops) {
  QWidget window;
  QWidget* find = new QWidget(&window);
  QWidget* filters = new QWidget(&window);
  find->setGeometry(70, 10, 468, 60);
  filters->setGeometry(70, 80, 468, 60);
  window.show();

  Banner* banner = new Banner(find);
  ASSERT_TRUE(banner->SetUp());
  EXPECT_EQ(banner->TipIndex(), 0);
  banner->SetProxy("proxy.example", 3128);
  EXPECT_EQ(banner->ProxyHost(), "proxy.example");
  EXPECT_EQ(banner->ProxyPort(), 3128);

  for (QWidget* page : {filters, find, filters}) {
    banner->move(5, 5);
    banner->MoveToPage(page);
    EXPECT_EQ(banner->parentWidget(), page);
    EXPECT_EQ(banner->pos(), QPoint(0, 0));
    EXPECT_TRUE(banner->isVisible());
  }

  banner->SetRotationInterval(10);
  EXPECT_TRUE(guitest::WaitUntil([&] { return banner->TipIndex() >= 2; }, 5000));
  banner->Stop();
  EXPECT_FALSE(banner->Rotating());
  const int stoppedAt = banner->TipIndex();
  guitest::WaitUntil([] { return false; }, 60);
  EXPECT_EQ(banner->TipIndex(), stoppedAt);
}

}  // namespace
}  // namespace sondrel
