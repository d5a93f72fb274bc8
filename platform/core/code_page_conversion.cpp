#include "platform/core/code_page_conversion.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>

#include "platform/core/iconv_pool.h"

namespace murmel::core {
namespace {

constexpr UINT kUtf8 = 65001;
constexpr UINT kWestern = 1252;
constexpr char16_t kReplacementCharacter = u'\uFFFD';

const char* const kNativeUtf16 =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

const char* IconvName(UINT code_page) {
  switch (code_page) {
    case 874:
      return "CP874";
    case 932:
      // Not SHIFT_JIS: that maps 0x5C to the yen sign and lacks the NEC rows.
      return "CP932";
    case 936:
      return "CP936";
    case 949:
      return "CP949";
    case 950:
      return "CP950";
    case 1250:
      return "CP1250";
    case 1251:
      return "CP1251";
    case 1252:
      return "WINDOWS-1252";
    case 1253:
      return "CP1253";
    case 1254:
      return "CP1254";
    case 1255:
      return "CP1255";
    case 1256:
      return "CP1256";
    case 1257:
      return "CP1257";
    case 1258:
      return "CP1258";
    default:
      return nullptr;
  }
}

// glibc's WINDOWS-1252 leaves these five bytes undefined; the device maps each to the C1
// control of the same value, both ways.
bool IsWesternControlGap(unsigned value) {
  return value == 0x81 || value == 0x8D || value == 0x8F || value == 0x90 || value == 0x9D;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool IsLeadByte(UINT code_page, unsigned char byte) {
  switch (code_page) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

// Runs iconv over `input` into `output`, handing each unconvertible sequence to
// `on_invalid`, which appends its substitute and returns how many input bytes it covers.
// The converter's pending state is flushed (not dropped) before the input goes on.
template <typename Output, typename OnInvalid>
bool RunConverter(iconv_t converter, std::string_view input, Output& output, OnInvalid on_invalid) {
  using Unit = typename Output::value_type;
  auto* in = const_cast<char*>(input.data());  // iconv's prototype is not const-correct
  std::size_t in_left = input.size();
  std::size_t used = output.size();
  output.resize(used + input.size() + 16);

  const auto convert = [&](char** source, std::size_t* source_left) {
    for (;;) {
      auto* out = reinterpret_cast<char*>(output.data() + used);
      std::size_t out_left = (output.size() - used) * sizeof(Unit);
      const std::size_t result = iconv(converter, source, source_left, &out, &out_left);
      const int error = errno;
      used = output.size() - out_left / sizeof(Unit);
      if (result != static_cast<std::size_t>(-1)) return 0;
      if (error != E2BIG) return error;
      output.resize(output.size() * 2);
    }
  };

  while (in_left > 0) {
    const int error = convert(&in, &in_left);
    if (error == 0) break;
    if (error != EILSEQ && error != EINVAL) return false;
    if (convert(nullptr, nullptr) != 0) return false;
    output.resize(used);
    const std::size_t skipped = on_invalid(std::string_view(in, in_left), output);
    in += skipped;
    in_left -= skipped;
    used = output.size();
    output.resize(used + in_left + 16);
  }
  if (convert(nullptr, nullptr) != 0) return false;
  output.resize(used);
  return true;
}

void AppendUtf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, kReplacementCharacter);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

// One U+FFFD per maximal ill-formed subsequence, as Unicode recommends.
std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    char32_t code_point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code_point = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;  // no encoded surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code_point = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    std::size_t taken = 1;
    while (length != 0 && taken < length && i + taken < bytes.size()) {
      const auto next = static_cast<unsigned char>(bytes[i + taken]);
      if (next < low || next > high) break;
      code_point = (code_point << 6) | (next & 0x3F);
      low = 0x80;
      high = 0xBF;
      ++taken;
    }
    i += taken;
    if (length == 0 || taken < length) {
      out += kReplacementCharacter;
    } else if (code_point >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code_point - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code_point - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code_point);
    }
  }
  return out;
}

}  // namespace

bool IsSupportedCodePage(UINT code_page) {
  return code_page == kUtf8 || IconvName(code_page) != nullptr;
}

std::optional<EncodedText> EncodeUtf16(UINT code_page, std::u16string_view text, char replacement) {
  EncodedText result;
  if (code_page == kUtf8) {
    result.bytes = EncodeUtf8(text);
    return result;
  }
  const char* name = IconvName(code_page);
  if (name == nullptr) return std::nullopt;
  const PooledConverter converter(name, kNativeUtf16);
  if (!converter) return std::nullopt;

  const auto on_invalid = [&](std::string_view rest, std::string& out) -> std::size_t {
    // `rest` starts at the unit iconv refused; it holds whole units.
    const std::size_t units_left = rest.size() / sizeof(char16_t);
    if (units_left == 0) return rest.size();
    char16_t unit = 0;
    char16_t next = 0;
    std::memcpy(&unit, rest.data(), sizeof unit);
    if (units_left > 1) std::memcpy(&next, rest.data() + sizeof unit, sizeof next);
    if (code_page == kWestern && IsWesternControlGap(unit)) {
      out += static_cast<char>(unit);
      return sizeof unit;
    }
    out += replacement;
    result.usedDefault = true;
    const bool pair = IsHighSurrogate(unit) && units_left > 1 && IsLowSurrogate(next);
    return pair ? 2 * sizeof unit : sizeof unit;
  };
  const std::string_view input(reinterpret_cast<const char*>(text.data()),
                               text.size() * sizeof(char16_t));
  if (!RunConverter(converter.get(), input, result.bytes, on_invalid)) return std::nullopt;
  return result;
}

std::optional<std::u16string> DecodeToUtf16(UINT code_page, std::string_view bytes) {
  if (code_page == kUtf8) return DecodeUtf8(bytes);
  const char* name = IconvName(code_page);
  if (name == nullptr) return std::nullopt;
  const PooledConverter converter(kNativeUtf16, name);
  if (!converter) return std::nullopt;

  const auto on_invalid = [&](std::string_view rest, std::u16string& out) -> std::size_t {
    const auto byte = static_cast<unsigned char>(rest.front());
    out +=
        (code_page == kWestern && IsWesternControlGap(byte)) ? static_cast<char16_t>(byte) : u'?';
    return 1;
  };
  std::u16string text;
  if (!RunConverter(converter.get(), bytes, text, on_invalid)) return std::nullopt;
  return text;
}

std::size_t WholeCharactersWithin(UINT code_page, std::string_view bytes, std::size_t limit) {
  if (bytes.size() <= limit) return bytes.size();
  if (code_page == kUtf8) {
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
    return end;
  }
  std::size_t end = 0;
  while (end < limit) {
    const std::size_t length =
        IsLeadByte(code_page, static_cast<unsigned char>(bytes[end])) ? 2 : 1;
    if (end + length > limit) break;
    end += length;
  }
  return end;
}

}  // namespace murmel::core
