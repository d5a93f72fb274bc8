// The dialogue rules without sockets: which payload sequences a server goes along with,
// and which one ends the connection.
#include "server/session.h"

#include <gtest/gtest.h>

#include "scripted_client.h"

namespace murmel::server {
namespace {

using server_test::B;
using server_test::Bytes;

// Where every session here spools its uploads.
const std::filesystem::path& Spool() {
  static const murmel::test::TempDir folder;
  static const std::filesystem::path path = folder.path();
  return path;
}

Bytes Data(const char* word, std::size_t count, std::uint8_t fill = 0x5A) {
  Bytes frame = B(word);
  frame.insert(frame.end(), count, fill);
  return frame;
}

const std::vector<Bytes> kEnvelope = {
    B("HELLCEMurmelpost _DEF:2.80.1234"), server_test::LocaleRecord(), B("TYPE_DEF"),
    B("SEND\"Ann\" <ann@example.org>"),   B("RECIbob@example.org"),    B("TITLHi")};
const std::vector<Bytes> kPicture = {kEnvelope[0], kEnvelope[1], kEnvelope[3], B("RECI"),
                                     B("TITL")};

// Runs the payloads; returns the index of the first one not answered with plain "TROK"
// (a Finish counts as accepted), or -1 when all were.
int FirstRefused(Session& session, const std::vector<Bytes>& payloads) {
  for (std::size_t i = 0; i < payloads.size(); ++i) {
    const Decision decision = session.Handle(payloads[i]);
    if (decision.kind == Decision::Kind::Refuse) {
      EXPECT_EQ(decision.reply, B("NOOK"));
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::vector<Bytes> After(std::vector<Bytes> prefix, std::initializer_list<Bytes> rest) {
  prefix.insert(prefix.end(), rest.begin(), rest.end());
  return prefix;
}

TEST(Session, ClientSequencesAreAcceptedAndTheMessageIsKept) {
  Limits limits;
  Session session(limits, Spool());
  const auto payloads =
      After(kEnvelope, {B("FLSZ5"), B("FLTP1"), B("FLBGHello"), B("FLSZ1025"), B("FLTP10"),
                        B("FLNMnotes.txt"), Data("FLBG", 1024), Data("FLCN", 1, 0x21), B("FLSZ0"),
                        B("FLTP0"), B("FLBG"), B("CHCK_DEF2.80.1234")});
  EXPECT_EQ(FirstRefused(session, payloads), -1);
  const Decision finish = session.Handle(B("FINI"));
  EXPECT_EQ(finish.kind, Decision::Kind::Finish);
  EXPECT_EQ(finish.reply, B("TROK"));

  const Message& message = session.message();
  EXPECT_EQ(message.sender.name + " " + message.sender.address, "Ann ann@example.org");
  EXPECT_EQ(message.recipients, std::vector<std::string>{"bob@example.org"});
  EXPECT_EQ(message.subject, "Hi");
  ASSERT_TRUE(message.locale.has_value());
  const LocaleRecord& locale = *message.locale;
  EXPECT_EQ(std::tie(locale.codePage, locale.biasSeconds, locale.language, locale.subLanguage),
            std::make_tuple(1252u, -3600, std::uint16_t{9}, std::uint16_t{1}));
  ASSERT_EQ(message.uploads.size(), 3u);
  EXPECT_EQ(message.Bytes(message.uploads[0]), B("Hello"));
  EXPECT_EQ(message.uploads[1].fileName, "notes.txt");
  Bytes notes(1024, 0x5A);
  notes.push_back(0x21);
  EXPECT_EQ(message.Bytes(message.uploads[1]), notes);
  EXPECT_TRUE(message.Bytes(message.uploads[2]).empty());
}

TEST(Session, ViolationsEndTheDialogueAtTheOffendingPayload) {
  Limits limits;
  limits.maxRecipients = 2;
  limits.maxUploadBytes = 110000;  // above the picture limit, to reach it
  limits.maxMessageBytes = 150000;
  const int n = static_cast<int>(kEnvelope.size()), p = static_cast<int>(kPicture.size());
  // Name, payloads, the index of the one refused (-1: accepted).
  const std::tuple<const char*, std::vector<Bytes>, int> cases[] = {
      {"command before the greeting", {B("SENDa@b.c")}, 0},
      {"greeting without a version", {B("HELLCEMurmelpost")}, 0},
      {"short payload", {kEnvelope[0], B("FLB")}, 1},
      {"unknown command", {kEnvelope[0], B("QUIT")}, 1},
      {"locale record of 20 bytes",
       {kEnvelope[0], Bytes(kEnvelope[1].begin(), kEnvelope[1].end() - 1)},
       1},
      {"too many recipients", {kEnvelope[0], kEnvelope[3], B("RECIa@b.c,c@d.e,f@g.h")}, 2},
      {"upload before the envelope", {kEnvelope[0], kEnvelope[3], B("FLSZ4")}, 2},
      {"data frame outside an upload", After(kEnvelope, {B("FLBGxx")}), n},
      {"data frame before the type", After(kEnvelope, {B("FLSZ2"), B("FLBGxx")}), n + 1},
      {"file name for a voice upload", After(kEnvelope, {B("FLSZ2"), B("FLTP0"), B("FLNMa.txt")}),
       n + 2},
      {"FLCN before FLBG", After(kEnvelope, {B("FLSZ2"), B("FLTP1"), B("FLCNxx")}), n + 2},
      {"second FLBG", After(kEnvelope, {B("FLSZ4"), B("FLTP1"), B("FLBGxx"), B("FLBGxx")}), n + 3},
      {"more data than announced", After(kEnvelope, {B("FLSZ2"), B("FLTP1"), B("FLBGxyz")}), n + 2},
      {"more data in a later frame",
       After(kEnvelope, {B("FLSZ3"), B("FLTP1"), B("FLBGxy"), B("FLCNyz")}), n + 3},
      {"command inside an upload",
       After(kEnvelope, {B("FLSZ3"), B("FLTP1"), B("FLBGx"), B("CHCK_DEF")}), n + 3},
      {"size with a sign", After(kEnvelope, {B("FLSZ-1")}), n},
      {"upload over the limit", After(kEnvelope, {B("FLSZ110001")}), n},
      {"message over the limit",
       After(kEnvelope, {B("FLSZ100000"), B("FLTP1"), Data("FLBG", 100000), B("FLSZ50001")}),
       n + 3},
      {"FINI with an argument", After(kEnvelope, {B("FINIx")}), n},
      {"FINI without recipients", {kEnvelope[0], kEnvelope[3], B("RECI"), B("TITL"), B("FINI")}, 4},
      // The envelope: converted once, parsed once, refused where it is not what a client sends.
      {"header injection through a quoted recipient",
       {kEnvelope[0], kEnvelope[3],
        B("RECI\"x\r\nCc: victim@bank.test\r\nSubject: locked\"@example.org")},
       2},
      {"a sender not in the client's form", {kEnvelope[0], B("SENDann@example.org")}, 1},
      {"a line break in the subject",
       {kEnvelope[0], kEnvelope[3], kEnvelope[4], B("TITLa\r\nb")},
       3},
      {"a NUL in the subject", {kEnvelope[0], kEnvelope[3], kEnvelope[4], Data("TITL", 1, 0)}, 3},
      {"a second sender", {kEnvelope[0], kEnvelope[3], kEnvelope[3]}, 2},
      {"an EBCDIC code page", {kEnvelope[0], server_test::LocaleRecord(500)}, 1},
      {"a locale record after the envelope", {kEnvelope[0], kEnvelope[3], kEnvelope[1]}, 2},
      // Uploads: only what the protocol defines.
      {"a second text",
       After(kEnvelope, {B("FLSZ1"), B("FLTP1"), B("FLBGa"), B("FLSZ1"), B("FLTP1")}), n + 4},
      {"a NUL in the text", After(kEnvelope, {B("FLSZ3"), B("FLTP1"), Data("FLBG", 3, 0)}), n + 2},
      {"a picture in a message with recipients", After(kEnvelope, {B("FLSZ0"), B("FLTP4")}), n + 1},
      // Pictures: one GIF or JPEG of at most 102400 bytes, alone.
      {"a GIF", After(kPicture, {B("FLSZ6"), B("FLTP4"), B("FLBGGIF89a")}), -1},
      {"a JPEG", After(kPicture, {B("FLSZ4"), B("FLTP4"), B("FLBG\xFF\xD8\xFF\xE0")}), -1},
      {"an executable", After(kPicture, {B("FLSZ4"), B("FLTP4"), B("FLBGMZ\x90\x00")}), p + 2},
      {"a picture over 102400 bytes", After(kPicture, {B("FLSZ102401"), B("FLTP4")}), p + 1},
      {"a text beside a picture", After(kPicture, {B("FLSZ0"), B("FLTP4"), B("FLSZ1"), B("FLTP1")}),
       p + 3},
      {"a picture after a text",
       After(kPicture, {B("FLSZ1"), B("FLTP1"), B("FLBGa"), B("FLSZ0"), B("FLTP4")}), p + 4},
  };
  for (const auto& [name, payloads, refusedAt] : cases) {
    Session session(limits, Spool());
    EXPECT_EQ(FirstRefused(session, payloads), refusedAt) << name;
  }
  for (const char* undefined : {"2", "3", "5", "6", "7", "8", "9", "11"}) {
    Session session(limits, Spool());
    const auto payloads = After(kEnvelope, {B("FLSZ1"), B(std::string("FLTP") + undefined)});
    EXPECT_EQ(FirstRefused(session, payloads), n + 1) << "upload type " << undefined;
  }
}

}  // namespace
}  // namespace murmel::server
