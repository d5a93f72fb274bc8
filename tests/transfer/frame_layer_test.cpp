#include "transfer/frame_layer.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_transfer_server.h"

namespace {

using murmel::test::Bytes;
using murmel::test::EncodeFrame;
using murmel::test::FakeTransferServer;
using murmel::test::SocketPair;
using murmel::test::ToBytes;
using murmel::test::ToHex;

WORD Crc(const std::string& text) {
  return FrameCrc16(reinterpret_cast<const BYTE*>(text.data()), static_cast<WORD>(text.size()));
}

Bytes Frame(std::initializer_list<int> bytes) { return Bytes(bytes.begin(), bytes.end()); }

TEST(FrameCrc16, MatchesCheckValues) {
  const struct {
    std::string input;
    WORD crc;
  } cases[] = {
      {"123456789", 0x906E},  {"abc", 0x9E25},        {"", 0x0000},           {"TROK", 0x5406},
      {{'\0', '\5'}, 0x58EA}, {{'\0', '\6'}, 0x6A71}, {{'\0', '\2'}, 0x2C55},
  };
  for (const auto& c : cases) EXPECT_EQ(Crc(c.input), c.crc) << ToHex(ToBytes(c.input));
}

TEST(FrameCrc16, RegisterOverDataAndTrailerGivesTheResidue) {
  // Running the bare register (without the final complement) over data plus its
  // little-endian CRC leaves 0xF0B8; FrameCrc16 complements it to 0x0F47.
  std::string data = "TROK";
  const WORD crc = Crc(data);
  data += static_cast<char>(crc & 0xFF);
  data += static_cast<char>(crc >> 8);
  EXPECT_EQ(Crc(data), 0x0F47);
}

TEST(FrameHeaderCheck, IsTheHighByteOfTheLengthCrc) {
  EXPECT_EQ(FrameHeaderCheck(5), 0x58);
  EXPECT_EQ(FrameHeaderCheck(6), 0x6A);
  EXPECT_EQ(FrameHeaderCheck(2), 0x2C);
}

// A message socket pair shows each send of the client as a record of its own.
TEST(SendFrame, PutsExampleFramesOnTheWireInThreeRuns) {
  const struct {
    std::string payload;
    Bytes wire;
    std::vector<std::size_t> runs;
  } cases[] = {
      {"abc", Frame({0x00, 0x05, 0x58, 0x61, 0x62, 0x63, 0x25, 0x9E}), {3, 3, 2}},
      {"TROK", Frame({0x00, 0x06, 0x6A, 0x54, 0x52, 0x4F, 0x4B, 0x06, 0x54}), {3, 4, 2}},
      // An empty payload is no send at all.
      {"", Frame({0x00, 0x02, 0x2C, 0x00, 0x00}), {3, 2}},
  };
  for (const auto& c : cases) {
    SocketPair pair(SocketPair::Kind::kMessages);
    ASSERT_EQ(SendFrame(pair.client(), reinterpret_cast<const BYTE*>(c.payload.data()),
                        static_cast<int>(c.payload.size())),
              0);
    Bytes wire;
    std::vector<std::size_t> runs;
    for (std::size_t i = 0; i < c.runs.size(); ++i) {
      const Bytes record = pair.ReadRecord();
      runs.push_back(record.size());
      wire.insert(wire.end(), record.begin(), record.end());
    }
    EXPECT_EQ(runs, c.runs) << c.payload;
    EXPECT_EQ(ToHex(wire), ToHex(c.wire)) << c.payload;
    EXPECT_TRUE(pair.ReadAvailable().empty()) << c.payload;
  }
}

TEST(SendFrame, RefusesPayloadsBeyondTheLengthField) {
  SocketPair pair;
  std::vector<BYTE> payload(FRAME_MAX_PAYLOAD + 1, 'x');
  EXPECT_EQ(SendFrame(pair.client(), payload.data(), FRAME_MAX_PAYLOAD + 1), -1);
  EXPECT_EQ(SendFrame(pair.client(), payload.data(), -1), -1);
  EXPECT_TRUE(pair.ReadAvailable().empty());
}

TEST(ReceiveFrame, DeliversPayloadWithTerminatingZero) {
  SocketPair pair;
  pair.Write(EncodeFrame("TROK"));
  BYTE buffer[1024];
  std::fill(std::begin(buffer), std::end(buffer), 0xAA);
  int capacity = 1024;
  ASSERT_EQ(ReceiveFrame(pair.client(), buffer, &capacity), 0);
  EXPECT_EQ(capacity, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "TROK");
  EXPECT_EQ(buffer[6], 0xAA) << "read beyond the frame";
}

TEST(ReceiveFrame, OversizeFrameLeavesPayloadInTheStream) {
  const Bytes payload = ToBytes("eleven byte");
  const Bytes frame = EncodeFrame(payload);  // L = 13
  SocketPair pair;
  pair.Write(frame);
  BYTE buffer[13] = {};
  int capacity = 12;
  EXPECT_EQ(ReceiveFrame(pair.client(), buffer, &capacity), -2);
  EXPECT_EQ(capacity, 13);
  // The next bytes are still the payload and its trailer.
  BYTE rest[13] = {};
  ASSERT_EQ(ReceiveBlocking(pair.client(), rest, 13), 0);
  EXPECT_EQ(Bytes(rest, rest + 13), Bytes(frame.begin() + 3, frame.end()));

  pair.Write(frame);
  capacity = 13;
  ASSERT_EQ(ReceiveFrame(pair.client(), buffer, &capacity), 0);
  EXPECT_EQ(capacity, 11);
  EXPECT_EQ(Bytes(buffer, buffer + 11), payload);
  EXPECT_EQ(buffer[11], 0);
}

TEST(ReceiveFrame, HeaderMismatchFailsBeforeReadingThePayload) {
  Bytes frame = EncodeFrame("abc");
  frame[2] ^= 0x01;
  SocketPair pair;
  pair.Write(frame);
  BYTE buffer[64];
  int capacity = 64;
  EXPECT_EQ(ReceiveFrame(pair.client(), buffer, &capacity), -1);
  EXPECT_EQ(capacity, 64);
  BYTE rest[5] = {};
  ASSERT_EQ(ReceiveBlocking(pair.client(), rest, 5), 0);
  EXPECT_EQ(Bytes(rest, rest + 5), Bytes(frame.begin() + 3, frame.end()));
}

// The length field's CRC byte would accept 0 and 1, which leave no room for a trailer.
TEST(ReceiveFrame, RefusesLengthsWithoutRoomForTheTrailer) {
  for (WORD length : {0, 1}) {
    SocketPair pair;
    pair.Write({0x00, static_cast<std::uint8_t>(length), FrameHeaderCheck(length), 0x55, 0x66});
    BYTE buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    int capacity = 4;
    EXPECT_EQ(ReceiveFrame(pair.client(), buffer, &capacity), -1) << length;
    EXPECT_EQ(capacity, 4) << length;
    EXPECT_EQ(buffer[0], 0xAA) << length;
  }
}

TEST(ReceiveFrame, AnyFlippedBitFailsAfterTheWholeFrame) {
  const Bytes good = EncodeFrame("abc");
  for (std::size_t index = 3; index < good.size(); ++index) {
    for (int bit = 0; bit < 8; ++bit) {
      Bytes bad = good;
      bad[index] ^= static_cast<std::uint8_t>(1 << bit);
      SocketPair pair;
      pair.Write(bad);
      pair.Write(EncodeFrame("TROK"));
      BYTE buffer[64];
      int capacity = 64;
      EXPECT_EQ(ReceiveFrame(pair.client(), buffer, &capacity), -1) << index << ':' << bit;
      // The bad frame was consumed whole: the next read is the next frame.
      capacity = 64;
      ASSERT_EQ(ReceiveFrame(pair.client(), buffer, &capacity), 0) << index << ':' << bit;
      EXPECT_EQ(capacity, 4);
    }
  }
}

TEST(ReceiveFrame, PeerClosingMidFrameFails) {
  const Bytes frame = EncodeFrame("TROK");
  for (std::size_t sent : {0, 2, 3, 5, 8}) {
    SocketPair pair;
    pair.Write(Bytes(frame.begin(), frame.begin() + static_cast<long>(sent)));
    pair.ClosePeer();
    BYTE buffer[64];
    int capacity = 64;
    EXPECT_EQ(ReceiveFrame(pair.client(), buffer, &capacity), -1) << sent;
  }
}

TEST(ReceiveFrame, ReadsAFrameTrickledOneByteAtATime) {
  FakeTransferServer server;
  server.Trickle(EncodeFrame("trickled payload")).WaitForClose().Start();
  WSADATA data;
  ASSERT_EQ(WSAStartup(0x0202, &data), 0);
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(server.port());
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  ASSERT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

  BYTE buffer[64];
  int capacity = 64;
  EXPECT_EQ(ReceiveFrame(s, buffer, &capacity), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "trickled payload");
  closesocket(s);
  WSACleanup();
  EXPECT_TRUE(server.Finish());
}

// A non-blocking socket with nothing to read reports WSAEWOULDBLOCK: the loop sleeps and
// tries again until the bytes come.
TEST(ReceiveFrame, RetriesWhileTheSocketWouldBlock) {
  SocketPair pair(SocketPair::Kind::kStream, /*nonblocking_client=*/true);
  const Bytes frame = EncodeFrame("late");
  std::thread writer([&] {
    for (std::uint8_t byte : frame) {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      pair.Write({byte});
    }
  });
  BYTE buffer[16];
  int capacity = 16;
  EXPECT_EQ(ReceiveFrame(pair.client(), buffer, &capacity), 0);
  writer.join();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "late");
}

// Whether the thread waits in recv now, as the kernel reports it.
bool WaitsInRecv(pid_t thread) {
  std::ifstream syscall("/proc/self/task/" + std::to_string(thread) + "/syscall");
  long number = -1;
  return (syscall >> number) && number == SYS_recvfrom;
}

// A signal that interrupts a waiting recv makes it fail with WSAEINTR; the frame layer
// tries again, as for WSAEWOULDBLOCK, instead of giving up the connection.
TEST(ReceiveFrame, RetriesWhenASignalInterruptsTheWait) {
  static std::atomic<int> caught{0};
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = [](int) { caught.fetch_add(1); };  // no SA_RESTART: recv fails
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  SocketPair pair;
  std::atomic<pid_t> readerId{0};
  std::atomic<bool> done{false};
  BYTE buffer[32];
  int capacity = 32;
  int result = 1;
  std::thread reader([&] {
    readerId = gettid();
    result = ReceiveFrame(pair.client(), buffer, &capacity);
    done = true;
  });
  int sent = 0;
  for (; sent < 3; ++sent) {
    while (!done && !WaitsInRecv(readerId))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (done) break;
    const int before = caught;
    pthread_kill(reader.native_handle(), SIGUSR1);
    while (caught == before) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  pair.Write(EncodeFrame("after three signals"));
  reader.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(sent, 3);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "after three signals");
}

TEST(SocketCalls, ClassifyOutcomes) {
  SocketPair pair(SocketPair::Kind::kStream, /*nonblocking_client=*/true);
  BYTE buffer[8] = {};
  EXPECT_EQ(ReceiveOnce(pair.client(), buffer, 8), 0) << "would block is retried";
  pair.Write({1, 2, 3});
  EXPECT_EQ(ReceiveOnce(pair.client(), buffer, 8), 3);
  EXPECT_EQ(SendOnce(pair.client(), buffer, 3), 3);
  pair.ClosePeer();
  EXPECT_EQ(ReceiveOnce(pair.client(), buffer, 8), -1) << "peer closed";
  EXPECT_EQ(SendOnce(pair.client(), buffer, 3), -1) << "peer gone";
  EXPECT_EQ(ReceiveOnce(INVALID_SOCKET, buffer, 8), -1);
  // A count of 0 never touches the socket.
  EXPECT_EQ(SendBlocking(INVALID_SOCKET, buffer, 0), 0);
  EXPECT_EQ(ReceiveBlocking(INVALID_SOCKET, buffer, 0), 0);
}

TEST(Frames, RoundTripPayloadsOfEverySize) {
  std::mt19937 random(1234);
  std::vector<int> sizes = {0, 1, 2, 3, 4, 255, 256, 1023, 1024, 1028, FRAME_MAX_PAYLOAD};
  for (int i = 0; i < 50; ++i) sizes.push_back(static_cast<int>(random() % 2000));
  for (int size : sizes) {
    SocketPair pair;
    std::vector<BYTE> payload(static_cast<std::size_t>(size));
    for (auto& byte : payload) byte = static_cast<BYTE>(random());
    std::thread sender([&] { EXPECT_EQ(SendFrame(pair.client(), payload.data(), size), 0); });
    const Bytes wire = [&] {
      Bytes all;
      while (all.size() < static_cast<std::size_t>(size) + 5) {
        const Bytes part = pair.ReadRecord();
        if (part.empty()) break;
        all.insert(all.end(), part.begin(), part.end());
      }
      return all;
    }();
    sender.join();
    EXPECT_EQ(wire, EncodeFrame(Bytes(payload.begin(), payload.end()))) << size;

    pair.Write(wire);
    std::vector<BYTE> buffer(static_cast<std::size_t>(size) + 2);
    int capacity = size + 2;
    ASSERT_EQ(ReceiveFrame(pair.client(), buffer.data(), &capacity), 0) << size;
    EXPECT_EQ(capacity, size);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), buffer.begin())) << size;
  }
}

}  // namespace
