#include "transfer/frame_layer.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
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
using murmel::test::SocketPair;

WORD Crc(const std::string& text) {
  return FrameCrc16(reinterpret_cast<const BYTE*>(text.data()), static_cast<WORD>(text.size()));
}

// The catalogue's check value, and the header check of a five-byte frame.
TEST(FrameCrc16, MatchesCheckValues) {
  EXPECT_EQ(Crc("123456789"), 0x906E);
  EXPECT_EQ(Crc({'\0', '\5'}), 0x58EA);
}

// What ReceiveFrame made of `wire` with a buffer of `capacity` bytes, and what it left.
struct Received {
  int result;
  int capacity;
  Bytes buffer;  // filled with 0xAA before the call
  Bytes left;    // what the stream still held
};

Received Receive(const Bytes& wire, int capacity) {
  SocketPair pair;
  pair.Write(wire);
  pair.ClosePeer();
  Received got{0, capacity, Bytes(static_cast<std::size_t>(capacity) + 2, 0xAA), {}};
  got.result = ReceiveFrame(pair.client(), got.buffer.data(), &got.capacity);
  BYTE byte = 0;
  while (ReceiveBlocking(pair.client(), &byte, 1) == 0) got.left.push_back(byte);
  return got;
}

// A frame is taken whole, its payload followed by a zero, or refused before its payload
// is read: too large for the buffer (the length is reported), a header check that does not
// match, or a length with no room for the trailer (the header check would accept it).
// A peer that closes mid-frame fails it.
TEST(ReceiveFrame, TakesWholeFramesAndRefusesBadHeadersBeforeThePayload) {
  const Bytes eleven = EncodeFrame("eleven byte");  // L = 13
  Bytes badCheck = EncodeFrame("abc");
  badCheck[2] ^= 0x01;
  Bytes badTrailer = EncodeFrame("abc");
  badTrailer[7] ^= 0x80;
  const struct {
    const char* what;
    Bytes wire;
    int capacity;
    int result;
    int capacityAfter;
    std::size_t left;  // bytes of the wire still unread
  } cases[] = {
      {"fits", EncodeFrame("TROK"), 1024, 0, 4, 0},
      {"fits exactly", eleven, 13, 0, 11, 0},
      {"one byte too large", eleven, 12, -2, 13, 13},
      {"header check", badCheck, 64, -1, 64, 5},
      {"length 1", {0x00, 0x01, FrameHeaderCheck(1), 0x55, 0x66}, 4, -1, 4, 2},
      // A frame that fails its check is still consumed whole.
      {"trailer bit", badTrailer, 64, -1, 64, 0},
      {"closed in the header", Bytes(eleven.begin(), eleven.begin() + 2), 64, -1, 64, 0},
      {"closed in the trailer", Bytes(eleven.begin(), eleven.end() - 1), 64, -1, 64, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Received got = Receive(c.wire, c.capacity);
    EXPECT_EQ(got.result, c.result);
    EXPECT_EQ(got.capacity, c.capacityAfter);
    EXPECT_EQ(got.left, Bytes(c.wire.end() - static_cast<std::ptrdiff_t>(c.left), c.wire.end()));
    if (c.result == 0) {
      const auto payload = c.wire.begin() + 3;
      const auto size = static_cast<std::size_t>(c.capacityAfter);
      EXPECT_EQ(Bytes(got.buffer.begin(), got.buffer.begin() + c.capacityAfter),
                Bytes(payload, payload + c.capacityAfter));
      EXPECT_EQ(got.buffer[size], 0);
      EXPECT_EQ(got.buffer[size + 2], 0xAA) << "read beyond the frame";
    } else if (c.left != 0) {
      EXPECT_EQ(got.buffer[0], 0xAA);
    }
  }
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
  BYTE buffer[32];
  int capacity = 32;
  int result = 1;
  std::thread reader([&] {
    readerId = gettid();
    result = ReceiveFrame(pair.client(), buffer, &capacity);
  });
  while (readerId == 0 || !WaitsInRecv(readerId)) std::this_thread::yield();
  pthread_kill(reader.native_handle(), SIGUSR1);
  while (caught == 0) std::this_thread::yield();
  pair.Write(EncodeFrame("after a signal"));
  reader.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "after a signal");
}

// Lengths past one byte and the largest frame, both ways.
TEST(Frames, RoundTripPayloadsOfEverySize) {
  std::mt19937 random(1234);
  std::vector<int> sizes = {0, 1, 255, 256, 1024, FRAME_MAX_PAYLOAD};
  for (int i = 0; i < 10; ++i) sizes.push_back(static_cast<int>(random() % 2000));
  for (int size : sizes) {
    SocketPair pair;
    Bytes payload(static_cast<std::size_t>(size));
    for (auto& byte : payload) byte = static_cast<BYTE>(random());
    ASSERT_EQ(SendFrame(pair.client(), payload.data(), size), 0);
    const Bytes wire = pair.ReadAvailable();
    EXPECT_EQ(wire, EncodeFrame(payload)) << size;

    pair.Write(wire);
    Bytes buffer(static_cast<std::size_t>(size) + 2);
    int capacity = size + 2;
    ASSERT_EQ(ReceiveFrame(pair.client(), buffer.data(), &capacity), 0) << size;
    buffer.resize(static_cast<std::size_t>(capacity));
    EXPECT_EQ(buffer, payload);
  }
}

}  // namespace
