#include "server/listener.h"

#include <asio/ip/v6_only.hpp>

namespace murmel::server {

std::error_code OpenListener(asio::ip::tcp::acceptor& acceptor,
                             const asio::ip::tcp::endpoint& endpoint) {
  std::error_code error;
  acceptor.open(endpoint.protocol(), error);
  if (!error && endpoint.address().is_v6()) acceptor.set_option(asio::ip::v6_only(false), error);
  // Not SO_REUSEPORT: that would let a second server share the port without a word and
  // take half the connections. One server per port; restarts still bind at once.
  if (!error) acceptor.set_option(asio::socket_base::reuse_address(true), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    std::error_code ignored;
    acceptor.close(ignored);
  }
  return error;
}

}  // namespace murmel::server
