#include "platform/gui/input_panel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QToolButton>
#include <array>

#include "platform/gui/screen.h"

namespace murmel::gui {

namespace {

constexpr int kRows = 4;
constexpr int kKeyHeight = kInputPanelHeight / kRows;

struct KeySpec {
  const char* label;
  Qt::Key key;
  const char* text;  // what typing the key inserts
  int width;         // in pixels
};

// Four rows of 240 px each.
const std::array<std::vector<KeySpec>, kRows>& Layout() {
  static const std::array<std::vector<KeySpec>, kRows> layout = {{
      {{"1", Qt::Key_1, "1", 24},
       {"2", Qt::Key_2, "2", 24},
       {"3", Qt::Key_3, "3", 24},
       {"4", Qt::Key_4, "4", 24},
       {"5", Qt::Key_5, "5", 24},
       {"6", Qt::Key_6, "6", 24},
       {"7", Qt::Key_7, "7", 24},
       {"8", Qt::Key_8, "8", 24},
       {"9", Qt::Key_9, "9", 24},
       {"0", Qt::Key_0, "0", 24}},
      {{"q", Qt::Key_Q, "q", 24},
       {"w", Qt::Key_W, "w", 24},
       {"e", Qt::Key_E, "e", 24},
       {"r", Qt::Key_R, "r", 24},
       {"t", Qt::Key_T, "t", 24},
       {"y", Qt::Key_Y, "y", 24},
       {"u", Qt::Key_U, "u", 24},
       {"i", Qt::Key_I, "i", 24},
       {"o", Qt::Key_O, "o", 24},
       {"p", Qt::Key_P, "p", 24}},
      {{"a", Qt::Key_A, "a", 24},
       {"s", Qt::Key_S, "s", 24},
       {"d", Qt::Key_D, "d", 24},
       {"f", Qt::Key_F, "f", 24},
       {"g", Qt::Key_G, "g", 24},
       {"h", Qt::Key_H, "h", 24},
       {"j", Qt::Key_J, "j", 24},
       {"k", Qt::Key_K, "k", 24},
       {"l", Qt::Key_L, "l", 24},
       {"\u2190", Qt::Key_Backspace, "", 24}},
      {{"z", Qt::Key_Z, "z", 24},
       {"x", Qt::Key_X, "x", 24},
       {"c", Qt::Key_C, "c", 24},
       {"v", Qt::Key_V, "v", 24},
       {"@", Qt::Key_At, "@", 24},
       {".", Qt::Key_Period, ".", 24},
       {",", Qt::Key_Comma, ",", 24},
       {"space", Qt::Key_Space, " ", 48},
       {"\u21B5", Qt::Key_Return, "\r", 24}},
  }};
  return layout;
}

// Sends the press and release to whatever holds the focus, as a hardware key would.
void Type(const KeySpec& key_cap) {
  QWidget* target = QApplication::focusWidget();
  if (target == nullptr) return;
  const QString text = QString::fromUtf8(key_cap.text);
  QKeyEvent press(QEvent::KeyPress, key_cap.key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key_cap.key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &release);
}

}  // namespace

QWidget* MakeInputPanel(QWidget* parent) {
  auto* panel = new QWidget(parent);  // owned by its parent widget
  panel->setObjectName(QStringLiteral("input_panel"));
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, QColor(0xD8, 0xD8, 0xD8));
  panel->setPalette(palette);
  panel->setFocusPolicy(Qt::NoFocus);
  for (int row = 0; row < kRows; ++row) {
    int x = 0;
    for (const KeySpec& key_cap : Layout()[static_cast<std::size_t>(row)]) {
      auto* key = new QToolButton(panel);
      key->setObjectName(QStringLiteral("key_") + QString::fromUtf8(key_cap.label));
      key->setText(QString::fromUtf8(key_cap.label));
      key->setFocusPolicy(Qt::NoFocus);  // the focused control must keep the focus
      key->setGeometry(x, row * kKeyHeight, key_cap.width, kKeyHeight);
      QObject::connect(key, &QToolButton::clicked, key, [key_cap] { Type(key_cap); });
      x += key_cap.width;
    }
  }
  return panel;
}

}  // namespace murmel::gui
