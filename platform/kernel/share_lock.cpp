#include "platform/kernel/share_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <optional>

#include "win/kernel.h"

namespace murmel::kernel {
namespace {

enum Mark : int { kReading, kWriting, kDeniesRead, kDeniesWrite, kDeniesDelete };

// The marks sit at the top of the offset range, where no file's data reaches.
constexpr off_t kMarkBase = std::numeric_limits<off_t>::max() - 16;

// Holds the file's flock while the marks are checked and set.
class CheckGate {
 public:
  explicit CheckGate(int fd) : fd_(fd) {
    int result = 0;
    do {
      result = flock(fd_, LOCK_EX);
    } while (result == -1 && errno == EINTR);
    held_ = result == 0;
  }
  CheckGate(const CheckGate&) = delete;
  CheckGate& operator=(const CheckGate&) = delete;
  ~CheckGate() {
    if (held_) flock(fd_, LOCK_UN);
  }
  bool held() const { return held_; }

 private:
  int fd_;
  bool held_ = false;
};

struct flock MarkRange(Mark mark, short type) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = kMarkBase + mark;
  range.l_len = 1;
  range.l_pid = 0;
  return range;
}

// 1 when another open holds the mark, 0 when none does, -1 on error.
int OthersHold(int fd, Mark mark) {
  // Asking whether an exclusive lock could be had reveals any holder; it needs no write
  // access, which read-only opens lack.
  struct flock probe = MarkRange(mark, F_WRLCK);
  if (fcntl(fd, F_OFD_GETLK, &probe) == -1) return -1;
  return probe.l_type == F_UNLCK ? 0 : 1;
}

bool Hold(int fd, Mark mark) {
  struct flock lock = MarkRange(mark, F_RDLCK);
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

}  // namespace

ShareResult ClaimShare(int fd, DWORD access, DWORD share_mode) {
  const bool reads = (access & GENERIC_READ) != 0;
  const bool writes = (access & GENERIC_WRITE) != 0;
  const bool denies_read = (share_mode & FILE_SHARE_READ) == 0;
  const bool denies_write = (share_mode & FILE_SHARE_WRITE) == 0;
  const bool denies_delete = (share_mode & FILE_SHARE_DELETE) == 0;

  // An open without data access neither checks nor restricts others, as on the platform.
  if (!reads && !writes) return ShareResult::kGranted;

  CheckGate gate(fd);
  if (!gate.held()) return ShareResult::kFailed;

  // The open is refused when it wants what another refuses, or refuses what another does.
  const struct {
    bool applies;
    Mark conflicting;
  } checks[] = {{reads, kDeniesRead},
                {writes, kDeniesWrite},
                {denies_read, kReading},
                {denies_write, kWriting}};
  for (const auto& check : checks) {
    if (!check.applies) continue;
    const int held = OthersHold(fd, check.conflicting);
    if (held < 0) return ShareResult::kFailed;
    if (held > 0) return ShareResult::kViolation;
  }

  const struct {
    bool applies;
    Mark mark;
  } marks[] = {{reads, kReading},
               {writes, kWriting},
               {denies_read, kDeniesRead},
               {denies_write, kDeniesWrite},
               {denies_delete, kDeniesDelete}};
  for (const auto& mark : marks) {
    if (mark.applies && !Hold(fd, mark.mark)) return ShareResult::kFailed;
  }
  return ShareResult::kGranted;
}

namespace {

// Whether the files's opens allow deleting it; the caller holds the file's gate.
ShareResult DeleteAllowed(int fd) {
  const int held = OthersHold(fd, kDeniesDelete);
  if (held < 0) return ShareResult::kFailed;
  return held > 0 ? ShareResult::kViolation : ShareResult::kGranted;
}

}  // namespace

ShareResult UnlinkUnlessShared(int fd, const char* path) {
  CheckGate gate(fd);
  if (!gate.held()) return ShareResult::kFailed;
  const ShareResult allowed = DeleteAllowed(fd);
  if (allowed != ShareResult::kGranted) return allowed;
  return unlink(path) == 0 ? ShareResult::kGranted : ShareResult::kFailed;
}

ShareResult RenameUnlessShared(int from_fd, int to_fd, const char* from, const char* to,
                               bool replace) {
  // Renaming deletes the old name, and replacing deletes the file that bore the new one.
  CheckGate from_gate(from_fd);
  if (!from_gate.held()) return ShareResult::kFailed;
  ShareResult allowed = DeleteAllowed(from_fd);
  if (allowed != ShareResult::kGranted) return allowed;
  std::optional<CheckGate> to_gate;
  if (to_fd >= 0) {
    to_gate.emplace(to_fd);
    if (!to_gate->held()) return ShareResult::kFailed;
    allowed = DeleteAllowed(to_fd);
    if (allowed != ShareResult::kGranted) return allowed;
  }
  const int renamed = renameat2(AT_FDCWD, from, AT_FDCWD, to, replace ? 0 : RENAME_NOREPLACE);
  return renamed == 0 ? ShareResult::kGranted : ShareResult::kFailed;
}

}  // namespace murmel::kernel
