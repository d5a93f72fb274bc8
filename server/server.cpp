#include "server/server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <array>
#include <asio/async_result.hpp>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <memory>

#include "server/frame_codec.h"
#include "server/session.h"

namespace murmel::server {
namespace {

constexpr auto kNoThrow = asio::experimental::as_tuple(asio::use_awaitable);

// Held messages are looked at this often; a confirmation expires them itself first.
constexpr auto kExpiryInterval = std::chrono::minutes(10);

// The peer's IP address as the e-mail's trace shows it: IPv4 clients of the dual-stack
// listener in their own form, not as ::ffff:a.b.c.d.
std::string PeerAddress(const asio::ip::tcp::endpoint& peer) {
  const asio::ip::address address = peer.address();
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string();
  }
  return address.to_string();
}

// Hands the message to the delivery threads; resumes on the connection's own executor once
// it is durable or refused, so the transfer thread never waits for the disk.
asio::awaitable<DeliveryResult> AsyncAccept(Delivery& delivery, Message message,
                                            std::string clientAddress) {
  auto initiate = [&delivery](auto handler, Message message, std::string clientAddress) {
    auto shared = std::make_shared<decltype(handler)>(std::move(handler));
    delivery.Submit(std::move(message), std::move(clientAddress), [shared](DeliveryResult result) {
      const auto executor = asio::get_associated_executor(*shared);
      asio::post(executor,
                 [shared, result = std::move(result)]() mutable { (*shared)(std::move(result)); });
    });
  };
  co_return co_await asio::async_initiate<decltype(asio::use_awaitable), void(DeliveryResult)>(
      initiate, asio::use_awaitable, std::move(message), std::move(clientAddress));
}

}  // namespace

struct Server::Connection {
  Connection(asio::ip::tcp::socket s, const Options& options)
      : socket(std::move(s)), timer(socket.get_executor()), options(options) {}

  // Linux re-enables delayed ACKs after each read; without this the client's three small
  // sends per frame wait out the 40 ms delayed-ACK timer on every frame.
  void QuickAck() {
    if (!options.quickAck) return;
    const int on = 1;
    ::setsockopt(socket.native_handle(), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
  }

  void Touch() { timer.expires_after(options.limits.idleTimeout); }

  asio::ip::tcp::socket socket;
  asio::steady_timer timer;
  const Options& options;
  std::string address;  // the peer's IP address
  bool timedOut = false;
  std::size_t frames = 0;
  std::size_t bytesIn = 0;
};

namespace {

// Closes the socket when the connection has been silent for the idle time. Every read
// moves the expiry, which wakes this loop with operation_aborted to wait again.
// keepAlive holds the connection for as long as this loop may touch it.
asio::awaitable<void> Watchdog([[maybe_unused]] std::shared_ptr<void> keepAlive,
                               asio::steady_timer& timer, asio::ip::tcp::socket& socket,
                               bool& timedOut) {
  for (;;) {
    co_await timer.async_wait(kNoThrow);
    if (!socket.is_open()) co_return;
    if (timer.expiry() <= asio::steady_timer::clock_type::now()) {
      timedOut = true;
      std::error_code ignored;
      socket.close(ignored);
      co_return;
    }
  }
}

}  // namespace

Server::Server(asio::io_context& io, const Options& options, Delivery& delivery, LogSink log)
    : io_(io), options_(options), delivery_(delivery), log_(std::move(log)), acceptor_(io) {}

IoResult Server::Listen() {
  std::error_code error;
  const auto address = asio::ip::make_address(options_.listenAddress, error);
  if (error) return {false, "cannot listen on " + options_.listenAddress + ": not an address"};
  const asio::ip::tcp::endpoint endpoint(address, options_.port);
  acceptor_.open(endpoint.protocol(), error);
  if (!error && address.is_v6()) acceptor_.set_option(asio::ip::v6_only(false), error);
  if (!error) acceptor_.set_option(asio::socket_base::reuse_address(true), error);
  if (!error) acceptor_.bind(endpoint, error);
  if (!error) acceptor_.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    std::error_code ignored;
    acceptor_.close(ignored);
    return {false, "cannot listen on " + options_.listenAddress + " port " +
                       std::to_string(options_.port) + ": " + error.message()};
  }
  return {};
}

std::uint16_t Server::port() const {
  std::error_code error;
  return acceptor_.local_endpoint(error).port();
}

void Server::Start() {
  asio::co_spawn(io_, AcceptLoop(), asio::detached);
  asio::co_spawn(io_, ExpiryLoop(), asio::detached);
}

asio::awaitable<void> Server::ExpiryLoop() {
  asio::steady_timer timer(io_);
  for (;;) {
    delivery_.RunSerially([this] {
      IoResult result;
      const int expired = delivery_.ExpireHeld(result);
      asio::post(io_, [this, expired, result] {
        if (expired > 0) {
          log_("expired " + std::to_string(expired) +
               " held messages whose sender did not confirm");
        }
        if (!result.ok) log_("cannot expire held messages: " + result.error);
      });
    });
    timer.expires_after(kExpiryInterval);
    if (auto [error] = co_await timer.async_wait(kNoThrow); error) co_return;
  }
}

asio::awaitable<void> Server::AcceptLoop() {
  while (acceptor_.is_open()) {
    auto [error, socket] = co_await acceptor_.async_accept(kNoThrow);
    if (error == asio::error::operation_aborted) co_return;
    if (error) continue;  // e.g. EMFILE: the peer is gone, keep serving the others
    asio::co_spawn(io_, RunConnection(std::move(socket)), asio::detached);
  }
}

asio::awaitable<void> Server::RunConnection(asio::ip::tcp::socket socket) {
  std::error_code unknown;
  const asio::ip::tcp::endpoint endpoint = socket.remote_endpoint(unknown);
  const std::string address = unknown ? std::string() : PeerAddress(endpoint);
  const std::string peer =
      unknown ? "unknown peer" : address + ":" + std::to_string(endpoint.port());
  if (active_ >= options_.limits.maxSessions) {
    log_(peer + " refused: " + std::to_string(active_) + " sessions already open");
    co_return;
  }
  ++active_;
  auto connection = std::make_shared<Connection>(std::move(socket), options_);
  connection->address = address;
  connection->Touch();
  asio::co_spawn(io_,
                 Watchdog(connection, connection->timer, connection->socket, connection->timedOut),
                 asio::detached);

  const std::string outcome = co_await Converse(*connection);

  std::error_code ignored;
  connection->socket.close(ignored);
  connection->timer.cancel();
  --active_;
  log_(peer + " " + (connection->timedOut ? std::string("idle too long") : outcome) + " (" +
       std::to_string(connection->frames) + " frames, " + std::to_string(connection->bytesIn) +
       " bytes)");
}

// GCC 12 sees the coroutine frame's allocation inlined down to ::operator new but not its
// matching awaitable_frame_base::operator delete, and warns about a pair that matches.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
asio::awaitable<std::string> Server::Converse(Connection& connection) {
  auto send = [&](std::span<const std::uint8_t> payload) -> asio::awaitable<bool> {
    const auto frame = EncodeFrame(payload);
    auto [error, written] =
        co_await asio::async_write(connection.socket, asio::buffer(frame), kNoThrow);
    co_return !error;
  };
  auto read = [&](std::span<std::uint8_t> into) -> asio::awaitable<bool> {
    auto [error, got] = co_await asio::async_read(connection.socket,
                                                  asio::buffer(into.data(), into.size()), kNoThrow);
    if (error) co_return false;
    connection.QuickAck();
    connection.Touch();
    connection.bytesIn += got;
    co_return true;
  };

  static constexpr std::uint8_t kOk[] = {'T', 'R', 'O', 'K'};
  if (!co_await send(kOk)) co_return "lost before the greeting";

  Session session(options_.limits, delivery_.spoolFolder());
  std::array<std::uint8_t, kFrameHeaderSize> header{};
  std::vector<std::uint8_t> body;
  std::string accepted;
  for (;;) {
    if (!co_await read(header)) {
      co_return accepted.empty() ? "closed without a message" : accepted;
    }
    std::size_t bodyLength = 0;
    if (const FrameError error =
            ParseFrameHeader(header, options_.limits.maxFramePayload, bodyLength);
        error != FrameError::None) {
      co_return std::string("ended: ") + Describe(error);
    }
    body.resize(bodyLength);
    if (!co_await read(body)) co_return "lost inside a frame";
    if (const FrameError error = CheckFrameBody(body); error != FrameError::None) {
      co_return std::string("ended: ") + Describe(error);
    }
    ++connection.frames;
    const std::span<const std::uint8_t> payload(body.data(), bodyLength - kFrameTrailerSize);
    if (!accepted.empty()) {
      static constexpr std::uint8_t kRefused[] = {'N', 'O', 'O', 'K'};
      co_await send(kRefused);
      co_return accepted + ", then ended: a frame after \"FINI\"";
    }

    Decision decision = session.Handle(payload);
    if (decision.kind == Decision::Kind::Finish) {
      const DeliveryResult delivered =
          co_await AsyncAccept(delivery_, session.TakeMessage(), connection.address);
      if (!delivered.ok) {
        decision = Refuse("not stored: " + delivered.detail);
      } else {
        accepted = "accepted " + delivered.detail;
      }
    }
    if (!co_await send(decision.reply)) co_return "lost while replying";
    if (decision.kind == Decision::Kind::Refuse) co_return "refused: " + decision.reason;
  }
}

#pragma GCC diagnostic pop

}  // namespace murmel::server
