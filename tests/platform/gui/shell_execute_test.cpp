// ShellExecuteEx: the platform's browser path opens the address on the desktop, and a
// missing browser is error 2.
#include <shellapi.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "platform/gui/testing/testing_shell.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

namespace ui = murmel::testing;

constexpr const WCHAR* kBrowser = u"\\Windows\\iexplore.exe";

SHELLEXECUTEINFO BrowserRequest(const WCHAR* file, const WCHAR* parameters) {
  SHELLEXECUTEINFO request{};
  request.cbSize = sizeof request;
  request.lpVerb = u"open";
  request.lpFile = file;
  request.lpParameters = parameters;
  request.nShow = SW_SHOWNORMAL;
  return request;
}

INT_PTR AppResult(const SHELLEXECUTEINFO& request) {
  return reinterpret_cast<INT_PTR>(request.hInstApp);
}

// A stand-in for the desktop's opener: logs its arguments and exits with a given status,
// as xdg-open does (3 when it finds no browser, 4 when the browser failed); a negative
// status leaves it missing.
class FakeOpener {
 public:
  explicit FakeOpener(int exit_status) {
    if (exit_status < 0) return;
    std::ofstream(script_) << "#!/bin/sh\nprintf '%s|' \"$@\" >> '" << log_ << "'\necho >> '"
                           << log_ << "'\nexit " << exit_status << "\n";
    chmod(script_.c_str(), 0755);
  }
  const std::string& path() const { return script_; }
  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    return calls;
  }

 private:
  murmel::test::TempDir dir_;
  std::string script_ = dir_ / "opener";
  std::string log_ = dir_ / "calls";
};

TEST(ShellExecuteTest, DesktopOpenerExitStatusDecidesTheResult) {
  ui::RestoreBrowser();
  const struct {
    const char* what;
    int exit_status;
    BOOL result;
    DWORD error;
    INT_PTR app_result;
  } cases[] = {
      {"opened", 0, TRUE, 0, 33},
      {"no browser on this desktop", 3, FALSE, ERROR_FILE_NOT_FOUND, SE_ERR_FNF},
      {"the browser failed: not the missing-browser case", 4, FALSE, 31, SE_ERR_NOASSOC},
      {"an opener that cannot be run means no browser", -1, FALSE, ERROR_FILE_NOT_FOUND,
       SE_ERR_FNF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeOpener opener(c.exit_status);
    murmel::test::ScopedEnv browser("MURMELPOST_BROWSER", opener.path());
    SHELLEXECUTEINFO request = BrowserRequest(kBrowser, u"http://localhost:8110/help/help2/");
    SetLastError(0);
    EXPECT_EQ(ShellExecuteEx(&request), c.result);
    if (!c.result) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(AppResult(request), c.app_result);
    // Exactly one address, as the one argument.
    if (c.exit_status >= 0) {
      EXPECT_EQ(opener.Calls(), std::vector<std::string>{"http://localhost:8110/help/help2/|"});
    }
  }
}

TEST(ShellExecuteTest, ReplacedBrowserRecordsWhatWouldOpen) {
  ui::ReplaceBrowser(true);
  const struct {
    const WCHAR* file;
    const WCHAR* parameters;
    std::string opened;
  } cases[] = {
      {kBrowser, u"http://localhost:8110/help/helpquick/", "http://localhost:8110/help/helpquick/"},
      {u"\\windows\\IEXPLORE.EXE", u"http://h/a b", "http://h/a b"},  // the device ignores case
      {u"https://example.org/x", nullptr, "https://example.org/x"},   // an address as the file
  };
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    SHELLEXECUTEINFO request = BrowserRequest(c.file, c.parameters);
    EXPECT_TRUE(ShellExecuteEx(&request));
    expected.push_back(c.opened);
  }
  EXPECT_EQ(ui::OpenedAddresses(), expected);

  ui::ReplaceBrowser(false);
  SHELLEXECUTEINFO request = BrowserRequest(kBrowser, u"http://localhost:8110/");
  EXPECT_FALSE(ShellExecuteEx(&request));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  EXPECT_TRUE(ui::OpenedAddresses().empty());
  ui::RestoreBrowser();
}

TEST(ShellExecuteTest, BadRequestsAndMissingFilesOpenNothing) {
  ui::ReplaceBrowser(true);
  murmel::test::TempDir root;
  murmel::test::ScopedEnv device("MURMELPOST_DEVICE_ROOT", root.path());
  SHELLEXECUTEINFO no_file = BrowserRequest(nullptr, nullptr);
  SHELLEXECUTEINFO too_small = BrowserRequest(kBrowser, u"http://h/");
  too_small.cbSize = 20;
  SHELLEXECUTEINFO missing = BrowserRequest(u"\\Windows\\nothing.exe", nullptr);
  const struct {
    const char* what;
    SHELLEXECUTEINFO* request;
    DWORD error;
  } cases[] = {
      {"no file", &no_file, ERROR_INVALID_PARAMETER},
      {"structure too small", &too_small, ERROR_INVALID_PARAMETER},
      {"a program that is not there", &missing, ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_FALSE(ShellExecuteEx(c.request));
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_FALSE(ShellExecuteEx(nullptr));
  EXPECT_TRUE(ui::OpenedAddresses().empty());
  ui::RestoreBrowser();
}

}  // namespace
