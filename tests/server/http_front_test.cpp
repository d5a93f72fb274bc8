// The HTTP pages under slow, idle and too many clients, over real sockets: a client that
// trickles is cut at its deadline, and the caps refuse at once what is over them while a
// browser from another address is still answered.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>

#include "scripted_client.h"
#include "server/http_help.h"

namespace server_test {
namespace {

using murmel::server::HttpFrontOptions;
using murmel::server::HttpHelpServer;
using namespace std::chrono_literals;

struct Pages {
  explicit Pages(const HttpFrontOptions& options) : server(options) {
    listening = server.Listen("127.0.0.1", 0).ok;
    server.Start();
  }
  std::optional<HttpReply> Get(const char* from) const {
    return HttpClient{server.port(), from}.Get("/help/");
  }
  HttpHelpServer server;
  bool listening = false;
};

void SendAll(int fd, const std::string& text) {
  ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

// Still connected and nothing to read: the server holds the connection, it did not refuse.
bool Held(int fd) {
  char byte = 0;
  return ::recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == EAGAIN;
}

TEST(HttpFront, ClientsAreCutAtTheirDeadline) {
  struct Case {
    const char* what;
    std::string first;
    std::string trickle;  // sent again and again, until the server closes
    const char* answer;   // what the client got before the close
  };
  const Case cases[] = {
      {"silent after connecting", "", "", ""},
      {"head a line at a time", "GET / HTTP/1.1\r\n", "X-Slow: 1\r\n", ""},
      {"body a byte at a time",
       "POST /sender/confirm/0123456789abcdef0123456789abcdef HTTP/1.1\r\nHost: a\r\n"
       "Content-Length: 1000\r\n\r\n",
       "a", ""},
      {"idle after a page", "GET /help/ HTTP/1.1\r\nHost: a\r\n\r\n", "", "HTTP/1.1 200 OK\r\n"},
  };
  HttpFrontOptions tiny;
  tiny.requestDeadline = 300ms;
  tiny.idleTimeout = 100ms;
  Pages pages(tiny);
  ASSERT_TRUE(pages.listening);
  for (const Case& c : cases) {
    const int fd = ConnectFrom(pages.server.port());
    SendAll(fd, c.first);
    std::string received;
    bool closed = false;
    // Without a deadline the trickle would keep it open for good; the bound is generous.
    for (int i = 0; i < 200 && !closed; ++i) {
      if (!c.trickle.empty()) SendAll(fd, c.trickle);
      pollfd ready{fd, POLLIN, 0};
      if (::poll(&ready, 1, 50) != 1) continue;
      char buffer[4096];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      closed = n <= 0;
      if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_TRUE(closed) << c.what;
    EXPECT_TRUE(received.starts_with(c.answer)) << c.what << ": " << received;
    ::close(fd);
  }
}

TEST(HttpFront, CapsRefuseAtOnceWhatIsOverThemAndFreeTheirPlaceOnClose) {
  // Total, connections from 127.0.0.1 that stay open and silent, the status of a page from
  // 127.0.0.2 meanwhile.
  const std::tuple<std::size_t, std::size_t, int> cases[] = {{512, 16, 200}, {4, 4, 503}};
  for (const auto& [total, hold, otherAddressStatus] : cases) {
    HttpFrontOptions options;
    options.total = total;
    Pages pages(options);
    ASSERT_TRUE(pages.listening);
    std::vector<int> held;
    for (std::size_t i = 0; i < hold; ++i) held.push_back(ConnectFrom(pages.server.port()));
    const auto refused = Fetch(pages.server.port(), "");
    ASSERT_TRUE(refused) << total;
    EXPECT_EQ(refused->status, 503);
    EXPECT_EQ(refused->Header("Retry-After"), "5");
    const auto other = pages.Get("127.0.0.2");
    ASSERT_TRUE(other) << total;
    EXPECT_EQ(other->status, otherAddressStatus);
    for (const int fd : held) {
      EXPECT_TRUE(Held(fd));
      ::close(fd);
    }
    EXPECT_TRUE(Eventually([&] {
      const auto page = pages.Get("127.0.0.1");
      return page && page->status == 200;
    }));
  }
}

}  // namespace
}  // namespace server_test
