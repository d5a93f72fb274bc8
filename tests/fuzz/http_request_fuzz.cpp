// The HTTP request parser on arbitrary bytes, fed in pieces of a size the first byte gives,
// request after request as a kept-alive connection reads them: fed whole or in pieces it
// must end the same, and a request it takes lies within what it was given and the limits.
#include <cstdlib>
#include <string_view>

#include "server/http_request.h"

using murmel::server::HttpRequestParser;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const murmel::server::HttpLimits limits{.maxHead = 512, .maxBody = 64};
  for (;;) {
    HttpRequestParser whole(limits);
    HttpRequestParser pieces(limits);
    const auto state = whole.Parse(input);
    auto stepped = HttpRequestParser::State::NeedMore;
    for (std::size_t n = piece; stepped == HttpRequestParser::State::NeedMore; n += piece) {
      stepped = pieces.Parse(input.substr(0, std::min(n, input.size())));
      if (n >= input.size()) break;
    }
    if (state != stepped || whole.refusal() != pieces.refusal()) std::abort();
    if (state == HttpRequestParser::State::Refused && whole.refusal() < 400) std::abort();
    if (state != HttpRequestParser::State::Complete) return 0;
    const auto& request = whole.request();
    if (whole.consumed() != pieces.consumed() || whole.consumed() > input.size() ||
        whole.consumed() > limits.maxHead + limits.maxBody ||
        request.body.size() > limits.maxBody || !request.path.starts_with('/') ||
        request.method.empty()) {
      std::abort();
    }
    input.remove_prefix(whole.consumed());
  }
}
