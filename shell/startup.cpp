#include "shell/startup.h"

#include <aygshell.h>
#include <commctrl.h>

#include "resources/resource_ids.h"
#include "shell/controls.h"
#include "shell/main_window.h"
#include "shell/voice_control.h"
#include "state/app_state.h"
#include "userdata/address_book.h"
#include "userdata/input_panel.h"
#include "userdata/profile.h"

namespace {

constexpr int RESOURCE_TEXT_CAPACITY = 260;
constexpr int MAIN_WINDOW_HEIGHT = 294;
constexpr int REQUIRED_MAJOR_VERSION = 3;
constexpr int PALETTE_LIMIT = 256;
// The bar and cool control classes; the progress bar is among them.
constexpr DWORD COMMON_CONTROL_CLASSES = 0x4 | 0x400;

HWND FindRunningCopy(HINSTANCE instance) {
  Text<RESOURCE_TEXT_CAPACITY> className;
  LoadStringW(instance, IDS_WINDOW_CLASS, className.data(), RESOURCE_TEXT_CAPACITY);
  return FindWindowW(className, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previousInstance*/, LPWSTR /*commandLine*/,
                   int /*showCommand*/) {
  if (InitInstance(instance) == 1) MessageLoop();
  return 0;
}

int InitInstance(HINSTANCE instance) {
  // The running copy is only brought forward; it is told nothing else.
  if (const HWND running = FindRunningCopy(instance)) {
    SetForegroundWindow(running);
    return 0;
  }
  appState.instance = instance;
  if (CheckPlatform() == 0) return 0;

  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = COMMON_CONTROL_CLASSES;
  InitCommonControlsEx(&controls);

  DetectColorDepth();
  if (!LoadProfile()) return 0;
  if (CreateMainWindow() == 0) return 0;
  if (CreateControls() == 0) return 0;
  // A missing address book just leaves the list empty.
  LoadAddressBook(GetDlgItem(appState.mainWindow, IDC_RECIPIENTS));
  SetForegroundWindow(appState.mainWindow);
  return 1;
}

int CheckPlatform() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  GetVersionExW(&version);
  if (version.dwMajorVersion == REQUIRED_MAJOR_VERSION) return 1;
  MessageBoxW(nullptr, u"This machine is not PocketPC", u"Info", MB_OK | MB_ICONSTOP);
  return 0;
}

void DetectColorDepth() {
  const HDC screen = GetDC(nullptr);
  const int colors = GetDeviceCaps(screen, NUMCOLORS);
  ReleaseDC(nullptr, screen);
  // Negative means more than 8 bits per pixel.
  appState.bitmapIdOffset = colors >= 1 && colors < PALETTE_LIMIT ? IDB_LOW_COLOR_OFFSET : 0;
}

int CreateMainWindow() {
  Text<RESOURCE_TEXT_CAPACITY> className;
  Text<RESOURCE_TEXT_CAPACITY> title;
  LoadStringW(appState.instance, IDS_WINDOW_CLASS, className.data(), RESOURCE_TEXT_CAPACITY);
  LoadStringW(appState.instance, IDS_APP_TITLE, title.data(), RESOURCE_TEXT_CAPACITY);

  WNDCLASSW windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = appState.instance;
  windowClass.lpszClassName = className;
  if (RegisterClassW(&windowClass) == 0) return 0;

  SIPINFO sip{};
  sip.cbSize = sizeof(sip);
  SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
  const int width = sip.rcVisibleDesktop.right - sip.rcVisibleDesktop.left;
  appState.mainWindow =
      CreateWindowExW(0, className, title, WS_VISIBLE | WS_BORDER, CW_USEDEFAULT, CW_USEDEFAULT,
                      width, MAIN_WINDOW_HEIGHT, nullptr, nullptr, appState.instance, nullptr);
  return appState.mainWindow != nullptr ? 1 : 0;
}

void MessageLoop() {
  MSG message{};
  // GetMessageW answers -1 on an error: that ends the loop too.
  while (GetMessageW(&message, nullptr, 0, 0) == 1) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void OnCreate(HWND window) {
  // An empty bar: the commands live in the Option and Help pop-ups.
  SHMENUBARINFO bar{};
  bar.cbSize = sizeof(bar);
  bar.hwndParent = window;
  bar.dwFlags = SHCMBF_EMPTYBAR;
  bar.hInstRes = appState.instance;
  SHCreateMenuBar(&bar);

  const HICON icon = LoadIconW(appState.instance, MAKEINTRESOURCEW(IDI_APP));
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  appState.menu = LoadMenuW(appState.instance, MAKEINTRESOURCEW(IDR_MAIN_MENU));

  // Without a recorder the window still opens, but the loop ends at its first message.
  if (SetUpRecorder(window) != 0) PostQuitMessage(0);
}

void CloseApplication(HWND window) {
  HideInputPanel();
  ShutDownRecorder(window);
  if (appState.menu != nullptr) {
    DestroyMenu(appState.menu);
    appState.menu = nullptr;
  }
  // A send or picture thread still running is not waited for: it ends with the process.
  PostQuitMessage(0);
}
