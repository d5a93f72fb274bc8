#include "server/mail_compose.h"

#include <gmime/gmime.h>

#include <memory>

#include "server/gmime_support.h"

namespace murmel::server {
namespace {

struct DateUnref {
  void operator()(GDateTime* date) const { g_date_time_unref(date); }
};

std::pair<std::string, std::string> SplitMimeType(const std::string& type) {
  const auto slash = type.find('/');
  if (slash == std::string::npos) return {"application", "octet-stream"};
  return {type.substr(0, slash), type.substr(slash + 1)};
}

GObjectPtr<GMimePart> MakeAttachment(const MailAttachment& attachment) {
  const auto [type, subtype] = SplitMimeType(attachment.mimeType);
  GObjectPtr<GMimePart> part(g_mime_part_new_with_type(type.c_str(), subtype.c_str()));
  // The memory stream copies the bytes.
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(
      reinterpret_cast<const char*>(attachment.bytes.data()), attachment.bytes.size()));
  GObjectPtr<GMimeDataWrapper> content(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part.get(), content.get());
  g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
  g_mime_object_set_disposition(GMIME_OBJECT(part.get()), GMIME_DISPOSITION_ATTACHMENT);
  g_mime_part_set_filename(part.get(), attachment.fileName.c_str());
  return part;
}

}  // namespace

std::string ComposeMail(const MailContent& content) {
  InitialiseGMime();
  GObjectPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_FROM,
                             content.from.name.empty() ? nullptr : content.from.name.c_str(),
                             content.from.address.c_str());
  for (const std::string& recipient : content.to) {
    g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_TO, nullptr, recipient.c_str());
  }
  g_mime_message_set_subject(message.get(), content.subject.c_str(), "utf-8");
  const std::unique_ptr<GDateTime, DateUnref> date(
      g_date_time_new_from_unix_local(static_cast<gint64>(content.date)));
  g_mime_message_set_date(message.get(), date.get());
  if (!content.messageId.empty()) {
    g_mime_message_set_message_id(message.get(), content.messageId.c_str());
  }

  GObjectPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
  GObjectPtr<GMimeTextPart> body(g_mime_text_part_new_with_subtype("plain"));
  g_mime_text_part_set_text(body.get(), content.text.c_str());
  g_mime_multipart_add(mixed.get(), GMIME_OBJECT(body.get()));
  for (const MailAttachment& attachment : content.attachments) {
    const GObjectPtr<GMimePart> part = MakeAttachment(attachment);
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
  }
  g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));

  char* text = g_mime_object_to_string(GMIME_OBJECT(message.get()), nullptr);
  std::string result(text != nullptr ? text : "");
  g_free(text);
  return result;
}

}  // namespace murmel::server
