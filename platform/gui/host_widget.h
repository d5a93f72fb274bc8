// The widget of a window of a registered class: its procedure erases its background
// (WM_ERASEBKGND) and hears about closing.
#pragma once

#include <QWidget>

#include "win/gui.h"

namespace murmel::gui {

class HostWidget : public QWidget {
 public:
  HostWidget(HWND window, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  HWND window_;
};

}  // namespace murmel::gui
