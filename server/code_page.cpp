#include "server/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace murmel::server {
namespace {

constexpr std::uint32_t kDefaultCodePage = 1252;
constexpr std::uint32_t kUtf8CodePage = 65001;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

struct IconvCloser {
  void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

bool Failed(iconv_t handle) {
  return handle ==
         reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr): iconv's failure value
}

IconvHandle OpenConverter(std::uint32_t codePage) {
  iconv_t handle = iconv_open("UTF-8", IconvName(codePage).c_str());
  if (Failed(handle)) handle = iconv_open("UTF-8", IconvName(kDefaultCodePage).c_str());
  if (Failed(handle)) return nullptr;
  return IconvHandle(handle);
}

}  // namespace

bool IsSupportedCodePage(std::uint32_t codePage) {
  const iconv_t handle = iconv_open("UTF-8", IconvName(codePage).c_str());
  if (Failed(handle)) return false;
  const IconvHandle owned(handle);
  std::string ascii;
  for (char c = ' '; c <= '~'; ++c) ascii.push_back(c);
  return ToUtf8(ascii, codePage) == ascii;
}

std::string IconvName(std::uint32_t codePage) {
  if (codePage == kUtf8CodePage) return "UTF-8";
  // glibc's SHIFT_JIS maps 0x5C to the yen sign; CP932 is what the handheld means.
  if (codePage >= 1250 && codePage <= 1258) return "WINDOWS-" + std::to_string(codePage);
  return "CP" + std::to_string(codePage);
}

std::string ToUtf8(std::string_view bytes, std::uint32_t codePage) {
  const IconvHandle converter = OpenConverter(codePage);
  if (!converter) return std::string(bytes);
  auto* handle = static_cast<iconv_t>(converter.get());

  std::string out;
  char buffer[1024];
  char* in = const_cast<char*>(bytes.data());  // iconv's signature; it does not write
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(handle, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ or a truncated sequence at the end: replace one byte and start afresh.
    out.append(kReplacement);
    ++in;
    --inLeft;
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

}  // namespace murmel::server
