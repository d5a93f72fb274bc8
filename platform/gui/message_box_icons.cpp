// The four message-box icons, drawn rather than loaded so that every screen shows the same.
#include <QPainter>
#include <QPainterPath>

#include "platform/gui/message_box.h"

namespace murmel::gui {

namespace {

constexpr int kIconSize = 32;

void DrawSign(QPainter& painter, const QString& sign, const QColor& color) {
  QFont font = painter.font();
  font.setPixelSize(22);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(color);
  painter.drawText(QRect(0, 0, kIconSize, kIconSize), Qt::AlignCenter, sign);
}

}  // namespace

QImage MessageBoxIcon(UINT style) {
  const UINT icon = style & MB_ICONMASK;
  if (icon == 0) return {};
  QImage image(kIconSize, kIconSize, QImage::Format_ARGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  switch (icon) {
    case MB_ICONHAND:
      painter.setBrush(QColor(0xD0, 0x20, 0x20));
      painter.drawEllipse(1, 1, kIconSize - 2, kIconSize - 2);
      painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(10, 10, 22, 22);
      painter.drawLine(22, 10, 10, 22);
      break;
    case MB_ICONEXCLAMATION: {
      QPainterPath triangle;
      triangle.moveTo(kIconSize / 2.0, 1);
      triangle.lineTo(kIconSize - 1, kIconSize - 2);
      triangle.lineTo(1, kIconSize - 2);
      triangle.closeSubpath();
      painter.setPen(QPen(Qt::black, 1));
      painter.setBrush(QColor(0xF8, 0xD0, 0x20));
      painter.drawPath(triangle);
      painter.translate(0, 3);
      DrawSign(painter, QStringLiteral("!"), Qt::black);
      break;
    }
    case MB_ICONQUESTION:
      painter.setBrush(QColor(0x20, 0x50, 0xC0));
      painter.drawEllipse(1, 1, kIconSize - 2, kIconSize - 2);
      DrawSign(painter, QStringLiteral("?"), Qt::white);
      break;
    default:  // information
      painter.setBrush(QColor(0x20, 0x50, 0xC0));
      painter.drawEllipse(1, 1, kIconSize - 2, kIconSize - 2);
      DrawSign(painter, QStringLiteral("i"), Qt::white);
      break;
  }
  return image;
}

}  // namespace murmel::gui
