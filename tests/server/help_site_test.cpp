// The help site over a real socket: every address the client's Help menu opens gives a
// page, the pages link only to each other, and the server owns and releases its port.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>
#include <string>

#include "scripted_client.h"
#include "server/http_help.h"

namespace murmel::server {
namespace {

using namespace std::chrono_literals;
using server_test::HttpClient;

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(HelpSite, EveryHelpAddressIsAPageWhoseLinksResolve) {
  HttpHelpServer server;
  ASSERT_TRUE(server.Listen("127.0.0.1", 0).ok);
  server.Start();
  const HttpClient client{server.port()};

  const char* const paths[] = {"/",
                               "/help/",
                               "/help/helpquick/",
                               "/alpha/ce.html",
                               "/help/help1/",
                               "/help/help2/",
                               "/help/help3/",
                               "/help/help4/"};
  std::set<std::string> links;
  const std::regex href(R"re(href="([^"]*)")re");
  for (const char* path : paths) {
    const auto result = client.Get(path);
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, 200) << path;
    EXPECT_EQ(result->Header("Content-Type"), "text/html; charset=utf-8") << path;
    const std::string& page = result->body;
    EXPECT_NE(page.find("<html lang=\"en\">"), std::string::npos) << path;
    EXPECT_EQ(Count(page, "<title>"), 1u) << path;
    EXPECT_EQ(Count(page, "<h1>"), 1u) << path;
    EXPECT_EQ(Count(page, "{{"), 0u) << path;  // a placeholder left unfilled
    // Readable anywhere, offline: nothing to run, nothing fetched from elsewhere.
    EXPECT_EQ(Count(page, "<script"), 0u) << path;
    EXPECT_EQ(Count(page, "src="), 0u) << path;
    EXPECT_EQ(Count(page, "href=\"http"), 0u) << path;
    for (std::sregex_iterator it(page.begin(), page.end(), href), end; it != end; ++it) {
      const std::string target = (*it)[1];
      if (target.starts_with("/")) links.insert(target);
    }
  }
  // Every page links only to pages, and every page is linked.
  EXPECT_EQ(links, std::set<std::string>(std::begin(paths), std::end(paths)));

  // Near misses are not pages: the client asks for exact addresses.
  for (const char* missing : {"/help", "/help/help5/", "/alpha/ce.htm", "/index.html"}) {
    const auto result = client.Get(missing);
    ASSERT_TRUE(result) << missing;
    EXPECT_EQ(result->status, 404) << missing;
  }

  const auto head = client.Request("HEAD", "/help/");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_TRUE(head->body.empty());
  const auto post = client.Request("POST", "/help/", "x");
  ASSERT_TRUE(post);
  EXPECT_EQ(post->status, 405);
  EXPECT_EQ(post->Header("Allow"), "GET, HEAD");
  // A refusal reaches the client whole, not lost to a reset over the bytes left unread.
  const auto oversize = server_test::Fetch(
      server.port(), "GET / HTTP/1.1\r\nHost: a\r\nX: " + std::string(20000, 'a') + "\r\n\r\n");
  ASSERT_TRUE(oversize);
  EXPECT_EQ(oversize->status, 431);
}

TEST(HelpSite, ServerOwnsItsPortAndStopsWhileABrowserStaysConnected) {
  HttpHelpServer first;
  ASSERT_TRUE(first.Listen("127.0.0.1", 0).ok);
  first.Start();

  // A second server must not quietly share the port and take half the requests.
  HttpHelpServer second;
  const Result taken = second.Listen("127.0.0.1", first.port());
  EXPECT_FALSE(taken.ok);
  EXPECT_NE(taken.error.find("127.0.0.1 port " + std::to_string(first.port())), std::string::npos)
      << taken.error;
  EXPECT_NE(taken.error.find("in use"), std::string::npos) << taken.error;
  EXPECT_FALSE(second.Listen("localhost", 0).ok);  // an address, as for the transfer port

  // A browser keeps its connection open after a page; shutting down must not wait it out.
  const int browser = server_test::ConnectFrom(first.port());
  ASSERT_GE(browser, 0);
  const std::string request = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";
  ASSERT_EQ(::send(browser, request.data(), request.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(request.size()));
  char reply[64] = {};
  ASSERT_GT(::recv(browser, reply, sizeof reply, 0), 0);  // served, and still connected
  const auto start = std::chrono::steady_clock::now();
  first.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  first.Stop();  // a second Stop, as the destructor does, is harmless
  ::close(browser);
}

}  // namespace
}  // namespace murmel::server
