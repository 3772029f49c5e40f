#pragma once
// Where the main window was and how its list was laid out, kept between runs. It lives in a
// small file of its own beside the settings file, so the settings file keeps the layout that
// every version reads.

#include <string>
#include <vector>

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QSize>

namespace sondrel {

struct WindowMemory {
  QByteArray geometry;            // QWidget::saveGeometry; empty: never stored
  std::vector<int> columnWidths;  // column order; empty: never stored
  QList<int> splitterSizes;       // the list and the report pane
  bool reportShown = false;
  bool columnsByUser = false;  // the user sized a column: the window no longer fits them
};

// window.ini in the directory of the settings file of home.
std::string WindowMemoryPath(const std::string& home);
// A missing or unreadable file leaves memory as it was.
void LoadWindowMemory(const std::string& path, WindowMemory& memory);
bool SaveWindowMemory(const std::string& path, const WindowMemory& memory);

// The first start's window size on a screen whose free area is available: at least
// kFirstStartWidth × kFirstStartHeight where the screen allows, never larger than the screen
// with room for the window's frame.
inline constexpr int kFirstStartWidth = 1000;
inline constexpr int kFirstStartHeight = 650;
QSize FirstStartSize(const QRect& available);

}  // namespace sondrel
