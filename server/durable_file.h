// Writes that survive a crash once they return: the data is fsync'd under a temporary
// name, renamed into place and the directory fsync'd, so a reader sees all or nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "server/result.h"

namespace murmel::server {

Result SyncDirectory(const std::filesystem::path& directory);

// Creates file (which must not exist) with bytes, fsync'd when sync is set; removed again
// on any failure.
Result WriteFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes, bool sync);

// Writes bytes to temporary, fsyncs, renames it to target and fsyncs target's folder.
// On failure the temporary file is removed and target is untouched.
Result WriteDurably(const std::filesystem::path& temporary, const std::filesystem::path& target,
                    std::span<const std::uint8_t> bytes);

// The whole file's bytes; nothing when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Renames from to to; the caller syncs the folders.
Result MoveFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Renames from to to and fsyncs both folders.
Result MoveDurably(const std::filesystem::path& from, const std::filesystem::path& to);

// fsyncs a file that was written without.
Result SyncFile(const std::filesystem::path& file);

// syncfs: every file and folder of the file system that holds path, with one flush.
Result SyncFileSystem(const std::filesystem::path& path);

// Removes target (absent is fine) and fsyncs its folder.
Result RemoveDurably(const std::filesystem::path& target);

// A Maildir (tmp/, new/, cur/): each delivery is written in tmp/ and renamed into new/.
class Maildir {
 public:
  explicit Maildir(std::filesystem::path root) : root_(std::move(root)) {}

  Result Create() const;
  // Writes a message into tmp/ under a new unique name, which it returns; fsyncs it only
  // when sync is set. Nothing reads tmp/: the message counts once it is published.
  std::optional<std::string> Stage(std::span<const std::uint8_t> message, bool sync,
                                   Result& result);
  // A name for Stage or StageAs, unique within this process and across processes.
  std::string NewName();
  // Stage under a name chosen before.
  Result StageAs(const std::string& name, std::span<const std::uint8_t> message, bool sync) const;
  // Renames tmp/name to target's new/name (the same file system); the caller syncs the
  // folders once for a whole batch.
  Result Publish(const std::string& name, const Maildir& target) const;
  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
  std::atomic<std::uint64_t> counter_{0};  // delivery threads stage at once
};

}  // namespace murmel::server
