// Frames as the server sees them: a checked 16-bit length, the payload, a CRC-16 trailer.
// Pure byte work, no sockets, so every rule is testable and fuzzable on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace murmel::server {

inline constexpr std::size_t kFrameHeaderSize = 3;
inline constexpr std::size_t kFrameTrailerSize = 2;

enum class FrameError { None, BadHeaderCheck, NoTrailer, TooLarge, BadCrc };

const char* Describe(FrameError error);

// Checks the three header bytes. On success bodyLength is L: payload plus trailer, the
// number of bytes still to read for this frame.
FrameError ParseFrameHeader(std::span<const std::uint8_t, kFrameHeaderSize> header,
                            std::size_t maxPayload, std::size_t& bodyLength);

// Checks the CRC trailer at the end of a body of L bytes.
FrameError CheckFrameBody(std::span<const std::uint8_t> body);

// Header, payload and trailer in one buffer; the payload must fit in 65533 bytes.
std::vector<std::uint8_t> EncodeFrame(std::span<const std::uint8_t> payload);

// Cuts a byte stream into payloads until it ends or a frame is bad. What a connection
// does incrementally; used where the whole stream is at hand (tests, fuzzing).
struct SplitResult {
  std::vector<std::vector<std::uint8_t>> payloads;
  FrameError error = FrameError::None;
  std::size_t consumed = 0;  // bytes of the complete, good frames
};
SplitResult SplitFrames(std::span<const std::uint8_t> stream, std::size_t maxPayload);

}  // namespace murmel::server
