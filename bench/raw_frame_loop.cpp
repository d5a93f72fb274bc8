// The network's own cost of the client's frame pattern: bare sockets, no CRC, no platform
// layer. Per frame the client writes header, payload and trailer as three send() calls
// (Nagle on, as the client leaves it) and reads the 9-byte "TROK" reply in two recv()
// calls; the peer quick-acks after every read, as murmelpost-server does.
//
//   raw_frame_loop FRAMES PAYLOAD   sends FRAMES frames of PAYLOAD bytes to a peer thread,
//                                   repeatedly for a second, and prints the frames per
//                                   second: the ceiling for murmelpost-send's own rate
//                                   (bench/client_frame_rate.py)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// "TROK" as a frame: length 6, its header check, the payload, the CRC.
constexpr std::uint8_t kTrok[] = {0x00, 0x06, 0x6A, 'T', 'R', 'O', 'K', 0x06, 0x54};

// Blocking sockets: a send returns once all is queued, MSG_WAITALL once all has arrived.
bool ReadExactly(int fd, std::uint8_t* into, std::size_t count) {
  return ::recv(fd, into, count, MSG_WAITALL) == static_cast<ssize_t>(count);
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
  return ::send(fd, bytes, count, MSG_NOSIGNAL) == static_cast<ssize_t>(count);
}

// Reads header and body of each frame and answers it with "TROK" until the peer closes.
void AnswerFrames(int fd) {
  const int on = 1;
  std::vector<std::uint8_t> body(65535);
  std::uint8_t header[3];
  while (ReadExactly(fd, header, 3)) {
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    if (!ReadExactly(fd, body.data(), (std::size_t{header[0]} << 8) | header[1])) break;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    if (!WriteAll(fd, kTrok, sizeof kTrok)) break;
  }
  ::close(fd);
}

// Frames per second of `frames`-frame exchanges of `payload` bytes, over about a second.
double LoopRate(const sockaddr_in& address, int listener, long frames, std::size_t payload) {
  std::thread peer([listener] {
    if (const int fd = ::accept(listener, nullptr, nullptr); fd >= 0) AnswerFrames(fd);
  });
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  std::vector<std::uint8_t> frame(payload + 5, 0x5A);
  // Only the length matters to the peer; it checks neither the header check nor the CRC.
  frame[0] = static_cast<std::uint8_t>((payload + 2) >> 8);
  frame[1] = static_cast<std::uint8_t>((payload + 2) & 0xFF);
  std::uint8_t reply[9];
  long sent = 0;
  const auto start = std::chrono::steady_clock::now();
  std::chrono::duration<double> elapsed{};
  while (ok && elapsed.count() < 1.0) {
    for (long i = 0; ok && i < frames; ++i, ++sent) {
      ok = WriteAll(fd, frame.data(), 3) && WriteAll(fd, frame.data() + 3, payload) &&
           WriteAll(fd, frame.data() + 3 + payload, 2) && ReadExactly(fd, reply, 3) &&
           ReadExactly(fd, reply + 3, 6);
    }
    elapsed = std::chrono::steady_clock::now() - start;
  }
  ::close(fd);
  peer.join();
  return ok ? static_cast<double>(sent) / elapsed.count() : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(listener, 16) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::perror("raw_frame_loop: cannot listen on loopback");
    return 1;
  }
  if (argc != 3) return 2;  // usage above
  const double rate =
      LoopRate(address, listener, std::atol(argv[1]), static_cast<std::size_t>(std::atol(argv[2])));
  std::printf("%.0f frames/s\n", rate);
  return rate > 0 ? 0 : 1;
}
