// Host errno values as the platform's error codes.
#pragma once

#include <string>

#include "win/types.h"

namespace murmel::kernel {

// The error for a failed open or removal of path: a missing file is ERROR_FILE_NOT_FOUND
// only when its folder exists, ERROR_PATH_NOT_FOUND otherwise.
DWORD ErrorForPathErrno(int error, const std::string& path);

// The error for failed I/O on an open file; fallback covers device faults.
DWORD ErrorForIoErrno(int error, DWORD fallback);

}  // namespace murmel::kernel
