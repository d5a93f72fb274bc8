// Turning drawn pictures into the 8-bit files the client carries: a shared palette per
// bitmap set, nearest-colour mapping, and BMP and ICO writers.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>
#include <vector>

namespace murmel::artwork {

// Up to `count` colours that represent every pixel of `images` (median cut). A set shares
// one palette so that the same colour in two pictures stays the same after mapping.
QVector<QRgb> BuildPalette(const std::vector<QImage>& images, int count);

// Each pixel mapped to its nearest palette colour, without dithering: pictures cut from
// the same backdrop meet without a seam.
QImage ToIndexed(const QImage& picture, const QVector<QRgb>& palette);

// An 8-bit BMP file (bottom-up rows, full colour table).
bool WriteBmp(const QImage& indexed, const QString& path);

// An icon file holding `images` (each ARGB, any size) as 8-bit images with a 1-bit mask.
bool WriteIcon(const std::vector<QImage>& images, const QString& path);

}  // namespace murmel::artwork
