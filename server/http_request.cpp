#include "server/http_request.h"

#include <algorithm>
#include <cctype>

namespace murmel::server {
namespace {

// RFC 9110 token characters: methods and header names.
bool IsToken(std::string_view text) {
  constexpr std::string_view kPunctuation = "!#$%&'*+-.^_`|~";
  return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           kPunctuation.find(c) != std::string_view::npos;
  });
}

// Visible characters, spaces and tabs, and bytes above ASCII; no controls, so no CR or NUL.
bool IsFieldValue(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 ? byte != 0x7F : byte == '\t';
  });
}

bool EqualsLower(std::string_view text, std::string_view lower) {
  return std::equal(text.begin(), text.end(), lower.begin(), lower.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

std::string_view TrimSpace(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

bool HasToken(std::string_view list, std::string_view lower) {
  while (!list.empty()) {
    const auto comma = list.find(',');
    if (EqualsLower(TrimSpace(list.substr(0, comma)), lower)) return true;
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
  return false;
}

}  // namespace

HttpRequestParser::State HttpRequestParser::Refuse(int status, std::string reason) {
  refusal_ = status;
  reason_ = std::move(reason);
  return State::Refused;
}

HttpRequestParser::State HttpRequestParser::Parse(std::string_view received) {
  if (refusal_ != 0) return State::Refused;
  while (headLength_ == 0) {
    const auto end = received.find('\n', std::max(lineStart_, scanned_));
    if (end == std::string_view::npos || end >= limits_.maxHead) {
      scanned_ = received.size();
      if (received.size() <= limits_.maxHead) return State::NeedMore;
      if (request_.method.empty()) return Refuse(414, "The request line is too long.");
      return Refuse(431, "The request head is over " + std::to_string(limits_.maxHead) + " bytes.");
    }
    if (end == lineStart_ || received[end - 1] != '\r') {
      return Refuse(400, "Every line of the request head must end in CR LF.");
    }
    const std::string_view line = received.substr(lineStart_, end - 1 - lineStart_);
    lineStart_ = end + 1;
    State state = State::NeedMore;
    if (request_.method.empty()) {
      // A blank line before the request is tolerated: old browsers send one after a body.
      if (!line.empty()) state = RequestLine(line);
    } else if (line.empty()) {
      headLength_ = lineStart_;
      state = EndOfHead();
    } else {
      state = Header(line);
    }
    if (state == State::Refused) return state;
  }
  if (received.size() < consumed()) return State::NeedMore;
  request_.body.assign(received.substr(headLength_, contentLength_));
  return State::Complete;
}

HttpRequestParser::State HttpRequestParser::RequestLine(std::string_view line) {
  const auto first = line.find(' ');
  const auto second = line.find(' ', first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos ||
      line.find(' ', second + 1) != std::string_view::npos) {
    return Refuse(400, "The request line is not METHOD /path HTTP/1.1.");
  }
  const std::string_view method = line.substr(0, first);
  const std::string_view target = line.substr(first + 1, second - first - 1);
  const std::string_view version = line.substr(second + 1);
  if (!IsToken(method)) return Refuse(400, "The method is not a token.");
  // Only paths: this server is nobody's proxy.
  if (!target.starts_with('/') ||
      !std::all_of(target.begin(), target.end(), [](char c) { return c > ' ' && c < 0x7F; })) {
    return Refuse(400, "The request target is not a path.");
  }
  if (version.size() != 8 || !version.starts_with("HTTP/") || version[6] != '.' ||
      std::isdigit(static_cast<unsigned char>(version[5])) == 0 ||
      std::isdigit(static_cast<unsigned char>(version[7])) == 0) {
    return Refuse(400, "The request line does not end in an HTTP version.");
  }
  if (version[5] != '1') return Refuse(505, "Only HTTP/1.0 and HTTP/1.1 are served here.");
  http11_ = version[7] != '0';
  request_.method = method;
  request_.path = target.substr(0, target.find('?'));
  return State::NeedMore;
}

HttpRequestParser::State HttpRequestParser::Header(std::string_view line) {
  // No space may come before the colon, and a folded line starts with one: both refused.
  const auto colon = line.find(':');
  if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
    return Refuse(400, "A header line is not Name: value.");
  }
  const std::string_view name = line.substr(0, colon);
  const std::string_view value = TrimSpace(line.substr(colon + 1));
  if (!IsFieldValue(value)) return Refuse(400, "A header value holds control characters.");
  if (EqualsLower(name, "host")) {
    if (hasHost_) return Refuse(400, "The request names its Host twice.");
    hasHost_ = true;
  } else if (EqualsLower(name, "content-length")) {
    // Two lengths, even equal ones, are how requests get smuggled past a proxy.
    if (hasLength_) return Refuse(400, "The request has two Content-Length headers.");
    hasLength_ = true;
    if (value.empty() ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return Refuse(400, "The Content-Length is not a number.");
    }
    const std::string_view digits =
        value.substr(std::min(value.find_first_not_of('0'), value.size()));
    if (digits.size() > 9) return Refuse(413, "The body is too large.");
    contentLength_ = std::stoul(std::string(digits.empty() ? "0" : digits));
  } else if (EqualsLower(name, "transfer-encoding")) {
    (EqualsLower(value, "chunked") ? chunked_ : otherCoding_) = true;
  } else if (EqualsLower(name, "connection")) {
    if (HasToken(value, "close")) request_.keepAlive = false;
  }
  return State::NeedMore;
}

HttpRequestParser::State HttpRequestParser::EndOfHead() {
  if (http11_ && !hasHost_) return Refuse(400, "An HTTP/1.1 request must name its Host.");
  if (otherCoding_) return Refuse(501, "Only bodies sent with a Content-Length are read here.");
  if (chunked_) return Refuse(411, "Send the body with a Content-Length, not chunked.");
  if (request_.method == "POST" && !hasLength_)
    return Refuse(411, "A POST needs a Content-Length.");
  if (contentLength_ > limits_.maxBody) return Refuse(413, "The body is too large.");
  // HTTP/1.0 keep-alive is an old extension; one request per connection is enough for it.
  if (!http11_) request_.keepAlive = false;
  return State::NeedMore;
}

}  // namespace murmel::server
