#include "transfer/picture_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "session_test_support.h"
#include "transfer/command_exchange.h"

namespace {

using namespace session_test;

// The envelope carries only the sender.
const std::vector<Bytes> kEnvelope = {ToBytes(kGreeting), kAnyLocale,
                                      ToBytes("SEND\"Ann Example\" <ann@example.com>"),
                                      ToBytes("RECI"), ToBytes("TITL")};
const char16_t kSender[] = u"\"Ann Example\" <ann@example.com>";

class PictureSessionTest : public SessionTest {
 protected:
  // Registers the picture at `file` (mode 1) or clears it (mode 0).
  static int Register(const std::string& file, int mode = 1) {
    return RunCustomPictureSession(kSender, Wide(file).c_str(), mode);
  }
};

// Clearing, an empty file and pictures around the frame size, each with its frames.
TEST_F(PictureSessionTest, PictureGoesInFramesOfAtMost1024BytesWithoutAName) {
  const struct {
    int mode;
    std::size_t size;
    std::vector<std::size_t> frames;
  } cases[] = {
      {0, 0, {}}, {1, 0, {}}, {1, 1024, {1024}}, {1, 1025, {1024, 1}}, {1, 2048, {1024, 1024}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.size);
    const Bytes picture = Pattern(c.size, 9);
    WriteFile("me.jpg", picture);
    FakeTransferServer server;
    Script(server, std::vector<Bytes>(kEnvelope.size() + 3 + c.frames.size(), ToBytes("TROK")));

    EXPECT_EQ(Serve(server, [&] { return Register(dir_ / "me.jpg", c.mode); }), 1);
    std::vector<Bytes> expected = {ToBytes("FLSZ" + std::to_string(c.size)), ToBytes("FLTP4")};
    for (const Bytes& frame : DataFrames(picture, c.frames)) expected.push_back(frame);
    expected.push_back(ToBytes("FINI"));
    EXPECT_EQ(AfterEnvelope(server, kEnvelope), expected);
    EXPECT_TRUE(server.raw().empty());
  }
  // The session is silent: it shows no progress.
  EXPECT_TRUE(progressShown.empty());
}

// A refused step, a vanished file or a file that shrank after "FLSZ" end the session
// with nothing more sent. A cancelled send leaves its flag set: a later large picture fails
// at its first frame, while a picture of one frame still goes (the last frame has no
// cancel test).
TEST_F(PictureSessionTest, PictureSessionStopsAtTheFirstProblem) {
  const struct {
    const char* what;
    std::size_t accepted;  // frames answered "TROK" before the refusal or the close
    bool refuse;
    std::size_t frames_sent;
    int result = 0;
    bool remove_file = false;
    bool shrink_file = false;
    std::size_t size = 2048;
    bool cancelled = false;
  } cases[] = {
      {"RECI refused", 3, true, 4},
      {"FLTP refused", 6, true, 7},
      {"FINI refused", 9, true, 10},
      // noticed only after the envelope: no "FLSZ" goes out
      {"file vanished", 5, false, 5, 0, true},
      // "FLSZ2048" was announced; the second frame's bytes are no longer there
      {"file shrank", 8, false, 8, 0, false, true},
      {"one frame after a cancel", 9, false, 9, 1, false, false, 1024, true},
      {"two frames after a cancel", 8, false, 8, 0, false, false, 2048, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    appState.cancelRequested = c.cancelled ? 1 : 0;
    const std::string file = dir_ / "me.gif";
    WriteFile("me.gif", Pattern(c.size));
    if (c.remove_file) std::filesystem::remove(file);
    FakeTransferServer server;
    server.SendFrame("TROK");
    for (std::size_t i = 0; i < c.accepted; ++i) {
      // Shrinks the file once "FLTP" is in, before any picture byte is read.
      if (c.shrink_file && i == kEnvelope.size() + 1) {
        server.Run([file] { std::filesystem::resize_file(file, 1500); });
      }
      server.Reply("TROK");
    }
    if (c.refuse) server.Reply("FAIL");
    server.AnswerEveryFrame("TROK");  // whatever a faulty client sends next

    EXPECT_EQ(Serve(server, [&] { return Register(file); }), c.result);
    EXPECT_EQ(server.frames().size(), c.frames_sent);
    EXPECT_EQ(server.answered(), 0);
  }
}

}  // namespace
