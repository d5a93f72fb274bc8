#include "platform/kernel/host_error.h"

#include <sys/stat.h>

#include <cerrno>

#include "win/error.h"

namespace murmel::kernel {
namespace {

bool ParentFolderExists(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return true;  // relative to the current folder
  const std::string parent = slash == 0 ? std::string("/") : path.substr(0, slash);
  struct stat info {};
  return stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

DWORD ErrorForPathErrno(int error, const std::string& path) {
  switch (error) {
    case ENOENT:
      return ParentFolderExists(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
      return ERROR_INVALID_NAME;
    default:
      // EACCES, EPERM, EROFS, EISDIR, ETXTBSY and whatever else keeps a file closed.
      return ERROR_ACCESS_DENIED;
  }
}

DWORD ErrorForIoErrno(int error, DWORD fallback) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ERROR_DISK_FULL;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
    case EFAULT:
      return ERROR_INVALID_PARAMETER;
    default:
      return fallback;
  }
}

}  // namespace murmel::kernel
