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
  std::string description = {};  // Content-Description, ASCII; empty: none
};

struct MailContent {
  Mailbox from;                 // name and address already checked: no control characters
  Mailbox replyTo;              // none when the address is empty
  std::vector<std::string> to;  // bare RFC 5321 mailboxes
  std::string subject;          // UTF-8, no control characters
  std::string text;             // UTF-8; any line ends (CRLF, LF, bare CR), any line length, no NUL
  std::vector<MailAttachment> attachments;  // an empty one is fine
  std::time_t date = 0;
  std::string messageId;  // without angle brackets
  std::string received;   // the value of a Received: header put first; empty: none
  std::string kind;       // the value of X-Murmelpost-Kind ("voice" ...); empty: none
};

// The whole message as it goes into a mailbox file (LF line ends). Every header and line
// is what RFC 5322 allows: names and subject encoded, the text in 7bit only when every
// line is ASCII and short, else quoted-printable.
std::string ComposeMail(const MailContent& content);

}  // namespace murmel::server
