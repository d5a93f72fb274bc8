// A small HTTP/1.1 server: one coroutine and a small buffer per connection on an io_context
// thread of its own, so a client that trickles bytes or sits idle costs no thread. Every
// request has a deadline from its first byte to its last, idle connections are closed
// soon, and caps per address and in total refuse at once what is over them.
#pragma once

#include <array>
#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/thread_pool.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "server/durable_file.h"
#include "server/http_request.h"

namespace murmel::server {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpResponse {
  int status = 200;
  std::string contentType;
  std::string body;
  HttpHeaders headers;  // replace default headers of the same name
};

// An answer at once, or work that may block (the store's mutex, fsync) and so runs on the
// worker pool while the I/O thread serves other pages.
using HttpReply = std::variant<HttpResponse, std::function<HttpResponse()>>;
using HttpHandler = std::function<HttpReply(const HttpRequest&)>;

struct HttpFrontOptions {
  // From accept, or from the first byte after an answer, to the request's last byte; and
  // again for writing the answer.
  std::chrono::steady_clock::duration requestDeadline = std::chrono::seconds(10);
  // How long a connection may wait for its next request.
  std::chrono::steady_clock::duration idleTimeout = std::chrono::seconds(5);
  std::size_t perAddress = 16;  // open connections; IPv6 counts per /64
  std::size_t total = 512;
  HttpLimits limits;
  int workers = 2;
};

class HttpFront {
 public:
  HttpFront(const HttpFrontOptions& options, HttpHeaders defaultHeaders, HttpHandler handler);
  ~HttpFront();  // stops and joins
  HttpFront(const HttpFront&) = delete;
  HttpFront& operator=(const HttpFront&) = delete;

  // Binds and listens; port 0 takes any free port.
  std::error_code Listen(const asio::ip::tcp::endpoint& endpoint);
  std::uint16_t port() const;
  // Serves on its own thread; returns at once, the socket is already listening.
  void Start();
  // Closes every connection, idle ones included, and returns when the thread has ended
  // and running handlers are done; safe to call twice.
  void Stop();

 private:
  struct Connection;
  using AddressKey = std::array<unsigned char, 16>;
  asio::awaitable<void> AcceptLoop();
  asio::awaitable<void> Serve(asio::ip::tcp::socket socket);
  asio::awaitable<bool> Exchange(Connection& connection);
  asio::awaitable<bool> Answer(Connection& connection, const HttpResponse& response, bool head,
                               bool keepAlive);

  HttpFrontOptions options_;
  HttpHeaders defaultHeaders_;
  HttpHandler handler_;
  std::string busy_;  // the answer over a cap, made once
  asio::thread_pool workers_;
  asio::io_context io_{1};
  asio::ip::tcp::acceptor acceptor_{io_};
  std::thread thread_;
  // Only touched on the I/O thread.
  std::map<AddressKey, std::size_t> perAddress_;
  std::vector<Connection*> open_;
};

}  // namespace murmel::server
