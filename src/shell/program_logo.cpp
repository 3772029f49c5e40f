#include "shell/program_logo.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>

namespace sondrel {

QPixmap ProgramLogo(int size) {
  if (size < 1) size = 1;
  const QIcon icon = QApplication::windowIcon();
  if (!icon.isNull()) {
    QPixmap pixmap = icon.pixmap(size, size);
    if (!pixmap.isNull()) return pixmap;
  }
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x5f, 0x9f));
  painter.drawEllipse(QRectF(0, 0, size, size));
  // An eighth note: head, stem and flag in white, scaled to the disc.
  const qreal u = size / 32.0;
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(9 * u, 19 * u, 8 * u, 6 * u));
  painter.drawRect(QRectF(15 * u, 7 * u, 2 * u, 15 * u));
  QPainterPath flag;
  flag.moveTo(17 * u, 7 * u);
  flag.cubicTo(20 * u, 9 * u, 24 * u, 11 * u, 22 * u, 17 * u);
  flag.cubicTo(22 * u, 13 * u, 19 * u, 12 * u, 17 * u, 11 * u);
  flag.closeSubpath();
  painter.drawPath(flag);
  return pixmap;
}

}  // namespace sondrel
