// The runtime half of wsprintfW: the header packs and type-checks the arguments, this walks
// the format.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <string_view>

#include "win/text.h"

namespace murmel::text {
namespace {

// Writes into a bounded destination, leaving room for the terminating NUL.
class Output {
 public:
  Output(WCHAR* dest, std::size_t capacity) : dest_(dest), limit_(capacity - 1) {}

  void Put(WCHAR ch) {
    if (written_ < limit_) dest_[written_++] = ch;
  }
  void Repeat(WCHAR ch, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) Put(ch);
  }
  void Put(std::string_view ascii) {
    for (const char ch : ascii) Put(static_cast<WCHAR>(static_cast<unsigned char>(ch)));
  }
  int Finish() {
    dest_[written_] = 0;
    return static_cast<int>(written_);
  }

 private:
  WCHAR* dest_;
  std::size_t limit_;
  std::size_t written_ = 0;
};

struct Directive {
  bool left_align = false;
  bool zero_pad = false;
  std::size_t width = 0;
  bool has_precision = false;
  std::size_t precision = 0;
  WCHAR conversion = 0;
};

std::size_t ReadNumber(const WCHAR*& p) {
  std::size_t value = 0;
  for (; *p >= u'0' && *p <= u'9'; ++p) {
    if (value < 100000) value = value * 10 + static_cast<std::size_t>(*p - u'0');
  }
  return value;
}

// Parses what follows a '%': flags, width, precision, length modifier, conversion letter.
Directive ReadDirective(const WCHAR*& p) {
  Directive directive;
  for (;; ++p) {
    if (*p == u'-') {
      directive.left_align = true;
    } else if (*p == u'0') {
      directive.zero_pad = true;
    } else {
      break;
    }
  }
  directive.width = ReadNumber(p);
  if (*p == u'.') {
    ++p;
    directive.has_precision = true;
    directive.precision = ReadNumber(p);
  }
  while (*p == u'l' || *p == u'h') ++p;
  directive.conversion = *p;
  if (*p != 0) ++p;
  return directive;
}

// Pads a number's digits to the width; zero padding goes after the sign.
void PutNumber(Output& out, const Directive& directive, std::string_view digits) {
  const std::size_t padding = directive.width > digits.size() ? directive.width - digits.size() : 0;
  if (directive.left_align) {
    out.Put(digits);
    out.Repeat(u' ', padding);
  } else if (directive.zero_pad) {
    if (!digits.empty() && digits.front() == '-') {
      out.Put(u'-');
      digits.remove_prefix(1);
    }
    out.Repeat(u'0', padding);
    out.Put(digits);
  } else {
    out.Repeat(u' ', padding);
    out.Put(digits);
  }
}

void PutText(Output& out, const Directive& directive, const WCHAR* text) {
  if (text == nullptr) text = u"(null)";
  std::size_t length = 0;
  while (text[length] != 0 && (!directive.has_precision || length < directive.precision)) ++length;
  const std::size_t padding = directive.width > length ? directive.width - length : 0;
  if (!directive.left_align) out.Repeat(u' ', padding);
  for (std::size_t i = 0; i < length; ++i) out.Put(text[i]);
  if (directive.left_align) out.Repeat(u' ', padding);
}

void PutInteger(Output& out, const Directive& directive, long long value) {
  // The platform's int is 32 bits: keep the low 32 bits, read as signed.
  const auto as_int = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  std::array<char, 16> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), as_int);
  PutNumber(out, directive, std::string_view(digits.data(), result.ptr - digits.data()));
}

// Adds one unit in the last place of a decimal string such as "-3.2".
void RoundUpLastDigit(std::array<char, 512>& text, std::size_t& length) {
  std::size_t i = length;
  while (i > 0) {
    --i;
    if (text[i] == '.') continue;
    if (text[i] == '-') break;
    if (text[i] != '9') {
      ++text[i];
      return;
    }
    text[i] = '0';
    if (i == 0 || text[i - 1] == '-') break;
  }
  // Every digit carried: insert a leading 1 after any sign.
  const std::size_t at = (length > 0 && text[0] == '-') ? 1 : 0;
  for (std::size_t j = length; j > at; --j) text[j] = text[j - 1];
  text[at] = '1';
  ++length;
}

void PutReal(Output& out, const Directive& directive, double value) {
  constexpr std::size_t kMaxPrecision = 40;
  // Enough extra digits to see whether the dropped part is exactly one half.
  constexpr std::size_t kGuardDigits = 30;
  const std::size_t precision =
      directive.has_precision ? std::min(directive.precision, kMaxPrecision) : 6;

  std::array<char, 512> text{};
  char* const end = text.data() + text.size() - 1;
  auto wide = std::to_chars(text.data(), end, value, std::chars_format::fixed,
                            static_cast<int>(precision + kGuardDigits));
  const std::string_view guarded(text.data(), wide.ptr - text.data());
  const std::size_t dot = guarded.find('.');
  if (wide.ec != std::errc() || dot == std::string_view::npos) {
    // inf and nan have no fraction to round.
    PutNumber(out, directive, guarded);
    return;
  }
  const std::string_view dropped = guarded.substr(dot + 1 + precision);
  const bool exact_half =
      dropped.front() == '5' && dropped.find_first_not_of('0', 1) == std::string_view::npos;
  if (!exact_half) {
    // Not a tie: the correctly rounded digits are the platform's digits too.
    const auto exact = std::to_chars(text.data(), end, value, std::chars_format::fixed,
                                     static_cast<int>(precision));
    PutNumber(out, directive, std::string_view(text.data(), exact.ptr - text.data()));
    return;
  }
  // The device's runtime rounds exact halves away from zero (3.25 -> 3.3).
  std::size_t length = precision == 0 ? dot : dot + 1 + precision;
  RoundUpLastDigit(text, length);
  PutNumber(out, directive, std::string_view(text.data(), length));
}

}  // namespace

int FormatInto(WCHAR* dest, std::size_t capacity, const WCHAR* format, const FormatArg* args,
               std::size_t count) {
  if (dest == nullptr || capacity == 0) return 0;
  Output out(dest, capacity);
  if (format == nullptr) return out.Finish();

  std::size_t next = 0;
  for (const WCHAR* p = format; *p != 0;) {
    if (*p != u'%') {
      out.Put(*p++);
      continue;
    }
    const WCHAR* const start = p++;
    if (*p == u'%') {
      out.Put(u'%');
      ++p;
      continue;
    }
    const Directive directive = ReadDirective(p);
    ArgKind wanted{};
    switch (directive.conversion) {
      case u's':
        wanted = ArgKind::kText;
        break;
      case u'd':
      case u'i':
        wanted = ArgKind::kInteger;
        break;
      case u'f':
        wanted = ArgKind::kReal;
        break;
      default:
        // Not a conversion this formatter knows: keep the text as written.
        for (const WCHAR* q = start; q != p; ++q) out.Put(*q);
        continue;
    }
    if (next >= count) continue;
    const FormatArg& arg = args[next++];
    if (arg.kind != wanted) continue;
    switch (wanted) {
      case ArgKind::kText:
        PutText(out, directive, arg.text);
        break;
      case ArgKind::kInteger:
        PutInteger(out, directive, arg.integer);
        break;
      case ArgKind::kReal:
        PutReal(out, directive, arg.real);
        break;
    }
  }
  return out.Finish();
}

}  // namespace murmel::text
