#include "server/http_front.h"

#include <algorithm>
#include <array>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <memory>

#include "server/listener.h"

namespace murmel::server {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kNoThrow = asio::experimental::as_tuple(asio::use_awaitable);
constexpr const char* kText = "text/plain; charset=utf-8";

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 411:
      return "Length Required";
    case 413:
      return "Content Too Large";
    case 414:
      return "URI Too Long";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "";
  }
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::string Format(const HttpResponse& response, const HttpHeaders& defaults, bool head,
                   bool keepAlive) {
  std::string text =
      "HTTP/1.1 " + std::to_string(response.status) + " " + ReasonPhrase(response.status) + "\r\n";
  auto add = [&text](const std::string& name, const std::string& value) {
    text += name + ": " + value + "\r\n";
  };
  for (const auto& [name, value] : response.headers) add(name, value);
  for (const auto& header : defaults) {
    if (std::none_of(response.headers.begin(), response.headers.end(),
                     [&](const auto& own) { return SameName(own.first, header.first); })) {
      add(header.first, header.second);
    }
  }
  if (!response.contentType.empty()) add("Content-Type", response.contentType);
  // HEAD: the length the GET would have, and no body.
  add("Content-Length", std::to_string(response.body.size()));
  if (!keepAlive) add("Connection", "close");
  text += "\r\n";
  if (!head) text += response.body;
  return text;
}

// Connections are counted per IPv4 address and per IPv6 /64, which is what one subscriber
// gets; IPv4 clients of the dual-stack listener arrive as ::ffff:a.b.c.d.
std::array<unsigned char, 16> KeyOf(const asio::ip::address& address) {
  if (address.is_v4()) {
    return asio::ip::make_address_v6(asio::ip::v4_mapped, address.to_v4()).to_bytes();
  }
  auto bytes = address.to_v6().to_bytes();
  if (!address.to_v6().is_v4_mapped()) std::fill(bytes.begin() + 8, bytes.end(), 0);
  return bytes;
}

asio::awaitable<HttpResponse> RunWork(std::function<HttpResponse()> work) {
  // The store's file system calls may throw; that fails this request only.
  try {
    co_return work();
  } catch (const std::exception&) {
    co_return HttpResponse{500, kText, "The server could not answer; try again.\n", {}};
  }
}

}  // namespace

struct HttpFront::Connection : std::enable_shared_from_this<Connection> {
  explicit Connection(asio::ip::tcp::socket s)
      : socket(std::move(s)), timer(socket.get_executor()) {}

  // Closes the socket at the given time unless a later call moves it; a coroutine waiting
  // on the socket then wakes with an error and ends.
  void Deadline(Clock::time_point at) {
    timer.expires_at(at);
    timer.async_wait([self = shared_from_this()](std::error_code error) {
      if (error || self->timer.expiry() > Clock::now()) return;
      std::error_code ignored;
      self->socket.close(ignored);
    });
  }

  asio::ip::tcp::socket socket;
  asio::steady_timer timer;
  std::string received;  // bytes of the current request and any pipelined after it
  bool idle = false;     // between requests: the next byte starts a request's deadline
};

HttpFront::HttpFront(const HttpFrontOptions& options, HttpHeaders defaultHeaders,
                     HttpHandler handler)
    : options_(options),
      defaultHeaders_(std::move(defaultHeaders)),
      handler_(std::move(handler)),
      workers_(static_cast<std::size_t>(options_.workers)) {
  HttpResponse busy{503, kText, "Too many connections; try again in a moment.\n", {}};
  busy.headers.emplace_back("Retry-After", "5");
  busy_ = Format(busy, defaultHeaders_, false, false);
}

HttpFront::~HttpFront() { Stop(); }

std::error_code HttpFront::Listen(const asio::ip::tcp::endpoint& endpoint) {
  return OpenListener(acceptor_, endpoint);
}

std::uint16_t HttpFront::port() const {
  std::error_code error;
  return acceptor_.local_endpoint(error).port();
}

void HttpFront::Start() {
  asio::co_spawn(io_, AcceptLoop(), asio::detached);
  thread_ = std::thread([this] { io_.run(); });
}

void HttpFront::Stop() {
  if (thread_.joinable()) {
    // With nothing left to wait on, every coroutine ends and run() returns; a handler
    // still on the pool finishes first.
    asio::post(io_, [this] {
      std::error_code ignored;
      acceptor_.close(ignored);
      for (Connection* connection : open_) connection->socket.close(ignored);
    });
    thread_.join();
  }
  std::error_code ignored;
  acceptor_.close(ignored);
  workers_.join();
}

asio::awaitable<void> HttpFront::AcceptLoop() {
  while (acceptor_.is_open()) {
    auto [error, socket] = co_await acceptor_.async_accept(kNoThrow);
    if (error == asio::error::operation_aborted) co_return;
    if (error) {
      // Out of descriptors, say: accepting again at once would fail again at once.
      asio::steady_timer pause(io_, std::chrono::milliseconds(100));
      co_await pause.async_wait(kNoThrow);
      continue;
    }
    asio::co_spawn(io_, Serve(std::move(socket)), asio::detached);
  }
}

asio::awaitable<void> HttpFront::Serve(asio::ip::tcp::socket socket) {
  std::error_code error;
  const asio::ip::tcp::endpoint peer = socket.remote_endpoint(error);
  if (error) co_return;
  const auto key = KeyOf(peer.address());
  const auto counted = perAddress_.find(key);
  if (open_.size() >= options_.total ||
      (counted != perAddress_.end() && counted->second >= options_.perAddress)) {
    // Refused at once: the answer fits any fresh socket's send buffer, nothing waits.
    socket.non_blocking(true, error);
    socket.write_some(asio::buffer(busy_), error);
    co_return;
  }
  ++perAddress_[key];
  auto connection = std::make_shared<Connection>(std::move(socket));
  open_.push_back(connection.get());
  connection->Deadline(Clock::now() + options_.requestDeadline);

  while (co_await Exchange(*connection)) {
  }

  connection->socket.close(error);
  connection->timer.cancel();
  std::erase(open_, connection.get());
  if (--perAddress_[key] == 0) perAddress_.erase(key);
}

asio::awaitable<bool> HttpFront::Exchange(Connection& connection) {
  HttpRequestParser parser(options_.limits);
  HttpRequestParser::State state = parser.Parse(connection.received);
  while (state == HttpRequestParser::State::NeedMore) {
    std::array<char, 1024> chunk;  // NOLINT(cppcoreguidelines-pro-type-member-init): read into
    auto [error, got] = co_await connection.socket.async_read_some(asio::buffer(chunk), kNoThrow);
    if (error) co_return false;
    if (connection.idle) {
      connection.idle = false;
      connection.Deadline(Clock::now() + options_.requestDeadline);
    }
    connection.received.append(chunk.data(), got);
    state = parser.Parse(connection.received);
  }

  if (state == HttpRequestParser::State::Refused) {
    const HttpResponse refusal{parser.refusal(), kText, parser.reason() + "\n", {}};
    co_await Answer(connection, refusal, false, false);
    // Read what the client still sends for a moment: closing with it unread would reset
    // the connection, and the client would lose the answer that says why.
    std::error_code ignored;
    connection.socket.shutdown(asio::socket_base::shutdown_send, ignored);
    connection.Deadline(Clock::now() + std::min<Clock::duration>(options_.requestDeadline,
                                                                 std::chrono::seconds(2)));
    std::array<char, 512> drain;  // NOLINT(cppcoreguidelines-pro-type-member-init): discarded
    while (
        !std::get<0>(co_await connection.socket.async_read_some(asio::buffer(drain), kNoThrow))) {
    }
    co_return false;
  }

  const HttpRequest request = parser.request();
  connection.received.erase(0, parser.consumed());
  HttpReply reply = handler_(request);
  if (auto* work = std::get_if<std::function<HttpResponse()>>(&reply)) {
    // The client's deadline does not run while our disk is slow.
    connection.Deadline(Clock::time_point::max());
    // Named, not a temporary inside co_await: g++ 12 destroys such temporaries twice.
    auto onPool = asio::co_spawn(workers_, RunWork(std::move(*work)), asio::use_awaitable);
    reply = co_await std::move(onPool);
  }
  const bool sent = co_await Answer(connection, std::get<HttpResponse>(reply),
                                    request.method == "HEAD", request.keepAlive);
  if (!sent || !request.keepAlive) co_return false;
  // A request already pipelined behind this one is on its deadline; otherwise we are idle.
  connection.idle = connection.received.empty();
  connection.Deadline(Clock::now() +
                      (connection.idle ? options_.idleTimeout : options_.requestDeadline));
  co_return true;
}

asio::awaitable<bool> HttpFront::Answer(Connection& connection, const HttpResponse& response,
                                        bool head, bool keepAlive) {
  connection.Deadline(Clock::now() + options_.requestDeadline);
  const std::string text = Format(response, defaultHeaders_, head, keepAlive);
  auto [error, written] =
      co_await asio::async_write(connection.socket, asio::buffer(text), kNoThrow);
  co_return !error;
}

}  // namespace murmel::server
