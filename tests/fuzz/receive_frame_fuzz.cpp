// ReceiveFrame over arbitrary streams: the first two bytes choose the caller's capacity,
// the rest is what the peer sends before it closes. Frames are read until one fails.
#include <cstdlib>
#include <vector>

#include "tests/support/fake_transfer_server.h"
#include "transfer/frame_layer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The peer writes everything before the client reads: stay within the socket buffer.
  if (size < 2 || size > 60000) return 0;
  const int capacity = data[0] | (data[1] << 8);

  murmel::test::SocketPair pair;
  pair.Write(murmel::test::Bytes(data + 2, data + size));
  pair.ClosePeer();

  // Exactly the capacity, so any write beyond it is caught.
  std::vector<BYTE> buffer(static_cast<std::size_t>(capacity));
  for (;;) {
    int length = capacity;
    const int result = ReceiveFrame(pair.client(), buffer.data(), &length);
    if (result == -1) return 0;
    if (result == -2) {
      if (length <= capacity || length < 2) std::abort();
      return 0;
    }
    if (result != 0 || length < 0 || length > capacity - 2) std::abort();
    if (buffer[static_cast<std::size_t>(length)] != 0) std::abort();
  }
}
