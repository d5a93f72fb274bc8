#include "server/accepted_message.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "server/durable_file.h"

namespace murmel::server {
namespace {

// "envelope" and the envelope's length in 20 digits: always the file's last line.
constexpr std::size_t kLengthLine = 30;
constexpr char kFirstLine[] = "murmelpost accepted message 1";

// One line per field: newlines, other control characters and '%' become %XX.
std::string Escape(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '%') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    unsigned byte = 0;
    if (i + 2 >= text.size()) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 3, byte, 16);
    if (error != std::errc() || end != text.data() + i + 3) return std::nullopt;
    out += static_cast<char>(byte);
    i += 2;
  }
  return out;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

std::vector<std::uint8_t> AcceptedTrailer(const AcceptedMessage& accepted) {
  const Message& message = accepted.message;
  std::string text = std::string(kFirstLine) + "\n";
  auto field = [&text](std::string_view key, std::string_view value) {
    text.append(key).append(" ").append(Escape(value)).append("\n");
  };
  field("received", std::to_string(accepted.received));
  field("client-address", accepted.clientAddress);
  field("code-page", std::to_string(message.codePage()));
  field("sender-name", message.sender.name);
  field("sender-address", message.sender.address);
  for (const std::string& recipient : message.recipients) field("recipient", recipient);
  field("subject", message.subject);
  for (const Upload& upload : message.uploads) {
    // The file name last: it may hold blanks.
    field("upload", std::to_string(upload.type) + " " + std::to_string(upload.offset) + " " +
                        std::to_string(upload.size) + " " + upload.fileName);
  }
  std::array<char, kLengthLine + 1> length{};
  std::snprintf(length.data(), length.size(), "envelope %020zu\n", text.size());
  text += length.data();
  return {text.begin(), text.end()};
}

Result SaveAccepted(const AcceptedMessage& accepted, const std::filesystem::path& file, bool sync) {
  if (!accepted.message.spool) return WriteFile(file, AcceptedTrailer(accepted), sync);
  return accepted.message.spool->SaveAs(file, AcceptedTrailer(accepted), sync);
}

std::optional<AcceptedMessage> ParseAcceptedTrailer(std::string_view trailer,
                                                    std::uint64_t uploadBytes, std::string& why) {
  AcceptedMessage accepted;
  Message& message = accepted.message;
  bool first = true, received = false, sender = false;
  while (!trailer.empty()) {
    const std::size_t end = trailer.find('\n');
    if (end == std::string_view::npos) {
      why = "an envelope line without its end";
      return std::nullopt;
    }
    const std::string_view line = trailer.substr(0, end);
    trailer.remove_prefix(end + 1);
    if (first) {
      if (line != kFirstLine) {
        why = "not an accepted message";
        return std::nullopt;
      }
      first = false;
      continue;
    }
    const std::size_t blank = line.find(' ');
    const std::string_view key = line.substr(0, blank);
    const auto value =
        blank == std::string_view::npos ? std::nullopt : Unescape(line.substr(blank + 1));
    bool ok = value.has_value();
    if (!ok) {
    } else if (key == "received") {
      ok = received = ParseNumber(*value, accepted.received);
    } else if (key == "client-address") {
      accepted.clientAddress = *value;
    } else if (key == "code-page") {
      LocaleRecord locale;
      ok = ParseNumber(*value, locale.codePage);
      message.locale = locale;
    } else if (key == "sender-name") {
      message.sender.name = *value;
    } else if (key == "sender-address") {
      message.sender.address = *value;
      sender = !value->empty();
    } else if (key == "recipient") {
      message.recipients.push_back(*value);
    } else if (key == "subject") {
      message.subject = *value;
    } else if (key == "upload") {
      Upload upload;
      std::string_view parts = *value;
      std::array<std::string_view, 3> numbers;
      for (std::string_view& number : numbers) {
        const std::size_t space = parts.find(' ');
        ok = ok && space != std::string_view::npos;
        number = parts.substr(0, space);
        parts.remove_prefix(ok ? space + 1 : parts.size());
      }
      ok = ok && ParseNumber(numbers[0], upload.type) && ParseNumber(numbers[1], upload.offset) &&
           ParseNumber(numbers[2], upload.size) && upload.offset <= uploadBytes &&
           upload.size <= uploadBytes - upload.offset;
      upload.fileName = parts;
      message.uploads.push_back(std::move(upload));
    } else {
      ok = false;
    }
    if (!ok) {
      why = "a bad envelope line: " + std::string(line.substr(0, 80));
      return std::nullopt;
    }
  }
  if (first || !received || !sender) {
    why = "an envelope without its sender or time";
    return std::nullopt;
  }
  return accepted;
}

std::optional<AcceptedMessage> LoadAccepted(const std::filesystem::path& file, std::string& why) {
  Result opened;
  std::shared_ptr<SpoolFile> spool = SpoolFile::Open(file, opened);
  if (!spool) {
    why = opened.error;
    return std::nullopt;
  }
  const std::uint64_t size = spool->size();
  if (size < kLengthLine) {
    why = "cut short";
    return std::nullopt;
  }
  const std::vector<std::uint8_t> last = spool->Read(size - kLengthLine, kLengthLine);
  const std::string_view line(reinterpret_cast<const char*>(last.data()), last.size());
  std::uint64_t length = 0;
  if (!line.starts_with("envelope ") || !line.ends_with('\n') ||
      !ParseNumber(line.substr(9, kLengthLine - 10), length) || length > size - kLengthLine) {
    why = "no envelope at its end";
    return std::nullopt;
  }
  const std::uint64_t uploads = size - kLengthLine - length;
  const std::vector<std::uint8_t> envelope = spool->Read(uploads, length);
  auto accepted = ParseAcceptedTrailer(
      std::string_view(reinterpret_cast<const char*>(envelope.data()), envelope.size()), uploads,
      why);
  if (!accepted) return std::nullopt;
  spool->KeepFirst(uploads);
  accepted->message.spool = std::move(spool);
  return accepted;
}

}  // namespace murmel::server
