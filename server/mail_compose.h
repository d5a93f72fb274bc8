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

  // Voice messages also go as HTML: the picture inline, the sender (replyTo, else from),
  // the subject, the text and the voice note. Notices have neither and stay plain text.
  MailAttachment picture;  // no bytes: none
  std::string pictureAlt;  // what the picture shows, for readers with images blocked
  std::string voiceNote;   // "Voice message, 0:42, attached as voice.wav"; empty: none
};

// The whole message as it goes into a mailbox file (LF line ends). Every header and line
// is what RFC 5322 allows: names and subject encoded, the text in 7bit only when every
// line is ASCII and short, else quoted-printable. With a picture or a voice note it is
// multipart/mixed holding multipart/alternative (plain text, then multipart/related with
// the HTML and the picture it shows by Content-ID) and the attachments.
std::string ComposeMail(const MailContent& content);

}  // namespace murmel::server
