// Texts arrive in the code page that the client's locale record announced.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace murmel::server {

// The iconv name of a Windows code page ("WINDOWS-1252", "CP932", "UTF-8" ...).
std::string IconvName(std::uint32_t codePage);

// True when iconv knows the code page and it keeps printable ASCII as it is, as every
// Windows ANSI code page does. Others (UTF-16, EBCDIC) are refused: the envelope's
// commas, quotes and brackets would be other bytes in them.
bool IsSupportedCodePage(std::uint32_t codePage);

// Converts to UTF-8. A byte that cannot be converted becomes U+FFFD and the conversion
// goes on, so one bad byte never loses a message. An unknown code page is read as 1252.
std::string ToUtf8(std::string_view bytes, std::uint32_t codePage);

}  // namespace murmel::server
