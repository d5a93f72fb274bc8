// Byte order and dotted addresses: pure computation, no system call.
#include <winsock2.h>

#include <array>
#include <cstring>

namespace {

// One part of a dotted address in C notation: decimal, octal after 0, hex after 0x.
bool ParsePart(const char*& text, ULONG& value) {
  int base = 10;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text += 2;
  } else if (text[0] == '0') {
    base = 8;
  }
  bool any_digit = base == 8;  // the leading 0 itself is a digit
  unsigned long long part = 0;
  for (;; ++text) {
    int digit = 0;
    const char c = *text;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    if (digit >= base) return false;
    part = part * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    if (part > 0xffffffffULL) return false;
    any_digit = true;
  }
  value = static_cast<ULONG>(part);
  return any_digit;
}

}  // namespace

USHORT htons(USHORT hostshort) {
  const std::array<BYTE, 2> bytes = {static_cast<BYTE>(hostshort >> 8),
                                     static_cast<BYTE>(hostshort & 0xff)};
  USHORT net = 0;
  std::memcpy(&net, bytes.data(), bytes.size());
  return net;
}

USHORT ntohs(USHORT netshort) {
  std::array<BYTE, 2> bytes{};
  std::memcpy(bytes.data(), &netshort, bytes.size());
  return static_cast<USHORT>((bytes[0] << 8) | bytes[1]);
}

ULONG htonl(ULONG hostlong) {
  const std::array<BYTE, 4> bytes = {static_cast<BYTE>(hostlong >> 24),
                                     static_cast<BYTE>(hostlong >> 16),
                                     static_cast<BYTE>(hostlong >> 8), static_cast<BYTE>(hostlong)};
  ULONG net = 0;
  std::memcpy(&net, bytes.data(), bytes.size());
  return net;
}

ULONG ntohl(ULONG netlong) {
  std::array<BYTE, 4> bytes{};
  std::memcpy(bytes.data(), &netlong, bytes.size());
  return (static_cast<ULONG>(bytes[0]) << 24) | (static_cast<ULONG>(bytes[1]) << 16) |
         (static_cast<ULONG>(bytes[2]) << 8) | bytes[3];
}

// "a.b.c.d", and the shorter "a.b.c", "a.b" and "a" forms whose last part fills the
// remaining bytes; anything else, including trailing text, is INADDR_NONE.
ULONG inet_addr(const char* cp) {
  if (cp == nullptr || *cp == '\0') return INADDR_NONE;
  std::array<ULONG, 4> parts{};
  std::size_t count = 0;
  const char* text = cp;
  for (;;) {
    if (count == parts.size() || !ParsePart(text, parts[count])) return INADDR_NONE;
    ++count;
    if (*text == '\0') break;
    if (*text != '.') return INADDR_NONE;
    ++text;
  }
  ULONG host = 0;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (parts[i] > 0xff) return INADDR_NONE;
    host |= parts[i] << (8 * (3 - i));
  }
  const ULONG last = parts[count - 1];
  const std::size_t last_bytes = 5 - count;
  if (last_bytes < 4 && last >= (1UL << (8 * last_bytes))) return INADDR_NONE;
  return htonl(host | last);
}
