// What one connection delivered: the envelope converted from the sender's code page and
// parsed, the uploads as received (the text still in that code page) in a spool file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "server/address.h"
#include "server/result.h"
#include "server/spool_file.h"

namespace murmel::server {

// Upload types by value; 10 and above carry a file name.
inline constexpr int kUploadVoice = 0;
inline constexpr int kUploadText = 1;
inline constexpr int kUploadPicture = 4;
inline constexpr int kUploadFile = 10;
inline constexpr int kFirstNamedUploadType = 10;
// What the client's picture menu lets through, and what the e-mail can carry inline.
inline constexpr std::size_t kMaxPictureBytes = 102400;

struct LocaleRecord {
  std::uint32_t codePage = 1252;
  bool daylight = false;
  std::int32_t biasSeconds = 0;
  std::uint16_t language = 0;
  std::uint16_t subLanguage = 0;
  bool salutationMr = true;
};

struct Upload {
  int type = 0;
  std::string fileName;      // as sent, only for named types
  std::uint64_t offset = 0;  // in the message's spool file
  std::uint64_t size = 0;
};

struct Message {
  std::string client;  // the greeting after "HELL"
  std::optional<LocaleRecord> locale;
  std::string clientType;
  Mailbox sender;                       // UTF-8 name, checked address
  std::vector<std::string> recipients;  // checked addresses, each once
  std::string subject;                  // UTF-8, no control character
  std::vector<Upload> uploads;
  std::shared_ptr<SpoolFile> spool;  // every upload's bytes, one after the other

  std::uint32_t codePage() const { return locale ? locale->codePage : 1252; }

  const Upload* Find(int type) const {
    for (const Upload& upload : uploads) {
      if (upload.type == type) return &upload;
    }
    return nullptr;
  }
  bool IsPictureRegistration() const { return Find(kUploadPicture) != nullptr; }

  // The upload's bytes, read back from the spool.
  std::vector<std::uint8_t> Bytes(const Upload& upload) const {
    return spool ? spool->Read(upload.offset, upload.size) : std::vector<std::uint8_t>();
  }
  // Adds data to the last upload.
  Result Append(std::span<const std::uint8_t> data) {
    if (Result written = spool->Append(data); !written.ok) return written;
    uploads.back().size += data.size();
    return {};
  }
};

}  // namespace murmel::server
