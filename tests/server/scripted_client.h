// A murmelpost-server on loopback inside the test process, a blocking client that writes
// frames by hand (its own encoder, checked with FrameCrc16) to script a peer, and a browser
// that speaks raw HTTP from a loopback address of the test's choice.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "server/delivery.h"
#include "server/delivery_report.h"
#include "server/http_help.h"
#include "server/server.h"
#include "server/smtp_relay.h"
#include "server/sqlite_store.h"
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

// A socket to port on loopback from the address from (127.0.0.2 is a second client), -1
// when it cannot connect. Reads give up after ten seconds, so a stalled server fails a test.
inline int ConnectFrom(std::uint16_t port, const char* from = "127.0.0.1") {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  ::inet_pton(AF_INET, from, &address.sin_addr);
  const timeval limit{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (!bound || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

class Client {
 public:
  // from: the loopback address to connect from (any 127.x.y.z), as a second client host.
  explicit Client(std::uint16_t port, const char* from = "127.0.0.1")
      : fd_(ConnectFrom(port, from)) {}
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  ~Client() { Close(); }

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
  std::string ReceiveText() {
    const auto reply = Receive();
    return reply ? std::string(reply->begin(), reply->end()) : "";
  }

  // Sends one command frame and returns the reply as text ("" when the server closed).
  std::string Exchange(const Bytes& payload) {
    return WriteRaw(Frame(payload)) ? ReceiveText() : "";
  }
  std::string Exchange(std::string_view payload) { return Exchange(B(payload)); }

  // As the handheld sends: header, payload and trailer in three separate sends, no
  // socket options. Against a server without quick ACKs this waits out delayed ACKs.
  std::string ExchangeInPieces(const Bytes& payload) {
    const Bytes frame = Frame(payload);
    const bool sent = WriteRaw(Bytes(frame.begin(), frame.begin() + 3)) &&
                      WriteRaw(Bytes(frame.begin() + 3, frame.end() - 2)) &&
                      WriteRaw(Bytes(frame.end() - 2, frame.end()));
    return sent ? ReceiveText() : "";
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

  int fd_;
};

// The greeting steps that every session starts with; true when each was accepted.
inline bool Greet(Client& client) {
  return client.ReceiveText() == "TROK" &&
         client.Exchange("HELLCEMurmelpost _DEF:2.80.1234") == "TROK" &&
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

// One message in a session of its own. Without recipients and with type 4 it registers a
// picture (an empty one clears it).
struct Mail {
  std::string sender = "\"Ann\" <ann@example.org>";
  std::string recipients = "bob@example.org";
  std::string subject = "Hi";
  int type = 1;
  Bytes upload = B("hello");
};

// "TROK" once accepted, else the step that was refused: "greeting", "SEND", "RECI", "TITL",
// "upload" or the reply to "FINI".
inline std::string Send(std::uint16_t port, const Mail& mail, const char* from = "127.0.0.1") {
  Client client(port, from);
  if (!Greet(client)) return "greeting";
  for (const auto& [word, value] :
       {std::pair{"SEND", &mail.sender}, {"RECI", &mail.recipients}, {"TITL", &mail.subject}}) {
    if (client.Exchange(word + *value) != "TROK") return word;
  }
  if (!Upload(client, mail.type, mail.upload)) return "upload";
  return client.Exchange("FINI");
}

struct HttpReply {
  int status = 0;
  std::string head;  // status line and headers
  std::string body;

  // The first value of header name, "" when there is none.
  std::string Header(std::string_view name) const {
    for (std::size_t at = head.find("\r\n"); at != std::string::npos;
         at = head.find("\r\n", at + 2)) {
      const std::string_view line = std::string_view(head).substr(at + 2);
      if (line.size() > name.size() + 1 && line[name.size()] == ':' &&
          strncasecmp(line.data(), name.data(), name.size()) == 0) {
        return std::string(line.substr(name.size() + 2, line.find("\r\n") - name.size() - 2));
      }
    }
    return "";
  }
};

// Sends request on a fresh connection; the reply, or nullopt when none came whole.
inline std::optional<HttpReply> Fetch(std::uint16_t port, const std::string& request,
                                      const char* from = "127.0.0.1") {
  const int fd = ConnectFrom(port, from);
  if (fd < 0) return std::nullopt;
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string received;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
    received.append(buffer, static_cast<std::size_t>(n));
  const bool ended = n == 0 || errno == ECONNRESET;
  ::close(fd);
  const auto end = received.find("\r\n\r\n");
  if (!ended || end == std::string::npos || !received.starts_with("HTTP/1.1 ")) return std::nullopt;
  return HttpReply{std::atoi(received.c_str() + 9), received.substr(0, end + 2),
                   received.substr(end + 4)};
}

// Requests on fresh connections from a loopback address of the test's choice.
struct HttpClient {
  std::uint16_t port;
  const char* from = "127.0.0.1";

  // A POST carries body as a form, as pressing a button sends it.
  std::optional<HttpReply> Request(const std::string& method, const std::string& path,
                                   const std::string& body = "") const {
    const std::string form = method != "POST"
                                 ? ""
                                 : "Content-Type: application/x-www-form-urlencoded\r\n"
                                   "Content-Length: " +
                                       std::to_string(body.size()) + "\r\n";
    return Fetch(port,
                 method + " " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" +
                     form + "\r\n" + body,
                 from);
  }
  std::optional<HttpReply> Get(const std::string& path) const { return Request("GET", path); }
  // Status of method on path, -1 when the request failed.
  int Status(const std::string& method, const std::string& path) const {
    const auto reply = Request(method, path);
    return reply ? reply->status : -1;
  }
};

struct TestServerSetup {
  murmel::server::Limits limits;
  bool quickAck = true;
  // Serve the confirmation links over HTTP on a free port, as murmelpost-server does.
  bool http = false;
  // Messages go out at once, from a fixed service address.
  murmel::server::DeliveryOptions delivery = {.mailFrom = "murmelpost@service.example",
                                              .verifySenders = false};
  murmel::server::WallClock clock;  // empty: the real one
  std::filesystem::path state;      // empty: a fresh temporary folder
  // A URL: relay the outbox there, envelopes from the catalogue, with relay's other settings.
  std::string smtpRelay;
  murmel::server::SmtpRelayOptions relay;
  murmel::server::RelaySchedule schedule = {.firstRetry = std::chrono::milliseconds(10),
                                            .longestRetry = std::chrono::milliseconds(80),
                                            .rescan = std::chrono::milliseconds(50)};
  bool reports = true;  // recipients the relay could not reach come back to the sender
};

// Polls until done() holds; the bound is generous and nothing asserts on time.
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// Whether every accepted message has become e-mail (its accepted file goes last).
inline bool AllComposed(const murmel::server::Delivery& delivery) {
  return Eventually([&] {
    std::error_code error;
    return std::filesystem::is_empty(delivery.acceptedFolder(), error) || error;
  });
}

// The files in folder, none when it does not exist.
inline std::vector<std::filesystem::path> Files(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    files.push_back(entry.path());
  return files;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The rows of a state folder's catalogue, newest first; none when it cannot be read.
inline std::vector<murmel::server::CatalogueRow> Rows(const std::filesystem::path& state) {
  murmel::server::SqliteStore reader(state / murmel::server::kCatalogueFileName);
  auto result = reader.Open(true);
  return result.ok ? reader.Newest(100000, result) : std::vector<murmel::server::CatalogueRow>{};
}

// The transfer server (and with setup.http its HTTP pages) over one state folder.
class TestServer {
 public:
  explicit TestServer(const TestServerSetup& setup = {})
      : state_(setup.state.empty() ? std::filesystem::path(temporary_.path()) : setup.state),
        delivery_(state_, setup.delivery, setup.clock) {
    murmel::server::Options options;
    options.quickAck = setup.quickAck;
    options.listenAddress = "127.0.0.1";
    options.port = 0;
    options.stateDir = state_;
    options.limits = setup.limits;
    opened_ = delivery_.Open().ok;
    if (setup.http) {
      opened_ = opened_ && http_.Listen("127.0.0.1", 0).ok;
      delivery_.ConfirmLinksAt("http://127.0.0.1:" + std::to_string(http_.port()) + "/");
      http_.ServePictures(delivery_.pictures());
      http_.ServeSenders(delivery_);
      http_.Start();
    }
    server_.emplace(io_, options, delivery_, [this](const std::string& line) { Record(line); });
    listening_ = server_->Listen().ok;
    if (!setup.smtpRelay.empty()) StartRelay(setup);
    server_->Start();
    thread_ = std::thread([this] { io_.run(); });
  }
  explicit TestServer(murmel::server::Limits limits, bool quickAck = true)
      : TestServer(TestServerSetup{.limits = limits, .quickAck = quickAck}) {}
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;
  ~TestServer() {
    io_.stop();
    thread_.join();
    delivery_.Stop();
    http_.Stop();
    if (relay_) relay_->Stop();
  }

  bool ready() const { return opened_ && listening_; }
  std::uint16_t port() const { return server_->port(); }
  murmel::server::Delivery& delivery() { return delivery_; }
  HttpClient Browser() const { return HttpClient{http_.port()}; }
  std::filesystem::path outbox() const { return delivery_.outboxRoot(); }
  std::filesystem::path state() const { return state_; }
  murmel::server::SmtpRelay& relay() { return *relay_; }

  // The e-mail of every accepted message, once composed.
  std::vector<std::filesystem::path> Delivered() const {
    AllComposed(delivery_);
    return Files(outbox() / "new");
  }

  // The server's and its relay's log lines, once there are at least count of them.
  std::vector<std::string> Log(std::size_t count = 0) {
    Eventually([&] { return Lines().size() >= count; });
    return Lines();
  }

 private:
  std::vector<std::string> Lines() {
    const std::lock_guard lock(logMutex_);
    return log_;
  }

  void Record(const std::string& line) {
    const std::lock_guard lock(logMutex_);
    log_.push_back(line);
  }

  void StartRelay(const TestServerSetup& setup) {
    murmel::server::SmtpRelayOptions relay = setup.relay;
    relay.url = setup.smtpRelay;
    if (relay.envelopeFrom.empty()) relay.envelopeFrom = setup.delivery.mailFrom;
    opened_ = opened_ && relayCatalogue_.Open().ok;
    relay_.emplace(delivery_.outboxRoot(), relay, setup.schedule, relayCatalogue_,
                   [this](const std::string& line) { Record(line); });
    if (setup.reports) relay_->OnUndelivered(murmel::server::ReportsThrough(delivery_));
    opened_ = opened_ && relay_->Start().ok;
    delivery_.OnDelivered([this] { relay_->Wake(); });
  }

  murmel::test::TempDir temporary_;
  std::filesystem::path state_;
  murmel::server::Delivery delivery_;
  murmel::server::HttpHelpServer http_;
  murmel::server::SqliteStore relayCatalogue_{state_ / murmel::server::kCatalogueFileName};
  std::optional<murmel::server::SmtpRelay> relay_;
  asio::io_context io_{1};
  std::optional<murmel::server::Server> server_;
  std::thread thread_;
  bool opened_ = false, listening_ = false;
  std::mutex logMutex_;
  std::vector<std::string> log_;
};

// A Python checker kept beside these tests (strict_mail.py, ...).
inline std::filesystem::path TestScript(const std::string& name) {
  return std::filesystem::path(MURMELPOST_SOURCE_DIR) / "tests" / "server" / name;
}

struct CommandResult {
  int status = -1;
  std::string output;
};

// Runs a shell command; its stdout and stderr together.
inline CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  result.status = ::pclose(pipe);
  return result;
}

#ifdef MURMELPOST_SERVER_PROGRAM
// murmelpost-server as its own process under prlimit (nofile as prlimit takes it, such as
// "--nofile=64:4096"), its stderr in a file. state: empty for a fresh temporary folder.
class ServerProcess {
 public:
  ServerProcess(const std::string& nofile, const std::vector<std::string>& options,
                const std::filesystem::path& state = {})
      : stateFolder_(state.empty() ? std::filesystem::path(state_.path()) : state) {
    std::string command = "exec prlimit " + nofile +
                          " '" MURMELPOST_SERVER_PROGRAM
                          "' --listen 127.0.0.1:0 --no-http --state '" +
                          stateFolder_.string() + "'";
    for (const std::string& option : options) command += " " + option;
    command += " 2>'" + log_ + "'";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0) {
      pid_ = -1;
    }
  }
  ~ServerProcess() { Stop(SIGTERM); }
  void Stop(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  std::string Log() const { return ReadFile(log_); }
  pid_t pid() const { return pid_; }
  // True once it listens, false when it exited instead.
  bool Serving() {
    Eventually([&] {
      if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
      return pid_ <= 0 || port() != 0;
    });
    return pid_ > 0 && port() != 0;
  }
  std::uint16_t port() const {
    const std::string log = Log();
    const auto at = log.find("listening on port ");
    return at == std::string::npos ? 0 : static_cast<std::uint16_t>(std::stoi(log.substr(at + 18)));
  }

 private:
  murmel::test::TempDir state_;
  std::filesystem::path stateFolder_;
  std::string log_ = state_.path() + "/stderr";
  pid_t pid_ = -1;
};
#endif

}  // namespace server_test
