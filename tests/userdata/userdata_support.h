// What the userdata tests share: a window holding a recipient box (control 60000) on the
// emulated screen, the device folder, and driving a modal dialog as a user would.
#pragma once

#include <aygshell.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <QLabel>
#include <QTimer>
#include <Qt>
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/testing/testing.h"
#include "state/app_state.h"
#include "support/kernel_test_files.h"
#include "support/test_window_class.h"

namespace userdata_test {

using murmel::test::DeviceFolder;
using murmel::test::Utf16Bytes;
using Entries = std::vector<std::u16string>;

constexpr const char* PROFILE_FILE = "CEVireoRec.pfi";
constexpr const char* BOOK_FILE = "CEVireoRec.arr";

// The profile's six fields as the client holds them.
struct Profile {
  std::u16string email, name, sex, city, state, country;
  bool operator==(const Profile&) const = default;
};

inline Profile InMemory() {
  return {appState.email.data(), appState.name.data(),  appState.sex.data(),
          appState.city.data(),  appState.state.data(), appState.country.data()};
}

inline void SetInMemory(const Profile& p) {
  appState.email = p.email.c_str();
  appState.name = p.name.c_str();
  appState.sex = p.sex.c_str();
  appState.city = p.city.c_str();
  appState.state = p.state.c_str();
  appState.country = p.country.c_str();
}

// The entries of a list or combo box, asked with that control's three messages.
inline Entries Texts(HWND list, UINT countMessage, UINT lengthMessage, UINT textMessage) {
  Entries entries;
  const auto count = SendMessageW(list, countMessage, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::u16string entry(static_cast<std::size_t>(SendMessageW(list, lengthMessage, i, 0)), 0);
    SendMessageW(list, textMessage, i, reinterpret_cast<LPARAM>(entry.data()));
    entries.push_back(entry);
  }
  return entries;
}

inline void StartScreen() {
  static const bool registered =
      murmel::test::RegisterTestWindowClass(u"UserdataTestOwner", DefWindowProcW);
  ASSERT_TRUE(registered);
}

class RecipientBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartScreen();
    owner_ = CreateWindowExW(0, u"UserdataTestOwner", u"Owner", WS_VISIBLE, 0, 26, 240, 294,
                             nullptr, nullptr, nullptr, nullptr);
    box_ = CreateWindowExW(0, u"COMBOBOX", u"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 70, 114, 160,
                           100, owner_, reinterpret_cast<HMENU>(INT_PTR{60000}), nullptr, nullptr);
  }
  void TearDown() override {
    if (IsWindow(owner_)) DestroyWindow(owner_);
  }

  Entries ListEntries() const { return Texts(box_, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT); }
  void SetEntries(const Entries& entries) const {
    SendMessageW(box_, CB_RESETCONTENT, 0, 0);
    for (const std::u16string& entry : entries) {
      SendMessageW(box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    }
  }

  HWND owner_ = nullptr;
  HWND box_ = nullptr;
  DeviceFolder device_;
};

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

}  // namespace userdata_test
