// A session's question "has the user cancelled?", asked at fixed points of a transfer.
#pragma once

#include <windows.h>

// Returns nonzero when the transfer is to stop. A null test never cancels.
using CancelTest = BOOL (*)();

inline bool IsCancelled(CancelTest cancelTest) {
  return cancelTest != nullptr && cancelTest() != 0;
}
