#include "shell/window_layout.h"

#include <algorithm>

namespace sondrel {
namespace {

// A box keeps its design margin: the design gap to PanMain, halved and doubled, so an odd
// gap loses its odd pixel as the original layout did.
int KeepMargin(int panMainWidth, int designPanMain, int designOwn) {
  const int margin = (designPanMain - designOwn) / 2 * 2;
  return panMainWidth - margin;
}

}  // namespace

WindowLayout LayOutWindow(const DesignSizes& design, int windowWidth, int panMainWidth,
                          int statusBarWidth) {
  WindowLayout layout;
  layout.windowWidth = windowWidth;
  layout.panMainWidth = panMainWidth;
  if (panMainWidth < design.panMainWidth) {
    layout.restoreWindowWidth = true;
    layout.windowWidth = design.windowWidth;
    layout.panMainWidth = design.panMainWidth;
  }
  const int panMain = layout.panMainWidth;
  layout.panBoxWidth = panMain - design.panBoxDifference;
  layout.queryWidth = KeepMargin(panMain, design.panMainWidth, design.queryWidth);
  layout.duplicatesWidth = KeepMargin(panMain, design.panMainWidth, design.duplicatesWidth);
  layout.filterWidth = KeepMargin(panMain, design.panMainWidth, design.filterWidth);
  layout.urlColumnWidth = design.urlColumnWidth + (panMain - design.panMainWidth);
  layout.statusPanel0Width = std::max(0, statusBarWidth - kVerifyPanelWidth);
  layout.statusPanel1Width = kVerifyPanelWidth;
  return layout;
}

int BannerLeft(int pageWidth, int bannerWidth) {
  // Integer division truncates toward zero, as the rule wants for a page narrower than the banner.
  return (pageWidth - bannerWidth) / 2;
}

}  // namespace sondrel
