#include "server/frame_codec.h"

#include <gtest/gtest.h>

#include "scripted_client.h"

namespace murmel::server {
namespace {

using server_test::B;
using server_test::Bytes;

TEST(FrameCodec, EncodesTheWorkedExamplesByteForByte) {
  EXPECT_EQ(EncodeFrame(B("abc")), (Bytes{0x00, 0x05, 0x58, 0x61, 0x62, 0x63, 0x25, 0x9E}));
  EXPECT_EQ(EncodeFrame(B("TROK")), (Bytes{0x00, 0x06, 0x6A, 0x54, 0x52, 0x4F, 0x4B, 0x06, 0x54}));
  EXPECT_EQ(EncodeFrame({}), (Bytes{0x00, 0x02, 0x2C, 0x00, 0x00}));
}

TEST(FrameCodec, HeaderChecksRefuseWhatCannotBeAFrame) {
  // Name, length field, largest payload taken, the verdict.
  const std::tuple<const char*, WORD, std::size_t, FrameError> cases[] = {
      {"abc", 5, 1024, FrameError::None},
      {"empty payload", 2, 1024, FrameError::None},
      {"length 1 has no trailer", 1, 1024, FrameError::NoTrailer},
      {"payload exactly at the limit", 0x406, 1028, FrameError::None},
      {"payload one over the limit", 0x407, 1028, FrameError::TooLarge},
      {"largest length", 0xFFFF, 65533, FrameError::None},
  };
  for (const auto& [name, length, maxPayload, expected] : cases) {
    SCOPED_TRACE(name);
    const auto high = static_cast<std::uint8_t>(length >> 8);
    const auto low = static_cast<std::uint8_t>(length & 0xFF);
    std::size_t body = 0;
    const std::uint8_t header[3] = {high, low, FrameHeaderCheck(length)};
    EXPECT_EQ(ParseFrameHeader(header, maxPayload, body), expected);
    EXPECT_TRUE(expected != FrameError::None || body == length) << body;
    const std::uint8_t offByOne[3] = {high, low, static_cast<std::uint8_t>(header[2] + 1)};
    EXPECT_EQ(ParseFrameHeader(offByOne, maxPayload, body), FrameError::BadHeaderCheck);
  }
}

TEST(FrameCodec, EveryFlippedBitOfPayloadOrTrailerFailsTheCrc) {
  const Bytes frame = EncodeFrame(B("FLBGsome voice bytes"));
  const Bytes body(frame.begin() + 3, frame.end());
  ASSERT_EQ(CheckFrameBody(body), FrameError::None);
  for (std::size_t bit = 0; bit < body.size() * 8; ++bit) {
    Bytes damaged = body;
    damaged[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    EXPECT_EQ(CheckFrameBody(damaged), FrameError::BadCrc) << "bit " << bit;
  }
}

}  // namespace
}  // namespace murmel::server
