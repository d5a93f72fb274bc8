#include "server/frame_codec.h"

#include "server/big_endian.h"
#include "transfer/frame_check.h"

namespace murmel::server {

const char* Describe(FrameError error) {
  switch (error) {
    case FrameError::None:
      return "ok";
    case FrameError::BadHeaderCheck:
      return "bad frame header check";
    case FrameError::NoTrailer:
      return "frame length leaves no room for its trailer";
    case FrameError::TooLarge:
      return "frame larger than the limit";
    case FrameError::BadCrc:
      return "bad frame CRC";
  }
  return "unknown frame error";
}

FrameError ParseFrameHeader(std::span<const std::uint8_t, kFrameHeaderSize> header,
                            std::size_t maxPayload, std::size_t& bodyLength) {
  const WORD length = BigEndian16(header.data());
  if (FrameHeaderCheck(length) != header[2]) return FrameError::BadHeaderCheck;
  if (length < kFrameTrailerSize) return FrameError::NoTrailer;
  if (length - kFrameTrailerSize > maxPayload) return FrameError::TooLarge;
  bodyLength = length;
  return FrameError::None;
}

FrameError CheckFrameBody(std::span<const std::uint8_t> body) {
  if (body.size() < kFrameTrailerSize) return FrameError::NoTrailer;
  const std::size_t payloadSize = body.size() - kFrameTrailerSize;
  const WORD crc = FrameCrc16(body.data(), static_cast<WORD>(payloadSize));
  const auto sent = static_cast<WORD>(body[payloadSize] | (body[payloadSize + 1] << 8));
  return crc == sent ? FrameError::None : FrameError::BadCrc;
}

std::vector<std::uint8_t> EncodeFrame(std::span<const std::uint8_t> payload) {
  const auto length = static_cast<WORD>(payload.size() + kFrameTrailerSize);
  const WORD crc = FrameCrc16(payload.data(), static_cast<WORD>(payload.size()));
  std::vector<std::uint8_t> frame;
  frame.reserve(payload.size() + kFrameHeaderSize + kFrameTrailerSize);
  frame.push_back(HIBYTE(length));
  frame.push_back(LOBYTE(length));
  frame.push_back(FrameHeaderCheck(length));
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(LOBYTE(crc));
  frame.push_back(HIBYTE(crc));
  return frame;
}

SplitResult SplitFrames(std::span<const std::uint8_t> stream, std::size_t maxPayload) {
  SplitResult result;
  std::size_t at = 0;
  while (stream.size() - at >= kFrameHeaderSize) {
    std::size_t bodyLength = 0;
    result.error =
        ParseFrameHeader(stream.subspan(at).first<kFrameHeaderSize>(), maxPayload, bodyLength);
    if (result.error != FrameError::None) return result;
    if (stream.size() - at - kFrameHeaderSize < bodyLength) break;  // incomplete tail
    const auto body = stream.subspan(at + kFrameHeaderSize, bodyLength);
    result.error = CheckFrameBody(body);
    if (result.error != FrameError::None) return result;
    result.payloads.emplace_back(body.begin(), body.end() - kFrameTrailerSize);
    at += kFrameHeaderSize + bodyLength;
    result.consumed = at;
  }
  return result;
}

}  // namespace murmel::server
