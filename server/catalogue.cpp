#include "server/catalogue.h"

#include <algorithm>
#include <array>

#include "server/gmime_support.h"
#include "server/smtp_relay.h"

namespace murmel::server {
namespace {

// Characters on a terminal, near enough: UTF-8 continuation bytes take no column.
std::size_t Width(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U;
  }));
}

// The length of the well-formed UTF-8 sequence at text[i], or 0 when it is not one
// (overlong forms, surrogates and code points past U+10FFFF included).
std::size_t SequenceLength(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned lead = byte(i);
  std::size_t length = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if ((byte(i + k) & 0xC0U) != 0x80U) return 0;
  }
  return length;
}

// Makes a field safe for a terminal and one line long: control characters (C0, DEL, C1)
// and bytes that are not UTF-8 become escapes, and '\' is doubled so that an escape in
// the output always means the catalogue held that character, not its spelling.
std::string Escaped(const std::string& text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\\') {
      out += "\\\\";
      ++i;
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += static_cast<char>(byte);
      ++i;
    } else if (const std::size_t length = byte >= 0x80 ? SequenceLength(text, i) : 0;
               length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      out += "\\u00";
      out += kHex[static_cast<unsigned char>(text[i + 1]) >> 4U];
      out += kHex[static_cast<unsigned char>(text[i + 1]) & 0xFU];
      i += 2;
    } else if (length > 0) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\\x";
      out += kHex[byte >> 4U];
      out += kHex[byte & 0xFU];
      ++i;
    }
  }
  return out;
}

std::string UtcTime(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  std::array<char, 32> text{};
  std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &parts);
  return text.data();
}

// The address of the list's first mailbox, looking into groups; empty when there is none.
std::string FirstMailbox(InternetAddressList* list) {
  if (list == nullptr) return {};
  for (int i = 0; i < internet_address_list_length(list); ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      std::string inner =
          FirstMailbox(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)));
      if (!inner.empty()) return inner;
      continue;
    }
    const char* text = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
    if (text != nullptr && *text != '\0') return text;
  }
  return {};
}

MessageKind KindFromHeader(const char* value) {
  if (value == nullptr) return MessageKind::Voice;
  std::string_view name(value);
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return KindNamed(std::string(name));
}

}  // namespace

CatalogueRow RowFromMail(const std::string& mail) {
  CatalogueRow row;
  const GObjectPtr<GMimeMessage> message = ParseMailHeaders(mail);
  if (!message) return row;
  row.kind =
      KindFromHeader(g_mime_object_get_header(GMIME_OBJECT(message.get()), "X-Murmelpost-Kind"));
  // The server sends in its own name and gives the person's address as Reply-To.
  row.sender = FirstMailbox(g_mime_message_get_reply_to(message.get()));
  if (row.sender.empty()) row.sender = FirstMailbox(g_mime_message_get_from(message.get()));
  if (const char* subject = g_mime_message_get_subject(message.get())) row.subject = subject;
  row.recipients = JoinAddresses(MessageRecipients(message.get()));
  if (GDateTime* date = g_mime_message_get_date(message.get())) {
    row.received = static_cast<std::time_t>(g_date_time_to_unix(date));
  }
  return row;
}

std::string FormatRows(const std::vector<CatalogueRow>& rows) {
  if (rows.empty()) return "No messages in the catalogue.\n";
  constexpr std::size_t kColumns = 10;
  using Line = std::array<std::string, kColumns>;
  std::vector<Line> lines = {{"ID", "RECEIVED (UTC)", "KIND", "STATE", "BYTES", "FROM", "CLIENT",
                              "TO", "SUBJECT", "FILE"}};
  for (const CatalogueRow& row : rows) {
    std::string state = StateName(row.state);
    // "sent 2/3": two of its three recipients have it.
    if (row.recipientsTracked > 0) {
      state +=
          " " + std::to_string(row.recipientsSent) + "/" + std::to_string(row.recipientsTracked);
    }
    if (row.state == MessageState::Failed && !row.reason.empty()) state += ": " + row.reason;
    Line line = {std::to_string(row.id),
                 UtcTime(row.received),
                 KindName(row.kind),
                 state,
                 std::to_string(row.size),
                 row.sender,
                 row.clientAddress,
                 row.recipients,
                 row.subject,
                 row.file};
    for (std::string& field : line) field = Escaped(field);
    lines.push_back(std::move(line));
  }
  std::array<std::size_t, kColumns> widths{};
  for (const Line& line : lines) {
    for (std::size_t i = 0; i < kColumns; ++i)
      widths.at(i) = std::max(widths.at(i), Width(line.at(i)));
  }
  std::string out;
  for (const Line& line : lines) {
    for (std::size_t i = 0; i < kColumns; ++i) {
      out += line.at(i);
      if (i + 1 < kColumns) out.append(widths.at(i) - Width(line.at(i)) + 2, ' ');
    }
    out += '\n';
  }
  return out;
}

}  // namespace murmel::server
