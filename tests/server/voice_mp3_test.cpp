// The voice as MP3: speech that the client encoded comes out of a real MP3 decoder and two
// real browsers sounding like the GSM it was made of and lasting as long; a voice that
// cannot become MP3 still reaches the e-mail.
#include "server/voice_mp3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "audio/voice_codec.h"
#include "audio/wav_header.h"
#include "scripted_client.h"
#include "server/delivery.h"
#include "server/voice_wav.h"

namespace murmel::server {
namespace {

using server_test::B;
using server_test::Bytes;
using server_test::ReadFile;
using server_test::RunCommand;
using Samples = std::vector<std::int16_t>;

Samples ReadSamples(const std::string& path) {
  const std::string raw = ReadFile(path);
  Samples samples(raw.size() / 2);
  std::memcpy(samples.data(), raw.data(), samples.size() * 2);
  return samples;
}

// Spoken words as the client records and encodes them (8 kHz, whole capture buffers, GSM
// restarting every chunk), and what the client's own decoder makes of them.
struct Speech {
  murmel::test::TempDir folder;
  Bytes image = Bytes(WAV_HEADER_SIZE);
  Samples gsm;

  Speech() {
    const std::string raw = folder / "speech.raw";
    RunCommand(
        "espeak-ng --stdout 'Murmelpost delivers the quick brown fox by e-mail, "
        "twelve times a day.' | sox -t wav - -r 8000 -c 1 -t s16 '" +
        raw + "'");
    Samples pcm = ReadSamples(raw);
    pcm.resize(pcm.size() / (PCM_BUFFER_SIZE / 2) * (PCM_BUFFER_SIZE / 2));
    WriteWavHeader(image.data(), static_cast<LONG>(pcm.size() * 2));
    gsm.resize(pcm.size());
    for (std::size_t at = 0; at < pcm.size(); at += PCM_BUFFER_SIZE / 2) {
      BYTE chunk[VOICE_CHUNK_SIZE];
      EncodeVoiceBuffer(chunk, reinterpret_cast<const BYTE*>(&pcm[at]), PCM_BUFFER_SIZE);
      image.insert(image.end(), chunk, chunk + VOICE_CHUNK_SIZE);
      DecodeVoiceBuffer(chunk, reinterpret_cast<BYTE*>(&gsm[at]), PCM_BUFFER_SIZE);
    }
  }
  double seconds() const { return static_cast<double>(gsm.size()) / 8000; }
  // The voice as MP3 in folder; empty when there is none.
  std::string Mp3File() const {
    const auto mp3 = VoiceImageToMp3(image);
    if (!mp3) return {};
    std::string path = folder / "voice.mp3";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(mp3->bytes.data()),
               static_cast<std::streamsize>(mp3->bytes.size()));
    return path;
  }
};

// Normalised correlation at the best delay of b up to 0.125 s at 16 kHz: sox plays LAME's
// delay and its Info frame as silence.
double BestCorrelation(const Samples& a, const Samples& b) {
  double best = 0;
  for (long shift = 0; shift <= 2000; ++shift) {
    double ab = 0, aa = 0, bb = 0;
    for (long i = std::max(0L, -shift); i < static_cast<long>(a.size()); ++i) {
      if (i + shift >= static_cast<long>(b.size())) break;
      const double x = a[static_cast<std::size_t>(i)];
      const double y = b[static_cast<std::size_t>(i + shift)];
      ab += x * y;
      aa += x * x;
      bb += y * y;
    }
    if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
  }
  return best;
}

TEST(VoiceMp3, SoundsLikeTheClientsGsmAndLastsAsLongInSox) {
  const Speech speech;
  ASSERT_GT(speech.seconds(), 2) << "espeak-ng or sox made no speech";
  const std::string mp3 = speech.Mp3File();
  ASSERT_FALSE(mp3.empty());
  // Compared at the MP3's 16 kHz: at 8 kHz LAME's delay falls between two samples.
  const std::string gsm = speech.folder / "gsm.raw";
  const std::string raw = speech.folder / "decoded.raw";
  std::ofstream(gsm, std::ios::binary)
      .write(reinterpret_cast<const char*>(speech.gsm.data()),
             static_cast<std::streamsize>(speech.gsm.size() * 2));
  const auto decoded =
      RunCommand("sox -t mp3 '" + mp3 + "' -t s16 -r 16000 -c 1 '" + raw +
                 "' && sox -t s16 -r 8000 -c 1 '" + gsm + "' -r 16000 '" + gsm + ".16k.raw'");
  ASSERT_EQ(decoded.status, 0) << decoded.output;
  const Samples sound = ReadSamples(raw);
  EXPECT_NEAR(static_cast<double>(sound.size()) / 16000, speech.seconds(), 0.1);
  EXPECT_GT(BestCorrelation(ReadSamples(gsm + ".16k.raw"), sound), 0.95);
}

// A recipient's browser plays it, at its length: sox alone would not show that a browser's
// decoder accepts the stream our encoder writes.
TEST(VoiceMp3, PlaysInHeadlessChromiumAndFirefoxAtItsLength) {
  const Speech speech;
  const std::string mp3 = speech.Mp3File();
  ASSERT_FALSE(mp3.empty());
  const std::string player = server_test::TestScript("browser_audio.py").string();
  const auto played = RunCommand("python3 '" + player + "' '" + mp3 + "' audio/mpeg " +
                                 std::to_string(speech.seconds()));
  if (WEXITSTATUS(played.status) == 2) GTEST_SKIP() << played.output;
  EXPECT_EQ(played.status, 0) << played.output;
}

TEST(VoiceMp3, EveryVoiceReachesTheMailAsAskedOrAsItCame) {
  const Speech speech;
  const Bytes silence(speech.image.begin(), speech.image.begin() + WAV_HEADER_SIZE);
  // Ten chunks and three blocks of a connection lost mid-block: 83 blocks, 3.32 s.
  const Bytes cut(speech.image.begin(), speech.image.begin() + WAV_HEADER_SIZE + 5200 + 205);
  const std::string length = "Voice message, 0:0" + std::to_string(std::lround(speech.seconds()));
  struct Case {
    const char* name;
    VoiceFormat format;
    Bytes image;
    std::vector<std::string> files;
    std::string description;  // of voice.mp3
    bool kept = false;        // the client's GSM kept beside the e-mail
  };
  const Case cases[] = {
      {"mp3", VoiceFormat::Mp3, speech.image, {"voice.mp3"}, length, true},
      {"wav", VoiceFormat::Wav, speech.image, {"voice.wav"}},
      {"both", VoiceFormat::Both, speech.image, {"voice.mp3", "voice.wav"}, length},
      {"cut off", VoiceFormat::Mp3, cut, {"voice.mp3"}, "Voice message, 0:03", true},
      {"no sound", VoiceFormat::Mp3, silence, {"voice.wav"}},
      {"not a voice image", VoiceFormat::Both, B("RIFF but not a voice"), {"voice.bin"}},
  };
  for (const Case& c : cases) {
    Message message;
    message.spool = std::make_shared<SpoolFile>(speech.folder.path());
    message.uploads.push_back({kUploadVoice});
    ASSERT_TRUE(message.Append(c.image).ok);
    const MailContent mail = VoiceMail(message, {.voiceFormat = c.format}, 0);
    std::vector<std::string> files;
    for (const MailAttachment& attachment : mail.attachments) {
      files.push_back(attachment.fileName);
      if (attachment.fileName == "voice.mp3") {
        EXPECT_EQ(attachment.mimeType, "audio/mpeg");
        EXPECT_EQ(attachment.description, c.description) << c.name;
      }
    }
    EXPECT_EQ(files, c.files) << c.name;
    EXPECT_EQ(KeptVoice(message, mail), c.kept ? VoiceImageToWav(c.image) : std::nullopt) << c.name;
  }
}

TEST(VoiceMp3, TheClientsVoiceStaysBesideTheMp3EMail) {
  const Speech speech;
  server_test::TestServer server;
  ASSERT_TRUE(server.ready());
  ASSERT_EQ(server_test::Send(server.port(), {.type = kUploadVoice, .upload = speech.image}),
            "TROK");
  const auto delivered = server.Delivered();
  ASSERT_EQ(delivered.size(), 1u);
  const auto kept = server_test::ReadFile(server.delivery().voiceFolder() /
                                          (delivered[0].filename().string() + ".wav"));
  const auto wav = VoiceImageToWav(speech.image);
  EXPECT_EQ(kept, std::string(wav->begin(), wav->end()));
}

}  // namespace
}  // namespace murmel::server
