// Reading, writing, sizing and flushing open files. Only synchronous I/O exists on this platform.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#include "platform/kernel/file_object.h"
#include "platform/kernel/handle_table.h"
#include "platform/kernel/host_error.h"
#include "win/error.h"
#include "win/kernel.h"

namespace {

using murmel::kernel::FileObject;

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The file behind a handle, or null with the last error set.
std::shared_ptr<FileObject> FileFor(HANDLE handle) {
  auto file = murmel::kernel::HandleTable::Instance().FindAs<FileObject>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

}  // namespace

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  const auto file = FileFor(hFile);
  if (!file) return FALSE;
  if (lpOverlapped) return Fail(ERROR_INVALID_PARAMETER);
  if (!file->CanRead()) return Fail(ERROR_ACCESS_DENIED);

  // A host read may return less than asked before the end; the platform reads it all.
  auto* bytes = static_cast<unsigned char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToRead) {
    const ssize_t count = ::read(file->fd(), bytes + done, nNumberOfBytesToRead - done);
    if (count == 0) break;  // end of file: success with fewer bytes, 0 at the end
    if (count < 0) {
      if (errno == EINTR) continue;
      if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
      return Fail(murmel::kernel::ErrorForIoErrno(errno, ERROR_READ_FAULT));
    }
    done += static_cast<DWORD>(count);
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  const auto file = FileFor(hFile);
  if (!file) return FALSE;
  if (lpOverlapped) return Fail(ERROR_INVALID_PARAMETER);
  if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);

  const auto* bytes = static_cast<const unsigned char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    const ssize_t count = ::write(file->fd(), bytes + done, nNumberOfBytesToWrite - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
      return Fail(murmel::kernel::ErrorForIoErrno(count < 0 ? errno : ENOSPC, ERROR_WRITE_FAULT));
    }
    done += static_cast<DWORD>(count);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  return TRUE;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  const auto file = FileFor(hFile);
  if (!file) return INVALID_FILE_SIZE;
  struct stat info {};
  if (fstat(file->fd(), &info) != 0) {
    SetLastError(murmel::kernel::ErrorForIoErrno(errno, ERROR_READ_FAULT));
    return INVALID_FILE_SIZE;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  const auto low = static_cast<DWORD>(size & 0xFFFFFFFFu);
  if (lpFileSizeHigh) {
    *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    // With a high part, a low part of all ones is told from failure by the last error.
    if (low == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
  }
  return low;
}

BOOL SetEndOfFile(HANDLE hFile) {
  const auto file = FileFor(hFile);
  if (!file) return FALSE;
  if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  const off_t position = ::lseek(file->fd(), 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(file->fd(), position) != 0) {
    return Fail(murmel::kernel::ErrorForIoErrno(errno, ERROR_WRITE_FAULT));
  }
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
  const auto file = FileFor(hFile);
  if (!file) return FALSE;
  if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  int result = 0;
  do {
    result = ::fsync(file->fd());
  } while (result != 0 && errno == EINTR);
  return result == 0 ? TRUE : Fail(murmel::kernel::ErrorForIoErrno(errno, ERROR_WRITE_FAULT));
}
