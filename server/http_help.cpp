#include "server/http_help.h"

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <asio/ip/address.hpp>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <regex>

#include "server/delivery.h"
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
constexpr const char* kSenderConfirmPath = R"(/sender/confirm/([0-9a-f]{32}))";

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

// Fields are {{name}} in the page's file; their values are HTML already.
void LinkPage(httplib::Response& response, std::string_view heading, std::string_view file,
              const std::vector<std::pair<std::string_view, std::string>>& fields) {
  std::string content(HelpSiteFileText(file));
  for (const auto& [name, value] : fields)
    ReplaceAll(content, "{{" + std::string(name) + "}}", value);
  response.set_content(RenderSitePage(heading, content), kHtml);
}

void PicturePage(httplib::Response& response, std::string_view heading, std::string_view file,
                 const std::string& sender, const std::string& token) {
  // The sender address came from the transfer client: it is text, never markup.
  LinkPage(response, heading, file, {{"sender", HtmlEscape(sender)}, {"token", token}});
}

void LinkNoLongerValid(httplib::Response& response, std::string_view file) {
  response.status = 404;
  LinkPage(response, "Link no longer valid", file, {});
}

void LinkNoLongerValid(httplib::Response& response) {
  LinkNoLongerValid(response, "picture-link-invalid.html");
}

void StoreFailed(httplib::Response& response) {
  response.status = 500;
  response.set_content(RenderSitePage("Not confirmed yet",
                                      "<p>The server could not store your confirmation. Please "
                                      "press Confirm again in a moment.</p>"),
                       kHtml);
}

// What waits for the sender: when, to whom, about what. All of it is the client's text.
std::string HeldTable(const std::vector<CatalogueRow>& held) {
  if (held.empty()) return "<p>No message waits at the moment.</p>";
  std::string table = "<table><tr><th>Sent (UTC)</th><th>To</th><th>Subject</th></tr>";
  for (const CatalogueRow& row : held) {
    std::array<char, 32> when{};
    std::tm parts{};
    gmtime_r(&row.received, &parts);
    std::strftime(when.data(), when.size(), "%Y-%m-%d %H:%M", &parts);
    table += "<tr><td>" + std::string(when.data()) + "</td><td>" + HtmlEscape(row.recipients) +
             "</td><td>" + HtmlEscape(row.subject) + "</td></tr>";
  }
  return table + "</table>";
}

// GET only shows, as for pictures: a mail scanner's visit confirms nothing.
void ShowSenderConfirmation(Delivery& delivery, const httplib::Request& request,
                            httplib::Response& response) {
  const std::string token = request.matches[1];
  const auto pending = delivery.PendingSender(token);
  if (!pending) return LinkNoLongerValid(response, "sender-link-invalid.html");
  LinkPage(response, "Confirm your address", "sender-confirm.html",
           {{"sender", HtmlEscape(pending->address)},
            {"held", HeldTable(pending->held)},
            {"token", token}});
}

void ConfirmSender(Delivery& delivery, const httplib::Request& request,
                   httplib::Response& response) {
  const SenderConfirmationResult confirmation = delivery.ConfirmSender(request.matches[1].str());
  if (!confirmation.found) return LinkNoLongerValid(response, "sender-link-invalid.html");
  if (!confirmation.stored.ok) return StoreFailed(response);
  const int n = confirmation.delivered;
  const std::string delivered =
      n == 0   ? std::string("No message was waiting.")
      : n == 1 ? std::string("The message that waited is on its way.")
               : "The " + std::to_string(n) + " messages that waited are on their way.";
  LinkPage(response, "Address confirmed", "sender-confirmed.html",
           {{"sender", HtmlEscape(confirmation.address)}, {"delivered", delivered}});
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
  if (!confirmation.stored.ok) return StoreFailed(response);
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
  static const std::regex picture(kConfirmPath);
  static const std::regex sender(kSenderConfirmPath);
  return std::regex_match(path, picture) || std::regex_match(path, sender);
}

}  // namespace

struct HttpHelpServer::Impl {
  HelpSite site;
  PictureRegistry* pictures = nullptr;
  Delivery* senders = nullptr;
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
        if (request.method == "POST" && (impl.pictures != nullptr || impl.senders != nullptr) &&
            IsConfirmPath(request.path)) {
          return httplib::Server::HandlerResponse::Unhandled;
        }
        response.status = 405;
        response.set_header("Allow", "GET, HEAD");
        response.set_content("Only GET and HEAD are served here.\n", "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
      });
  // Routes match in the order they are added: the picture links before the catch-all.
  // A link route answers like any missing page until its store is being served.
  auto route = [&impl = *impl_](auto Impl::*target, auto handler) {
    return [&impl, target, handler](const httplib::Request& request, httplib::Response& response) {
      auto* store = impl.*target;
      if (store == nullptr) return Serve(impl.site, request, response);
      handler(*store, request, response);
    };
  };
  http.Get(kConfirmPath, route(&Impl::pictures, ShowConfirmation));
  http.Post(kConfirmPath, route(&Impl::pictures, Confirm));
  http.Get(kPendingImagePath, route(&Impl::pictures, ShowPendingImage));
  http.Get(kSenderConfirmPath, route(&Impl::senders, ShowSenderConfirmation));
  http.Post(kSenderConfirmPath, route(&Impl::senders, ConfirmSender));
  // HEAD takes the same route and httplib drops the body.
  http.Get(".*",
           [site = &impl_->site](const httplib::Request& request, httplib::Response& response) {
             Serve(*site, request, response);
           });
}

HttpHelpServer::~HttpHelpServer() { Stop(); }

void HttpHelpServer::ServePictures(PictureRegistry& registry) { impl_->pictures = &registry; }

void HttpHelpServer::ServeSenders(Delivery& delivery) { impl_->senders = &delivery; }

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
