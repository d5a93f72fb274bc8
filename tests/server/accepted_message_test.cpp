// What a client sent, kept until its e-mail is composed: read back exactly, whether its
// uploads stayed in memory or went to a spool file, and a damaged file refused.
#include "server/accepted_message.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.h"

namespace murmel::server {
namespace {

namespace fs = std::filesystem;

TEST(AcceptedMessage, ReadsBackWhatWasSavedFromMemoryOrSpoolFile) {
  murmel::test::TempDir folder;
  for (const std::size_t voiceBytes : {std::size_t{100}, SpoolFile::kKeptInMemory * 3}) {
    SCOPED_TRACE(voiceBytes);
    AcceptedMessage saved{{}, 1700000000, "2001:db8::7"};
    Message& message = saved.message;
    message.sender = {"Ann \"A\" 100%", "ann@example.org"};
    message.recipients = {"bob@example.org", "carol@example.org"};
    message.subject = "Grüße\x7f";
    message.spool = std::make_shared<SpoolFile>(folder.path());
    const std::vector<std::uint8_t> voice(voiceBytes, 0x5A), file = {'\n', 0, '%'};
    message.uploads.push_back({kUploadVoice, "", 0, 0});
    ASSERT_TRUE(message.Append(voice).ok);
    message.uploads.push_back({kUploadFile, "a b\nc.txt", voiceBytes, 0});
    ASSERT_TRUE(message.Append(file).ok);

    const fs::path path = fs::path(folder.path()) / std::to_string(voiceBytes);
    ASSERT_TRUE(SaveAccepted(saved, path, true).ok);
    EXPECT_FALSE(SaveAccepted(saved, path, false).ok);  // never over another
    std::string why;
    const auto loaded = LoadAccepted(path, why);
    ASSERT_TRUE(loaded) << why;
    EXPECT_EQ(loaded->received, saved.received);
    EXPECT_EQ(loaded->clientAddress, saved.clientAddress);
    const Message& back = loaded->message;
    EXPECT_EQ(back.sender.name, message.sender.name);
    EXPECT_EQ(back.sender.address, message.sender.address);
    EXPECT_EQ(back.recipients, message.recipients);
    EXPECT_EQ(back.subject, message.subject);
    EXPECT_EQ(back.codePage(), 1252U);
    ASSERT_EQ(back.uploads.size(), 2U);
    EXPECT_EQ(back.uploads[1].fileName, "a b\nc.txt");
    EXPECT_EQ(back.Bytes(back.uploads[0]), voice);
    EXPECT_EQ(back.Bytes(back.uploads[1]), file);
  }
}

TEST(AcceptedMessage, RefusesADamagedEnvelope) {
  const std::string head = "murmelpost accepted message 1\n";
  const std::string sender = "received 1\nsender-address a@b.c\n";
  const std::pair<std::string, const char*> cases[] = {
      {"something else\n" + sender, "not an accepted message"},
      {head + "received 1\n", "without its sender"},
      {head + sender + "upload 0 0 11\n", "bad envelope line"},    // no file name field
      {head + sender + "upload 0 5 6 x\n", "bad envelope line"},   // beyond the uploads
      {head + sender + "upload 0 -1 2 x\n", "bad envelope line"},  // not a number
      {head + sender + "subject 50%\n", "bad envelope line"},      // a cut escape
      {head + sender + "colour blue\n", "bad envelope line"},
      {head + sender + "subject x", "without its end"},
  };
  for (const auto& [envelope, why] : cases) {
    SCOPED_TRACE(envelope);
    std::string reason;
    EXPECT_FALSE(ParseAcceptedTrailer(envelope, 10, reason));
    EXPECT_NE(reason.find(why), std::string::npos) << reason;
  }

  murmel::test::TempDir folder;
  const fs::path path = fs::path(folder.path()) / "cut";
  std::ofstream(path) << "uploads" << head << sender << "envelope 0000000000000000999";
  std::string reason;
  EXPECT_FALSE(LoadAccepted(path, reason));
  EXPECT_EQ(reason, "no envelope at its end");
}

}  // namespace
}  // namespace murmel::server
