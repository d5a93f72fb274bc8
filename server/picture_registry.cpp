#include "server/picture_registry.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

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

// A pending file: token, sender and registration time on a line each, then the picture.
std::vector<std::uint8_t> EncodePending(const std::string& token, std::string_view sender,
                                        std::time_t registered,
                                        const std::vector<std::uint8_t>& bytes) {
  const std::string head =
      token + "\n" + std::string(sender) + "\n" + std::to_string(registered) + "\n";
  std::vector<std::uint8_t> record(head.begin(), head.end());
  record.insert(record.end(), bytes.begin(), bytes.end());
  return record;
}

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

PictureRegistry::PictureRegistry(std::filesystem::path folder, WallClock clock)
    : folder_(std::move(folder)), clock_(std::move(clock)) {
  if (!clock_) clock_ = [] { return std::time(nullptr); };
}

IoResult PictureRegistry::Open() {
  std::error_code error;
  for (const char* sub : {"tmp", "pending"}) {
    std::filesystem::create_directories(folder_ / sub, error);
    if (error) return {false, "cannot create " + (folder_ / sub).string() + ": " + error.message()};
  }
  const std::lock_guard lock(mutex_);
  byToken_.clear();
  for (const auto& file : std::filesystem::directory_iterator(folder_ / "pending", error)) {
    bool found = false;
    PendingPicture pending;
    if (!DecodePending(ReadAll(file.path(), found), pending)) continue;
    byToken_[pending.token] = {file.path().filename().string(), pending.sender, pending.registered};
  }
  if (error)
    return {false, "cannot read " + (folder_ / "pending").string() + ": " + error.message()};
  return {};
}

std::filesystem::path PictureRegistry::Temporary(const std::string& key) {
  return folder_ / "tmp" /
         (key + "." + std::to_string(::getpid()) + "." + std::to_string(++counter_));
}

std::optional<std::vector<std::uint8_t>> PictureRegistry::Active(std::string_view sender) const {
  bool found = false;
  auto bytes = ReadAll(folder_ / PictureKey(sender), found);
  if (!found) return std::nullopt;
  return bytes;
}

IoResult PictureRegistry::Register(std::string_view sender, const std::vector<std::uint8_t>& bytes,
                                   std::string& token) {
  const std::string key = PictureKey(sender);
  const std::lock_guard lock(mutex_);
  token = NewLinkToken();
  const std::time_t now = clock_();
  IoResult stored = WriteDurably(Temporary(key), folder_ / "pending" / key,
                                 EncodePending(token, sender, now, bytes));
  if (!stored.ok) return stored;
  // The rename replaced the older pending file; its link goes with it.
  std::erase_if(byToken_, [&](const auto& item) { return item.second.key == key; });
  byToken_[token] = {key, std::string(sender), now};
  return {};
}

IoResult PictureRegistry::Clear(std::string_view sender) {
  const std::string key = PictureKey(sender);
  const std::lock_guard lock(mutex_);
  std::erase_if(byToken_, [&](const auto& item) { return item.second.key == key; });
  IoResult pending = RemoveDurably(folder_ / "pending" / key);
  if (!pending.ok) return pending;
  return RemoveDurably(folder_ / key);
}

const PictureRegistry::Entry* PictureRegistry::FindValid(std::string_view token) const {
  const auto found = byToken_.find(token);
  if (found == byToken_.end()) return nullptr;
  if (clock_() - found->second.registered > kPictureLinkLifetime) return nullptr;
  return &found->second;
}

std::optional<PendingPicture> PictureRegistry::ReadPending(const Entry& entry,
                                                           std::string_view token) const {
  bool found = false;
  PendingPicture pending;
  if (!DecodePending(ReadAll(folder_ / "pending" / entry.key, found), pending)) return std::nullopt;
  if (pending.token != token) return std::nullopt;
  return pending;
}

std::optional<PendingPicture> PictureRegistry::Pending(std::string_view token) const {
  const std::lock_guard lock(mutex_);
  const Entry* entry = FindValid(token);
  if (entry == nullptr) return std::nullopt;
  return ReadPending(*entry, token);
}

PictureConfirmation PictureRegistry::Confirm(std::string_view token) {
  const std::lock_guard lock(mutex_);
  PictureConfirmation result;
  const Entry* entry = FindValid(token);
  if (entry == nullptr) return result;
  const auto pending = ReadPending(*entry, token);
  if (!pending) return result;
  result.found = true;
  result.sender = pending->sender;
  const std::string key = entry->key;
  result.stored = WriteDurably(Temporary(key), folder_ / key, pending->bytes);
  if (!result.stored.ok) return result;
  // The picture is active before its pending copy goes: a crash between leaves a link
  // that confirms the same picture again, never a lost one.
  byToken_.erase(byToken_.find(token));
  result.stored = RemoveDurably(folder_ / "pending" / key);
  return result;
}

}  // namespace murmel::server
