// A top-level window holding a recipient box (control 60000) on the emulated screen, for
// the address book's tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace userdata_test {

inline LRESULT PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

// Qt needs a private runtime folder before it starts; the class is registered once.
inline void StartScreen() {
  static murmel::test::TempDir runtime;
  static const bool started = [] {
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = PlainWindowProc;
    windowClass.lpszClassName = u"UserdataTestOwner";
    return RegisterClassW(&windowClass) != 0;
  }();
  ASSERT_TRUE(started);
}

class RecipientBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartScreen();
    owner_ = CreateWindowExW(0, u"UserdataTestOwner", u"Owner", WS_VISIBLE, 0, 26, 240, 294,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner_, nullptr);
    box_ = CreateWindowExW(0, u"COMBOBOX", u"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 70, 114, 160,
                           100, owner_, reinterpret_cast<HMENU>(INT_PTR{60000}), nullptr, nullptr);
    ASSERT_NE(box_, nullptr);
  }
  void TearDown() override {
    if (IsWindow(owner_)) DestroyWindow(owner_);
  }

  std::vector<std::u16string> ListEntries() const {
    std::vector<std::u16string> entries;
    const auto count = SendMessageW(box_, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      std::u16string entry(static_cast<std::size_t>(SendMessageW(box_, CB_GETLBTEXTLEN, i, 0)), 0);
      SendMessageW(box_, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
      entries.push_back(entry);
    }
    return entries;
  }
  void SetEntries(const std::vector<std::u16string>& entries) const {
    SendMessageW(box_, CB_RESETCONTENT, 0, 0);
    for (const std::u16string& entry : entries) {
      SendMessageW(box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    }
  }

  HWND owner_ = nullptr;
  HWND box_ = nullptr;
};

}  // namespace userdata_test
