// Composes one MIME e-mail (GMime 3): UTF-8 headers and text, attachments in base64.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "server/address.h"

namespace murmel::server {

struct MailAttachment {
  std::string fileName;  // already safe
  std::string mimeType;  // "audio/wav"
  std::vector<std::uint8_t> bytes;
};

struct MailContent {
  Mailbox from;
  std::vector<std::string> to;
  std::string subject;  // UTF-8
  std::string text;     // UTF-8
  std::vector<MailAttachment> attachments;
  std::time_t date = 0;
  std::string messageId;  // without angle brackets
};

// The whole message as it goes into a mailbox file (LF line ends).
std::string ComposeMail(const MailContent& content);

}  // namespace murmel::server
