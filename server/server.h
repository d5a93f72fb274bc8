// The listening side: one coroutine per connection on one io_context thread. A peer that
// breaks the protocol or a limit loses its own connection and nothing else.
#pragma once

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "server/delivery.h"
#include "server/fairness.h"
#include "server/log_limit.h"
#include "server/options.h"
#include "server/result.h"

namespace murmel::server {

using LogSink = std::function<void(const std::string&)>;

class Server {
 public:
  Server(asio::io_context& io, const Options& options, Delivery& delivery, LogSink log);

  // Binds and listens; the error names the address when it fails.
  Result Listen();
  std::uint16_t port() const;
  // Starts accepting on the io_context; returns at once.
  void Start();
  std::size_t activeSessions() const { return active_; }

 private:
  struct Connection;
  asio::awaitable<void> AcceptLoop();
  // tick at once, then every interval, on the I/O thread.
  asio::awaitable<void> Repeat(std::chrono::steady_clock::duration interval,
                               std::function<void()> tick);
  // On the committing thread: expires this server's held messages past their time, or
  // releases those whose sender confirmed elsewhere.
  void SweepHeld(bool release);
  // Adds this server's message counts to the store's and takes the other servers'.
  void ShareRates();
  asio::awaitable<void> RunConnection(asio::ip::tcp::socket socket);
  asio::awaitable<std::string> Converse(Connection& connection);

  asio::io_context& io_;
  Options options_;
  Delivery& delivery_;
  LogSink log_;
  asio::ip::tcp::acceptor acceptor_;
  // Only touched on the io_context thread.
  std::size_t active_ = 0;
  Fairness fairness_;
  bool sharing_ = false;
  // Only touched on the committing thread.
  std::int64_t rateSince_ = 0;
  LogLimit logLimit_;
};

}  // namespace murmel::server
