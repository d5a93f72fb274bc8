// The server's side of a connection over arbitrary bytes: frames are cut from the stream
// and fed to the dialogue until it refuses; whatever was uploaded goes through the voice
// converter and the envelope parsers.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "server/address.h"
#include "server/frame_codec.h"
#include "server/session.h"
#include "server/voice_wav.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace murmel::server;
  Limits limits;
  limits.maxUploadBytes = 1u << 16;
  limits.maxRecipients = 8;
  const SplitResult split = SplitFrames(std::span(data, size), limits.maxFramePayload);
  if (split.consumed > size) std::abort();

  Session session(limits);
  for (const auto& payload : split.payloads) {
    const Decision decision = session.Handle(payload);
    if (decision.reply.size() < 4) std::abort();
    if (decision.kind == Decision::Kind::Refuse) break;
  }
  const Message& message = session.message();
  if (session.recipientCount() > limits.maxRecipients) std::abort();
  for (const Upload& upload : message.uploads) {
    if (upload.bytes.size() > limits.maxUploadBytes) std::abort();
    if (const auto wav = VoiceImageToWav(upload.bytes);
        wav && wav->size() > upload.bytes.size() + 1) {
      std::abort();
    }
    for (const char c : SafeFileName(upload.fileName, "x")) {
      if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) std::abort();
    }
  }
  ParseSender(message.sender);
  return 0;
}
