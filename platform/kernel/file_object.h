// An open file behind a HANDLE: the host descriptor and the access it was opened with.
#pragma once

#include <unistd.h>

#include <utility>

#include "platform/kernel/handle_table.h"
#include "win/kernel.h"

namespace murmel::kernel {

// Owns one host file descriptor; closing it also drops the open's share marks.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

class FileObject final : public KernelObject {
 public:
  FileObject(UniqueFd fd, DWORD access) : fd_(std::move(fd)), access_(access) {}

  int fd() const { return fd_.get(); }
  bool CanRead() const { return (access_ & GENERIC_READ) != 0; }
  bool CanWrite() const { return (access_ & GENERIC_WRITE) != 0; }

 private:
  UniqueFd fd_;
  DWORD access_;
};

}  // namespace murmel::kernel
