// Conversion between UTF-16 and one code page, through glibc iconv (UTF-8 by hand).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "win/types.h"

namespace murmel::core {

// Whether the code page number (not CP_ACP) can be converted.
bool IsSupportedCodePage(UINT code_page);

struct EncodedText {
  std::string bytes;
  bool usedDefault = false;
};

// Every character the code page cannot hold becomes `replacement`, once per character.
// Empty on a converter failure (a code page glibc does not offer).
std::optional<EncodedText> EncodeUtf16(UINT code_page, std::u16string_view text, char replacement);
std::optional<std::u16string> DecodeToUtf16(UINT code_page, std::string_view bytes);

// The longest prefix of `bytes` (text in the code page) that ends on a character boundary
// and is at most `limit` bytes long.
std::size_t WholeCharactersWithin(UINT code_page, std::string_view bytes, std::size_t limit);

}  // namespace murmel::core
