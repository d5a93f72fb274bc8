#include "server/session.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "server/address.h"
#include "server/big_endian.h"
#include "server/code_page.h"

namespace murmel::server {
namespace {

constexpr std::size_t kWordSize = 4;
constexpr std::size_t kLocaleRecordSize = 21;
// "CHCK" is answered with one data byte; 1 tells the client it is current.
constexpr std::uint8_t kClientCurrent = 0x01;

// A plain decimal count: digits only, no sign, no blanks.
bool ParseCount(std::string_view text, std::size_t& value) {
  if (text.empty() || text.size() > 10) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// GIF87a, GIF89a or a JPEG's start-of-image marker: what every mail reader shows inline.
bool IsPicture(std::span<const std::uint8_t> bytes) {
  const std::string_view start(reinterpret_cast<const char*>(bytes.data()),
                               std::min<std::size_t>(bytes.size(), 6));
  return start == "GIF87a" || start == "GIF89a" || start.starts_with("\xFF\xD8\xFF");
}

// "HELL" + any client name, a blank, a tag, ':' and a version: "HELLCEMurmelpost _DEF:2.80.1234".
bool IsGreeting(std::string_view text) {
  const auto blank = text.rfind(' ');
  if (blank == std::string_view::npos || blank == 0) return false;
  const auto colon = text.find(':', blank);
  return colon != std::string_view::npos && colon > blank + 1 && colon + 1 < text.size();
}

}  // namespace

Decision Ok() { return {Decision::Kind::Reply, {kReplyOk.begin(), kReplyOk.end()}, {}}; }

Decision Refuse(std::string reason) {
  return {Decision::Kind::Refuse, {kReplyRefused.begin(), kReplyRefused.end()}, std::move(reason)};
}

Decision Session::Handle(std::span<const std::uint8_t> payload) {
  if (payload.size() < kWordSize) return Refuse("payload shorter than a command word");
  const std::string_view word(reinterpret_cast<const char*>(payload.data()), kWordSize);
  const auto rest = payload.subspan(kWordSize);
  const std::string_view argument(reinterpret_cast<const char*>(rest.data()), rest.size());

  if (!greeted_) {
    if (word != "HELL") return Refuse("expected the greeting first");
    return OnGreeting(argument);
  }
  // Commands may not interrupt an upload: its data frames come next.
  const bool isData = word == "FLBG" || word == "FLCN";
  if (pending_.active && !UploadComplete()) {
    const bool expected = ReadyForData() ? isData : (word == "FLTP" || word == "FLNM");
    if (!expected) return Refuse("command inside an unfinished upload");
  }

  if (word == "LOCL") return OnLocale(payload);
  if (word == "TYPE") {
    message_.clientType = argument;
    return Ok();
  }
  if (word == "SEND" || word == "RECI" || word == "TITL") return OnEnvelope(word, argument);
  if (word == "FLSZ") return OnFileSize(argument);
  if (word == "FLTP") return OnFileType(argument);
  if (word == "FLNM") return OnFileName(argument);
  if (isData) return OnData(word == "FLBG", rest);
  if (word == "CHCK") {
    Decision decision = Ok();
    decision.reply.push_back(kClientCurrent);
    return decision;
  }
  if (word == "FINI") {
    if (payload.size() != kWordSize) return Refuse("\"FINI\" with an argument");
    return OnFinish();
  }
  return Refuse("unknown command");
}

Decision Session::OnGreeting(std::string_view argument) {
  if (!IsGreeting(argument)) return Refuse("malformed greeting");
  message_.client = argument;
  greeted_ = true;
  return Ok();
}

Decision Session::OnLocale(std::span<const std::uint8_t> payload) {
  if (payload.size() != kLocaleRecordSize) return Refuse("locale record not 21 bytes");
  // The envelope is converted as it arrives: a code page announced later would not apply.
  if (message_.locale || sentSender_ || sentRecipients_ || sentTitle_) {
    return Refuse("locale record after the envelope or twice");
  }
  const std::uint8_t* p = payload.data();
  LocaleRecord locale;
  locale.codePage = BigEndian32(p + 4);
  if (!IsSupportedCodePage(locale.codePage)) {
    return Refuse("code page " + std::to_string(locale.codePage) + " is not supported");
  }
  locale.daylight = (p[8] & 1) != 0;
  locale.biasSeconds = static_cast<std::int32_t>(BigEndian32(p + 9));
  locale.language = BigEndian16(p + 16);
  locale.subLanguage = BigEndian16(p + 18);
  locale.salutationMr = p[20] == 0;
  message_.locale = locale;
  return Ok();
}

// Each field is converted once and parsed once, here; the message keeps only the result.
Decision Session::OnEnvelope(std::string_view word, std::string_view argument) {
  const std::string text = ToUtf8(argument, message_.codePage());
  if (word == "SEND") {
    if (sentSender_) return Refuse("second \"SEND\"");
    Parsed<Mailbox> sender = ParseSender(text);
    if (!sender.ok()) return Refuse(sender.error);
    message_.sender = std::move(sender.value);
    sentSender_ = true;
  } else if (word == "RECI") {
    if (sentRecipients_) return Refuse("second \"RECI\"");
    Parsed<std::vector<std::string>> recipients = ParseRecipients(text);
    if (!recipients.ok()) return Refuse(recipients.error);
    if (recipients.value.size() > limits_.maxRecipients) return Refuse("too many recipients");
    message_.recipients = std::move(recipients.value);
    sentRecipients_ = true;
  } else {
    if (sentTitle_) return Refuse("second \"TITL\"");
    if (const std::string problem = HeaderTextProblem(text); !problem.empty()) {
      return Refuse("a subject with " + problem);
    }
    message_.subject = text;
    sentTitle_ = true;
  }
  return Ok();
}

Decision Session::OnFileSize(std::string_view argument) {
  if (!(sentSender_ && sentRecipients_ && sentTitle_)) {
    return Refuse("upload before sender, recipients and subject");
  }
  std::size_t size = 0;
  if (!ParseCount(argument, size)) return Refuse("malformed upload size");
  if (size > limits_.maxUploadBytes) return Refuse("upload larger than the limit");
  if (messageBytes_ + size > limits_.maxMessageBytes)
    return Refuse("message larger than the limit");
  messageBytes_ += size;
  pending_ = PendingUpload{.active = true, .announced = size};
  return Ok();
}

Decision Session::OnFileType(std::string_view argument) {
  std::size_t type = 0;
  if (!pending_.active || pending_.typed || !ParseCount(argument, type) || type > 0xFFFF) {
    return Refuse("upload type out of order or malformed");
  }
  if (const std::string problem = UploadTypeProblem(static_cast<int>(type)); !problem.empty()) {
    return Refuse(problem);
  }
  if (!message_.spool) message_.spool = std::make_shared<SpoolFile>(spoolFolder_);
  pending_.typed = true;
  pending_.needsName = static_cast<int>(type) >= kFirstNamedUploadType;
  message_.uploads.push_back({static_cast<int>(type), {}, message_.spool->size(), 0});
  return Ok();
}

Decision Session::OnFileName(std::string_view argument) {
  if (!pending_.typed || !pending_.needsName || pending_.named) {
    return Refuse("file name out of order");
  }
  message_.uploads.back().fileName = argument;
  pending_.named = true;
  return Ok();
}

// One upload of each defined type; a picture registration carries nothing else.
std::string Session::UploadTypeProblem(int type) const {
  if (type != kUploadVoice && type != kUploadText && type != kUploadPicture &&
      type != kUploadFile) {
    return "upload type " + std::to_string(type) + " is not defined";
  }
  if (message_.Find(type) != nullptr) return "second upload of type " + std::to_string(type);
  const bool picture = type == kUploadPicture;
  if (picture ? !message_.uploads.empty() : message_.IsPictureRegistration()) {
    return "a picture together with another upload";
  }
  if (picture && !message_.recipients.empty()) return "a picture in a message with recipients";
  if (picture && pending_.announced > kMaxPictureBytes) return "a picture over 102400 bytes";
  return {};
}

bool Session::ReadyForData() const {
  return pending_.active && pending_.typed && (!pending_.needsName || pending_.named);
}

bool Session::UploadComplete() const {
  return ReadyForData() && message_.uploads.back().size == pending_.announced;
}

Decision Session::OnData(bool first, std::span<const std::uint8_t> data) {
  if (!ReadyForData()) return Refuse("data frame outside an upload");
  if (first == pending_.begun)
    return Refuse(first ? "second \"FLBG\"" : "\"FLCN\" before \"FLBG\"");
  pending_.begun = true;
  const Upload& upload = message_.uploads.back();
  if (data.size() > pending_.announced - upload.size) {
    return Refuse("more data than \"FLSZ\" announced");
  }
  // Every supported code page is ASCII-compatible: a zero byte is a NUL character.
  if (upload.type == kUploadText && std::find(data.begin(), data.end(), 0) != data.end()) {
    return Refuse("a NUL character in the text");
  }
  if (upload.type == kUploadPicture && first && pending_.announced > 0 && !IsPicture(data)) {
    return Refuse("a picture that is neither GIF nor JPEG");
  }
  if (const Result spooled = message_.Append(data); !spooled.ok) {
    return Refuse("not stored: " + spooled.error);
  }
  return Ok();
}

Decision Session::OnFinish() {
  if (!(sentSender_ && sentRecipients_ && sentTitle_))
    return Refuse("\"FINI\" before the envelope");
  if (pending_.active && !UploadComplete()) return Refuse("\"FINI\" inside an unfinished upload");
  if (!message_.IsPictureRegistration() && message_.recipients.empty()) {
    return Refuse("message without recipients");
  }
  return {Decision::Kind::Finish, {kReplyOk.begin(), kReplyOk.end()}, {}};
}

}  // namespace murmel::server
