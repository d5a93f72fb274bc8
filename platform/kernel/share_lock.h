// Share modes that hold between processes.
//
// Each open of a file marks what it does and what it refuses (read access, write access,
// no read sharing, no write sharing, no delete sharing) with a shared advisory lock on one
// byte per mark, far beyond any real file data. Locks of open file descriptions
// (F_OFD_SETLK) belong to the open itself, so two opens in one process see each other,
// and the kernel drops them when the holder closes the file or dies. A whole-file flock
// taken for the moment of the check makes "check, then mark" one step for every opener.
#pragma once

#include "win/types.h"

namespace murmel::kernel {

enum class ShareResult { kGranted, kViolation, kFailed };

// Checks the new open (access and share mode as CreateFileW takes them) against every
// other open of the same file, in this or another process, and marks it when compatible.
// The descriptor must be a fresh open of the file, readable, and not yet marked.
// kFailed leaves the cause in errno.
ShareResult ClaimShare(int fd, DWORD access, DWORD share_mode);

// Unlinks the path when no open of the file (fd is any readable open of it) refuses delete
// sharing; the check and the removal are one step against other openers. kFailed leaves
// the cause in errno.
ShareResult UnlinkUnlessShared(int fd, const char* path);

// Renames from to `to` when no open of either file refuses delete sharing (from_fd and
// to_fd are readable opens of them; to_fd is -1 when `to` does not exist). The checks and
// the rename are one step against other openers; replace false refuses an existing `to`.
ShareResult RenameUnlessShared(int from_fd, int to_fd, const char* from, const char* to,
                               bool replace);

}  // namespace murmel::kernel
