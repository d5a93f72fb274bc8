// Where a connection's uploads wait for FINI: one anonymous file per connection in the
// state folder's spool. The kernel drops it when the last descriptor closes, so a crash
// leaves no partial upload behind, and the session holds no upload in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "server/durable_file.h"

namespace murmel::server {

class SpoolFile {
 public:
  // nullptr, with the reason in result, when folder takes no file.
  static std::unique_ptr<SpoolFile> Create(const std::filesystem::path& folder, IoResult& result);
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;
  ~SpoolFile();

  IoResult Append(std::span<const std::uint8_t> bytes);
  // count bytes from offset; fewer only when the file cannot be read.
  std::vector<std::uint8_t> Read(std::uint64_t offset, std::uint64_t count) const;
  std::uint64_t size() const { return size_; }

 private:
  SpoolFile(int fd, std::filesystem::path folder) : fd_(fd), folder_(std::move(folder)) {}

  int fd_;
  std::filesystem::path folder_;
  std::uint64_t size_ = 0;
};

}  // namespace murmel::server
