// How both of the server's ports are opened.
#pragma once

#include <asio/ip/tcp.hpp>
#include <system_error>

namespace murmel::server {

// Opens, binds and listens; dual-stack on "::". On failure the acceptor is closed again.
std::error_code OpenListener(asio::ip::tcp::acceptor& acceptor,
                             const asio::ip::tcp::endpoint& endpoint);

}  // namespace murmel::server
