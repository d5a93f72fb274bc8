// Device contexts over Qt painters: one lives while a window paints, so that procedures can
// draw into it (WM_ERASEBKGND, WM_DRAWITEM).
#pragma once

#include <QPainter>

#include "win/types.h"

namespace murmel::gui {

// Makes an HDC for the painter for the lifetime of this object.
class PaintDc {
 public:
  explicit PaintDc(QPainter& painter);
  ~PaintDc();
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;
  HDC handle() const { return handle_; }

 private:
  HDC handle_;
};

}  // namespace murmel::gui
