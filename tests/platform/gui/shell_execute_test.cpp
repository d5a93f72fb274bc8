// ShellExecuteEx: the platform's browser path opens the address on the desktop, and a
// missing browser is error 2.
#include <shellapi.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "gui_test_support.h"
#include "platform/gui/testing/testing_shell.h"
#include "support/scoped_env.h"

namespace {

namespace ui = murmel::testing;

// The desktop's opener is a script that logs its arguments and exits with a given status,
// as xdg-open does (3 when it finds no browser, 4 when the browser failed); a negative
// status leaves it missing.
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
    murmel::test::TempDir dir;
    const std::string opener = dir / "opener";
    const std::string log = dir / "calls";
    if (c.exit_status >= 0) {
      std::ofstream(opener) << "#!/bin/sh\nprintf '%s|' \"$@\" >> '" << log << "'\necho >> '" << log
                            << "'\nexit " << c.exit_status << "\n";
      chmod(opener.c_str(), 0755);
    }
    murmel::test::ScopedEnv browser("MURMELPOST_BROWSER", opener);
    SHELLEXECUTEINFO request{};
    request.cbSize = sizeof request;
    request.lpVerb = u"open";
    request.lpFile = u"\\Windows\\iexplore.exe";
    request.lpParameters = u"http://localhost:8110/help/help2/";
    request.nShow = SW_SHOWNORMAL;
    SetLastError(0);
    EXPECT_EQ(ShellExecuteEx(&request), c.result);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(reinterpret_cast<INT_PTR>(request.hInstApp), c.app_result);
    if (c.exit_status >= 0) {  // exactly one address, as the one argument
      std::stringstream calls;
      calls << std::ifstream(log).rdbuf();
      EXPECT_EQ(calls.str(), "http://localhost:8110/help/help2/|\n");
    }
  }
}

}  // namespace
