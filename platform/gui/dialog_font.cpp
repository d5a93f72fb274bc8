#include "platform/gui/dialog_font.h"

#include <QApplication>
#include <QFontMetrics>

namespace murmel::gui {

QFont DialogFont(const std::u16string& /*face*/, WORD point_size) {
  QFont font = QApplication::font();
  if (point_size > 0) font.setPixelSize(point_size * 5 / 4);
  return font;
}

BaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return BaseUnits{(alphabet / 26 + 1) / 2, metrics.height()};
}

int ScaleRounded(int value, int numerator, int denominator) {
  if (denominator <= 0) return 0;
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>((product >= 0 ? product + half : product - half) / denominator);
}

}  // namespace murmel::gui
