#include "fake_transfer_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace murmel::test {
namespace {

// CRC-16/X.25, table-free like the client's but written from the catalogue entry.
std::uint16_t Crc16X25(const std::uint8_t* bytes, std::size_t count) {
  unsigned crc = 0xffff;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0x8408 : crc >> 1;
  }
  return static_cast<std::uint16_t>(~crc);
}

std::uint8_t HeaderCheck(std::uint16_t length) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(length >> 8),
                                 static_cast<std::uint8_t>(length & 0xff)};
  return static_cast<std::uint8_t>(Crc16X25(bytes, 2) >> 8);
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool SendAll(int fd, const Bytes& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t put = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::string ToHex(const Bytes& bytes) {
  std::string hex;
  char digits[4];
  for (std::uint8_t byte : bytes) hex.append(digits, std::snprintf(digits, 4, "%02X ", byte));
  if (!hex.empty()) hex.pop_back();
  return hex;
}

Bytes EncodeFrame(const Bytes& payload) {
  const auto length = static_cast<std::uint16_t>(payload.size() + 2);
  const std::uint16_t crc = Crc16X25(payload.data(), payload.size());
  Bytes frame(payload.size() + 5);
  frame[0] = static_cast<std::uint8_t>(length >> 8);
  frame[1] = static_cast<std::uint8_t>(length & 0xff);
  frame[2] = HeaderCheck(length);
  std::copy(payload.begin(), payload.end(), frame.begin() + 3);
  frame[payload.size() + 3] = static_cast<std::uint8_t>(crc & 0xff);
  frame[payload.size() + 4] = static_cast<std::uint8_t>(crc >> 8);
  return frame;
}

Bytes EncodeFrame(std::string_view payload) { return EncodeFrame(ToBytes(payload)); }

FakeTransferServer::FakeTransferServer(std::uint16_t port, bool listen_now) {
  // Without the pipe (out of descriptors) the server still works; only the destructor cannot
  // interrupt a script that waits.
  [[maybe_unused]] const int piped = ::pipe2(stop_pipe_, O_CLOEXEC);
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    bind_error_ = std::strerror(errno);
    CloseFd(listen_fd_);
    return;
  }
  port_ = ntohs(address.sin_port);
  if (listen_now) ::listen(listen_fd_, 8);
}

FakeTransferServer::~FakeTransferServer() {
  if (stop_pipe_[1] >= 0) {
    const char stop = 's';
    [[maybe_unused]] const auto written = ::write(stop_pipe_[1], &stop, 1);
  }
  if (thread_.joinable()) thread_.join();
  CloseFd(connection_fd_);
  CloseFd(listen_fd_);
  CloseFd(stop_pipe_[0]);
  CloseFd(stop_pipe_[1]);
}

FakeTransferServer& FakeTransferServer::Add(Step step) {
  steps_.push_back(std::move(step));
  return *this;
}

FakeTransferServer& FakeTransferServer::SendRaw(const Bytes& bytes) {
  return Add([this, bytes] { return SendAll(connection_fd_, bytes); });
}

FakeTransferServer& FakeTransferServer::Reply(const Bytes& reply) {
  return Add([this, frame = EncodeFrame(reply)] {
    return ReadFrame(true) && SendAll(connection_fd_, frame);
  });
}

FakeTransferServer& FakeTransferServer::AnswerEveryFrame(std::string_view reply) {
  return Add([this, frame = EncodeFrame(reply)] {
    for (bool clean = false;; ++answered_) {
      if (!ReadFrame(false, &clean)) return clean;
      if (!SendAll(connection_fd_, frame)) return false;
    }
  });
}

FakeTransferServer& FakeTransferServer::WaitForClose() {
  return Add([this] {
    std::uint8_t chunk[4096];
    while (WaitReadable(connection_fd_)) {
      const ssize_t got = ::read(connection_fd_, chunk, sizeof chunk);
      if (got <= 0) return true;
      const std::lock_guard lock(record_mutex_);
      raw_.insert(raw_.end(), chunk, chunk + got);
    }
    return false;
  });
}

FakeTransferServer& FakeTransferServer::Close() {
  return Add([this] {
    CloseFd(connection_fd_);
    return true;
  });
}

FakeTransferServer& FakeTransferServer::Run(std::function<void()> action) {
  return Add([action = std::move(action)] {
    action();
    return true;
  });
}

std::vector<Bytes> FakeTransferServer::frames() const {
  const std::lock_guard lock(record_mutex_);
  return frames_;
}

std::vector<std::string> FakeTransferServer::payloads() const {
  std::vector<std::string> texts;
  for (const auto& frame : frames()) texts.emplace_back(frame.begin(), frame.end());
  return texts;
}

Bytes FakeTransferServer::raw() const {
  const std::lock_guard lock(record_mutex_);
  return raw_;
}

void FakeTransferServer::RunScript() {
  if (!Accept()) return;
  completed_ = std::all_of(steps_.begin(), steps_.end(), [](Step& step) { return step(); });
  CloseFd(connection_fd_);
}

bool FakeTransferServer::WaitReadable(int fd) {
  if (fd < 0) return false;
  pollfd waits[2] = {{fd, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
  int ready = 0;
  while ((ready = ::poll(waits, 2, -1)) < 0 && errno == EINTR) {
  }
  return ready > 0 && (waits[1].revents & POLLIN) == 0;
}

bool FakeTransferServer::Accept() {
  for (;;) {
    if (!WaitReadable(listen_fd_)) return false;
    connection_fd_ = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection_fd_ >= 0) break;
    if (errno != EINTR && errno != EAGAIN) return false;
  }
  const int on = 1;
  ::setsockopt(connection_fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ++connections_;
  return true;
}

std::size_t FakeTransferServer::ReadExactly(std::size_t count, Bytes& into) {
  std::size_t done = 0;
  into.resize(count);
  while (done < count && WaitReadable(connection_fd_)) {
    const ssize_t got = ::read(connection_fd_, into.data() + done, count - done);
    if (got <= 0) break;
    // The client's small sends would otherwise wait for a delayed ACK on every frame.
    const int on = 1;
    ::setsockopt(connection_fd_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    done += static_cast<std::size_t>(got);
  }
  into.resize(done);
  return done;
}

bool FakeTransferServer::ReadFrame(bool record, bool* clean) {
  Bytes header;
  Bytes body;
  const std::size_t got = ReadExactly(3, header);
  if (clean != nullptr) *clean = got == 0;
  if (got != 3) return false;
  const auto length = static_cast<std::uint16_t>((header[0] << 8) | header[1]);
  if (HeaderCheck(length) != header[2] || length < 2 || ReadExactly(length, body) != length) {
    return false;
  }
  const std::uint16_t crc = Crc16X25(body.data(), length - 2u);
  if (body[length - 2] != (crc & 0xff) || body[length - 1] != (crc >> 8)) return false;
  body.resize(length - 2u);
  const std::lock_guard lock(record_mutex_);
  if (record) frames_.push_back(std::move(body));
  return true;
}

SocketPair::SocketPair(Kind kind, bool nonblocking_client) {
  int fds[2] = {-1, -1};
  const int type = (kind == Kind::kMessages ? SOCK_SEQPACKET : SOCK_STREAM) | SOCK_CLOEXEC;
  if (::socketpair(AF_UNIX, type, 0, fds) != 0) return;
  client_fd_ = fds[0];
  peer_fd_ = fds[1];
  if (nonblocking_client) {
    ::fcntl(client_fd_, F_SETFL, ::fcntl(client_fd_, F_GETFL) | O_NONBLOCK);
  }
}

SocketPair::~SocketPair() {
  CloseFd(client_fd_);
  CloseFd(peer_fd_);
}

void SocketPair::Write(const Bytes& bytes) { SendAll(peer_fd_, bytes); }

Bytes SocketPair::ReadAvailable() {
  Bytes record(70000);
  const ssize_t got = ::recv(peer_fd_, record.data(), record.size(), MSG_DONTWAIT);
  record.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return record;
}

void SocketPair::ClosePeer() { CloseFd(peer_fd_); }

}  // namespace murmel::test
