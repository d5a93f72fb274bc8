#include "transfer/frame_check.h"

#include <array>

namespace {

// CRC-16/X.25 a byte at a time. The table is computed by the compiler and never written,
// so the transfer threads share nothing they could race on; bit by bit cost about 40
// instructions a byte, which made the CRC most of a data frame's time on both ends.
constexpr std::array<WORD, 256> MakeCrcTable() {
  std::array<WORD, 256> table{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    unsigned crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0x8408 : crc >> 1;
    table[byte] = static_cast<WORD>(crc);
  }
  return table;
}

constexpr std::array<WORD, 256> CRC_TABLE = MakeCrcTable();

}  // namespace

WORD FrameCrc16(const BYTE* bytes, WORD count) {
  WORD crc = 0xFFFF;
  for (WORD i = 0; i < count; ++i) {
    crc = static_cast<WORD>((crc >> 8) ^ CRC_TABLE[(crc ^ bytes[i]) & 0xFF]);
  }
  return static_cast<WORD>(~crc);
}

BYTE FrameHeaderCheck(WORD length) {
  const BYTE lengthBytes[2] = {HIBYTE(length), LOBYTE(length)};
  return HIBYTE(FrameCrc16(lengthBytes, 2));
}
