#include "server/mail_compose.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <memory>
#include <string_view>

#include "server/gmime_support.h"
#include "server/help_site.h"

namespace murmel::server {
namespace {

// GMime writes names and the subject raw when they merely look like encoded words, collapses
// runs of spaces in names, and splits file name continuations inside a UTF-8 character.
// So those headers are encoded here and handed to GMime as raw values.

constexpr std::size_t kFoldColumn = 78;
constexpr std::size_t kMaxEncodedWord = 75;
// Longest token that still fits one line (998 octets) behind "Reply-To: ".
constexpr std::size_t kMaxToken = 980;

struct DateUnref {
  void operator()(GDateTime* date) const { g_date_time_unref(date); }
};

std::pair<std::string, std::string> SplitMimeType(const std::string& type) {
  const auto slash = type.find('/');
  if (slash == std::string::npos) return {"application", "octet-stream"};
  return {type.substr(0, slash), type.substr(slash + 1)};
}

bool IsPrintableAscii(std::string_view text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7e) return false;
  }
  return true;
}

std::vector<std::string> SplitOnSpaces(std::string_view text) {
  std::vector<std::string> words;
  std::size_t start = 0;
  for (std::size_t space = text.find(' '); space != std::string_view::npos;
       space = text.find(' ', start)) {
    words.emplace_back(text.substr(start, space - start));
    start = space + 1;
  }
  words.emplace_back(text.substr(start));
  return words;
}

// Tokens joined by single spaces, a line break put before a space where the line would
// pass 78 columns. Only before a non-empty token, so no continuation line is blank.
// GMime's raw values start after the colon and end with the line end.
std::string FoldedValue(std::string_view name, const std::vector<std::string>& tokens) {
  std::string raw;
  std::size_t column = name.size() + 1;
  bool lineHasToken = false;
  for (const std::string& token : tokens) {
    if (lineHasToken && !token.empty() && column + 1 + token.size() > kFoldColumn) {
      raw += '\n';
      column = 0;
    }
    raw += ' ';
    raw += token;
    column += 1 + token.size();
    lineHasToken = lineHasToken || !token.empty();
  }
  return raw + '\n';
}

// One UTF-8 character's length at the start of text (1 for stray bytes), so encoded words
// and parameter pieces never split a character.
std::size_t CharLength(std::string_view text) {
  std::size_t length = 1;
  while (length < text.size() && length < 4 && (text[length] & 0xC0) == 0x80) ++length;
  return static_cast<unsigned char>(text[0]) >= 0xC0 ? length : 1;
}

bool IsQLiteral(unsigned char c) {
  return g_ascii_isalnum(c) || c == '!' || c == '*' || c == '+' || c == '-' || c == '/';
}

std::string QEncode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == ' ') {
      encoded += '_';
    } else if (IsQLiteral(byte)) {
      encoded += c;
    } else {
      encoded += {'=', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return encoded;
}

std::string BEncode(std::string_view bytes) {
  gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  std::string result(encoded);
  g_free(encoded);
  return result;
}

// RFC 2047 words of at most maxLength characters (the first at most firstLength), in Q when
// that is shorter than B. The Q alphabet is the one a phrase allows, also safe in text.
std::vector<std::string> EncodedWords(std::string_view text, std::size_t maxLength,
                                      std::size_t firstLength) {
  const bool q = QEncode(text).size() <= BEncode(text).size();
  const std::string prefix = q ? "=?utf-8?q?" : "=?utf-8?b?";
  const auto word = [&](std::string_view piece) {
    return prefix + (q ? QEncode(piece) : BEncode(piece)) + "?=";
  };
  std::vector<std::string> words;
  std::size_t start = 0;
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t next = end + CharLength(text.substr(end));
    const std::size_t limit = words.empty() ? firstLength : maxLength;
    if (end > start && word(text.substr(start, next - start)).size() > limit) {
      words.push_back(word(text.substr(start, end - start)));
      start = end;
    }
    end = next;
  }
  words.push_back(word(text.substr(start)));
  return words;
}

// Words that read back as themselves inside a quoted string: printable ASCII, nothing a
// lenient reader would take for an encoded word, and short enough once escaped.
bool IsPlainWord(std::string_view word) {
  return IsPrintableAscii(word) && word.find("=?") == std::string_view::npos &&
         2 * word.size() + 2 < kMaxToken;
}

// A long run goes as several quoted strings split at a space, which readers join with one
// space again; folding inside the quotes instead is legal, but GMime then keeps the line
// break in the name.
std::vector<std::string> QuotedStrings(const std::string& run) {
  constexpr std::size_t kLongest = 60;
  std::vector<std::string> quoted;
  std::string chunk;
  bool first = true;
  for (const std::string& word : SplitOnSpaces(run)) {
    std::string escaped;
    for (const char c : word) {
      if (c == '"' || c == '\\') escaped += '\\';
      escaped += c;
    }
    if (!first && chunk.size() + 1 + escaped.size() > kLongest) {
      quoted.push_back('"' + chunk + '"');
      chunk = escaped;
    } else {
      chunk += (first ? "" : " ") + escaped;
    }
    first = false;
  }
  quoted.push_back('"' + chunk + '"');
  return quoted;
}

// A display name as quoted strings and encoded words, exactly one space between them.
// Whitespace between two adjacent encoded words is dropped by RFC 2047 readers but kept
// by some (Python's address parser), so each run of words that needs encoding becomes a
// single encoded word, longer than 75 characters if it must, and never meets another.
std::vector<std::string> PhraseTokens(const std::string& name) {
  const std::vector<std::string> words = SplitOnSpaces(name);
  // An empty word is an extra space. Python's address parser collapses runs of spaces
  // inside an encoded word, so those go into quoted strings, which keep them.
  std::vector<bool> plain(words.size());
  for (std::size_t i = 0; i < words.size(); ++i) {
    plain[i] = words[i].empty() || IsPlainWord(words[i]);
  }

  std::vector<std::string> tokens;
  for (std::size_t begin = 0; begin < words.size();) {
    std::size_t end = begin + 1;
    std::string run = words[begin];
    for (; end < words.size() && plain[end] == plain[begin]; ++end) run += ' ' + words[end];
    if (plain[begin]) {
      const std::vector<std::string> quoted = QuotedStrings(run);
      tokens.insert(tokens.end(), quoted.begin(), quoted.end());
    } else {
      std::vector<std::string> encoded = EncodedWords(run, kMaxToken, kMaxToken);
      if (encoded.size() > 1) encoded = EncodedWords(run, kMaxEncodedWord, kMaxEncodedWord);
      tokens.insert(tokens.end(), encoded.begin(), encoded.end());
    }
    begin = end;
  }
  return tokens;
}

std::string MailboxValue(std::string_view header, const Mailbox& mailbox) {
  if (mailbox.name.empty()) return FoldedValue(header, {mailbox.address});
  std::vector<std::string> tokens = PhraseTokens(mailbox.name);
  tokens.push_back('<' + mailbox.address + '>');
  return FoldedValue(header, tokens);
}

// Unstructured text: as it is when it reads back unchanged, else encoded words throughout
// (leading and trailing blanks would be lost, "=?" would be decoded).
std::string SubjectValue(const std::string& subject) {
  constexpr std::string_view kHeader = "Subject";
  if (subject.empty()) return FoldedValue(kHeader, {});
  const std::vector<std::string> words = SplitOnSpaces(subject);
  const bool plain = IsPrintableAscii(subject) && subject.find("=?") == std::string::npos &&
                     !words.front().empty() && !words.back().empty() &&
                     std::all_of(words.begin(), words.end(),
                                 [](const std::string& word) { return word.size() < kMaxToken; });
  return FoldedValue(
      kHeader,
      plain ? words : EncodedWords(subject, kMaxEncodedWord, kFoldColumn - kHeader.size() - 2));
}

bool IsAttributeChar(unsigned char c) {
  return g_ascii_isalnum(c) ||
         std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

// name="value" when that is safe and short; otherwise RFC 2231 UTF-8 pieces, each split
// between characters (readers decode every piece on its own).
std::vector<std::string> ParameterTokens(const std::string& name, const std::string& value) {
  const std::string quoted = name + "=\"" + value + '"';
  if (IsPrintableAscii(value) && value.find_first_of("\"\\") == std::string::npos &&
      value.find("=?") == std::string::npos && quoted.size() < kFoldColumn - 2) {
    return {quoted};
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::vector<std::string> pieces{"utf-8''"};
  for (std::size_t at = 0; at < value.size();) {
    const std::size_t length = CharLength(std::string_view(value).substr(at));
    std::string encoded;
    for (const char c : value.substr(at, length)) {
      const auto byte = static_cast<unsigned char>(c);
      encoded += IsAttributeChar(byte) ? std::string(1, c)
                                       : std::string{'%', kHex[byte >> 4], kHex[byte & 15]};
    }
    // Room for "name*99*=" and ";" on a continuation line.
    if (pieces.back().size() + encoded.size() + name.size() + 6 > kFoldColumn - 2) {
      pieces.emplace_back();
    }
    pieces.back() += encoded;
    at += length;
  }
  if (pieces.size() == 1) return {name + "*=" + pieces.front()};
  std::vector<std::string> tokens;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    tokens.push_back(name + '*' + std::to_string(i) + "*=" + pieces[i] +
                     (i + 1 < pieces.size() ? ";" : ""));
  }
  return tokens;
}

std::string ParameterisedValue(std::string_view header, std::string head, const std::string& name,
                               const std::string& value) {
  std::vector<std::string> tokens{std::move(head) + ';'};
  const std::vector<std::string> parameter = ParameterTokens(name, value);
  tokens.insert(tokens.end(), parameter.begin(), parameter.end());
  return FoldedValue(header, tokens);
}

// GMime has added the header already; only its written form is ours.
void SetRawValue(GMimeObject* object, const char* header, const std::string& raw) {
  GMimeHeader* found = g_mime_header_list_get_header(g_mime_object_get_header_list(object), header);
  if (found != nullptr) g_mime_header_set_raw_value(found, raw.c_str());
}

// An empty vector's data() may be null, which g_mime_stream_mem_new_with_buffer refuses
// with a critical warning (and then returns no stream at all).
GObjectPtr<GMimeStream> MemoryStream(const char* bytes, std::size_t size) {
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  if (size > 0) g_mime_stream_write(stream.get(), bytes, size);
  g_mime_stream_reset(stream.get());
  return stream;
}

void SetContent(GMimePart* part, const std::string_view bytes, GMimeContentEncoding encoding) {
  const GObjectPtr<GMimeStream> stream = MemoryStream(bytes.data(), bytes.size());
  const GObjectPtr<GMimeDataWrapper> content(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part, content.get());
  g_mime_part_set_content_encoding(part, encoding);
}

// The file is written with LF: every CRLF, lone CR and lone LF becomes one LF.
std::string NormaliseLineEnds(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      result += text[i];
    } else {
      result += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
  return result;
}

// 7bit only for short lines of printable ASCII; quoted-printable keeps every written line
// short and every control character escaped whatever the text holds.
bool FitsSevenBit(std::string_view text) {
  std::size_t column = 0;
  for (const char c : text) {
    if (c == '\n') {
      column = 0;
      continue;
    }
    if ((c < 0x20 && c != '\t') || c > 0x7e || ++column > 76) return false;
  }
  return true;
}

// subtype "plain" or "html"; HTML always declares UTF-8, as its meta element does.
GObjectPtr<GMimePart> MakeTextPart(const std::string& input, const char* subtype = "plain") {
  const std::string text = NormaliseLineEnds(input);
  GObjectPtr<GMimeTextPart> part(g_mime_text_part_new_with_subtype(subtype));
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  g_mime_text_part_set_charset(
      part.get(), ascii && std::string_view(subtype) == "plain" ? "us-ascii" : "utf-8");
  SetContent(
      GMIME_PART(part.get()), text,
      FitsSevenBit(text) ? GMIME_CONTENT_ENCODING_7BIT : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
  return GObjectPtr<GMimePart>(GMIME_PART(part.release()));
}

GObjectPtr<GMimePart> MakeAttachment(const MailAttachment& attachment,
                                     const char* disposition = GMIME_DISPOSITION_ATTACHMENT) {
  const auto [type, subtype] = SplitMimeType(attachment.mimeType);
  GObjectPtr<GMimePart> part(g_mime_part_new_with_type(type.c_str(), subtype.c_str()));
  SetContent(part.get(),
             std::string_view(reinterpret_cast<const char*>(attachment.bytes.data()),
                              attachment.bytes.size()),
             GMIME_CONTENT_ENCODING_BASE64);
  g_mime_object_set_disposition(GMIME_OBJECT(part.get()), disposition);
  g_mime_part_set_filename(part.get(), attachment.fileName.c_str());
  GMimeObject* object = GMIME_OBJECT(part.get());
  SetRawValue(
      object, "Content-Type",
      ParameterisedValue("Content-Type", type + '/' + subtype, "name", attachment.fileName));
  SetRawValue(
      object, "Content-Disposition",
      ParameterisedValue("Content-Disposition", disposition, "filename", attachment.fileName));
  if (!attachment.description.empty()) {
    g_mime_object_set_header(object, "Content-Description", attachment.description.c_str(),
                             nullptr);
  }
  return part;
}

std::string HtmlLines(const std::string& text) {
  std::string html = HtmlEscape(NormaliseLineEnds(text));
  for (std::size_t at = html.find('\n'); at != std::string::npos; at = html.find('\n', at + 5)) {
    html.replace(at, 1, "<br>\n");
  }
  return html;
}

std::string SenderText(const MailContent& content) {
  const Mailbox& sender = content.replyTo.address.empty() ? content.from : content.replyTo;
  return sender.name.empty() ? sender.address : sender.name + " <" + sender.address + '>';
}

// The same words as the HTML, the sender's own text first.
std::string PlainWithNotes(const MailContent& content) {
  std::string text = NormaliseLineEnds(content.text);
  if (!text.empty() && text.back() != '\n') text += '\n';
  if (!content.voiceNote.empty()) text += '\n' + content.voiceNote + ".\n";
  return text + "\nFrom " + SenderText(content) + ", sent with Murmelpost.\n";
}

// Plain and accessible: no script, nothing remote, readable with images blocked and on
// a phone. A table lays out picture and sender, as mail readers without CSS still do.
std::string HtmlBody(const MailContent& content, const std::string& contentId) {
  const Mailbox& sender = content.replyTo.address.empty() ? content.from : content.replyTo;
  const std::string name = HtmlEscape(sender.name.empty() ? sender.address : sender.name);
  const std::string subject =
      content.subject.empty() ? "(no subject)" : HtmlEscape(content.subject);
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
      subject +
      "</title>\n<style>\n"
      "body { margin: 0; padding: 16px; background: #f3efe8; color: #2b2830;\n"
      "  font: 17px/1.5 -apple-system, 'Segoe UI', Roboto, 'DejaVu Sans', sans-serif; }\n"
      ".card { max-width: 560px; margin: 0 auto; padding: 20px 24px; background: #fff;\n"
      "  border-radius: 14px; box-shadow: 0 1px 4px rgba(0, 0, 0, 0.12); }\n"
      ".picture { width: 96px; height: 96px; border-radius: 12px; }\n"
      ".from td { vertical-align: middle; padding: 0 14px 0 0; }\n"
      ".name { font-weight: bold; font-size: 19px; }\n"
      ".address, .foot { color: #6b6570; font-size: 15px; }\n"
      "h1 { font-size: 22px; margin: 18px 0 8px; }\n"
      ".voice { margin: 18px 0 0; padding: 10px 14px; background: #eef5ec;\n"
      "  border-radius: 10px; }\n"
      ".foot { margin: 18px 0 0; }\n"
      "</style>\n</head>\n<body>\n<div class=\"card\">\n"
      "<table class=\"from\" role=\"presentation\"><tr>\n";
  if (!contentId.empty()) {
    html += "<td><img class=\"picture\" src=\"cid:" + contentId + "\" alt=\"" +
            HtmlEscape(content.pictureAlt) + "\" width=\"96\" height=\"96\"></td>\n";
  }
  html += "<td><div class=\"name\">" + name + "</div>\n<div class=\"address\">" +
          HtmlEscape(sender.address) + "</div></td>\n</tr></table>\n<h1>" + subject + "</h1>\n";
  if (!content.text.empty()) html += "<p>" + HtmlLines(content.text) + "</p>\n";
  if (!content.voiceNote.empty()) {
    html += "<p class=\"voice\">" + HtmlEscape(content.voiceNote) + ".</p>\n";
  }
  return html + "<p class=\"foot\">From " + HtmlEscape(SenderText(content)) +
         ", sent with Murmelpost.</p>\n</div>\n</body>\n</html>\n";
}

// multipart/alternative: the plain words, then the HTML with its picture beside it.
GObjectPtr<GMimeMultipart> MakeReadableBody(const MailContent& content) {
  GObjectPtr<GMimeMultipart> alternative(g_mime_multipart_new_with_subtype("alternative"));
  const GObjectPtr<GMimePart> plain = MakeTextPart(PlainWithNotes(content));
  g_mime_multipart_add(alternative.get(), GMIME_OBJECT(plain.get()));

  const bool hasPicture = !content.picture.bytes.empty();
  const std::string contentId = !hasPicture                 ? ""
                                : content.messageId.empty() ? "picture@murmelpost"
                                                            : "picture." + content.messageId;
  const GObjectPtr<GMimePart> html = MakeTextPart(HtmlBody(content, contentId), "html");
  if (!hasPicture) {
    g_mime_multipart_add(alternative.get(), GMIME_OBJECT(html.get()));
    return alternative;
  }
  GObjectPtr<GMimeMultipart> related(g_mime_multipart_new_with_subtype("related"));
  g_mime_object_set_content_type_parameter(GMIME_OBJECT(related.get()), "type", "text/html");
  g_mime_multipart_add(related.get(), GMIME_OBJECT(html.get()));
  const GObjectPtr<GMimePart> picture = MakeAttachment(content.picture, GMIME_DISPOSITION_INLINE);
  g_mime_object_set_content_id(GMIME_OBJECT(picture.get()), contentId.c_str());
  g_mime_multipart_add(related.get(), GMIME_OBJECT(picture.get()));
  g_mime_multipart_add(alternative.get(), GMIME_OBJECT(related.get()));
  return alternative;
}

void AddMailbox(GMimeMessage* message, GMimeAddressType type, const char* header,
                const Mailbox& mailbox) {
  g_mime_message_add_mailbox(message, type, mailbox.name.empty() ? nullptr : mailbox.name.c_str(),
                             mailbox.address.c_str());
  SetRawValue(GMIME_OBJECT(message), header, MailboxValue(header, mailbox));
}

}  // namespace

std::string ComposeMail(const MailContent& content) {
  InitialiseGMime();
  GObjectPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  GMimeObject* headers = GMIME_OBJECT(message.get());
  AddMailbox(message.get(), GMIME_ADDRESS_TYPE_FROM, "From", content.from);
  if (!content.replyTo.address.empty()) {
    AddMailbox(message.get(), GMIME_ADDRESS_TYPE_REPLY_TO, "Reply-To", content.replyTo);
  }
  for (const std::string& recipient : content.to) {
    g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_TO, nullptr, recipient.c_str());
  }
  g_mime_message_set_subject(message.get(), content.subject.c_str(), "utf-8");
  SetRawValue(headers, "Subject", SubjectValue(content.subject));
  const std::unique_ptr<GDateTime, DateUnref> date(
      g_date_time_new_from_unix_local(static_cast<gint64>(content.date)));
  g_mime_message_set_date(message.get(), date.get());
  if (!content.messageId.empty()) {
    g_mime_message_set_message_id(message.get(), content.messageId.c_str());
  }
  if (!content.kind.empty()) {
    g_mime_object_set_header(headers, "X-Murmelpost-Kind", content.kind.c_str(), nullptr);
  }
  // Each hop prepends its own trace line, so ours goes above everything else.
  if (!content.received.empty()) {
    g_mime_object_prepend_header(headers, "Received", content.received.c_str(), nullptr);
  }

  GObjectPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
  if (content.picture.bytes.empty() && content.voiceNote.empty()) {
    const GObjectPtr<GMimePart> body = MakeTextPart(content.text);
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(body.get()));
  } else {
    const GObjectPtr<GMimeMultipart> body = MakeReadableBody(content);
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(body.get()));
  }
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
