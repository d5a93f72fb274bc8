#include "transfer/frame_check.h"

// CRC-16/X.25, bit by bit: no table, so no shared state between the transfer threads.
WORD FrameCrc16(const BYTE* bytes, WORD count) {
  WORD crc = 0xFFFF;
  for (WORD i = 0; i < count; ++i) {
    BYTE byte = bytes[i];
    for (int bit = 0; bit < 8; ++bit) {
      if (((crc ^ byte) & 1) != 0) {
        crc = static_cast<WORD>((crc >> 1) ^ 0x8408);
      } else {
        crc = static_cast<WORD>(crc >> 1);
      }
      byte = static_cast<BYTE>(byte >> 1);
    }
  }
  return static_cast<WORD>(~crc);
}

BYTE FrameHeaderCheck(WORD length) {
  const BYTE lengthBytes[2] = {HIBYTE(length), LOBYTE(length)};
  return HIBYTE(FrameCrc16(lengthBytes, 2));
}
