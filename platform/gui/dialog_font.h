// The font of a dialog and the base units that turn its dialog units into pixels.
#pragma once

#include <QFont>
#include <string>

#include "win/types.h"

namespace murmel::gui {

struct BaseUnits {
  int cx;  // average character width in pixels
  int cy;  // character height in pixels
};

// Every face maps to the screen's DejaVu Sans. It is wider than the device's MS Sans Serif,
// so a point is 5/4 pixel (8 pt: 10 px): that gives the 6-pixel average character width of
// MS Sans Serif 8 pt on a 96-dpi handheld, and layouts made for the device's 240-pixel
// screen fit it. 0 points: the screen's own font.
QFont DialogFont(const std::u16string& face, WORD point_size);

// As the platform measures a font: the average width of "A".."Z" and "a".."z", rounded,
// and the font's height.
BaseUnits BaseUnitsOf(const QFont& font);

// MulDiv(value, numerator, denominator) for a positive denominator: rounded half away from
// zero.
int ScaleRounded(int value, int numerator, int denominator);

inline int DialogUnitsToPixelsX(int units, BaseUnits base) {
  return ScaleRounded(units, base.cx, 4);
}
inline int DialogUnitsToPixelsY(int units, BaseUnits base) {
  return ScaleRounded(units, base.cy, 8);
}

}  // namespace murmel::gui
