#include "shell/palette_icons.h"

#include <algorithm>
#include <cmath>

#include <QPixmap>

namespace sondrel {
namespace {

constexpr int kIconSizes[] = {16, 22, 24, 32};
constexpr int kVisibleAlpha = 32;  // fainter pixels are edges of the shape: left as drawn

double Channel(double value) {
  const double c = value / 255.0;
  return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& color) {
  return 0.2126 * Channel(color.red()) + 0.7152 * Channel(color.green()) +
         0.0722 * Channel(color.blue());
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QImage ContrastingImage(const QImage& image, const QColor& background, const QColor& text) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const QRgb pixel = line[x];
      if (qAlpha(pixel) < kVisibleAlpha) continue;
      if (ContrastRatio(QColor(pixel), background) >= kIconContrast) continue;
      line[x] = qRgba(text.red(), text.green(), text.blue(), qAlpha(pixel));
    }
  }
  return out;
}

QIcon PaletteIcon(const QStyle& style, QStyle::StandardPixmap which, const QPalette& palette) {
  const QIcon source = style.standardIcon(which);
  const QColor background = palette.color(QPalette::Window);
  const QColor text = palette.color(QPalette::WindowText);
  QIcon icon;
  for (const int size : kIconSizes) {
    const QImage image = source.pixmap(size, size).toImage();
    if (image.isNull()) continue;
    icon.addPixmap(QPixmap::fromImage(ContrastingImage(image, background, text)));
  }
  return icon;
}

}  // namespace sondrel
