// The server's side of a connection over arbitrary bytes: frames are cut from the stream
// and fed to the dialogue until it refuses; whatever was uploaded goes through the voice
// converter, and every envelope the dialogue accepted must be fit for a header.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "server/address.h"
#include "server/frame_codec.h"
#include "server/session.h"
#include "server/voice_wav.h"

namespace {

using namespace murmel::server;

// What may stand in a header or an SMTP envelope unquoted.
void CheckMailbox(std::string_view address) {
  if (!ParseMailbox(address).ok()) std::abort();
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte >= 0x7F || c == '"' || c == '<' || c == '>' || c == ',' || c == '(')
      std::abort();
  }
}

void CheckEnvelope(const Message& message, const Limits& limits) {
  if (!message.sender.address.empty()) CheckMailbox(message.sender.address);
  if (!HeaderTextProblem(message.sender.name).empty()) std::abort();
  if (!HeaderTextProblem(message.subject).empty()) std::abort();
  if (message.recipients.size() > limits.maxRecipients) std::abort();
  for (const std::string& recipient : message.recipients) CheckMailbox(recipient);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Limits limits;
  limits.maxUploadBytes = 1u << 16;
  limits.maxRecipients = 8;
  const SplitResult split = SplitFrames(std::span(data, size), limits.maxFramePayload);
  if (split.consumed > size) std::abort();

  Session session(limits, std::filesystem::temp_directory_path());
  for (const auto& payload : split.payloads) {
    const Decision decision = session.Handle(payload);
    if (decision.reply.size() < 4) std::abort();
    if (decision.kind == Decision::Kind::Refuse) break;
  }
  const Message& message = session.message();
  CheckEnvelope(message, limits);
  for (const Upload& upload : message.uploads) {
    const std::vector<std::uint8_t> bytes = message.Bytes(upload);
    if (bytes.size() != upload.size || bytes.size() > limits.maxUploadBytes) std::abort();
    if (const auto wav = VoiceImageToWav(bytes); wav && wav->size() > bytes.size() + 1) {
      std::abort();
    }
    for (const char c : SafeFileName(upload.fileName, "x")) {
      if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) std::abort();
    }
  }
  // The parsers straight on the raw bytes too: whatever they accept is well formed.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto sender = ParseSender(text); sender.ok()) CheckMailbox(sender.value.address);
  if (const auto list = ParseRecipients(text); list.ok()) {
    for (const std::string& recipient : list.value) CheckMailbox(recipient);
  }
  return 0;
}
