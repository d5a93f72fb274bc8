// A murmelpost-server on loopback inside the test process, and a blocking client that
// writes frames by hand (its own encoder, checked with FrameCrc16) to script a peer.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "server/delivery.h"
#include "server/server.h"
#include "support/temp_dir.h"
#include "transfer/frame_check.h"

namespace server_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes B(std::string_view text) { return {text.begin(), text.end()}; }
inline Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Header, payload, trailer: written independently of the server's encoder.
inline Bytes Frame(const Bytes& payload) {
  const auto length = static_cast<WORD>(payload.size() + 2);
  const WORD crc = FrameCrc16(payload.data(), static_cast<WORD>(payload.size()));
  Bytes frame = {static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length & 0xFF),
                 FrameHeaderCheck(length)};
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

// The locale record of a client with code page 1252 (or another), UTC+1, en-US, "Mr.".
inline Bytes LocaleRecord(std::uint32_t codePage = 1252) {
  Bytes record = B("LOCL");
  for (int shift = 24; shift >= 0; shift -= 8)
    record.push_back(static_cast<std::uint8_t>(codePage >> shift));
  const Bytes rest = {0x00, 0xFF, 0xFF, 0xF1, 0xF0, 0, 0, 0, 0x00, 0x09, 0x00, 0x01, 0x00};
  record.insert(record.end(), rest.begin(), rest.end());
  return record;
}

class Client {
 public:
  explicit Client(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  ~Client() { Close(); }

  bool connected() const { return connected_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool WriteRaw(const Bytes& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }

  // The next reply payload, or nullopt when the server closed (or sent a broken frame).
  std::optional<Bytes> Receive() {
    std::uint8_t header[3];
    if (!ReadExactly(header, 3)) return std::nullopt;
    const auto length = static_cast<WORD>((header[0] << 8) | header[1]);
    if (FrameHeaderCheck(length) != header[2] || length < 2) return std::nullopt;
    Bytes body(length);
    if (!ReadExactly(body.data(), length)) return std::nullopt;
    const WORD crc = FrameCrc16(body.data(), static_cast<WORD>(length - 2));
    if ((body[length - 2] | (body[length - 1] << 8)) != crc) return std::nullopt;
    body.resize(length - 2);
    return body;
  }

  // Sends one command frame and returns the reply as text ("" when the server closed).
  std::string Exchange(const Bytes& payload) {
    if (!WriteRaw(Frame(payload))) return "";
    const auto reply = Receive();
    return reply ? std::string(reply->begin(), reply->end()) : "";
  }
  std::string Exchange(std::string_view payload) { return Exchange(B(payload)); }

  // As the handheld sends: header, payload and trailer in three separate sends, no
  // socket options. Against a server without quick ACKs this waits out delayed ACKs.
  std::string ExchangeInPieces(const Bytes& payload) {
    const Bytes frame = Frame(payload);
    if (!WriteRaw(Bytes(frame.begin(), frame.begin() + 3)) ||
        !WriteRaw(Bytes(frame.begin() + 3, frame.end() - 2)) ||
        !WriteRaw(Bytes(frame.end() - 2, frame.end()))) {
      return "";
    }
    const auto reply = Receive();
    return reply ? std::string(reply->begin(), reply->end()) : "";
  }

  // True when the server has closed its side: EOF with no more frames.
  bool ClosedByServer() {
    std::uint8_t byte = 0;
    return ::recv(fd_, &byte, 1, 0) == 0;
  }

 private:
  bool ReadExactly(std::uint8_t* into, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
      const ssize_t n = ::recv(fd_, into + got, count - got, 0);
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
    return true;
  }

  int fd_ = -1;
  bool connected_ = false;
};

// The greeting steps that every session starts with; true when each was accepted.
inline bool Greet(Client& client) {
  const auto opening = client.Receive();
  if (!opening || *opening != B("TROK")) return false;
  return client.Exchange("HELLCEMurmelpost _DEF:2.80.1234") == "TROK" &&
         client.Exchange(LocaleRecord()) == "TROK" && client.Exchange("TYPE_DEF") == "TROK";
}

inline bool Envelope(Client& client, std::string_view sender, std::string_view recipients,
                     std::string_view subject) {
  return client.Exchange("SEND" + std::string(sender)) == "TROK" &&
         client.Exchange("RECI" + std::string(recipients)) == "TROK" &&
         client.Exchange("TITL" + std::string(subject)) == "TROK";
}

// One upload the way the client cuts it: FLSZ, FLTP, FLNM for types of 10 and more,
// then FLBG and FLCN frames of at most 1024 bytes (a single bare FLBG when empty).
inline bool Upload(Client& client, int type, const Bytes& bytes, std::string_view name = {}) {
  if (client.Exchange("FLSZ" + std::to_string(bytes.size())) != "TROK") return false;
  if (client.Exchange("FLTP" + std::to_string(type)) != "TROK") return false;
  if (type >= 10 && client.Exchange("FLNM" + std::string(name)) != "TROK") return false;
  std::size_t at = 0;
  do {
    const std::size_t count = std::min<std::size_t>(1024, bytes.size() - at);
    Bytes frame = B(at == 0 ? "FLBG" : "FLCN");
    frame.insert(frame.end(), bytes.begin() + static_cast<long>(at),
                 bytes.begin() + static_cast<long>(at + count));
    if (client.Exchange(frame) != "TROK") return false;
    at += count;
  } while (at < bytes.size());
  return true;
}

class TestServer {
 public:
  explicit TestServer(murmel::server::Limits limits = {}, bool quickAck = true)
      : delivery_(state_.path()) {
    murmel::server::Options options;
    options.quickAck = quickAck;
    options.listenAddress = "127.0.0.1";
    options.port = 0;
    options.stateDir = state_.path();
    options.limits = limits;
    opened_ = delivery_.Open().ok;
    server_.emplace(io_, options, delivery_, [this](const std::string& line) {
      const std::lock_guard lock(logMutex_);
      log_.push_back(line);
    });
    listening_ = server_->Listen().ok;
    server_->Start();
    thread_ = std::thread([this] { io_.run(); });
  }
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;
  ~TestServer() {
    io_.stop();
    thread_.join();
  }

  bool ready() const { return opened_ && listening_; }
  std::uint16_t port() const { return server_->port(); }
  std::filesystem::path outbox() const { return delivery_.outboxRoot(); }
  std::filesystem::path pictures() const { return delivery_.pictureFolder(); }
  std::filesystem::path state() const { return state_.path(); }

  std::vector<std::filesystem::path> Delivered() const { return Files(outbox() / "new"); }
  std::vector<std::filesystem::path> Temporary() const { return Files(outbox() / "tmp"); }

  std::vector<std::string> Log() {
    const std::lock_guard lock(logMutex_);
    return log_;
  }

  static std::vector<std::filesystem::path> Files(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      files.push_back(entry.path());
    return files;
  }

 private:
  testing_support::TempDir state_;
  murmel::server::Delivery delivery_;
  asio::io_context io_{1};
  std::optional<murmel::server::Server> server_;
  std::thread thread_;
  bool opened_ = false, listening_ = false;
  std::mutex logMutex_;
  std::vector<std::string> log_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace server_test
