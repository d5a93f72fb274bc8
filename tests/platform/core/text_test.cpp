#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

std::u16string Str(const WCHAR* text) { return text; }

// A field keeps at most N - 1 characters and its last slot is always the NUL, whatever it
// is given, whether constructed or assigned.
template <std::size_t N>
void ExpectTruncatesAtCapacity() {
  const std::u16string source = u"abcdefgh";
  for (std::size_t input_length = 0; input_length <= source.size(); ++input_length) {
    const std::u16string input = source.substr(0, input_length);
    const std::u16string expected = input.substr(0, N - 1);
    Text<N> constructed(input.c_str());
    Text<N> assigned;
    assigned = input.c_str();
    for (const Text<N>* field : {&constructed, &assigned}) {
      SCOPED_TRACE(testing::Message() << "capacity " << N << ", input length " << input_length);
      EXPECT_EQ(Str(field->data()), expected);
      EXPECT_EQ(field->length(), expected.size());
      EXPECT_EQ(field->data()[N - 1], 0);
      EXPECT_EQ(field->empty(), expected.empty());
    }
  }
}

TEST(TextField, TruncatesAtEveryCapacityClearsCopiesAndAssignsFromItsOwnTail) {
  ExpectTruncatesAtCapacity<1>();
  ExpectTruncatesAtCapacity<5>();
  Text<8> field(u"hello");
  field = static_cast<const WCHAR*>(nullptr);
  EXPECT_TRUE(field.empty());
  field = u"abcdef";
  field = field.data() + 2;
  EXPECT_EQ(Str(field), u"cdef");
  field.clear();
  EXPECT_EQ(field.length(), 0u);
  const Text<16> longer(u"0123456789");
  Text<4> shorter = longer;
  EXPECT_EQ(Str(shorter), u"012");
  Text<16> back;
  back = shorter;
  EXPECT_EQ(Str(back), u"012");
}

// lstrcpynW copies at most one less than its limit and always terminates.
TEST(StringFunctions, LstrcpynCutsAndTerminates) {
  WCHAR buffer[10];
  for (const auto& [limit, expected] :
       {std::pair{5, u"abcd"}, std::pair{1, u""}, std::pair{9, u"abcdef"}}) {
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    lstrcpynW(buffer, u"abcdef", limit);
    EXPECT_EQ(Str(buffer), expected) << "limit " << limit;
    EXPECT_EQ(buffer[Str(expected).size() + 1], u'#') << "wrote past the NUL";
  }
  buffer[0] = u'#';
  lstrcpynW(buffer, u"abc", 0);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(lstrlenW(nullptr), 0);
}

// Exact comparison orders by code unit; the case-insensitive one folds letters to lower
// case first.
TEST(StringFunctions, CompareExactlyOrFoldingCase) {
  struct Case {
    bool fold;
    const WCHAR *a, *b;
    int sign;
  };
  for (const Case& c : {
           Case{false, u"abc", u"abc", 0}, Case{false, u"abc", u"abd", -1},
           Case{false, u"b", u"a", 1}, Case{false, u"ab", u"abc", -1}, Case{false, u"a", u"A", 1},
           Case{false, u"\uffff", u"a", 1}, Case{true, u"Jane@Example.COM", u"jane@example.com", 0},
           Case{true, u"\u00d6sterreich", u"\u00f6STERREICH", 0},  // Latin-1 letters
           Case{true, u"apple", u"Banana", -1}, Case{true, u"Zebra", u"apple", 1},
           Case{true, u"abc", u"ABCD", -1},
           Case{true, u"A", u"_", 1},  // letters fold to lower case, which sorts after '_'
       }) {
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.a)));
    EXPECT_EQ(sign(c.fold ? lstrcmpiW(c.a, c.b) : wcscmp(c.a, c.b)), c.sign);
  }
  EXPECT_EQ(_wcsnicmp(u"United States", u"UNITED", 6), 0);
  EXPECT_NE(_wcsnicmp(u"United States", u"UNITED K", 8), 0);
}

struct Expectation {
  std::u16string expected, got;
};

template <typename... Args>
Expectation Formatted(std::u16string expected, const WCHAR* format, const Args&... args) {
  WCHAR out[64];
  const int written = wsprintfW(out, format, args...);
  EXPECT_EQ(static_cast<std::size_t>(written), wcslen(out));
  return {std::move(expected), out};
}

TEST(Format, TheClientsConversionsAndMismatchedArguments) {
  const Expectation cases[] = {
      Formatted(u"HELLCEMurmelpost _DEF:2.80.1234", u"HELLCEMurmelpost %s:%s", u"_DEF",
                Text<16>(u"2.80.1234")),
      Formatted(u"100%", u"%d%%", 100),
      Formatted(u"count=-42\r\n", u"count=%d\r\n", -42L),
      Formatted(u"(7 addresses)", u"(%d addresses)", std::size_t{7}),
      Formatted(u"-1", u"%d", DWORD{0xFFFFFFFF}),
      Formatted(u"(null)", u"%s", static_cast<const WCHAR*>(nullptr)),
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
      // Mismatched or missing arguments write nothing.
      Formatted(u"FLTP", u"FLTP%d", u"three"),
      Formatted(u"SEND", u"SEND%s", 3),
      Formatted(u"t=s", u"t=%5.1lfs", 3),
      Formatted(u"a=1 b=", u"a=%d b=%d", 1),
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
  ExpectCutAtCapacity<5>(u"FLSZ");
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
