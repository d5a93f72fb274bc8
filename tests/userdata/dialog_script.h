// Driving a modal dialog as a user would: a step that runs once the dialog's modal loop is
// running, and what the shell shows around the dialog.
#pragma once

#include <aygshell.h>
#include <windows.h>

#include <QLabel>
#include <QTimer>
#include <Qt>
#include <functional>
#include <string>

#include "platform/gui/testing/testing.h"

namespace userdata_test {

// Runs `step` once the modal loop of the dialog about to open is running; the dialog is
// then the active window.
inline void WhileOpen(std::function<void(HWND dialog)> step) {
  QTimer::singleShot(0, [step = std::move(step)] { step(GetActiveWindow()); });
}

inline std::u16string NavigationText() {
  return static_cast<QLabel*>(murmel::testing::ScreenPart("navigation_bar"))
      ->text()
      .toStdU16String();
}

// Escape where the focus is (the dialog itself when no control has it): the dialog's Cancel.
inline void PressEscape(HWND dialog) {
  const HWND focus = GetFocus();
  murmel::testing::Key(focus != nullptr ? focus : dialog, Qt::Key_Escape);
}

inline void ClickDone() { murmel::testing::Click(murmel::testing::ScreenPart("done_button")); }

inline bool InputPanelRaised() {
  SIPINFO info{};
  info.cbSize = sizeof(info);
  return SHSipInfo(SPI_GETSIPINFO, 0, &info, 0) && (info.fdwFlags & SIPF_ON) != 0;
}

inline std::u16string ItemText(HWND dialog, int id) {
  WCHAR text[512] = {};
  GetDlgItemTextW(dialog, id, text, 512);
  return text;
}

inline std::u16string LoadedString(int id) {
  WCHAR text[512] = {};
  LoadStringW(nullptr, static_cast<UINT>(id), text, 512);
  return text;
}

}  // namespace userdata_test
