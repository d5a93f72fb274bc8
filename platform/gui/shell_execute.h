// Opening a web address or a host file in the desktop's programs, and the hook through
// which tests replace the desktop.
#pragma once

#include <functional>
#include <string>

#include "win/types.h"

namespace murmel::gui {

// Opens `target` (a URL or a host path) and returns ERROR_SUCCESS, ERROR_FILE_NOT_FOUND
// when there is no program to open it with, or another error code.
using DesktopOpener = std::function<DWORD(const std::string& target)>;

// Replaces the desktop (empty: back to xdg-open, or MURMELPOST_BROWSER).
void SetDesktopOpener(DesktopOpener opener);

// Runs `program target` and maps its exit status the way xdg-open reports it: 0 opened,
// 3 no program found (also when `program` cannot be run at all), anything else failed. A
// program still running after a few seconds is a browser that stayed in the foreground:
// it counts as opened and is reaped when it ends.
DWORD OpenWithProgram(const std::string& program, const std::string& target);

}  // namespace murmel::gui
