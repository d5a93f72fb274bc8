#include "artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <array>

namespace murmel::artwork {
namespace {

// The product's colours. The low-colour set draws only with colours of its palette
// (LowColorPalette), so that nothing is left to chance when it is mapped.
const QColor kBackdrop(0xED, 0xF1, 0xF6);
const QColor kBackdropDot(0xD3, 0xDC, 0xE8);
const QColor kNavy(0x1D, 0x35, 0x57);
const QColor kBlue(0x2E, 0x6D, 0xB4);
const QColor kSky(0x9C, 0xC3, 0xEC);
const QColor kOrange(0xF0, 0x8C, 0x2E);
const QColor kRed(0xD7, 0x26, 0x3D);
const QColor kDarkRed(0x7A, 0x10, 0x20);
const QColor kGreen(0x2F, 0x9E, 0x4A);
const QColor kDarkGreen(0x1A, 0x5E, 0x2B);
const QColor kInk(0x2B, 0x34, 0x42);
const QColor kGreyDark(0x4F, 0x58, 0x64);
const QColor kGreyMid(0x9A, 0xA3, 0xAF);
const QColor kGreyLight(0xD6, 0xDB, 0xE2);
const QColor kPaleGrey(0xF0, 0xF2, 0xF5);
const QColor kWhite(0xFF, 0xFF, 0xFF);

constexpr double kPanelButtonCenter = kPanelButtonSize / 2.0;

QImage Blank(QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

QFont LabelFont(int pixels) {
  QFont font(QStringLiteral("DejaVu Sans Condensed"));
  font.setBold(true);
  font.setPixelSize(pixels);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

void Begin(QPainter& painter, Look look) {
  // Antialiasing in the low-colour set would only add in-between shades it cannot show.
  painter.setRenderHint(QPainter::Antialiasing, look == Look::Normal);
  painter.setRenderHint(QPainter::TextAntialiasing, look == Look::Normal);
}

QColor PatternAt(int x, int y) {
  // A diamond lattice of soft dots, repeating every 16 pixels like the tiling.
  const int u = ((x % kTileStep) + kTileStep) % kTileStep;
  const int v = ((y % kTileStep) + kTileStep) % kTileStep;
  const bool dot = (u == 0 && v == 0) || (u == 8 && v == 8);
  return dot ? kBackdropDot : kBackdrop;
}

// What the window shows beneath a picture placed at `at`.
QImage Backdrop(Look look, QPoint at, QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  if (look == Look::LowColor) {
    image.fill(kWhite);
    return image;
  }
  for (int y = 0; y < size.height(); ++y) {
    for (int x = 0; x < size.width(); ++x) {
      image.setPixelColor(x, y, PatternAt(at.x() + x, at.y() + y));
    }
  }
  return image;
}

QLinearGradient Vertical(double top, double bottom, const QColor& from, const QColor& to) {
  QLinearGradient gradient(0, top, 0, bottom);
  gradient.setColorAt(0, from);
  gradient.setColorAt(1, to);
  return gradient;
}

QPainterPath Envelope(const QRectF& box) {
  QPainterPath path;
  path.addRoundedRect(box, 1.5, 1.5);
  return path;
}

void DrawEnvelope(QPainter& painter, const QRectF& box, const QColor& paper, const QColor& line,
                  double pen_width) {
  painter.setPen(QPen(line, pen_width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(paper);
  painter.drawPath(Envelope(box));
  const QPointF flap_tip(box.center().x(), box.top() + box.height() * 0.58);
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(
      std::array{box.topLeft() + QPointF(0.5, 0.5), flap_tip, box.topRight() + QPointF(-0.5, 0.5)}
          .data(),
      3);
}

// ---- Panel buttons.

struct FaceColors {
  QColor ring_top, ring_bottom, face_light, face_dark, glyph, glyph_dark;
};

FaceColors ColorsFor(Look look, ButtonState state, const QColor& glyph, const QColor& glyph_dark) {
  if (look == Look::LowColor) {
    switch (state) {
      case ButtonState::Normal:
        return {kGreyDark, kGreyDark, kWhite, kWhite, glyph, glyph_dark};
      case ButtonState::Pressed:
        return {kInk, kInk, kGreyLight, kGreyLight, glyph_dark, glyph_dark};
      case ButtonState::Disabled:
        return {kGreyMid, kGreyMid, kPaleGrey, kPaleGrey, kGreyMid, kGreyMid};
    }
  }
  switch (state) {
    case ButtonState::Normal:
      return {QColor(0x9A, 0xA8, 0xBA),
              QColor(0x45, 0x54, 0x69),
              kWhite,
              QColor(0xC4, 0xCF, 0xDC),
              glyph,
              glyph_dark};
    case ButtonState::Pressed:
      return {QColor(0x3A, 0x48, 0x5C),
              QColor(0x7D, 0x8C, 0xA0),
              QColor(0xB3, 0xBF, 0xCE),
              QColor(0xE6, 0xEB, 0xF1),
              glyph_dark,
              glyph_dark};
    case ButtonState::Disabled:
      return {QColor(0xB8, 0xC1, 0xCC), QColor(0x9A, 0xA4, 0xB1), QColor(0xF2, 0xF4, 0xF7),
              QColor(0xDC, 0xE1, 0xE8), QColor(0xB4, 0xBC, 0xC6), QColor(0xA0, 0xA9, 0xB4)};
  }
  return {};
}

void DrawRoundFace(QPainter& painter, Look look, ButtonState state, const FaceColors& colors) {
  const QPointF center(kPanelButtonCenter, kPanelButtonCenter);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Vertical(1, 42, colors.ring_top, colors.ring_bottom));
  painter.drawEllipse(center, 20.5, 20.5);
  if (look == Look::LowColor) {
    painter.setBrush(colors.face_light);
    painter.drawEllipse(center, 18.0, 18.0);
    return;
  }
  if (state == ButtonState::Pressed) {
    painter.setBrush(Vertical(3, 40, colors.face_light, colors.face_dark));
  } else {
    QRadialGradient gradient(QPointF(16, 13), 28);
    gradient.setColorAt(0, colors.face_light);
    gradient.setColorAt(1, colors.face_dark);
    painter.setBrush(gradient);
  }
  painter.drawEllipse(center, 18.5, 18.5);
  if (state == ButtonState::Pressed) {
    // The shadow of the rim falls on the upper part of a face that is pushed in.
    painter.setPen(QPen(QColor(0, 0, 0, 60), 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(center.x() - 17, center.y() - 17, 34, 34), 30 * 16, 120 * 16);
  }
}

void DrawPanelGlyph(QPainter& painter, Look look, PanelGlyph glyph, const FaceColors& colors,
                    ButtonState state) {
  const double shift = state == ButtonState::Pressed ? 1.0 : 0.0;
  const QPointF c(kPanelButtonCenter + shift, kPanelButtonCenter + shift);
  const bool shaded = look == Look::Normal && state != ButtonState::Disabled;
  painter.setPen(Qt::NoPen);
  switch (glyph) {
    case PanelGlyph::Record: {
      if (shaded) {
        QRadialGradient gradient(c + QPointF(-2.5, -2.5), 10);
        gradient.setColorAt(0, colors.glyph.lighter(140));
        gradient.setColorAt(0.5, colors.glyph);
        gradient.setColorAt(1, colors.glyph_dark);
        painter.setBrush(gradient);
      } else {
        painter.setBrush(colors.glyph);
      }
      painter.drawEllipse(c, 7.5, 7.5);
      break;
    }
    case PanelGlyph::Stop: {
      painter.setBrush(
          shaded ? QBrush(Vertical(c.y() - 6, c.y() + 6, colors.glyph.lighter(160), colors.glyph))
                 : QBrush(colors.glyph));
      painter.drawRoundedRect(QRectF(c.x() - 6.5, c.y() - 6.5, 13, 13), 2, 2);
      break;
    }
    case PanelGlyph::Play: {
      // The centroid of a triangle lies a third of its width from the base.
      const std::array points{QPointF(c.x() - 5, c.y() - 8.5), QPointF(c.x() - 5, c.y() + 8.5),
                              QPointF(c.x() + 9.5, c.y())};
      painter.setBrush(shaded ? QBrush(Vertical(c.y() - 8, c.y() + 8, colors.glyph.lighter(130),
                                                colors.glyph_dark))
                              : QBrush(colors.glyph));
      if (look == Look::Normal) {
        painter.setPen(QPen(colors.glyph_dark, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      }
      painter.drawPolygon(points.data(), static_cast<int>(points.size()));
      break;
    }
    case PanelGlyph::Send: {
      const QRectF box(c.x() - 9.5, c.y() - 6.5, 19, 13);
      const QColor paper = state == ButtonState::Disabled ? kPaleGrey : kWhite;
      DrawEnvelope(painter, box, paper, colors.glyph, look == Look::Normal ? 1.6 : 2.0);
      break;
    }
  }
}

const QColor& GlyphColor(PanelGlyph glyph) {
  switch (glyph) {
    case PanelGlyph::Record:
      return kRed;
    case PanelGlyph::Stop:
      return kInk;
    case PanelGlyph::Play:
      return kGreen;
    case PanelGlyph::Send:
      return kBlue;
  }
  return kInk;
}

const QColor& GlyphDarkColor(PanelGlyph glyph) {
  switch (glyph) {
    case PanelGlyph::Record:
      return kDarkRed;
    case PanelGlyph::Stop:
      return kInk;
    case PanelGlyph::Play:
      return kDarkGreen;
    case PanelGlyph::Send:
      return kNavy;
  }
  return kInk;
}

int IndexOf(PanelGlyph glyph) { return static_cast<int>(glyph); }

// ---- Small corner buttons.

void DrawWrench(QPainter& painter, QPointF c, const QColor& color) {
  painter.save();
  painter.translate(c);
  painter.rotate(45);
  QPainterPath head;
  head.addEllipse(QPointF(0, -5.5), 4.6, 4.6);
  QPainterPath jaw;
  jaw.addRect(QRectF(-1.7, -11.5, 3.4, 6.5));
  QPainterPath handle;
  handle.addRoundedRect(QRectF(-1.7, -3, 3.4, 12), 1.7, 1.7);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawPath(head.subtracted(jaw).united(handle));
  painter.restore();
}

}  // namespace

QVector<QRgb> LowColorPalette() {
  return {kWhite.rgb(),   qRgb(0, 0, 0),    kNavy.rgb(),     kBlue.rgb(),
          kSky.rgb(),     kOrange.rgb(),    kRed.rgb(),      kDarkRed.rgb(),
          kGreen.rgb(),   kDarkGreen.rgb(), kInk.rgb(),      kGreyDark.rgb(),
          kGreyMid.rgb(), kGreyLight.rgb(), kPaleGrey.rgb(), kBackdrop.rgb()};
}

QImage BackgroundTile(QSize size) { return Backdrop(Look::Normal, QPoint(0, 0), size); }

QImage Logo(Look look, QSize size) {
  QImage image = Backdrop(look, kLogoAt, size);
  QPainter painter(&image);
  Begin(painter, look);
  // The mark: a blue disc with a sound wave leaving it, the murmur that becomes mail.
  const QPointF mark(11.5, size.height() / 2.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(look == Look::Normal ? QBrush(Vertical(1, 23, kBlue.lighter(125), kNavy))
                                        : QBrush(kBlue));
  painter.drawEllipse(mark, 10.5, 10.5);
  painter.setPen(QPen(kWhite, 1.6, Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(kWhite);
  painter.drawEllipse(mark + QPointF(-4.5, 0), 1.8, 1.8);
  painter.setBrush(Qt::NoBrush);
  for (double radius : {4.5, 8.0}) {
    const QRectF arc(mark.x() - 4.5 - radius, mark.y() - radius, 2 * radius, 2 * radius);
    painter.drawArc(arc, -45 * 16, 90 * 16);
  }
  painter.setFont(LabelFont(13));
  painter.setPen(kNavy);
  const QRectF words(24, 0, size.width() - 24, size.height());
  painter.drawText(words.adjusted(0, -1, 0, 0), Qt::AlignLeft | Qt::AlignTop, "Murmel");
  painter.setPen(kOrange);
  painter.drawText(words.adjusted(0, 0, -1, 1), Qt::AlignRight | Qt::AlignBottom, "post");
  return image;
}

QImage ButtonPanel(Look look, QSize size) {
  QImage image = Backdrop(look, kPanelAt, size);
  QPainter painter(&image);
  Begin(painter, look);
  const QRectF body = look == Look::Normal
                          ? QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0)
                          : QRectF(0, 0, size.width() - 1.0, size.height() - 1.0);
  painter.setPen(QPen(kNavy, 1.0));
  painter.setBrush(look == Look::Normal
                       ? QBrush(Vertical(0, size.height(), QColor(0x6E, 0x93, 0xC2), kNavy))
                       : QBrush(kBlue));
  painter.drawRoundedRect(body, 11, 11);
  if (look == Look::Normal) {
    painter.setPen(QPen(QColor(255, 255, 255, 70), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(body.adjusted(1, 1, -1, -1), 10, 10);
  }
  // Four wells, each a little larger than the button it holds, lit from above.
  for (int x : kPanelButtonX) {
    const QPointF c(x + kPanelButtonCenter, kPanelButtonY + kPanelButtonCenter);
    painter.setPen(Qt::NoPen);
    painter.setBrush(look == Look::Normal
                         ? QBrush(Vertical(c.y() - 23, c.y() + 23, QColor(0x10, 0x1D, 0x30),
                                           QColor(0x9F, 0xBD, 0xE0)))
                         : QBrush(kNavy));
    painter.drawEllipse(c, 23.0, 23.0);
    painter.setBrush(look == Look::Normal
                         ? QBrush(Vertical(c.y() - 22, c.y() + 22, QColor(0x14, 0x24, 0x3B),
                                           QColor(0x2E, 0x4B, 0x74)))
                         : QBrush(kNavy));
    painter.drawEllipse(c, 21.8, 21.8);
  }
  // Recesses behind the progress bar and the time display.
  const QColor recess = look == Look::Normal ? QColor(0x14, 0x24, 0x3B) : kNavy;
  painter.setPen(look == Look::Normal ? QPen(QColor(0xA9, 0xC4, 0xE4, 120), 1.0) : QPen(kNavy));
  painter.setBrush(recess);
  painter.drawRoundedRect(QRectF(12.5, 57.5, 148, 13), 3, 3);
  painter.drawRoundedRect(QRectF(164.5, 52.5, 42, 19), 3, 3);
  return image;
}

QImage PanelButton(Look look, QSize panel_size, PanelGlyph glyph, ButtonState state) {
  const QImage panel = ButtonPanel(look, panel_size);
  QImage image =
      panel.copy(kPanelButtonX[IndexOf(glyph)], kPanelButtonY, kPanelButtonSize, kPanelButtonSize);
  QPainter painter(&image);
  Begin(painter, look);
  const FaceColors colors = ColorsFor(look, state, GlyphColor(glyph), GlyphDarkColor(glyph));
  DrawRoundFace(painter, look, state, colors);
  DrawPanelGlyph(painter, look, glyph, colors, state);
  return image;
}

QImage CornerButton(Look look, QPoint at, CornerGlyph glyph, ButtonState state) {
  const QSize size(kCornerButtonSize, kCornerButtonSize);
  QImage image = Backdrop(look, at, size);
  QPainter painter(&image);
  Begin(painter, look);
  const bool pressed = state == ButtonState::Pressed;
  // Without antialiasing a half-pixel outline leaves stray corner pixels: whole pixels then.
  const QRectF frame = look == Look::Normal
                           ? QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0)
                           : QRectF(0, 0, size.width() - 1.0, size.height() - 1.0);
  if (look == Look::Normal) {
    painter.setPen(QPen(pressed ? kNavy : QColor(0x5B, 0x6C, 0x83), 1.0));
    painter.setBrush(pressed ? Vertical(0, 25, QColor(0xB3, 0xBF, 0xCE), QColor(0xE6, 0xEB, 0xF1))
                             : Vertical(0, 25, kWhite, QColor(0xC4, 0xCF, 0xDC)));
  } else {
    painter.setPen(QPen(pressed ? kInk : kGreyDark, 1.0));
    painter.setBrush(pressed ? kGreyLight : kWhite);
  }
  painter.drawRoundedRect(frame, 6, 6);
  const double shift = pressed ? 1.0 : 0.0;
  const QPointF c(12.5 + shift, 12.5 + shift);
  if (glyph == CornerGlyph::Tool) {
    DrawWrench(painter, c, kNavy);
  } else {
    painter.setFont(LabelFont(17));
    painter.setPen(kNavy);
    painter.drawText(QRectF(c.x() - 12, c.y() - 12, 24, 24), Qt::AlignCenter, "?");
  }
  return image;
}

QImage FieldLabels(Look look, QSize size) {
  QImage image = Backdrop(look, kLabelsAt, size);
  QPainter painter(&image);
  Begin(painter, look);
  painter.setFont(LabelFont(10));
  painter.setPen(kNavy);
  // Each word stands level with the middle of its box: the recipient box from y = 114,
  // the subject box from y = 136, both 20 pixels high.
  const double right = size.width() - 3.0;
  painter.drawText(QRectF(0, 0, right, 10), Qt::AlignRight | Qt::AlignVCenter, "TO");
  painter.drawText(QRectF(0, 21, right, 10), Qt::AlignRight | Qt::AlignVCenter, "SUBJECT");
  return image;
}

QImage AppIcon(int size) {
  QImage image = Blank(QSize(size, size));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const double s = size / 32.0;
  painter.setPen(Qt::NoPen);
  painter.setBrush(Vertical(0, size, kBlue.lighter(125), kNavy));
  painter.drawRoundedRect(QRectF(0.5, 0.5, size - 1.0, size - 1.0), 7 * s, 7 * s);
  DrawEnvelope(painter, QRectF(5 * s, 8 * s, 20 * s, 14 * s), kWhite, kNavy,
               size >= 32 ? 1.4 : 1.0);
  painter.setPen(QPen(kWhite, size >= 32 ? 1.5 : 1.0));
  painter.setBrush(kRed);
  painter.drawEllipse(QPointF(24 * s, 23 * s), 5.5 * s, 5.5 * s);
  return image;
}

}  // namespace murmel::artwork
