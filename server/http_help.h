// Serves the help site over HTTP on a thread of its own, beside the transfer service's
// io_context: a slow browser never holds up a voice message. It also serves the links
// that confirm custom message pictures and sender addresses. GET and HEAD everywhere,
// POST only where Confirm is pressed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "server/http_front.h"
#include "server/result.h"

namespace murmel::server {

class Delivery;
class PictureRegistry;

class HttpHelpServer {
 public:
  explicit HttpHelpServer(const HttpFrontOptions& options = {});
  ~HttpHelpServer();  // stops and joins
  HttpHelpServer(const HttpHelpServer&) = delete;
  HttpHelpServer& operator=(const HttpHelpServer&) = delete;

  // Binds; port 0 takes any free port. The error names the address and port.
  Result Listen(const std::string& address, std::uint16_t port);
  std::uint16_t port() const { return port_; }
  // Serves /picture/confirm/<token> from registry; call before Start.
  void ServePictures(PictureRegistry& registry);
  // Serves /sender/confirm/<token> from delivery; call before Start.
  void ServeSenders(Delivery& delivery);
  // Serves /healthz (200 while healthy() holds, else 503) and /metrics (Prometheus text
  // from metrics()); both run on the worker pool. Call before Start.
  void ServeOperations(std::function<bool()> healthy, std::function<std::string()> metrics);
  // Serves on its own thread; requests are accepted from Listen on.
  void Start();
  // Closes idle browser connections too; returns when the thread has ended. Safe twice.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::uint16_t port_ = 0;
};

}  // namespace murmel::server
