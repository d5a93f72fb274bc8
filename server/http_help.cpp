#include "server/http_help.h"

#include <array>
#include <asio/ip/address.hpp>
#include <ctime>
#include <optional>

#include "server/delivery.h"
#include "server/help_site.h"
#include "server/picture_registry.h"

namespace murmel::server {
namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kMetrics = "text/plain; version=0.0.4; charset=utf-8";
constexpr std::string_view kConfirmPath = "/picture/confirm/";
constexpr std::string_view kPendingImagePath = "/picture/pending/";
constexpr std::string_view kSenderConfirmPath = "/sender/confirm/";

// The token after prefix: exactly the 32 lowercase hex digits the server makes, or nothing.
std::optional<std::string> TokenAfter(std::string_view path, std::string_view prefix) {
  if (!path.starts_with(prefix) || path.size() != prefix.size() + 32) return std::nullopt;
  const std::string_view token = path.substr(prefix.size());
  if (token.find_first_not_of("0123456789abcdef") != std::string_view::npos) return std::nullopt;
  return std::string(token);
}

HttpResponse Serve(const HelpSite& site, std::string_view path) {
  if (const std::string* page = site.Page(path)) return {200, kHtml, *page, {}};
  return {404, kHtml, site.NotFound(), {}};
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// Fields are {{name}} in the page's file; their values are HTML already.
void LinkPage(HttpResponse& response, std::string_view heading, std::string_view file,
              const std::vector<std::pair<std::string_view, std::string>>& fields) {
  std::string content(HelpSiteFileText(file));
  for (const auto& [name, value] : fields)
    ReplaceAll(content, "{{" + std::string(name) + "}}", value);
  response.contentType = kHtml;
  response.body = RenderSitePage(heading, content);
}

void PicturePage(HttpResponse& response, std::string_view heading, std::string_view file,
                 const std::string& sender, const std::string& token) {
  // The sender address came from the transfer client: it is text, never markup.
  LinkPage(response, heading, file, {{"sender", HtmlEscape(sender)}, {"token", token}});
}

void LinkNoLongerValid(HttpResponse& response, std::string_view file) {
  response.status = 404;
  LinkPage(response, "Link no longer valid", file, {});
}

void LinkNoLongerValid(HttpResponse& response) {
  LinkNoLongerValid(response, "picture-link-invalid.html");
}

void StoreFailed(HttpResponse& response) {
  response.status = 500;
  response.contentType = kHtml;
  response.body = RenderSitePage("Not confirmed yet",
                                 "<p>The server could not store your confirmation. Please "
                                 "press Confirm again in a moment.</p>");
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
void ShowSenderConfirmation(Delivery& delivery, const std::string& token, HttpResponse& response) {
  const auto pending = delivery.PendingSender(token);
  if (!pending) return LinkNoLongerValid(response, "sender-link-invalid.html");
  LinkPage(response, "Confirm your address", "sender-confirm.html",
           {{"sender", HtmlEscape(pending->address)},
            {"held", HeldTable(pending->held)},
            {"token", token}});
}

void ConfirmSender(Delivery& delivery, const std::string& token, HttpResponse& response) {
  const SenderConfirmationResult confirmation = delivery.ConfirmSender(token);
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
void ShowConfirmation(PictureRegistry& pictures, const std::string& token, HttpResponse& response) {
  const auto pending = pictures.Pending(token);
  if (!pending) return LinkNoLongerValid(response);
  // The one page that shows an image, and only from this server. Browsers enforce every
  // policy they get, so the default one must go, not just gain a second.
  response.headers.emplace_back("Content-Security-Policy",
                                "default-src 'none'; img-src 'self'; style-src 'unsafe-inline'");
  PicturePage(response, "Confirm your custom message picture", "picture-confirm.html",
              pending->sender, token);
}

void Confirm(PictureRegistry& pictures, const std::string& token, HttpResponse& response) {
  const PictureConfirmation confirmation = pictures.Confirm(token);
  if (!confirmation.found) return LinkNoLongerValid(response);
  if (!confirmation.stored.ok) return StoreFailed(response);
  PicturePage(response, "Custom message picture confirmed", "picture-confirmed.html",
              confirmation.sender, "");
}

void ShowPendingImage(PictureRegistry& pictures, const std::string& token, HttpResponse& response) {
  const auto pending = pictures.Pending(token);
  if (!pending) return LinkNoLongerValid(response);
  response.body.assign(pending->bytes.begin(), pending->bytes.end());
  response.contentType = PictureMimeType(pending->bytes);
}

// Store work runs on the front's worker pool: it waits on the store's lock and fsync.
template <typename Store>
HttpReply Later(Store& store, void (*handler)(Store&, const std::string&, HttpResponse&),
                std::string token) {
  return [&store, handler, token = std::move(token)] {
    HttpResponse response;
    handler(store, token, response);
    return response;
  };
}

}  // namespace

struct HttpHelpServer::Impl {
  explicit Impl(const HttpFrontOptions& options)
      : front(options,
              // The pages hold no scripts and load nothing; the browser is told to keep it so.
              {{"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'"},
               {"X-Content-Type-Options", "nosniff"}},
              [this](const HttpRequest& request) { return Route(request); }) {}

  // A link route answers like any missing page until its store is being served.
  HttpReply Route(const HttpRequest& request) {
    const bool read = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    if (pictures != nullptr) {
      if (auto token = TokenAfter(request.path, kConfirmPath); token && (read || post)) {
        return read ? Later(*pictures, ShowConfirmation, *token)
                    : Later(*pictures, Confirm, *token);
      }
      if (auto token = TokenAfter(request.path, kPendingImagePath); token && read) {
        return Later(*pictures, ShowPendingImage, *token);
      }
    }
    if (senders != nullptr) {
      if (auto token = TokenAfter(request.path, kSenderConfirmPath); token && (read || post)) {
        return read ? Later(*senders, ShowSenderConfirmation, *token)
                    : Later(*senders, ConfirmSender, *token);
      }
    }
    if (read && healthy && request.path == "/healthz") {
      return [this] {
        return healthy() ? HttpResponse{200, kText, "ok\n", {}}
                         : HttpResponse{503, kText, "unhealthy\n", {}};
      };
    }
    if (read && metrics && request.path == "/metrics") {
      return [this] { return HttpResponse{200, kMetrics, metrics(), {}}; };
    }
    // Pressing Confirm is the only thing that posts.
    if (!read)
      return HttpResponse{
          405, kText, "Only GET and HEAD are served here.\n", {{"Allow", "GET, HEAD"}}};
    return Serve(site, request.path);
  }

  HelpSite site;
  PictureRegistry* pictures = nullptr;
  Delivery* senders = nullptr;
  std::function<bool()> healthy;
  std::function<std::string()> metrics;
  HttpFront front;  // last: it stops before the stores' pointers go
};

HttpHelpServer::HttpHelpServer(const HttpFrontOptions& options)
    : impl_(std::make_unique<Impl>(options)) {}

HttpHelpServer::~HttpHelpServer() { Stop(); }

void HttpHelpServer::ServePictures(PictureRegistry& registry) { impl_->pictures = &registry; }

void HttpHelpServer::ServeOperations(std::function<bool()> healthy,
                                     std::function<std::string()> metrics) {
  impl_->healthy = std::move(healthy);
  impl_->metrics = std::move(metrics);
}

void HttpHelpServer::ServeSenders(Delivery& delivery) { impl_->senders = &delivery; }

Result HttpHelpServer::Listen(const std::string& address, std::uint16_t port) {
  std::error_code error;
  const asio::ip::address ip = asio::ip::make_address(address, error);
  if (error) return {false, "cannot serve the help pages on " + address + ": not an address"};
  if (const std::error_code bound = impl_->front.Listen({ip, port})) {
    return {false, "cannot serve the help pages on " + address + " port " + std::to_string(port) +
                       ": " + bound.message()};
  }
  port_ = impl_->front.port();
  return {};
}

void HttpHelpServer::Start() { impl_->front.Start(); }

void HttpHelpServer::Stop() { impl_->front.Stop(); }

}  // namespace murmel::server
