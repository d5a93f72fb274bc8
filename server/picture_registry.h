// Custom message pictures per sender: a registration waits as pending until the owner of
// the address confirms it through the link mailed to them; only then do messages carry it.
// Sender addresses are not authenticated, so the confirmation is what stops anyone from
// putting a picture on someone else's messages.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "server/result.h"
#include "server/store.h"

namespace murmel::server {

// Seconds since the epoch; tests pass their own to age links without waiting.
using WallClock = std::function<std::time_t()>;

// 128 bits from the system's entropy source, as 32 hex digits: the token is the only
// secret of a confirmation link.
std::string NewLinkToken();

// The sender's key on disk: lower case, anything outside [a-z0-9@._+-] percent-encoded.
std::string PictureKey(std::string_view address);

// "image/gif" or "image/jpeg" by the file's signature, else "application/octet-stream".
std::string PictureMimeType(const std::vector<std::uint8_t>& bytes);

inline constexpr std::time_t kPictureLinkLifetime = std::time_t{7} * 24 * 60 * 60;

struct PendingPicture {
  std::string token;
  std::string sender;  // the address as registered
  std::time_t registered = 0;
  std::vector<std::uint8_t> bytes;
};

struct PictureConfirmation {
  bool found = false;  // false: unknown, used, replaced or expired
  Result stored;
  std::string sender;
};

// Safe to use from the transfer thread and the HTTP threads at once. The pictures are in
// the store, so that a registration made on one server is confirmed and used on any.
class PictureRegistry {
 public:
  // legacyFolder: where a server before the store kept them, imported once by Open.
  PictureRegistry(const StoreLocation& location, std::filesystem::path legacyFolder,
                  WallClock clock = {});

  // Opens the registry's own connection to the store.
  Result Open();

  // The confirmed picture of sender, if any.
  std::optional<std::vector<std::uint8_t>> Active(std::string_view sender) const;
  // Stores bytes as sender's pending picture, replacing an older pending one.
  Result Register(std::string_view sender, const std::vector<std::uint8_t>& bytes,
                  std::string& token);
  // Drops both the confirmed and any pending picture of sender.
  Result Clear(std::string_view sender);

  // A pending registration whose link is still valid.
  std::optional<PendingPicture> Pending(std::string_view token) const;
  PictureConfirmation Confirm(std::string_view token);

  const std::filesystem::path& legacyFolder() const { return folder_; }

 private:
  std::optional<PictureRecord> FindValid(std::string_view token, Result& result) const;
  // The pictures in folder_ go into the store, and the folder is renamed so that they
  // never come again.
  Result ImportFolder();

  std::unique_ptr<Store> store_;
  std::filesystem::path folder_;
  WallClock clock_;
  mutable std::mutex mutex_;
};

}  // namespace murmel::server
