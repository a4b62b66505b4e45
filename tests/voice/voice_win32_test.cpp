// The Windows voice's devices. Under Wine SAPI cannot speak and waveOut needs a sound server, so
// each test accepts a clean failure; on Windows both must work.
#include "voice/voice_win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace perchkin {
namespace {

TEST(SapiSpeech, RendersALineOrFailsCleanly) {
  auto speech = make_sapi_speech();
  auto samples = speech->synthesize("Hello. I am Nippo.");
  if (!samples.ok()) {
    EXPECT_FALSE(samples.error.empty());
    EXPECT_FALSE(speech->synthesize("again").ok());  // a missing engine is not retried
  } else {
    EXPECT_GT(samples->size(), 22050u / 2);
    EXPECT_LT(samples->size(), 22050u * 6);
  }
  speech->release();
  EXPECT_FALSE(speech->synthesize("gone").ok());
}

TEST(WaveOut, ThreeBuffersDrainAndTheDeviceCloses) {
  auto audio = make_waveout_audio();
  if (!audio->open(kSpeechRate).ok()) GTEST_SKIP() << "no audio device";
  std::vector<std::int16_t> block(kAudioBufferSamples, 0);
  EXPECT_EQ(audio->queued(), 0);
  for (int i = 0; i < kAudioBuffers; ++i) ASSERT_TRUE(audio->write(block).ok());
  EXPECT_GT(audio->queued(), 0);
  EXPECT_LE(audio->queued(), kAudioBuffers);
  // 120 ms of sound; allow the device a generous two seconds.
  for (int i = 0; i < 200 && audio->queued() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(audio->queued(), 0);
  audio->close();
  EXPECT_EQ(audio->queued(), 0);
  EXPECT_TRUE(audio->open(kSpeechRate).ok());  // and opens again
  audio->close();
}

}  // namespace
}  // namespace perchkin
