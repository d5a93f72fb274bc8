#include "server/spool_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "server/durable_file.h"

namespace murmel::server {
namespace {

Result Failure(const char* what, const std::filesystem::path& folder) {
  return {false, std::string(what) + " in " + folder.string() + ": " + std::strerror(errno)};
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes, std::uint64_t at) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + written, bytes.size() - written,
                               static_cast<off_t>(at + written));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

SpoolFile::~SpoolFile() {
  if (fd_ >= 0) ::close(fd_);
}

Result SpoolFile::MoveToFile() {
  int fd = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // A file system without anonymous files: a named one, unlinked at once.
    std::string name = (folder_ / "upload.XXXXXX").string();
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
  }
  if (fd < 0) return Failure("cannot spool an upload", folder_);
  if (!WriteAll(fd, memory_, 0)) {
    Result failed = Failure("cannot spool an upload", folder_);
    ::close(fd);
    return failed;
  }
  fd_ = fd;
  memory_ = {};
  return {};
}

Result SpoolFile::Append(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0 && size_ + bytes.size() <= kKeptInMemory) {
    memory_.insert(memory_.end(), bytes.begin(), bytes.end());
    size_ += bytes.size();
    return {};
  }
  if (fd_ < 0) {
    if (Result moved = MoveToFile(); !moved.ok) return moved;
  }
  // Whatever part of a failed write went in lies beyond size_: overwritten or never read.
  if (!WriteAll(fd_, bytes, size_)) return Failure("cannot spool an upload", folder_);
  size_ += bytes.size();
  return {};
}

Result SpoolFile::SaveAs(const std::filesystem::path& file, std::span<const std::uint8_t> trailer,
                         bool sync) {
  if (fd_ >= 0 && WriteAll(fd_, trailer, size_) && (!sync || ::fsync(fd_) == 0)) {
    // An anonymous file gets its name through /proc without the privilege that
    // AT_EMPTY_PATH needs; a named, unlinked one cannot, and is copied below.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, file.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return {};
    }
    if (errno == EEXIST) return {false, "cannot create " + file.string() + ": it exists"};
  }
  std::vector<std::uint8_t> bytes = Read(0, size_);
  if (bytes.size() != size_) return {false, "cannot read the spooled upload for " + file.string()};
  bytes.insert(bytes.end(), trailer.begin(), trailer.end());
  return WriteFile(file, bytes, sync);
}

std::shared_ptr<SpoolFile> SpoolFile::Open(const std::filesystem::path& file, Result& result) {
  auto spool = std::make_shared<SpoolFile>(file.parent_path());
  spool->fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (spool->fd_ < 0 || ::fstat(spool->fd_, &status) != 0) {
    result = {false, "cannot open " + file.string() + ": " + std::strerror(errno)};
    return nullptr;
  }
  spool->size_ = static_cast<std::uint64_t>(status.st_size);
  result = {};
  return spool;
}

std::vector<std::uint8_t> SpoolFile::Read(std::uint64_t offset, std::uint64_t count) const {
  if (offset >= size_) return {};
  count = std::min(count, size_ - offset);
  if (fd_ < 0) {
    const auto from = memory_.begin() + static_cast<std::ptrdiff_t>(offset);
    return {from, from + static_cast<std::ptrdiff_t>(count)};
  }
  std::vector<std::uint8_t> bytes(count);
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n =
        ::pread(fd_, bytes.data() + got, count - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace murmel::server
