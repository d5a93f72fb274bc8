// A scripted transfer server on loopback, and a local socket pair, for tests that drive
// the client's frames and commands over real sockets. Only standard types appear here,
// so tests that include <winsock2.h> can use them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace murmel::test {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(std::string_view text);
// "00 05 58 ..." for readable failure messages.
std::string ToHex(const Bytes& bytes);

// The frame a well-behaved peer puts on the wire for a payload. Written independently of
// the client's frame layer so that each checks the other.
Bytes EncodeFrame(const Bytes& payload);
Bytes EncodeFrame(std::string_view payload);

// Listens on 127.0.0.1 and runs its script, step by step, on its own thread: the first
// step waits for a connection; every step works on the current connection. Steps that
// read stop the script when the client closes or the bytes are not a well-formed frame.
class FakeTransferServer {
 public:
  // port 0 picks a free port. With listen_now false the port is bound but refuses
  // connections.
  explicit FakeTransferServer(std::uint16_t port = 0, bool listen_now = true);
  ~FakeTransferServer();
  FakeTransferServer(const FakeTransferServer&) = delete;
  FakeTransferServer& operator=(const FakeTransferServer&) = delete;

  bool bound() const { return listen_fd_ >= 0; }
  const std::string& bind_error() const { return bind_error_; }
  std::uint16_t port() const { return port_; }

  // Script steps, added before Start().
  FakeTransferServer& SendFrame(std::string_view payload) { return SendRaw(EncodeFrame(payload)); }
  FakeTransferServer& SendRaw(const Bytes& bytes);
  // Reads one frame and answers it with a frame carrying `reply`.
  FakeTransferServer& Reply(std::string_view reply) { return Reply(ToBytes(reply)); }
  FakeTransferServer& Reply(const Bytes& reply);
  // Answers every frame with `reply` until the client closes, counting instead of
  // recording them (for long runs such as benchmarks).
  FakeTransferServer& AnswerEveryFrame(std::string_view reply);
  // The server's opening word and the answer to the greeting.
  FakeTransferServer& AcceptGreeting() { return SendFrame("TROK").Reply("TROK"); }
  // Says nothing more and reads (into raw()) until the client closes.
  FakeTransferServer& WaitForClose();
  FakeTransferServer& Close();
  FakeTransferServer& Run(std::function<void()> action);

  void Start() {
    thread_ = std::thread([this] { RunScript(); });
  }
  // Waits for the script to end; true when every step ran.
  bool Finish() {
    if (thread_.joinable()) thread_.join();
    return completed_.load();
  }

  std::vector<Bytes> frames() const;          // the payloads of the well-formed frames read
  std::vector<std::string> payloads() const;  // the same as text
  Bytes raw() const;
  int connections() const { return connections_.load(); }
  long answered() const { return answered_.load(); }

 private:
  using Step = std::function<bool()>;
  FakeTransferServer& Add(Step step);
  bool Accept();
  bool WaitReadable(int fd);
  std::size_t ReadExactly(std::size_t count, Bytes& into);
  // False when the client closed or sent a bad frame; `clean` when it closed between frames.
  bool ReadFrame(bool record, bool* clean = nullptr);
  void RunScript();

  int listen_fd_ = -1;
  int connection_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  std::string bind_error_;
  std::vector<Step> steps_;
  std::thread thread_;
  std::atomic<bool> completed_{false};
  std::atomic<int> connections_{0};
  std::atomic<long> answered_{0};
  mutable std::mutex record_mutex_;
  std::vector<Bytes> frames_;
  Bytes raw_;
};

// A connected pair of local sockets. The client end goes to the platform's socket calls
// (the platform's SOCKET is the descriptor); the test drives the peer end.
class SocketPair {
 public:
  // kMessages keeps every send of the client a record of its own, so the peer sees how
  // the bytes were sent; kStream behaves like TCP.
  enum class Kind { kStream, kMessages };
  explicit SocketPair(Kind kind = Kind::kStream, bool nonblocking_client = false);
  ~SocketPair();
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;

  std::uintptr_t client() const { return static_cast<std::uintptr_t>(client_fd_); }
  void Write(const Bytes& bytes);
  // Bytes that are waiting, without blocking.
  Bytes ReadAvailable();
  void ClosePeer();

 private:
  int client_fd_ = -1;
  int peer_fd_ = -1;
};

}  // namespace murmel::test
