#include "server/picture_registry.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "server/durable_file.h"

namespace murmel::server {

std::string NewLinkToken() {
  std::random_device random;
  std::string token;
  for (int i = 0; i < 4; ++i) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(random()));
    token += hex;
  }
  return token;
}

namespace {

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path, bool& found) {
  std::ifstream in(path, std::ios::binary);
  found = static_cast<bool>(in);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A pending file of a server before the store: token, sender and registration time on a
// line each, then the picture.
bool DecodePending(const std::vector<std::uint8_t>& record, PendingPicture& pending) {
  std::string fields[3];
  std::size_t at = 0;
  for (std::string& field : fields) {
    while (at < record.size() && record[at] != '\n')
      field.push_back(static_cast<char>(record[at++]));
    if (at++ >= record.size()) return false;
  }
  pending.token = fields[0];
  pending.sender = fields[1];
  try {
    pending.registered = static_cast<std::time_t>(std::stoll(fields[2]));
  } catch (const std::exception&) {
    return false;
  }
  pending.bytes.assign(record.begin() + static_cast<long>(at), record.end());
  return !pending.token.empty();
}

}  // namespace

std::string PictureKey(std::string_view address) {
  std::string key;
  for (const char raw : address) {
    const char c = (raw >= 'A' && raw <= 'Z') ? static_cast<char>(raw - 'A' + 'a') : raw;
    const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '@' || c == '_' ||
                       c == '+' || c == '-' || (c == '.' && !key.empty());
    if (plain) {
      key.push_back(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      key += escaped;
    }
  }
  return key.empty() ? "%" : key;
}

std::string PictureMimeType(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
    return "image/jpeg";
  if (bytes.size() >= 4 && bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F' &&
      bytes[3] == '8') {
    return "image/gif";
  }
  return "application/octet-stream";
}

PictureRegistry::PictureRegistry(const StoreLocation& location, std::filesystem::path legacyFolder,
                                 WallClock clock)
    : store_(MakeStore(location)), folder_(std::move(legacyFolder)), clock_(std::move(clock)) {
  if (!clock_) clock_ = [] { return std::time(nullptr); };
}

Result PictureRegistry::Open() {
  const std::lock_guard lock(mutex_);
  Result result = store_->Open();
  if (result.ok) result = ImportFolder();
  return result;
}

Result PictureRegistry::ImportFolder() {
  std::error_code error;
  if (!std::filesystem::is_directory(folder_, error)) return {};
  std::vector<PictureRecord> found;
  for (const char* sub : {"", "pending"}) {
    for (const auto& file : std::filesystem::directory_iterator(folder_ / sub, error)) {
      if (!file.is_regular_file()) continue;
      bool read = false;
      std::vector<std::uint8_t> bytes = ReadAll(file.path(), read);
      if (!read) return {false, "cannot read " + file.path().string()};
      PictureRecord picture;
      picture.key = file.path().filename().string();
      if (*sub == '\0') {
        picture.sender = picture.key;
        picture.bytes = std::move(bytes);
      } else {
        PendingPicture pending;
        if (!DecodePending(bytes, pending)) continue;  // a torn write: its link never went out
        picture = {picture.key,        true,
                   pending.sender,     pending.token,
                   pending.registered, std::move(pending.bytes)};
      }
      found.push_back(std::move(picture));
    }
    if (error) return {false, "cannot read " + (folder_ / sub).string() + ": " + error.message()};
  }
  Result result = store_->Begin();
  for (const PictureRecord& picture : found) {
    if (!result.ok) break;
    // One the store already has (another server's, or this import's before a crash) wins.
    if (!store_->Picture(picture.key, picture.pending, result) && result.ok) {
      result = store_->PutPicture(picture);
    }
  }
  if (!result.ok) {
    store_->Rollback();
    return result;
  }
  if (result = store_->Commit(); !result.ok) return result;
  std::filesystem::path done = folder_;
  done += ".imported";
  return MoveDurably(folder_, done);
}

std::optional<std::vector<std::uint8_t>> PictureRegistry::Active(std::string_view sender) const {
  const std::lock_guard lock(mutex_);
  Result result;
  auto picture = store_->Picture(PictureKey(sender), false, result);
  if (!picture) return std::nullopt;
  return std::move(picture->bytes);
}

Result PictureRegistry::Register(std::string_view sender, const std::vector<std::uint8_t>& bytes,
                                 std::string& token) {
  const std::lock_guard lock(mutex_);
  token = NewLinkToken();
  // Replaces the older pending picture; its link goes with it.
  return store_->PutPicture(
      {PictureKey(sender), true, std::string(sender), token, clock_(), bytes});
}

Result PictureRegistry::Clear(std::string_view sender) {
  const std::string key = PictureKey(sender);
  const std::lock_guard lock(mutex_);
  Result result = store_->Begin();
  if (result.ok) result = store_->RemovePicture(key, true);
  if (result.ok) result = store_->RemovePicture(key, false);
  if (!result.ok) {
    store_->Rollback();
    return result;
  }
  return store_->Commit();
}

std::optional<PictureRecord> PictureRegistry::FindValid(std::string_view token,
                                                        Result& result) const {
  auto picture = store_->PictureByToken(std::string(token), result);
  if (!picture || !picture->pending) return std::nullopt;
  if (clock_() - picture->registered > kPictureLinkLifetime) return std::nullopt;
  return picture;
}

std::optional<PendingPicture> PictureRegistry::Pending(std::string_view token) const {
  const std::lock_guard lock(mutex_);
  Result result;
  auto picture = FindValid(token, result);
  if (!picture) return std::nullopt;
  return PendingPicture{picture->token, picture->sender, picture->registered,
                        std::move(picture->bytes)};
}

PictureConfirmation PictureRegistry::Confirm(std::string_view token) {
  const std::lock_guard lock(mutex_);
  PictureConfirmation confirmation;
  if (confirmation.stored = store_->Begin(); !confirmation.stored.ok) return confirmation;
  auto picture = FindValid(token, confirmation.stored);
  if (picture) {
    confirmation.found = true;
    confirmation.sender = picture->sender;
    confirmation.stored = store_->RemovePicture(picture->key, true);
    picture->pending = false;
    picture->token.clear();
    if (confirmation.stored.ok) confirmation.stored = store_->PutPicture(*picture);
  }
  if (!confirmation.stored.ok) {
    store_->Rollback();
    return confirmation;
  }
  confirmation.stored = store_->Commit();
  return confirmation;
}

}  // namespace murmel::server
