#include "server/durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

#include "server/metrics.h"

namespace murmel::server {
namespace {

Result Failure(std::string_view what, const std::filesystem::path& path, int error) {
  return {false, std::string(what) + " " + path.string() + ": " + std::strerror(error)};
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  std::string host(name);
  // Maildir reserves '/' and ':' in unique names.
  for (char& c : host) {
    if (c == '/' || c == ':') c = '_';
  }
  return host;
}

// Every sync the durable paths make, timed for /metrics.
int TimedFsync(int fd, int (*sync)(int) = ::fsync) {
  const auto start = std::chrono::steady_clock::now();
  const int result = sync(fd);
  ServerMetrics().fsyncSeconds.Observe(std::chrono::steady_clock::now() - start);
  return result;
}

}  // namespace

Result SyncDirectory(const std::filesystem::path& directory) {
  FileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return Failure("cannot open folder", directory, errno);
  if (TimedFsync(fd.get()) != 0) return Failure("cannot sync folder", directory, errno);
  return {};
}

Result WriteFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes,
                 bool sync) {
  FileDescriptor fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (fd.get() < 0) return Failure("cannot create", file, errno);
  auto failAndRemove = [&](std::string_view what, int error) {
    Result result = Failure(what, file, error);
    ::unlink(file.c_str());
    return result;
  };
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failAndRemove("cannot write", errno);
    written += static_cast<std::size_t>(n);
  }
  if (sync && TimedFsync(fd.get()) != 0) return failAndRemove("cannot sync", errno);
  if (::close(fd.release()) != 0) return failAndRemove("cannot close", errno);
  return {};
}

Result WriteDurably(const std::filesystem::path& temporary, const std::filesystem::path& target,
                    std::span<const std::uint8_t> bytes) {
  if (Result written = WriteFile(temporary, bytes, true); !written.ok) return written;
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    Result result = Failure("cannot rename", temporary, errno);
    ::unlink(temporary.c_str());
    return result;
  }
  return SyncDirectory(target.parent_path());
}

Result SyncFileSystem(const std::filesystem::path& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Failure("cannot open", path, errno);
  if (TimedFsync(fd.get(), ::syncfs) != 0)
    return Failure("cannot sync the file system of", path, errno);
  return {};
}

Result SyncFile(const std::filesystem::path& file) {
  FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Failure("cannot open", file, errno);
  if (TimedFsync(fd.get()) != 0) return Failure("cannot sync", file, errno);
  return {};
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Result MoveFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    return {false,
            "cannot move " + from.string() + " to " + to.string() + ": " + std::strerror(errno)};
  }
  return {};
}

Result MoveDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
  Result result = MoveFile(from, to);
  if (result.ok) result = SyncDirectory(to.parent_path());
  if (result.ok && from.parent_path() != to.parent_path())
    result = SyncDirectory(from.parent_path());
  return result;
}

Result RemoveDurably(const std::filesystem::path& target) {
  if (::unlink(target.c_str()) != 0 && errno != ENOENT)
    return Failure("cannot remove", target, errno);
  return SyncDirectory(target.parent_path());
}

Result Maildir::Create() const {
  std::error_code error;
  for (const char* sub : {"tmp", "new", "cur"}) {
    std::filesystem::create_directories(root_ / sub, error);
    if (error) return {false, "cannot create " + (root_ / sub).string() + ": " + error.message()};
  }
  return {};
}

std::string Maildir::NewName() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
  // time.M<usec>P<pid>Q<counter>.host: unique within this process and across processes.
  return std::to_string(micros / 1000000) + ".M" + std::to_string(micros % 1000000) + "P" +
         std::to_string(::getpid()) + "Q" + std::to_string(counter_.fetch_add(1) + 1) + "." +
         HostName();
}

std::optional<std::string> Maildir::Stage(std::span<const std::uint8_t> message, bool sync,
                                          Result& result) {
  std::string name = NewName();
  result = StageAs(name, message, sync);
  if (!result.ok) return std::nullopt;
  return name;
}

Result Maildir::StageAs(const std::string& name, std::span<const std::uint8_t> message,
                        bool sync) const {
  return WriteFile(root_ / "tmp" / name, message, sync);
}

Result Maildir::Publish(const std::string& name, const Maildir& target) const {
  return MoveFile(root_ / "tmp" / name, target.root_ / "new" / name);
}

}  // namespace murmel::server
