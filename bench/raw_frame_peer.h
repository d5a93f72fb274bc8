// The bare-socket side of the frame pattern, shared by raw_frame_loop (peer in a thread)
// and raw_frame_peer (peer as its own process, for murmelpost-send to talk to).
#pragma once

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace raw_frames {

// "TROK" as a frame: length 6, its header check, the payload, the CRC.
inline constexpr std::uint8_t kTrok[] = {0x00, 0x06, 0x6A, 'T', 'R', 'O', 'K', 0x06, 0x54};

// A listening socket on a free loopback port, its address in `address`; -1 on failure.
inline int ListenOnLoopback(sockaddr_in& address) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(listener, 16) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (listener >= 0) ::close(listener);
    return -1;
  }
  return listener;
}

inline bool ReadExactly(int fd, std::uint8_t* into, std::size_t count) {
  while (count > 0) {
    const ssize_t got = ::recv(fd, into, count, 0);
    if (got <= 0) return false;
    into += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

inline bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes += sent;
    count -= static_cast<std::size_t>(sent);
  }
  return true;
}

inline void QuickAck(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

// Reads header and body of each frame and answers every one with a "TROK" frame until the
// peer closes; then closes the connection.
inline void AnswerFrames(int fd) {
  std::vector<std::uint8_t> body(65535);
  for (;;) {
    std::uint8_t header[3];
    if (!ReadExactly(fd, header, 3)) break;
    QuickAck(fd);
    const std::size_t length = (std::size_t{header[0]} << 8) | header[1];
    if (!ReadExactly(fd, body.data(), length)) break;
    QuickAck(fd);
    if (!WriteAll(fd, kTrok, sizeof kTrok)) break;
  }
  ::close(fd);
}

}  // namespace raw_frames
