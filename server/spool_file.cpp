#include "server/spool_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace murmel::server {
namespace {

IoResult Failure(const char* what, const std::filesystem::path& folder) {
  return {false, std::string(what) + " in " + folder.string() + ": " + std::strerror(errno)};
}

}  // namespace

std::unique_ptr<SpoolFile> SpoolFile::Create(const std::filesystem::path& folder,
                                             IoResult& result) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // A file system without anonymous files: a named one, unlinked at once.
    std::string name = (folder / "upload.XXXXXX").string();
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
  }
  if (fd < 0) {
    result = Failure("cannot spool an upload", folder);
    return nullptr;
  }
  result = {};
  return std::unique_ptr<SpoolFile>(new SpoolFile(fd, folder));
}

SpoolFile::~SpoolFile() { ::close(fd_); }

IoResult SpoolFile::Append(std::span<const std::uint8_t> bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::pwrite(fd_, bytes.data() + written, bytes.size() - written,
                               static_cast<off_t>(size_ + written));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      // Whatever part went in stays beyond size_ and is overwritten or never read.
      return Failure("cannot spool an upload", folder_);
    }
    written += static_cast<std::size_t>(n);
  }
  size_ += written;
  return {};
}

std::vector<std::uint8_t> SpoolFile::Read(std::uint64_t offset, std::uint64_t count) const {
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
