// The HTTP request parser on whole requests and on the same bytes arriving one at a time:
// what it takes, where a request ends, and the status of everything it refuses.
#include "server/http_request.h"

#include <gtest/gtest.h>

#include <string>

namespace murmel::server {
namespace {

constexpr int kComplete = 0;
constexpr int kNeedMore = -1;

struct Case {
  const char* what;
  std::string input;
  int expected;  // kComplete, kNeedMore or the refusal's status
  std::string path;
  std::string body;
  bool keepAlive = true;
};

int Outcome(HttpRequestParser& parser, HttpRequestParser::State state) {
  if (state == HttpRequestParser::State::Complete) return kComplete;
  if (state == HttpRequestParser::State::NeedMore) return kNeedMore;
  return parser.refusal();
}

const std::string kPost = "POST /sender/confirm/x HTTP/1.1\r\nHost: a\r\n";
// Five lines of 2 KiB, each well formed.
const std::string kLongHeaders = [] {
  std::string lines;
  for (const char name : {'V', 'W', 'X', 'Y', 'Z'}) lines += std::string(2000, name) + ": 1\r\n";
  return lines;
}();

TEST(HttpRequestParser, TakesWellFormedRequestsAndRefusesTheRestWithTheirStatus) {
  const Case cases[] = {
      {"a page", "GET /help/?lang=en HTTP/1.1\r\nHost: a\r\nAccept: */*\r\n\r\n", kComplete,
       "/help/"},
      {"a blank line before it", "\r\nHEAD / HTTP/1.1\r\nhost:a\r\n\r\n", kComplete, "/"},
      {"Confirm, and the next request behind it",
       kPost + "Content-Length: 6\r\n\r\ntoken=GET / HTTP/1.1\r\n", kComplete, "/sender/confirm/x",
       "token="},
      {"HTTP/1.0 closes", "GET / HTTP/1.0\r\n\r\n", kComplete, "/", "", false},
      {"Connection: close", "GET / HTTP/1.1\r\nHost: a\r\nConnection: TE, close\r\n\r\n", kComplete,
       "/", "", false},
      {"head unfinished", "GET / HTTP/1.1\r\nHost: a\r\n", kNeedMore},
      {"body unfinished", kPost + "Content-Length: 6\r\n\r\ntoken", kNeedMore},
      {"head over 8 KiB", "GET / HTTP/1.1\r\nX: " + std::string(9000, 'a'), 431},
      {"header lines over 8 KiB", "GET / HTTP/1.1\r\n" + kLongHeaders + "\r\n", 431},
      {"request line over 8 KiB", "GET /" + std::string(9000, 'a'), 414},
      {"HTTP/0.9", "GET /\r\n\r\n", 400},
      {"two spaces", "GET  / HTTP/1.1\r\nHost: a\r\n\r\n", 400},
      {"not a path", "GET http://a/ HTTP/1.1\r\nHost: a\r\n\r\n", 400},
      {"method not a token", "G\"T / HTTP/1.1\r\nHost: a\r\n\r\n", 400},
      {"bad version", "GET / HTTQ/1.1\r\nHost: a\r\n\r\n", 400},
      {"HTTP/2", "GET / HTTP/2.0\r\nHost: a\r\n\r\n", 505},
      {"bare LF", "GET / HTTP/1.1\nHost: a\r\n\r\n", 400},
      {"bare CR", "GET / HTTP/1.1\r\nHost: a\rX: b\r\n\r\n", 400},
      {"header without colon", "GET / HTTP/1.1\r\nHost a\r\n\r\n", 400},
      {"space before colon", "GET / HTTP/1.1\r\nHost : a\r\n\r\n", 400},
      {"folded header", "GET / HTTP/1.1\r\nHost: a\r\n b\r\n\r\n", 400},
      {"control in value", "GET / HTTP/1.1\r\nHost: a\r\nX: \x01\r\n\r\n", 400},
      {"no Host", "GET / HTTP/1.1\r\n\r\n", 400},
      {"two Hosts", "GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", 400},
      {"POST without length", kPost + "\r\n", 411},
      {"length not a number", kPost + "Content-Length: 6a\r\n\r\n", 400},
      {"length list", kPost + "Content-Length: 6, 6\r\n\r\n", 400},
      {"two lengths", kPost + "Content-Length: 6\r\nContent-Length: 6\r\n\r\n", 400},
      {"body over the cap", kPost + "Content-Length: 1025\r\n\r\n", 413},
      {"length past 64 bits", kPost + "Content-Length: 99999999999999999999999\r\n\r\n", 413},
      {"chunked", kPost + "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 411},
      {"chunked beside a length",
       kPost + "Content-Length: 6\r\nTransfer-Encoding: chunked\r\n\r\ntoken=", 411},
      {"another coding", kPost + "Content-Length: 6\r\nTransfer-Encoding: gzip\r\n\r\n", 501},
  };
  for (const Case& c : cases) {
    HttpRequestParser whole;
    const int outcome = Outcome(whole, whole.Parse(c.input));
    EXPECT_EQ(outcome, c.expected) << c.what << ": " << whole.reason();
    // A byte at a time ends the same way: no line is judged before it is complete.
    HttpRequestParser trickled;
    int step = kNeedMore;
    for (std::size_t n = 1; n <= c.input.size() && step == kNeedMore; ++n) {
      step = Outcome(trickled, trickled.Parse(std::string_view(c.input).substr(0, n)));
    }
    EXPECT_EQ(step, c.expected) << c.what << " a byte at a time";
    if (outcome != kComplete) continue;
    EXPECT_EQ(whole.request().path, c.path) << c.what;
    EXPECT_EQ(whole.request().body, c.body) << c.what;
    EXPECT_EQ(whole.request().keepAlive, c.keepAlive) << c.what;
    EXPECT_EQ(trickled.consumed(), whole.consumed()) << c.what;
    EXPECT_EQ(c.input.substr(whole.consumed()).find("GET"), c.body.empty() ? std::string::npos : 0)
        << c.what;
  }
}

}  // namespace
}  // namespace murmel::server
