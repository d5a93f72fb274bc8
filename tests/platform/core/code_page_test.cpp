#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

// Sizes first, then converts: both calls must agree.
std::string Encode(UINT code_page, const std::u16string& text) {
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(code_page, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  EXPECT_EQ(
      WideCharToMultiByte(code_page, 0, text.data(), length, out.data(), size, nullptr, nullptr),
      size);
  return out;
}

std::u16string Decode(UINT code_page, const std::string& bytes) {
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(code_page, 0, bytes.data(), length, nullptr, 0);
  std::u16string out(static_cast<std::size_t>(size), u'\0');
  EXPECT_EQ(MultiByteToWideChar(code_page, 0, bytes.data(), length, out.data(), size), size);
  return out;
}

TEST(CodePage, EncodesAndReplacesWhatTheCodePageCannotHold) {
  struct Case {
    UINT code_page;
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {1252, u"Gr\u00fc\u00dfe \u20ac", "Gr\xfc\xdf\x65 \x80"},
      {1252, u"\u65e5\u672c", "??"},   // Japanese into Western
      {1252, u"a\U0001F600b", "a?b"},  // a pair is one character
      {1252, u"x\xdc00y", "x?y"},      // lone low surrogate
      {1252, u"x\xd800", "x?"},        // lone high surrogate at the end
      {1252, u"\u0081\u008d\u008f\u0090\u009d", "\x81\x8d\x8f\x90\x9d"},
      {932, u"\u65e5\u672c\u8a9e", "\x93\xfa\x96\x7b\x8c\xea"},
      {932, u"\\\uff71\u2460", "\x5c\xb1\x87\x40"},  // backslash stays, NEC row
      {CP_UTF8, u"\u00e9\U0001F600", "\xc3\xa9\xf0\x9f\x98\x80"},
      {CP_UTF8, u"a\xd800\x62", "a\xef\xbf\xbd\x62"},  // 0x62: b
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code page " << c.code_page << ", " << c.bytes);
    EXPECT_EQ(Encode(c.code_page, c.text), c.bytes);
  }
}

TEST(CodePage, DecodesIncludingTheFiveWesternControlBytes) {
  struct Case {
    UINT code_page;
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {1252, "\x80\x81\x8d\x8f\x90\x9d\xff", u"\u20ac\u0081\u008d\u008f\u0090\u009d\u00ff"},
      {932, "\x93\xfa\x96\x7b\x5c\xb1", u"\u65e5\u672c\\\uff71"},
      {932, "ab\x93", u"ab?"},  // a lead byte with nothing after it
      // Vietnamese composes a base letter with a following tone mark, so the converter
      // holds each letter back; the last one must still come out.
      {1258, "Vi\xea\xf2t", u"Vi\u1ec7t"},
      {1258, "t\xea", u"t\u00ea"},
      {CP_UTF8, "a\xff\x62\xe2\x82", u"a\ufffdb\ufffd"},
      {CP_UTF8, "\xed\xa0\x80", u"\ufffd\ufffd\ufffd"},  // an encoded surrogate is not text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code page " << c.code_page << ", " << c.bytes);
    EXPECT_EQ(Decode(c.code_page, c.bytes), c.text);
  }
}

TEST(CodePage, MinusOneCountsTheTerminatingNul) {
  EXPECT_EQ(WideCharToMultiByte(932, 0, u"\u65e5\u672c", -1, nullptr, 0, nullptr, nullptr), 5);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"", -1, nullptr, 0, nullptr, nullptr), 1);
  char out[16];
  std::fill(std::begin(out), std::end(out), '#');
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"TYPE", -1, out, sizeof out, nullptr, nullptr), 5);
  EXPECT_EQ(std::string(out, 6), std::string("TYPE\0#", 6));
  WCHAR wide[16];
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "TROK", -1, wide, 16), 5);
  EXPECT_EQ(std::u16string(wide), u"TROK");
}

TEST(CodePage, TooSmallBufferFailsAfterWritingWholeCharacters) {
  struct Case {
    UINT code_page;
    std::u16string text;
    int capacity;
    std::string written;
  };
  const Case cases[] = {
      {1252, u"abcdef", 3, "abc"},
      {1252, u"abc", 3, "abc"},  // no room left for the NUL that -1 asks for
      {932, u"\u65e5\u672c\u8a9e", 3, "\x93\xfa"},
      {936, u"\u4e2d\u6587", 3, "\xd6\xd0"},  // the other double-byte lead-byte rule
      {CP_UTF8, u"\u00e9\u00e9", 3, "\xc3\xa9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code page " << c.code_page << ", " << c.capacity);
    std::string out(8, '#');
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(c.code_page, 0, c.text.c_str(), -1, out.data(), c.capacity,
                                  nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    // Nothing after the whole characters: no half of a double-byte character, no overrun.
    EXPECT_EQ(out, c.written + std::string(8 - c.written.size(), '#'));
  }
  WCHAR wide[3] = {u'#', u'#', u'#'};
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, wide, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(wide[2], u'#');
}

// The send thread and the picture thread convert at the same time through pooled converters.
TEST(CodePage, ConvertsOnSeveralThreadsAtOnce) {
  const std::u16string texts[] = {u"\u65e5\u672c\u8a9e\U0001F600\u00e9", u"Gr\u00fc\u00dfe \u20ac"};
  const std::string expected[] = {"\x93\xfa\x96\x7b\x8c\xea??", "Gr\xfc\xdf\x65 \x80"};
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < wrong.size(); ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < 200; ++round) {
        wrong[i] += Encode(i % 2 == 0 ? 932 : 1252, texts[i % 2]) != expected[i % 2];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
