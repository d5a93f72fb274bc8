#include "audio/wav_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

namespace {

using Header = std::array<BYTE, WAV_HEADER_SIZE>;

DWORD BigEndian32At(const Header& h, int offset) {
  return (DWORD{h[offset]} << 24) | (DWORD{h[offset + 1]} << 16) | (DWORD{h[offset + 2]} << 8) |
         DWORD{h[offset + 3]};
}

TEST(WavHeaderTest, OneChunkGivesTheReferenceBytesAndNothingPastThem) {
  const Header expected = {0x52, 0x49, 0x46, 0x46, 0x00, 0x00, 0x02, 0x3C, 0x57, 0x41, 0x56, 0x45,
                           0x66, 0x6D, 0x74, 0x20, 0x00, 0x00, 0x00, 0x14, 0x00, 0x31, 0x00, 0x01,
                           0x00, 0x00, 0x1F, 0x40, 0x00, 0x00, 0x06, 0x59, 0x00, 0x41, 0x00, 0x00,
                           0x00, 0x02, 0x01, 0x40, 0x66, 0x61, 0x63, 0x74, 0x00, 0x00, 0x00, 0x04,
                           0x00, 0x00, 0x0A, 0x00, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x02, 0x08};
  // The chunks follow directly: a pad byte or an overrun would corrupt the first block.
  std::vector<BYTE> image(WAV_HEADER_SIZE + 4, 0xEE);
  WriteWavHeader(image.data(), 5120);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.begin()));
  EXPECT_EQ(std::vector<BYTE>(image.begin() + WAV_HEADER_SIZE, image.end()),
            std::vector<BYTE>(4, 0xEE));
}

TEST(WavHeaderTest, SizesFollowTheRecordedLength) {
  const struct {
    LONG pcmBytes;
    DWORD riffSize;
    DWORD sampleCount;
    DWORD dataSize;
  } cases[] = {
      {0, 52, 0, 0},                      // nothing recorded
      {640, 118, 320, 65},                // one block: odd data, RIFF counts the pad
      {642, 182, 640, 130},               // 321 samples round up to two blocks
      {5120, 572, 2560, 520},             // one chunk
      {1024000, 104052, 512000, 104000},  // the recording limit, 200 chunks
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pcmBytes);
    Header h;
    h.fill(0xEE);
    WriteWavHeader(h.data(), c.pcmBytes);
    EXPECT_EQ(BigEndian32At(h, 4), c.riffSize);
    EXPECT_EQ(BigEndian32At(h, 48), c.sampleCount);
    EXPECT_EQ(BigEndian32At(h, 56), c.dataSize);
  }
}

}  // namespace
