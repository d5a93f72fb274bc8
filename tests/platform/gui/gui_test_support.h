// Shared pieces of the GUI tests: a private runtime folder before Qt starts, a window class
// that records what its procedure receives, and queue dispatching.
#pragma once

#include <windows.h>

#include <aygshell.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gui/testing/testing.h"
#include "support/temp_dir.h"

namespace gui_test {

struct Received {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DRAWITEMSTRUCT draw;   // WM_DRAWITEM and WM_CREATE: copies, as the originals live only
  CREATESTRUCTW create;  // during the call
};

inline std::vector<Received>& Log() {
  static std::vector<Received> log;
  return log;
}

// Records every message; answers WM_CREATE with the creation parameter (for refusals) and
// paints owner-drawn items black into the context it is given, as the client does.
inline LRESULT RecordingProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Received received{hWnd, Msg, wParam, lParam, {}, {}};
  if (Msg == WM_DRAWITEM) {
    received.draw = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    FillRect(received.draw.hDC, &received.draw.rcItem,
             static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  if (Msg == WM_CREATE) received.create = *reinterpret_cast<const CREATESTRUCTW*>(lParam);
  Log().push_back(received);
  if (Msg == WM_CREATE && received.create.lpCreateParams != nullptr)
    return *static_cast<const LRESULT*>(received.create.lpCreateParams);
  if (Msg == WM_ERASEBKGND) return 1;
  return DefWindowProcW(hWnd, Msg, wParam, lParam);
}

inline constexpr const WCHAR* kRecordingClass = u"GuiTestRecorder";

// Registers a class of that name with `proc` as its procedure; refused harmlessly once an
// earlier test registered it.
inline bool Register(const WCHAR* class_name, WNDPROC proc) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = proc;
  window_class.lpszClassName = class_name;
  return RegisterClassW(&window_class) != 0;
}

// A visible top-level window at the work area's origin, of a class with `proc` as its
// procedure.
inline HWND TopLevelWith(const WCHAR* class_name, WNDPROC proc, DWORD style = 0) {
  Register(class_name, proc);
  return CreateWindowExW(0, class_name, u"", WS_VISIBLE | style, 0, 26, 240, 294, nullptr, nullptr,
                         nullptr, nullptr);
}

inline SIPINFO CurrentSip() {
  SIPINFO info{};
  info.cbSize = sizeof(SIPINFO);
  EXPECT_TRUE(SHSipInfo(SPI_GETSIPINFO, 0, &info, 0));
  return info;
}

// Raises or lowers the input panel.
inline bool SetSip(bool raised) {
  SIPINFO info = CurrentSip();
  info.fdwFlags =
      raised ? (info.fdwFlags | SIPF_ON) : (info.fdwFlags & ~static_cast<DWORD>(SIPF_ON));
  return SHSipInfo(SPI_SETSIPINFO, 0, &info, 0) != FALSE;
}

// A rectangle as {left, top, right, bottom}, to compare whole.
using Edges = std::array<LONG, 4>;
inline Edges EdgesOf(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }
inline Edges WindowEdges(HWND window) {
  RECT rect{};
  EXPECT_TRUE(GetWindowRect(window, &rect));
  return EdgesOf(rect);
}
inline Edges ClientEdges(HWND window) {
  RECT rect{};
  EXPECT_TRUE(GetClientRect(window, &rect));
  return EdgesOf(rect);
}

// Dispatches what the queue holds; with `done`, keeps serving the queue and Qt's events
// until another thread sets it.
inline void DispatchPending(const std::atomic<bool>* done = nullptr) {
  MSG msg;
  while (done != nullptr ? !done->load() : PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
    } else {
      murmel::testing::ProcessEvents();
    }
  }
}

inline std::u16string TextOf(HWND window) {
  WCHAR text[256];
  GetWindowTextW(window, text, 256);
  return text;
}

// A visible child of `parent`.
inline HWND ChildOf(HWND parent, const WCHAR* window_class, DWORD style, int x, int y, int cx,
                    int cy, int id = 0, const WCHAR* text = u"") {
  return CreateWindowExW(0, window_class, text, WS_CHILD | WS_VISIBLE | style, x, y, cx, cy, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

// The wParam of every `message` that reached `window`, in order.
inline std::vector<WPARAM> ParamsOf(HWND window, UINT message) {
  std::vector<WPARAM> params;
  for (const Received& r : Log()) {
    if (r.window == window && r.message == message) params.push_back(r.wParam);
  }
  return params;
}

// WM_COMMAND notifications that reached `parent`, as (control id, code) pairs.
struct Command {
  int id, code;
  bool operator==(const Command&) const = default;
};

inline std::vector<Command> CommandsTo(HWND parent) {
  std::vector<Command> commands;
  for (const WPARAM p : ParamsOf(parent, WM_COMMAND)) commands.push_back({LOWORD(p), HIWORD(p)});
  return commands;
}

inline void PrintTo(const Command& c, std::ostream* os) {
  *os << "{id " << c.id << ", code " << c.code << "}";
}

// A fixture with a visible top-level recording window and an empty log.
class GuiTest : public ::testing::Test {
 protected:
  // Qt needs a private runtime folder before it starts; the class is registered once.
  void SetUp() override {
    static murmel::test::TempDir runtime;
    static const bool started = setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1) == 0 &&
                                Register(kRecordingClass, RecordingProc);
    ASSERT_TRUE(started);
    top_ = CreateWindowExW(0, kRecordingClass, u"Test window", WS_VISIBLE, CW_USEDEFAULT,
                           CW_USEDEFAULT, 240, 294, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(top_, nullptr);
    Settle();
  }
  void TearDown() override {
    if (IsWindow(top_)) DestroyWindow(top_);
    SetSip(false);
    Settle();
  }
  static void Settle() {
    murmel::testing::ProcessEvents();
    DispatchPending();
    Log().clear();
  }

  HWND Child(const WCHAR* window_class, DWORD style, int id, int x = 10, int y = 10, int cx = 120,
             int cy = 24, const WCHAR* text = u"") {
    return ChildOf(top_, window_class, style, x, y, cx, cy, id, text);
  }

  HWND top_ = nullptr;
};

}  // namespace gui_test
