// The soft keyboard: each key reaches the focused control as a real key press.
#pragma once

#include <QWidget>

namespace murmel::gui {

// A keyboard of kScreenWidth x kInputPanelHeight pixels.
QWidget* MakeInputPanel(QWidget* parent);

}  // namespace murmel::gui
