// Opening, creating, deleting and renaming files by device or host path.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/kernel/device_path.h"
#include "platform/kernel/file_object.h"
#include "platform/kernel/handle_table.h"
#include "platform/kernel/host_error.h"
#include "platform/kernel/share_lock.h"
#include "win/error.h"
#include "win/kernel.h"

namespace murmel::kernel {
namespace {

constexpr DWORD kKnownShareBits = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::size_t Length(LPCWSTR text) {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

std::string HostPath(LPCWSTR name) { return HostPathFor(std::u16string_view(name, Length(name))); }

int OpenRetryingInterrupts(const std::string& path, int flags, mode_t mode) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd == -1 && errno == EINTR);
  return fd;
}

struct Opened {
  UniqueFd fd;
  bool existed = false;
};

// Opens (and for the creating dispositions creates) the file without truncating it: a
// file that someone holds must keep its content until the share check has passed.
Opened OpenForDisposition(const std::string& path, int flags, DWORD disposition) {
  constexpr mode_t mode = 0666;  // less the umask, like any new file of the user's
  Opened opened;
  switch (disposition) {
    case OPEN_EXISTING:
      opened.fd.reset(OpenRetryingInterrupts(path, flags, 0));
      opened.existed = true;
      break;
    case CREATE_NEW:
      opened.fd.reset(OpenRetryingInterrupts(path, flags | O_CREAT | O_EXCL, mode));
      break;
    default:
      // CREATE_ALWAYS and OPEN_ALWAYS must tell whether the file was there before; retry
      // while another process creates and deletes it under our feet.
      for (int attempt = 0; attempt < 16 && !opened.fd; ++attempt) {
        opened.fd.reset(OpenRetryingInterrupts(path, flags | O_CREAT | O_EXCL, mode));
        if (opened.fd || errno != EEXIST) break;
        opened.fd.reset(OpenRetryingInterrupts(path, flags, 0));
        opened.existed = static_cast<bool>(opened.fd);
        if (!opened.fd && errno != ENOENT) break;
      }
      break;
  }
  return opened;
}

HANDLE Fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

}  // namespace
}  // namespace murmel::kernel

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/) {
  using namespace murmel::kernel;
  const bool writes = (dwDesiredAccess & GENERIC_WRITE) != 0;
  if (!lpFileName || dwCreationDisposition < CREATE_NEW || dwCreationDisposition > OPEN_ALWAYS ||
      (dwShareMode & ~kKnownShareBits) != 0) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const std::string path = HostPath(lpFileName);
  if (path.empty()) return Fail(ERROR_PATH_NOT_FOUND);

  // Every open is readable on the host, because its share marks are read locks.
  const int flags = (writes ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY;
  Opened opened = OpenForDisposition(path, flags, dwCreationDisposition);
  if (!opened.fd) return Fail(ErrorForPathErrno(errno, path));

  struct stat info {};
  if (fstat(opened.fd.get(), &info) != 0) return Fail(ErrorForPathErrno(errno, path));
  if (S_ISDIR(info.st_mode)) return Fail(ERROR_ACCESS_DENIED);

  switch (ClaimShare(opened.fd.get(), dwDesiredAccess, dwShareMode)) {
    case ShareResult::kGranted:
      break;
    case ShareResult::kViolation:
      return Fail(ERROR_SHARING_VIOLATION);
    case ShareResult::kFailed:
      return Fail(ErrorForPathErrno(errno, path));
  }

  if (opened.existed && dwCreationDisposition == CREATE_ALWAYS &&
      ftruncate(opened.fd.get(), 0) != 0) {
    return Fail(ErrorForPathErrno(errno, path));
  }

  HANDLE handle = HandleTable::Instance().Insert(
      std::make_shared<FileObject>(std::move(opened.fd), dwDesiredAccess));
  if (!handle) return Fail(ERROR_TOO_MANY_OPEN_FILES);

  const bool reports_existing =
      dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
  SetLastError(reports_existing && opened.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  using namespace murmel::kernel;
  if (!lpFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string path = HostPath(lpFileName);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  // O_NONBLOCK: a FIFO must not stall the check.
  UniqueFd fd(OpenRetryingInterrupts(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0));
  if (!fd) {
    SetLastError(ErrorForPathErrno(errno, path));
    return FALSE;
  }
  struct stat info {};
  if (fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  switch (UnlinkUnlessShared(fd.get(), path.c_str())) {
    case ShareResult::kGranted:
      return TRUE;
    case ShareResult::kViolation:
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    case ShareResult::kFailed:
      break;
  }
  SetLastError(ErrorForPathErrno(errno, path));
  return FALSE;
}

namespace murmel::kernel {
namespace {

// A readable open of path for the share checks; it does not count as an open of the file
// for anyone's share mode. O_NONBLOCK: a FIFO must not stall it.
UniqueFd OpenForCheck(const std::string& path) {
  return UniqueFd(OpenRetryingInterrupts(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0));
}

bool IsFolder(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes a rename in the folder holding path durable.
bool SyncFolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const UniqueFd fd(OpenRetryingInterrupts(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  return fd && fsync(fd.get()) == 0;
}

BOOL FailMove(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace
}  // namespace murmel::kernel

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  using namespace murmel::kernel;
  constexpr DWORD kKnownFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (!lpExistingFileName || !lpNewFileName || (dwFlags & ~kKnownFlags) != 0) {
    return FailMove(ERROR_INVALID_PARAMETER);
  }
  const std::string from = HostPath(lpExistingFileName);
  const std::string to = HostPath(lpNewFileName);
  if (from.empty() || to.empty()) return FailMove(ERROR_PATH_NOT_FOUND);

  const UniqueFd source = OpenForCheck(from);
  if (!source) return FailMove(ErrorForPathErrno(errno, from));
  const UniqueFd target = OpenForCheck(to);
  const bool replace = (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0;
  if (target) {
    if (!replace) return FailMove(ERROR_ALREADY_EXISTS);
    if (IsFolder(target.get())) return FailMove(ERROR_ACCESS_DENIED);
  } else if (errno != ENOENT) {
    return FailMove(ErrorForPathErrno(errno, to));
  }

  switch (RenameUnlessShared(source.get(), target ? target.get() : -1, from.c_str(), to.c_str(),
                             replace)) {
    case ShareResult::kGranted:
      break;
    case ShareResult::kViolation:
      return FailMove(ERROR_SHARING_VIOLATION);
    case ShareResult::kFailed:
      if (errno == EEXIST) return FailMove(ERROR_ALREADY_EXISTS);
      if (errno == EXDEV) return FailMove(ERROR_NOT_SAME_DEVICE);
      return FailMove(ErrorForPathErrno(errno, to));
  }
  if ((dwFlags & MOVEFILE_WRITE_THROUGH) != 0 && !SyncFolderOf(to)) {
    return FailMove(ERROR_WRITE_FAULT);
  }
  return TRUE;
}
