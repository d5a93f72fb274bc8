#include "server/http_help.h"

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <asio/ip/address.hpp>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <regex>

#include "server/help_site.h"
#include "server/picture_registry.h"

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

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kConfirmPath = R"(/picture/confirm/([0-9a-f]{32}))";
constexpr const char* kPendingImagePath = R"(/picture/pending/([0-9a-f]{32}))";

void Serve(const HelpSite& site, const httplib::Request& request, httplib::Response& response) {
  if (const std::string* page = site.Page(request.path)) {
    response.set_content(*page, kHtml);
    return;
  }
  response.status = 404;
  response.set_content(site.NotFound(), kHtml);
}

std::string HtmlEscape(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '&':
        escaped += "&amp;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped.push_back(c);
    }
  }
  return escaped;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

void PicturePage(httplib::Response& response, std::string_view heading, std::string_view file,
                 const std::string& sender, const std::string& token) {
  std::string content(HelpSiteFileText(file));
  // The sender address came from the transfer client: it is text, never markup.
  ReplaceAll(content, "{{sender}}", HtmlEscape(sender));
  ReplaceAll(content, "{{token}}", token);
  response.set_content(RenderSitePage(heading, content), kHtml);
}

void LinkNoLongerValid(httplib::Response& response) {
  response.status = 404;
  PicturePage(response, "Link no longer valid", "picture-link-invalid.html", "", "");
}

// GET only shows: mail scanners fetch links, and that must not confirm anything.
void ShowConfirmation(PictureRegistry& pictures, const httplib::Request& request,
                      httplib::Response& response) {
  const std::string token = request.matches[1];
  const auto pending = pictures.Pending(token);
  if (!pending) return LinkNoLongerValid(response);
  // The one page that shows an image, and only from this server. Browsers enforce every
  // policy they get, so the default one must go, not just gain a second.
  response.headers.erase("Content-Security-Policy");
  response.set_header("Content-Security-Policy",
                      "default-src 'none'; img-src 'self'; style-src 'unsafe-inline'");
  PicturePage(response, "Confirm your custom message picture", "picture-confirm.html",
              pending->sender, token);
}

void Confirm(PictureRegistry& pictures, const httplib::Request& request,
             httplib::Response& response) {
  const PictureConfirmation confirmation = pictures.Confirm(request.matches[1].str());
  if (!confirmation.found) return LinkNoLongerValid(response);
  if (!confirmation.stored.ok) {
    response.status = 500;
    response.set_content(
        RenderSitePage("Not confirmed yet",
                       "<p>The server could not store your confirmation. Please press "
                       "Confirm again in a moment.</p>"),
        kHtml);
    return;
  }
  PicturePage(response, "Custom message picture confirmed", "picture-confirmed.html",
              confirmation.sender, "");
}

void ShowPendingImage(PictureRegistry& pictures, const httplib::Request& request,
                      httplib::Response& response) {
  const auto pending = pictures.Pending(request.matches[1].str());
  if (!pending) return LinkNoLongerValid(response);
  response.set_content(std::string(pending->bytes.begin(), pending->bytes.end()),
                       PictureMimeType(pending->bytes));
}

bool IsConfirmPath(const std::string& path) {
  static const std::regex confirm(kConfirmPath);
  return std::regex_match(path, confirm);
}

}  // namespace

struct HttpHelpServer::Impl {
  HelpSite site;
  PictureRegistry* pictures = nullptr;
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
  http.set_pre_routing_handler(
      [&impl = *impl_](const httplib::Request& request, httplib::Response& response) {
        if (request.method == "GET" || request.method == "HEAD") {
          return httplib::Server::HandlerResponse::Unhandled;
        }
        // Pressing Confirm is the only thing that posts.
        if (request.method == "POST" && impl.pictures != nullptr && IsConfirmPath(request.path)) {
          return httplib::Server::HandlerResponse::Unhandled;
        }
        response.status = 405;
        response.set_header("Allow", "GET, HEAD");
        response.set_content("Only GET and HEAD are served here.\n", "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
      });
  // Routes match in the order they are added: the picture links before the catch-all.
  using Handler = void (*)(PictureRegistry&, const httplib::Request&, httplib::Response&);
  auto pictureRoute = [&impl = *impl_](Handler handler) {
    return [&impl, handler](const httplib::Request& request, httplib::Response& response) {
      if (impl.pictures == nullptr) return Serve(impl.site, request, response);
      handler(*impl.pictures, request, response);
    };
  };
  http.Get(kConfirmPath, pictureRoute(ShowConfirmation));
  http.Post(kConfirmPath, pictureRoute(Confirm));
  http.Get(kPendingImagePath, pictureRoute(ShowPendingImage));
  // HEAD takes the same route and httplib drops the body.
  http.Get(".*",
           [site = &impl_->site](const httplib::Request& request, httplib::Response& response) {
             Serve(*site, request, response);
           });
}

HttpHelpServer::~HttpHelpServer() { Stop(); }

void HttpHelpServer::ServePictures(PictureRegistry& registry) { impl_->pictures = &registry; }

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
