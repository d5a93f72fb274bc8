// The client's pictures, drawn at their exact pixel sizes. Every picture that sits on the
// window background or on the button panel is drawn over a copy of what lies beneath it,
// so that the square corners of a round button do not show.
#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QVector>

namespace murmel::artwork {

// The normal set is shaded; the low-colour set is drawn flat on the white background that
// the client paints on such screens, in colours its small palette holds.
enum class Look { Normal, LowColor };

enum class ButtonState { Normal, Pressed, Disabled };

enum class PanelGlyph { Record, Stop, Play, Send };

enum class CornerGlyph { Tool, Help };

// Where the pictures sit in the main window's client area; the background tile repeats
// every 16 pixels from its origin.
inline constexpr QPoint kLogoAt{5, 5};
inline constexpr QPoint kPanelAt{7, 35};
inline constexpr QPoint kLabelsAt{10, 120};
inline constexpr QPoint kOptionAt{175, 4};
inline constexpr QPoint kHelpAt{205, 4};
inline constexpr int kTileStep = 16;

// Where the controls sit inside the button panel.
inline constexpr int kPanelButtonY = 5;
inline constexpr int kPanelButtonX[4] = {16, 65, 114, 164};
inline constexpr int kPanelButtonSize = 43;
inline constexpr int kCornerButtonSize = 25;

// The sixteen colours of the low-colour set.
QVector<QRgb> LowColorPalette();

QImage BackgroundTile(QSize size);
QImage Logo(Look look, QSize size);
QImage ButtonPanel(Look look, QSize size);
QImage PanelButton(Look look, QSize panel_size, PanelGlyph glyph, ButtonState state);
QImage CornerButton(Look look, QPoint at, CornerGlyph glyph, ButtonState state);
QImage FieldLabels(Look look, QSize size);
// The application icon, with a transparent surround.
QImage AppIcon(int size);

}  // namespace murmel::artwork
