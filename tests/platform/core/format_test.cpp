#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::u16string Str(const WCHAR* text) { return text; }

struct Expectation {
  std::u16string expected;
  std::u16string got;
};

template <typename... Args>
Expectation Formatted(std::u16string expected, const WCHAR* format, const Args&... args) {
  WCHAR out[64];
  const int written = wsprintfW(out, format, args...);
  EXPECT_EQ(static_cast<std::size_t>(written), wcslen(out));
  return {std::move(expected), out};
}

TEST(Format, ConversionsFlagsWidthsAndMismatchedArguments) {
  const Expectation cases[] = {
      Formatted(u"HELLCEMurmelpost _DEF:2.80.1234", u"HELLCEMurmelpost %s:%s", u"_DEF",
                Text<16>(u"2.80.1234")),
      Formatted(u"\"Jane\" <j@x>", u"\"%s\" <%s>", u"Jane", u"j@x"),
      Formatted(u"100%", u"%d%%", 100),
      Formatted(u"count=-42\r\n", u"count=%d\r\n", -42L),
      Formatted(u"(7 addresses)", u"(%d addresses)", std::size_t{7}),
      Formatted(u"-1", u"%d", DWORD{0xFFFFFFFF}),
      Formatted(u"(null)", u"%s", static_cast<const WCHAR*>(nullptr)),
      Formatted(u"[   42]", u"[%5d]", 42),
      Formatted(u"[42   ]", u"[%-5d]", 42),
      Formatted(u"[-0042]", u"[%05d]", -42),
      Formatted(u"[ab  ]", u"[%-4s]", u"ab"),
      Formatted(u"[abc]", u"[%.3s]", u"abcdef"),
      Formatted(u"-2147483648", u"%i", INT32_MIN),
      Formatted(u"7", u"%hd", SHORT{7}),
      // The elapsed-time label: five characters, one decimal; exact halves go away from
      // zero as on the device.
      Formatted(u"  3.3s", u"%5.1lfs", 3.25),
      Formatted(u" 64.0s", u"%5.1lfs", 64.0),
      Formatted(u"  0.1s", u"%5.1lfs", 52000.0 / 16000.0 - 3.125),  // 0.125 -> 0.1
      Formatted(u"  9.9s", u"%5.1lfs", 9.95),                       // stored just below the half
      Formatted(u"  0.5s", u"%5.1lfs", 0.45),                       // stored just above the half
      Formatted(u"100.0s", u"%5.1lfs", 99.96),
      Formatted(u" -3.3s", u"%5.1lfs", -3.25),
      Formatted(u"1024.5s", u"%5.1lfs", 1024.5),
      Formatted(u"3", u"%.0f", 2.5),
      Formatted(u"003.5", u"%05.1f", 3.5),
      // Mismatched or missing arguments write nothing.
      Formatted(u"FLTP", u"FLTP%d", u"three"),
      Formatted(u"SEND", u"SEND%s", 3),
      Formatted(u"t=s", u"t=%5.1lfs", 3),
      Formatted(u"a=1 b=", u"a=%d b=%d", 1),
      Formatted(u"a= b=2", u"a=%s b=%d", 1, 2),
      Formatted(u"%x stays", u"%x stays", 5),
      Formatted(u"end %", u"end %"),
  };
  for (const Expectation& c : cases) EXPECT_EQ(c.got, c.expected);
}

template <std::size_t N>
void ExpectCutAtCapacity(const std::u16string& expected) {
  Text<N> field;
  const int written = wsprintfW(field, u"FLSZ%d", 12345);
  EXPECT_EQ(Str(field), expected) << "capacity " << N;
  EXPECT_EQ(static_cast<std::size_t>(written), expected.size());
  EXPECT_EQ(field.data()[N - 1], 0);
}

TEST(Format, TruncatesToTheDestination) {
  ExpectCutAtCapacity<1>(u"");
  ExpectCutAtCapacity<2>(u"F");
  ExpectCutAtCapacity<5>(u"FLSZ");
  ExpectCutAtCapacity<9>(u"FLSZ1234");
  ExpectCutAtCapacity<10>(u"FLSZ12345");

  // A raw array: the unit after the destination stays untouched.
  struct {
    WCHAR small[6];
    WCHAR guard = u'#';
  } buffers;
  EXPECT_EQ(wsprintfW(buffers.small, u"%5.1lfs", 3.25), 5);
  EXPECT_EQ(Str(buffers.small), u"  3.3");
  EXPECT_EQ(buffers.guard, u'#');
}

}  // namespace
