#include "transfer/frame_layer.h"

namespace {

// How long the blocking loops wait before trying a socket that had nothing to move.
constexpr DWORD RETRY_DELAY_MS = 100;

// The result of one send or recv call, as the blocking loops understand it.
int ClassifySocketResult(int result) {
  if (result > 0) return result;
  // recv's 0 is the peer closing; a send that moved nothing counts the same.
  if (result == 0) return -1;
  const DWORD error = GetLastError();
  if (error == WSAEWOULDBLOCK || error == WSAEINTR) return 0;
  return -1;
}

}  // namespace

int SendFrame(SOCKET s, const BYTE* payload, int count) {
  if (count < 0 || count > FRAME_MAX_PAYLOAD) return -1;
  const auto length = static_cast<WORD>(count + 2);
  const WORD crc = FrameCrc16(payload, static_cast<WORD>(count));

  // Header, payload and trailer go out as three separate runs.
  const BYTE header[3] = {HIBYTE(length), LOBYTE(length), FrameHeaderCheck(length)};
  if (SendBlocking(s, header, 3) != 0) return -1;
  if (SendBlocking(s, payload, count) != 0) return -1;
  const BYTE trailer[2] = {LOBYTE(crc), HIBYTE(crc)};
  if (SendBlocking(s, trailer, 2) != 0) return -1;
  return 0;
}

int ReceiveFrame(SOCKET s, BYTE* buffer, int* capacity) {
  BYTE header[3];
  if (ReceiveBlocking(s, header, 3) != 0) return -1;

  const int length = header[0] * 256 + header[1];
  if (FrameHeaderCheck(static_cast<WORD>(length)) != header[2]) return -1;
  // A length below 2 leaves no room for the trailer: refuse it before reading more.
  if (length < 2) return -1;
  if (length > *capacity) {
    // The payload and trailer stay unread; the caller closes the connection.
    *capacity = length;
    return -2;
  }

  if (ReceiveBlocking(s, buffer, length) != 0) return -1;
  const int payloadLength = length - 2;
  const WORD crc = FrameCrc16(buffer, static_cast<WORD>(payloadLength));
  if (buffer[payloadLength] != LOBYTE(crc) || buffer[payloadLength + 1] != HIBYTE(crc)) {
    return -1;
  }
  buffer[payloadLength] = 0;  // lets a text payload be read as a string
  *capacity = payloadLength;
  return 0;
}

namespace {

// The blocking loop, the same for both directions: one socket call at a time until every
// byte has moved, waiting a moment whenever a call moved nothing.
template <typename Byte, typename OnceCall>
int TransferBlocking(SOCKET s, Byte* bytes, int count, OnceCall once) {
  if (count < 0) return -1;
  while (count > 0) {
    const int moved = once(s, bytes, count);
    if (moved < 0) return -1;
    if (moved == 0) {
      Sleep(RETRY_DELAY_MS);
      continue;
    }
    bytes += moved;
    count -= moved;
  }
  return 0;
}

}  // namespace

int SendBlocking(SOCKET s, const BYTE* bytes, int count) {
  return TransferBlocking(s, bytes, count, SendOnce);
}

int ReceiveBlocking(SOCKET s, BYTE* bytes, int count) {
  return TransferBlocking(s, bytes, count, ReceiveOnce);
}

int SendOnce(SOCKET s, const BYTE* bytes, int count) {
  return ClassifySocketResult(send(s, reinterpret_cast<const char*>(bytes), count, 0));
}

int ReceiveOnce(SOCKET s, BYTE* bytes, int count) {
  return ClassifySocketResult(recv(s, reinterpret_cast<char*>(bytes), count, 0));
}
