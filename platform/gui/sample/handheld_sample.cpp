// A small program on the emulated handheld (not the client): a window with the platform's
// controls, a worker thread moving a progress bar through SendMessageW, a timer, owner-drawn
// buttons painted from bitmap resources, and the soft input panel.
//   handheld_sample                 run it (needs a display, or QT_QPA_PLATFORM=offscreen)
//   handheld_sample --screenshot F  type into the screen, save it as PNG file F and exit
#include <windows.h>

#include <aygshell.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/gui/testing/testing.h"

namespace {

constexpr int kRecipients = 100;
constexpr int kSubject = 101;
constexpr int kText = 102;
constexpr int kProgress = 103;
constexpr int kClock = 104;
constexpr int kRecordButton = 105;
constexpr int kStartButton = 106;
constexpr WORD kTileBitmap = 1;
constexpr WORD kRecordNormal = 2;
constexpr WORD kRecordPressed = 3;
constexpr WORD kRecordDisabled = 4;
constexpr UINT kTakeScreenshot = WM_APP + 1;

std::atomic<bool> worker_running{false};
const char* screenshot_path = nullptr;
int tenths = 0;

// ---- Bitmaps: 8-bit BMP files built at start-up, as a resource script would write them.

void Put16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(std::vector<std::uint8_t>& out, unsigned value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

template <typename PixelOf>
std::vector<std::uint8_t> MakeBmp(int size, const std::vector<std::uint32_t>& palette,
                                  PixelOf pixel_of) {
  const int row = (size + 3) & ~3;
  const unsigned pixels_at = 14 + 40 + static_cast<unsigned>(palette.size()) * 4;
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, pixels_at + static_cast<unsigned>(row * size));
  Put32(out, 0);
  Put32(out, pixels_at);
  Put32(out, 40);
  Put32(out, static_cast<unsigned>(size));
  Put32(out, static_cast<unsigned>(size));
  Put16(out, 1);
  Put16(out, 8);
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  Put32(out, static_cast<unsigned>(palette.size()));
  Put32(out, 0);
  for (std::uint32_t rgb : palette) Put32(out, rgb);
  for (int y = size - 1; y >= 0; --y) {  // bottom-up rows
    for (int x = 0; x < row; ++x) out.push_back(x < size ? pixel_of(x, y) : 0);
  }
  return out;
}

// A round button face: ring colour 1, face 2, dot 3 (for the Record button).
std::vector<std::uint8_t> ButtonBmp(std::uint32_t face, std::uint32_t dot) {
  return MakeBmp(43, {0xFFFFFF, 0x404040, face, dot}, [](int x, int y) -> std::uint8_t {
    const int dx = x - 21;
    const int dy = y - 21;
    const int d2 = dx * dx + dy * dy;
    if (d2 > 21 * 21) return 0;
    if (d2 > 19 * 19) return 1;
    return d2 < 8 * 8 ? 3 : 2;
  });
}

void RegisterSampleResources() {
  static const std::vector<std::uint8_t> tile = MakeBmp(16, {0xE8F0FF, 0xD4E2FA}, [](int x, int y) {
    return static_cast<std::uint8_t>(((x / 4) + (y / 4)) % 2);
  });
  static const std::vector<std::uint8_t> normal = ButtonBmp(0xE0E0E0, 0xD02020);
  static const std::vector<std::uint8_t> pressed = ButtonBmp(0xA0A0A0, 0x801010);
  static const std::vector<std::uint8_t> disabled = ButtonBmp(0xF0F0F0, 0xC0C0C0);
  static const MURMEL_RESOURCE table[] = {
      {RT_STRING, 1, u"Handheld sample", 0},
      {RT_BITMAP, kTileBitmap, tile.data(), static_cast<DWORD>(tile.size())},
      {RT_BITMAP, kRecordNormal, normal.data(), static_cast<DWORD>(normal.size())},
      {RT_BITMAP, kRecordPressed, pressed.data(), static_cast<DWORD>(pressed.size())},
      {RT_BITMAP, kRecordDisabled, disabled.data(), static_cast<DWORD>(disabled.size())},
  };
  RegisterResourceTable(table, std::size(table));
}

// ---- Painting.

void CopyBitmap(HDC target, WORD id, int x, int y, int size) {
  const HDC memory = CreateCompatibleDC(target);
  if (memory == nullptr) return;
  const HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(id));
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(target, x, y, size, size, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
}

LRESULT EraseWithTiles(HDC dc) {
  for (int x = 0; x <= 240; x += 16) {
    for (int y = 0; y <= 320; y += 16) CopyBitmap(dc, kTileBitmap, x, y, 16);
  }
  return 1;
}

void DrawRecordButton(const DRAWITEMSTRUCT& item) {
  WORD id = kRecordNormal;
  if ((item.itemState & ODS_SELECTED) != 0) {
    id = kRecordPressed;
  } else if ((item.itemState & ODS_DISABLED) != 0) {
    id = kRecordDisabled;
  }
  CopyBitmap(item.hDC, id, 0, 0, 43);
}

// ---- The window.

void FitText(HWND window) {
  SIPINFO sip{};
  sip.cbSize = sizeof(sip);
  SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
  const int k = (sip.fdwFlags & SIPF_ON) != 0 ? 2 : 31;
  MoveWindow(GetDlgItem(window, kText), 10, 158, 220,
             (sip.rcVisibleDesktop.bottom - sip.rcVisibleDesktop.top) - k - 158, TRUE);
}

HWND Control(HWND parent, const WCHAR* window_class, const WCHAR* text, DWORD style, DWORD ex_style,
             int id, int x, int y, int cx, int cy) {
  return CreateWindowExW(ex_style, window_class, text, WS_CHILD | WS_VISIBLE | style, x, y, cx, cy,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                         nullptr);
}

void OnCreate(HWND window) {
  SHMENUBARINFO bar{};
  bar.cbSize = sizeof(bar);
  bar.hwndParent = window;
  bar.dwFlags = SHCMBF_EMPTYBAR;
  SHCreateMenuBar(&bar);
  Control(window, u"button", u"", BS_OWNERDRAW, 0, kRecordButton, 8, 8, 43, 43);
  Control(window, u"button", u"Send", BS_PUSHBUTTON, 0, kStartButton, 60, 16, 60, 26);
  Control(window, PROGRESS_CLASS, u"", 0, WS_EX_STATICEDGE, kProgress, 10, 60, 170, 10);
  Control(window, u"STATIC", u"0.0s", SS_CENTER, WS_EX_STATICEDGE, kClock, 190, 58, 40, 14);
  Control(window, u"STATIC", u"To:", 0, 0, 0, 10, 118, 55, 16);
  Control(window, u"STATIC", u"Subject:", 0, 0, 0, 10, 139, 55, 16);
  const HWND to =
      Control(window, u"COMBOBOX", u"", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP,
              WS_EX_STATICEDGE, kRecipients, 70, 114, 160, 100);
  for (const WCHAR* address : {u"anna@example.org", u"bert@example.org", u"carla@example.net"}) {
    SendMessageW(to, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(address));
  }
  Control(window, u"EDIT", u"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_STATICEDGE, kSubject, 70, 136,
          160, 20);
  Control(window, u"EDIT", u"", ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP,
          WS_EX_STATICEDGE, kText, 10, 158, 220, 150);
  SetTimer(window, 1, 100, nullptr);
}

// The worker reports progress the way the client's send thread does: straight into the
// controls, from its own thread.
void RunWorker(HWND window) {
  const HWND bar = GetDlgItem(window, kProgress);
  SendMessageW(bar, PBM_SETRANGE, 0, MAKELONG(0, 100));
  for (int percent = 0; percent <= 60; percent += 5) {
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EnableWindow(GetDlgItem(window, kStartButton), TRUE);
  worker_running = false;
  if (screenshot_path != nullptr) PostMessageW(window, kTakeScreenshot, 0, 0);
}

void StartWorker(HWND window) {
  if (worker_running.exchange(true)) return;
  EnableWindow(GetDlgItem(window, kStartButton), FALSE);
  std::thread(RunWorker, window).detach();
}

LRESULT SampleProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnCreate(window);
      break;
    case WM_ERASEBKGND:
      return EraseWithTiles(reinterpret_cast<HDC>(wParam));
    case WM_DRAWITEM:
      DrawRecordButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETSIPINFO) FitText(window);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kStartButton) StartWorker(window);
      return 0;
    case WM_TIMER: {
      WCHAR clock[16];
      ++tenths;
      wsprintfW(clock, u"%d.%ds", tenths / 10, tenths % 10);
      SetWindowTextW(GetDlgItem(window, kClock), clock);
      return 0;
    }
    case kTakeScreenshot:
      KillTimer(window, 1);
      murmel::testing::SaveScreen(screenshot_path);
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// What the screenshot shows: a recipient being typed, a subject, a disabled button, and
// the raised keyboard typing into the message text.
void ActLikeAUser(HWND window) {
  const HWND to = GetDlgItem(window, kRecipients);
  SetFocus(to);
  murmel::testing::Type(to, u"bert@example.org, ca");
  SetWindowTextW(GetDlgItem(window, kSubject), u"Greetings from the handheld");
  SIPINFO sip{};
  sip.cbSize = sizeof(sip);
  SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
  sip.fdwFlags |= SIPF_ON;
  SHSipInfo(SPI_SETSIPINFO, 0, &sip, 0);
  const HWND text = GetDlgItem(window, kText);
  SetFocus(text);
  for (const char* key : {"key_h", "key_e", "key_l", "key_l", "key_o"}) {
    murmel::testing::Click(murmel::testing::ScreenPart(key));
  }
  murmel::testing::Click(GetDlgItem(window, kStartButton));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--screenshot") == 0) screenshot_path = argv[2];
  RegisterSampleResources();
  WNDCLASSW window_class{};
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = SampleProc;
  window_class.lpszClassName = u"HandheldSample";
  if (RegisterClassW(&window_class) == 0) return 1;
  WCHAR title[64];
  LoadStringW(nullptr, 1, title, 64);
  SIPINFO sip{};
  sip.cbSize = sizeof(sip);
  SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
  const HWND window =
      CreateWindowExW(0, u"HandheldSample", title, WS_VISIBLE | WS_BORDER, CW_USEDEFAULT,
                      CW_USEDEFAULT, sip.rcVisibleDesktop.right - sip.rcVisibleDesktop.left, 294,
                      nullptr, nullptr, nullptr, nullptr);
  if (window == nullptr) return 1;
  SendMessageW(window, WM_SETTINGCHANGE, SPI_SETSIPINFO, 0);
  if (screenshot_path != nullptr) ActLikeAUser(window);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) == 1) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
