// GDI objects (bitmaps, brushes, icons) and device contexts behind their handles.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>

#include "win/types.h"

namespace murmel::gui {

HBITMAP MakeBitmap(QImage image);
// The picture of a bitmap or icon handle, or null.
const QImage* ImageOf(HGDIOBJ object);
HICON MakeIcon(QImage image);

// A device context draws through a painter (a window being painted) or into the bitmap
// selected into it (a memory context).
HDC MakePaintDc(QPainter& painter);
void ForgetDc(HDC dc);

}  // namespace murmel::gui
