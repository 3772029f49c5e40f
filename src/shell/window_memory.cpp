#include "shell/window_memory.h"

#include <algorithm>

#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include "results/settings.h"
#include "shell/display_text.h"

namespace sondrel {
namespace {

constexpr int kMaxColumns = 16;
constexpr int kMaxWidth = 100000;
// A screen larger than the first-start size gets this share of its free area.
constexpr double kScreenShare = 0.8;
// Room left on the screen for the window's frame and title.
constexpr int kFrameAllowance = 48;

QSettings::Status Read(const QString& path, WindowMemory& memory) {
  QSettings file(path, QSettings::IniFormat);
  if (file.status() != QSettings::NoError) return file.status();
  memory.geometry = file.value("window/geometry").toByteArray();
  const QStringList columns = file.value("list/columns").toStringList();
  std::vector<int> widths;
  for (const QString& text : columns) {
    bool number = false;
    const int width = text.toInt(&number);
    if (!number || width < 0 || width > kMaxWidth) return QSettings::FormatError;
    widths.push_back(width);
  }
  if (widths.size() <= kMaxColumns) memory.columnWidths = std::move(widths);
  memory.splitterSizes.clear();
  for (const QString& text : file.value("list/splitter").toStringList()) {
    const int size = text.toInt();
    if (size >= 0 && size <= kMaxWidth) memory.splitterSizes.append(size);
  }
  memory.reportShown = file.value("list/reportShown", false).toBool();
  memory.columnsByUser = file.value("list/columnsByUser", false).toBool();
  return QSettings::NoError;
}

}  // namespace

std::string WindowMemoryPath(const std::string& home) {
  const QFileInfo settings(DisplayText(SettingsPath(home)));
  return StoredText(settings.absolutePath() + "/window.ini");
}

void LoadWindowMemory(const std::string& path, WindowMemory& memory) {
  const QString name = DisplayText(path);
  if (!QFileInfo::exists(name)) return;
  WindowMemory read;
  if (Read(name, read) == QSettings::NoError) memory = std::move(read);
}

bool SaveWindowMemory(const std::string& path, const WindowMemory& memory) {
  QSettings file(DisplayText(path), QSettings::IniFormat);
  file.setValue("window/geometry", memory.geometry);
  QStringList columns;
  for (const int width : memory.columnWidths) columns.append(QString::number(width));
  file.setValue("list/columns", columns);
  QStringList splitter;
  for (const int size : memory.splitterSizes) splitter.append(QString::number(size));
  file.setValue("list/splitter", splitter);
  file.setValue("list/reportShown", memory.reportShown);
  file.setValue("list/columnsByUser", memory.columnsByUser);
  file.sync();
  return file.status() == QSettings::NoError;
}

QSize FirstStartSize(const QRect& available) {
  auto fit = [](int least, int screen) {
    if (screen <= 0) return least;
    const int wanted = std::max(least, static_cast<int>(screen * kScreenShare));
    return std::max(1, std::min(wanted, screen - kFrameAllowance));
  };
  return {fit(kFirstStartWidth, available.width()), fit(kFirstStartHeight, available.height())};
}

}  // namespace sondrel
