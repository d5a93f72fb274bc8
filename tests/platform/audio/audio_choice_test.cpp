// Which devices exist under each MURMELPOST_AUDIO setting, and what a user is told when a
// setting or a capture file cannot work.
#include <mmsystem.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/audio/backend_choice.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "wave_test_helpers.h"

namespace {

using murmel::audio::AudioChoice;

TEST(AudioChoiceTest, ParsesEveryWellFormedSetting) {
  struct Case {
    const char* text;
    AudioChoice::Kind kind;
    const char *in, *out;
    bool fast;
  };
  const Case cases[] = {
      {"", AudioChoice::Kind::kPulse, "", "", false},
      {"pulse", AudioChoice::Kind::kPulse, "", "", false},
      {"none", AudioChoice::Kind::kNone, "", "", false},
      {"file:in=/a.wav,out=/b.wav", AudioChoice::Kind::kFile, "/a.wav", "/b.wav", false},
      {"file:out=/b.wav,pace=fast", AudioChoice::Kind::kFile, "", "/b.wav", true},
      {"file:in=/a b.wav,pace=realtime", AudioChoice::Kind::kFile, "/a b.wav", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    AudioChoice choice;
    std::string error;
    ASSERT_TRUE(murmel::audio::ParseAudioChoice(c.text, choice, error)) << error;
    EXPECT_EQ(choice.kind, c.kind);
    EXPECT_EQ(choice.in_path, c.in);
    EXPECT_EQ(choice.out_path, c.out);
    EXPECT_EQ(choice.fast, c.fast);
  }
}

TEST(AudioChoiceTest, DeviceCountsFollowTheSettingAndTheCaptureFile) {
  murmel::test::TempDir dir;
  const std::string good = dir / "good.wav";
  const std::string wide = dir / "wide.wav";
  const std::string stereo = dir / "stereo.wav";
  const std::string listed = dir / "listed.wav";
  wave_test::WriteWav(good, wave_test::Pattern(1000, 6));
  wave_test::WriteWav(wide, wave_test::Pattern(1000, 7), 16000);
  wave_test::WriteWav(stereo, wave_test::Pattern(1000, 8), 8000, 2);
  wave_test::WriteWav(listed, wave_test::Pattern(1000, 9), 8000, 1, true);
  ASSERT_TRUE(murmel::test::WriteHostFile(dir / "notes.txt", "not audio"));
  struct Case {
    std::string setting;
    UINT inputs, outputs;
    const char* told;  // part of the message on stderr, or "" for none
  };
  const Case cases[] = {
      {"none", 0, 0, ""},
      {"file:in=" + listed + ",pace=fast", 1, 0, ""},
      {"file:out=" + (dir / "out.wav"), 0, 1, ""},
      {"file:in=" + good + ",out=" + (dir / "out.wav"), 1, 1, ""},
      {"file:in=" + wide, 0, 0, "16000 Hz"},
      {"file:in=" + stereo, 0, 0, "2 channel"},
      {"file:in=" + (dir / "notes.txt"), 0, 0, "not a RIFF WAVE file"},
      {"file:in=" + (dir / "missing.wav"), 0, 0, "No such file"},
      {"speakers", 0, 0, "is not an audio backend"},
      // Each malformed setting says how to write one.
      {"file:", 0, 0, "file:in=PATH"},
      {"file:in=" + good + ",pace=slow", 0, 0, "file:in=PATH"},
      {"file:in=" + good + ",volume=3", 0, 0, "file:in=PATH"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    murmel::test::ScopedEnv env("MURMELPOST_AUDIO", c.setting);
    testing::internal::CaptureStderr();
    const UINT inputs = waveInGetNumDevs();
    const UINT outputs = waveOutGetNumDevs();
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(inputs, c.inputs);
    EXPECT_EQ(outputs, c.outputs);
    EXPECT_EQ(*c.told == '\0', told.empty()) << told;
    EXPECT_NE(told.find(c.told), std::string::npos) << told;
    if (inputs == 0) {
      HWAVEIN wave_in = nullptr;
      EXPECT_EQ(waveInOpen(&wave_in, WAVE_MAPPER, &wave_test::kVoiceFormat, 0, 0, CALLBACK_NULL),
                MMSYSERR_NODRIVER);
    }
  }
}

}  // namespace
