// A scripted SMTP relay on a loopback socket, on its own thread: just enough ESMTP (EHLO,
// AUTH PLAIN, MAIL, RCPT, DATA, QUIT) to watch what a client hands over. Each
// connection follows the next queued script, or the default one that takes everything.
#pragma once

#include <arpa/inet.h>
#include <glib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace server_test {

class FakeSmtp {
 public:
  struct Script {
    std::string greeting = "220 fake.test ESMTP";  // a non-2xx greeting ends the connection
    std::string mail = "250 2.1.0 sender ok";
    std::map<std::string, std::string> recipient;  // address: reply, else "250"
    std::string end = "250 2.0.0 queued";
    bool silent = false;  // accepts, then never says a word
  };

  struct Session {
    std::string from;
    std::vector<std::string> recipients;  // every RCPT, taken or not
    std::vector<std::string> accepted;    // those answered 2xx
    std::string login;                    // AUTH PLAIN's decoded "\0user\0password"
    std::optional<std::string> body;      // dot-stuffing undone; set once the "." came
    std::string endReply;
  };

  // On a free loopback port.
  FakeSmtp() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0) {
      return;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  FakeSmtp(const FakeSmtp&) = delete;
  FakeSmtp& operator=(const FakeSmtp&) = delete;
  ~FakeSmtp() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }

  bool ready() const { return port_ != 0; }
  std::string url() const { return "smtp://127.0.0.1:" + std::to_string(port_); }

  void Queue(Script script) {
    const std::lock_guard lock(mutex_);
    scripts_.push_back(std::move(script));
  }
  // Connections that have ended, in order.
  std::vector<Session> Sessions() {
    const std::lock_guard lock(mutex_);
    return sessions_;
  }
  int connections() const { return connections_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd ready{listener_, POLLIN, 0};
      if (::poll(&ready, 1, 20) <= 0) continue;
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++connections_;
      Script script;
      {
        const std::lock_guard lock(mutex_);
        if (!scripts_.empty()) {
          script = std::move(scripts_.front());
          scripts_.pop_front();
        }
      }
      Session session;
      Converse(fd, script, session);
      ::close(fd);
      const std::lock_guard lock(mutex_);
      sessions_.push_back(std::move(session));
    }
  }

  void Converse(int fd, const Script& script, Session& session) {
    std::string buffer;
    if (script.silent) {
      while (ReadLine(fd, buffer)) {
      }
      return;
    }
    if (!Reply(fd, script.greeting) || script.greeting[0] != '2') return;
    while (const auto line = ReadLine(fd, buffer)) {
      const std::string verb = line->substr(0, line->find_first_of(" :"));
      if (verb == "EHLO") {
        Reply(fd, "250-fake.test\r\n250 AUTH PLAIN");
      } else if (verb == "AUTH") {
        std::string encoded = line->size() > 11 ? line->substr(11) : "";
        if (encoded.empty()) {
          Reply(fd, "334 ");
          encoded = ReadLine(fd, buffer).value_or("");
        }
        gsize size = 0;
        guchar* decoded = g_base64_decode(encoded.c_str(), &size);
        session.login.assign(reinterpret_cast<const char*>(decoded), size);
        g_free(decoded);
        Reply(fd, "235 2.7.0 authenticated");
      } else if (verb == "MAIL") {
        session.from = Address(*line);
        Reply(fd, script.mail);
      } else if (verb == "RCPT") {
        const std::string address = Address(*line);
        session.recipients.push_back(address);
        const auto it = script.recipient.find(address);
        const std::string reply = it == script.recipient.end() ? "250 2.1.5 ok" : it->second;
        if (reply[0] == '2') session.accepted.push_back(address);
        Reply(fd, reply);
      } else if (verb == "DATA") {
        Reply(fd, "354 end with <CRLF>.<CRLF>");
        std::string body;
        std::optional<std::string> bodyLine;
        while ((bodyLine = ReadLine(fd, buffer)) && *bodyLine != ".") {
          body += (bodyLine->starts_with('.') ? bodyLine->substr(1) : *bodyLine) + "\r\n";
        }
        if (!bodyLine) return;  // dropped before the end: a real relay forgets it
        session.body = body;
        session.endReply = script.end;
        Reply(fd, script.end);
      } else if (verb == "QUIT") {
        Reply(fd, "221 2.0.0 bye");
        return;
      } else {
        Reply(fd, "502 5.5.1 not here");
      }
    }
  }

  // The address between the angle brackets of a MAIL or RCPT line.
  static std::string Address(const std::string& line) {
    const auto from = line.find('<'), to = line.find('>');
    return from < to && to != std::string::npos ? line.substr(from + 1, to - from - 1) : "";
  }

  static bool Reply(int fd, const std::string& reply) {
    const std::string line = reply + "\r\n";
    return ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
  }

  // One line without its CRLF; nullopt when the peer closed or the fake is stopping.
  std::optional<std::string> ReadLine(int fd, std::string& buffer) {
    for (;;) {
      if (const auto end = buffer.find("\r\n"); end != std::string::npos) {
        std::string line = buffer.substr(0, end);
        buffer.erase(0, end + 2);
        return line;
      }
      pollfd ready{fd, POLLIN, 0};
      if (stop_) return std::nullopt;
      if (::poll(&ready, 1, 20) <= 0) continue;
      char chunk[4096];
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return std::nullopt;
      buffer.append(chunk, static_cast<std::size_t>(n));
    }
  }

  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::deque<Script> scripts_;
  std::vector<Session> sessions_;
};

}  // namespace server_test
