#include "platform/gui/shell_execute.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/kernel/device_path.h"
#include "win/error.h"
#include "win/text.h"

// shellapi.h includes windows.h; it is the public face of this file.
#include <shellapi.h>

namespace murmel::gui {

namespace {

constexpr int kNoProgramFound = 3;  // xdg-open: "the action failed... no program found"
constexpr auto kForegroundBrowserWait = std::chrono::seconds(5);

struct OpenerSlot {
  std::mutex mutex;
  DesktopOpener opener;
};

OpenerSlot& Slot() {
  static OpenerSlot slot;
  return slot;
}

DWORD OpenOnDesktop(const std::string& target) {
  DesktopOpener opener;
  {
    std::lock_guard lock(Slot().mutex);
    opener = Slot().opener;
  }
  if (opener) return opener(target);
  const char* browser = std::getenv("MURMELPOST_BROWSER");
  return OpenWithProgram(browser != nullptr && *browser != 0 ? browser : "xdg-open", target);
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && _wcsnicmp(a.data(), b.data(), a.size()) == 0;
}

bool IsWebAddress(std::u16string_view text) {
  for (std::u16string_view scheme : {u"http://", u"https://", u"file://", u"mailto:"}) {
    if (text.size() >= scheme.size() && EqualsIgnoringCase(text.substr(0, scheme.size()), scheme))
      return true;
  }
  return false;
}

bool IsPlatformBrowser(std::u16string_view file) {
  return EqualsIgnoringCase(file, u"\\Windows\\iexplore.exe") ||
         EqualsIgnoringCase(file, u"iexplore.exe") || EqualsIgnoringCase(file, u"iexplore");
}

}  // namespace

void SetDesktopOpener(DesktopOpener opener) {
  std::lock_guard lock(Slot().mutex);
  Slot().opener = std::move(opener);
}

DWORD OpenWithProgram(const std::string& program, const std::string& target) {
  std::vector<char> program_arg(program.begin(), program.end());
  program_arg.push_back('\0');
  std::vector<char> target_arg(target.begin(), target.end());
  target_arg.push_back('\0');
  char* argv[] = {program_arg.data(), target_arg.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawnp(&pid, program_arg.data(), nullptr, nullptr, argv, environ) != 0)
    return ERROR_FILE_NOT_FOUND;  // no xdg-open: nothing on this desktop opens addresses
  auto status = std::make_shared<std::promise<int>>();
  std::future<int> exited = status->get_future();
  // The waiter owns the child's reaping, also after this call has stopped waiting.
  std::thread([pid, status] {
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
    }
    status->set_value(wait_status);
  }).detach();
  if (exited.wait_for(kForegroundBrowserWait) != std::future_status::ready) return ERROR_SUCCESS;
  const int wait_status = exited.get();
  if (!WIFEXITED(wait_status)) return ERROR_GEN_FAILURE;
  switch (WEXITSTATUS(wait_status)) {
    case 0:
      return ERROR_SUCCESS;
    case kNoProgramFound:
    case 127:  // a shell wrapper that found no program
      return ERROR_FILE_NOT_FOUND;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace murmel::gui

BOOL ShellExecuteEx(LPSHELLEXECUTEINFO lpExecInfo) {
  // The handheld's structure is 60 bytes; a caller built for this host passes its own size.
  constexpr DWORD kHandheldSize = 60;
  if (lpExecInfo == nullptr || lpExecInfo->cbSize < kHandheldSize ||
      lpExecInfo->lpFile == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (lpExecInfo->cbSize >= sizeof(SHELLEXECUTEINFO)) lpExecInfo->hProcess = nullptr;
  const std::u16string_view file = lpExecInfo->lpFile;
  const std::u16string_view parameters =
      lpExecInfo->lpParameters == nullptr ? u"" : lpExecInfo->lpParameters;
  std::string target;
  if (murmel::gui::IsWebAddress(file)) {
    target = murmel::kernel::Utf16ToUtf8(file);
  } else if (murmel::gui::IsPlatformBrowser(file)) {
    // The browser opens its parameters, or its start page (the help site) without any.
    target = murmel::kernel::Utf16ToUtf8(parameters);
    if (target.empty()) target = "about:blank";
  } else {
    // Any other file opens with its program on the desktop, when it exists.
    target = murmel::kernel::HostPathFor(file);
    std::error_code error;
    if (!std::filesystem::exists(target, error)) {
      lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_FNF));
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
  }
  const DWORD result = murmel::gui::OpenOnDesktop(target);
  if (result != ERROR_SUCCESS) {
    const INT_PTR code = result == ERROR_FILE_NOT_FOUND ? SE_ERR_FNF : SE_ERR_NOASSOC;
    lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(code);
    SetLastError(result);
    return FALSE;
  }
  constexpr INT_PTR kLaunched = 33;  // any value above 32 means success
  lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(kLaunched);
  return TRUE;
}
