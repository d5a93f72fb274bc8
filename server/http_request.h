// Reads HTTP/1.1 requests from the bytes a browser sent, strictly: anything a proxy in front
// could read differently (bare line ends, folded or doubled framing headers, chunked bodies)
// is refused with its status, so two readers never disagree on where a request ends.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace murmel::server {

struct HttpLimits {
  std::size_t maxHead = std::size_t{8} * 1024;  // request line and headers with their line ends
  std::size_t maxBody = 1024;                   // pressing Confirm posts an empty form
};

struct HttpRequest {
  std::string method;
  std::string path;  // the target without its query
  std::string body;
  bool keepAlive = true;  // HTTP/1.1 without "Connection: close"
};

class HttpRequestParser {
 public:
  enum class State { NeedMore, Complete, Refused };

  explicit HttpRequestParser(HttpLimits limits = {}) : limits_(limits) {}

  // received: every byte since the previous request ended; it only grows between calls.
  // Each line is looked at once, so a client that trickles bytes costs no rescanning.
  State Parse(std::string_view received);

  // When Complete: the request, and how many bytes of received it took (head and body).
  const HttpRequest& request() const { return request_; }
  std::size_t consumed() const { return headLength_ + contentLength_; }
  // When Refused: the status to answer with, and why, for the client.
  int refusal() const { return refusal_; }
  const std::string& reason() const { return reason_; }

  // Starts on the next request; received then begins after consumed().
  void Reset() { *this = HttpRequestParser(limits_); }

 private:
  State Refuse(int status, std::string reason);
  State RequestLine(std::string_view line);
  State Header(std::string_view line);
  State EndOfHead();

  HttpLimits limits_;
  HttpRequest request_;
  std::size_t lineStart_ = 0;   // where the next unparsed line begins
  std::size_t scanned_ = 0;     // received holds no line end before this
  std::size_t headLength_ = 0;  // non-zero once the blank line was read
  std::size_t contentLength_ = 0;
  bool http11_ = false;
  bool hasHost_ = false;
  bool hasLength_ = false;
  bool chunked_ = false;
  bool otherCoding_ = false;
  int refusal_ = 0;
  std::string reason_;
};

}  // namespace murmel::server
