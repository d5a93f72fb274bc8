// Message boxes: what the test interface sees of each box shown.
#pragma once

#include <QImage>
#include <functional>
#include <string>

#include "win/gui_dialog.h"

namespace murmel::gui {

struct MessageBoxShown {
  HWND box;  // the box's own window, while it is shown
  HWND owner;
  std::u16string text;
  std::u16string caption;
  UINT style;
};

// Called on the user-interface thread once each box is on the screen; an empty function
// removes the observer.
void SetMessageBoxObserver(std::function<void(const MessageBoxShown&)> observer);

// The button of a shown box that stands for `answer`: the button of that id when the box
// has one, else the box's default button.
HWND MessageBoxButton(HWND box, int answer);

// The icons of the four icon styles, 32 x 32 (empty for no icon).
QImage MessageBoxIcon(UINT style);

}  // namespace murmel::gui
