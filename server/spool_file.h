// Where a connection's uploads wait for FINI. A few kilobytes stay in memory; beyond that
// they go to one anonymous file in the state folder's spool, which the kernel drops when
// the last descriptor closes: a crash leaves no partial upload behind, and a session holds
// no large upload in memory. Most messages fit in memory and cost no file at all.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "server/result.h"

namespace murmel::server {

class SpoolFile {
 public:
  static constexpr std::size_t kKeptInMemory = std::size_t{16} * 1024;

  explicit SpoolFile(std::filesystem::path folder) : folder_(std::move(folder)) {}
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;
  ~SpoolFile();

  // Fails when the bytes outgrow memory and the spool folder takes no file, or is full.
  Result Append(std::span<const std::uint8_t> bytes);
  // Gives the uploads a name: file holds them, then trailer. A spool file is linked, not
  // copied; fsync'd when sync is set. file must not exist; nothing is left on failure.
  Result SaveAs(const std::filesystem::path& file, std::span<const std::uint8_t> trailer,
                bool sync);
  // A file SaveAs wrote, read in place; KeepFirst then hides what follows the uploads.
  static std::shared_ptr<SpoolFile> Open(const std::filesystem::path& file, Result& result);
  void KeepFirst(std::uint64_t size) { size_ = std::min(size, size_); }
  // count bytes from offset; fewer only when the file cannot be read.
  std::vector<std::uint8_t> Read(std::uint64_t offset, std::uint64_t count) const;
  std::uint64_t size() const { return size_; }

 private:
  Result MoveToFile();

  std::filesystem::path folder_;
  std::vector<std::uint8_t> memory_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace murmel::server
