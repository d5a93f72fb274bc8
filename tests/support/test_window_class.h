// The GUI's toolkit needs a private runtime folder before it starts; a test's own window
// class is then registered once per process.
#pragma once

#include <windows.h>

#include <cstdlib>

#include "support/temp_dir.h"

namespace murmel::test {

// Call once per class; true when the class was registered.
inline bool RegisterTestWindowClass(const WCHAR* name, WNDPROC procedure) {
  static const TempDir runtime;
  setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = procedure;
  window_class.lpszClassName = name;
  return RegisterClassW(&window_class) != 0;
}

}  // namespace murmel::test
