#include "server/http_help.h"

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <asio/ip/address.hpp>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "server/help_site.h"

namespace murmel::server {
namespace {

// httplib's own choice is SO_REUSEPORT, which lets a second server share the port without
// a word and take half the requests. One server per port; restarts still bind at once.
void SocketOptions(int socket) {
  const int on = 1;
  const int off = 0;
  ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // Dual-stack on "::", as the transfer listener; fails harmlessly on IPv4 sockets.
  ::setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
}

void Serve(const HelpSite& site, const httplib::Request& request, httplib::Response& response) {
  constexpr const char* kHtml = "text/html; charset=utf-8";
  if (const std::string* page = site.Page(request.path)) {
    response.set_content(*page, kHtml);
    return;
  }
  response.status = 404;
  response.set_content(site.NotFound(), kHtml);
}

}  // namespace

struct HttpHelpServer::Impl {
  HelpSite site;
  httplib::Server http;
  std::atomic<bool> finished{false};
};

HttpHelpServer::HttpHelpServer() : impl_(std::make_unique<Impl>()) {
  httplib::Server& http = impl_->http;
  http.set_socket_options(SocketOptions);
  // The pages hold no scripts and load nothing; the browser is told to keep it that way.
  http.set_default_headers(
      {{"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'"},
       {"X-Content-Type-Options", "nosniff"}});
  // Stopping waits for every open connection; a browser's idle one would hold SIGTERM for
  // httplib's five seconds. A page is one request, so a short keep-alive costs nothing.
  http.set_keep_alive_timeout(1);
  http.set_read_timeout(std::chrono::seconds(3));
  http.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
    if (request.method == "GET" || request.method == "HEAD") {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    response.status = 405;
    response.set_header("Allow", "GET, HEAD");
    response.set_content("Only GET and HEAD are served here.\n", "text/plain; charset=utf-8");
    return httplib::Server::HandlerResponse::Handled;
  });
  // HEAD takes the same route and httplib drops the body.
  http.Get(".*",
           [site = &impl_->site](const httplib::Request& request, httplib::Response& response) {
             Serve(*site, request, response);
           });
}

HttpHelpServer::~HttpHelpServer() { Stop(); }

IoResult HttpHelpServer::Listen(const std::string& address, std::uint16_t port) {
  const std::string where = address + " port " + std::to_string(port);
  std::error_code error;
  asio::ip::make_address(address, error);
  if (error) return {false, "cannot serve the help pages on " + address + ": not an address"};
  errno = 0;
  if (port == 0) {
    const int bound = impl_->http.bind_to_any_port(address);
    if (bound > 0) port_ = static_cast<std::uint16_t>(bound);
  } else if (impl_->http.bind_to_port(address, port)) {
    port_ = port;
  }
  if (port_ == 0) {
    // httplib reports only failure; the errno of its bind is still the cause.
    const int cause = errno;
    std::string message = "cannot serve the help pages on " + where;
    if (cause != 0) message += std::string(": ") + std::strerror(cause);
    return {false, message};
  }
  return {};
}

void HttpHelpServer::Start() {
  Impl& impl = *impl_;
  thread_ = std::thread([&impl] {
    impl.http.listen_after_bind();
    impl.finished = true;
  });
  // stop() does nothing until the loop runs; waiting here makes an early Stop() safe.
  while (!impl.http.is_running() && !impl.finished) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void HttpHelpServer::Stop() {
  if (!thread_.joinable()) return;
  impl_->http.stop();
  thread_.join();
}

}  // namespace murmel::server
