#include "server/voice_wav.h"

#include <gtest/gtest.h>

#include <tuple>

#include "audio/wav_header.h"
#include "scripted_client.h"

namespace murmel::server {
namespace {

using server_test::Bytes;

std::uint32_t Little32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t Little16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

Bytes VoiceImage(int chunks) {
  Bytes image(60);
  WriteWavHeader(image.data(), chunks * 5120);
  for (int i = 0; i < chunks * 520; ++i) image.push_back(static_cast<std::uint8_t>(i * 7));
  return image;
}

TEST(VoiceWav, BigEndianImageBecomesAStandardLittleEndianWav) {
  const Bytes image = VoiceImage(2);
  const auto wav = VoiceImageToWav(image);
  ASSERT_TRUE(wav.has_value());
  ASSERT_EQ(wav->size(), image.size());
  const std::string id(wav->begin(), wav->begin() + 4);
  EXPECT_EQ(id, "RIFF");
  // Offset, width and value of each field: GSM 6.10, mono, 8 kHz, 65-byte blocks of 320.
  const std::tuple<std::size_t, int, std::uint32_t> fields[] = {
      {4, 4, 1040 + 52}, {16, 4, 20}, {20, 2, 49},  {22, 2, 1},        {24, 4, 8000},
      {28, 4, 1625},     {32, 2, 65}, {38, 2, 320}, {48, 4, 16 * 320}, {56, 4, 1040}};
  for (const auto& [at, width, value] : fields) {
    EXPECT_EQ(width == 4 ? Little32(*wav, at) : Little16(*wav, at), value) << "offset " << at;
  }
  EXPECT_TRUE(std::equal(image.begin() + 60, image.end(), wav->begin() + 60));
}

TEST(VoiceWav, DataSizeFollowsTheBytesReceivedInWholeBlocks) {
  Bytes image = VoiceImage(1);
  image.resize(60 + 65 * 3 + 10);  // a cut-off upload: three whole blocks and a piece
  const auto wav = VoiceImageToWav(image);
  ASSERT_TRUE(wav.has_value());
  EXPECT_EQ(Little32(*wav, 56), 195u);
  EXPECT_EQ(Little32(*wav, 48), 960u);
  EXPECT_EQ(Little32(*wav, 4), 196u + 52);  // odd data is padded
  EXPECT_EQ(wav->size(), 60u + 196);
  EXPECT_EQ(wav->back(), 0);
  EXPECT_EQ(VoiceImageMilliseconds(image, image.size()), 120u);  // 40 ms a block
  EXPECT_EQ(VoiceImageMilliseconds(image, 60 + 65 * 1050), 42000u);

  const auto empty = VoiceImageToWav(VoiceImage(0));
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->size(), 60u);
}

TEST(VoiceWav, RefusesWhatIsNotAGsmVoiceImage) {
  const Bytes good = VoiceImage(1);
  const std::tuple<const char*, std::size_t, std::uint8_t> damaged[] = {
      {"RIFF id", 0, 'X'}, {"WAVE id", 8, 'X'},       {"format tag", 21, 1},
      {"channels", 23, 2}, {"sample rate", 26, 0x2F}, {"block align", 33, 64},
      {"data id", 52, 'X'}};
  for (const auto& [name, offset, value] : damaged) {
    Bytes image = good;
    image[offset] = value;
    EXPECT_FALSE(VoiceImageToWav(image).has_value()) << name;
    EXPECT_FALSE(VoiceImageMilliseconds(image, image.size()).has_value()) << name;
  }
  // A little-endian header, as a careless client might send, is not taken for one.
  Bytes little = good;
  std::swap(little[20], little[21]);
  EXPECT_FALSE(VoiceImageToWav(little).has_value());
  EXPECT_FALSE(VoiceImageToWav(Bytes(good.begin(), good.begin() + 59)).has_value());
}

}  // namespace
}  // namespace murmel::server
