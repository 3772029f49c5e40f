#pragma once
// The main window's resize rules as a pure function of the sizes recorded when the window was
// built: the window never gets narrower than its design, the query and filter boxes keep their
// margins, the banners stay centred and the URL column takes what the window gains.

namespace sondrel {

inline constexpr int kBannerWidth = 468;
inline constexpr int kBannerHeight = 60;
inline constexpr int kVerifyPanelWidth = 250;

struct DesignSizes {
  int windowWidth = 0;
  int panMainWidth = 0;
  int panBoxDifference = 0;  // PanMain's width minus PanBox's
  int queryWidth = 0;
  int duplicatesWidth = 0;
  int filterWidth = 0;
  int bannerWidth = kBannerWidth;
  int urlColumnWidth = 0;
};

struct WindowLayout {
  bool restoreWindowWidth = false;  // the window sprang back to its design width
  int windowWidth = 0;
  int panMainWidth = 0;
  int panBoxWidth = 0;
  int queryWidth = 0;
  int duplicatesWidth = 0;
  int filterWidth = 0;
  int urlColumnWidth = 0;
  int statusPanel0Width = 0;
  int statusPanel1Width = kVerifyPanelWidth;
};

// The widths after a resize, from the current window, PanMain and status bar widths.
WindowLayout LayOutWindow(const DesignSizes& design, int windowWidth, int panMainWidth,
                          int statusBarWidth);

// Left edge of a banner centred on a page of pageWidth.
int BannerLeft(int pageWidth, int bannerWidth = kBannerWidth);

}  // namespace sondrel
