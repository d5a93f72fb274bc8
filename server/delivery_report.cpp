#include "server/delivery_report.h"

#include <algorithm>
#include <cstring>

#include "server/delivery.h"
#include "server/gmime_support.h"

namespace murmel::server {
namespace {

// The relay's words go into header-like fields: printable ASCII only, one short line.
std::string Field(std::string_view text) {
  constexpr std::size_t kLongest = 400;
  std::string out;
  for (const char c : text.substr(0, kLongest)) {
    out += c >= 0x20 && c < 0x7F ? c : '?';
  }
  return out;
}

bool IsDigits(std::string_view text) {
  return !text.empty() && text.size() <= 3 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "5.1.1" from "550 5.1.1 no such user"; expiry is 5.4.7 (delivery time expired); a
// refusal without an enhanced code is 5.0.0.
std::string Status(const RecipientRecord& record) {
  if (record.reply.starts_with(kExpiredPrefix)) return "5.4.7";
  std::string_view reply = record.reply;
  while (!reply.empty()) {
    const std::size_t end = std::min(reply.find(' '), reply.size());
    const std::string_view word = reply.substr(0, end);
    const std::size_t first = word.find('.');
    const std::size_t second = word.find('.', first + 1);
    if (word.starts_with("5.") && second != std::string_view::npos &&
        IsDigits(word.substr(first + 1, second - first - 1)) && IsDigits(word.substr(second + 1))) {
      return std::string(word);
    }
    reply.remove_prefix(std::min(end + 1, reply.size()));
  }
  return "5.0.0";
}

std::string LfOnly(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

GObjectPtr<GMimePart> MakePart(const MailAttachment& content) {
  const std::string type = content.mimeType.substr(0, content.mimeType.find('/'));
  const std::string subtype = content.mimeType.substr(content.mimeType.find('/') + 1);
  GObjectPtr<GMimePart> part(g_mime_part_new_with_type(type.c_str(), subtype.c_str()));
  const std::string text = LfOnly(
      std::string_view(reinterpret_cast<const char*>(content.bytes.data()), content.bytes.size()));
  const bool sevenBit = std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 0x20 && c < 0x7F) || c == '\n' || c == '\t';
  });
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  g_mime_stream_write(stream.get(), text.data(), text.size());
  g_mime_stream_reset(stream.get());
  const GObjectPtr<GMimeDataWrapper> wrapper(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part.get(), wrapper.get());
  // Stored headers may carry anything; the status fields are ASCII by construction.
  g_mime_part_set_content_encoding(
      part.get(), sevenBit ? GMIME_CONTENT_ENCODING_7BIT : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
  return part;
}

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace

MailContent DeliveryReportMail(const Undelivered& message, const std::string& serviceAddress) {
  MailContent mail;
  mail.to = {message.row.sender};
  std::string subject = message.row.subject;
  std::replace_if(
      subject.begin(), subject.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; },
      ' ');
  mail.subject = "Undelivered voice message: " + subject;
  mail.text = "Your voice message \"" + subject + "\" could not be delivered to:\n\n";
  std::string status =
      "Reporting-MTA: dns; " + Field(serviceAddress.substr(serviceAddress.rfind('@') + 1)) + "\n";
  for (const RecipientRecord& record : message.failed) {
    const bool expired = record.reply.starts_with(kExpiredPrefix);
    mail.text +=
        "  " + record.address + "\n    " +
        (expired ? "not accepted within the queue's lifetime; the last reply was: " : "refused: ") +
        Field(record.reply.substr(expired ? std::strlen(kExpiredPrefix) : 0)) + "\n";
    status += "\nFinal-Recipient: rfc822; " + Field(record.address) +
              "\nAction: failed\nStatus: " + Status(record) + "\nDiagnostic-Code: smtp; " +
              Field(record.reply) + "\n";
  }
  mail.text += "\nThe message's other recipients, if any, have it.\n";
  mail.attachments.push_back({"", kDeliveryStatusType, Bytes(status)});
  mail.attachments.push_back({"", kHeadersType, Bytes(message.headers)});
  return mail;
}

std::string ComposeDeliveryReport(const MailContent& report) {
  MailContent text = report;
  text.attachments.clear();
  std::string plain = ComposeMail(text);
  // The headers and the text part as the composer makes them, with the report's parts.
  InitialiseGMime();
  const GObjectPtr<GMimeStream> stream(
      g_mime_stream_mem_new_with_buffer(plain.data(), plain.size()));
  const GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  const GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!message) return plain;
  GMimeObject* body = g_mime_message_get_mime_part(message.get());
  if (GMIME_IS_MULTIPART(body)) body = g_mime_multipart_get_part(GMIME_MULTIPART(body), 0);
  const GObjectPtr<GMimeMultipart> multipart(g_mime_multipart_new_with_subtype("report"));
  g_mime_object_set_content_type_parameter(GMIME_OBJECT(multipart.get()), "report-type",
                                           "delivery-status");
  g_mime_multipart_add(multipart.get(), body);
  for (const MailAttachment& part : report.attachments) {
    g_mime_multipart_add(multipart.get(), GMIME_OBJECT(MakePart(part).get()));
  }
  g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(multipart.get()));
  // Tells autoresponders and vacation notices not to answer it.
  g_mime_object_set_header(GMIME_OBJECT(message.get()), "Auto-Submitted", "auto-replied", nullptr);
  char* written = g_mime_object_to_string(GMIME_OBJECT(message.get()), nullptr);
  std::string result(written != nullptr ? written : "");
  g_free(written);
  return result;
}

SmtpRelay::Report ReportsThrough(Delivery& delivery) {
  return [&delivery](const Undelivered& message) {
    if (message.row.sender.empty()) return;
    delivery.SubmitNotice(DeliveryReportMail(message, delivery.options().mailFrom),
                          MessageKind::DeliveryReport);
  };
}

}  // namespace murmel::server
