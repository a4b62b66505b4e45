#include "voice/voice.h"

#include "app/app_fixture.h"
#include "brain/speech.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace perchkin {
namespace {

using namespace std::chrono_literals;

// A speech engine that holds every line until the test opens the gate.
struct GatedSpeech final : TextToSpeech {
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  int calls = 0;

  Result<std::vector<std::int16_t>> synthesize(std::string_view) override {
    std::unique_lock lock(mutex);
    ++calls;
    opened.wait(lock, [this] { return open; });
    return Result<std::vector<std::int16_t>>::success(std::vector<std::int16_t>(400, 1000));
  }
  void release_gate() {
    {
      std::lock_guard lock(mutex);
      open = true;
    }
    opened.notify_all();
  }
};

struct VoiceParts {
  ToneSpeech* speech;
  RecordingAudioOut* audio;
  std::unique_ptr<Voice> voice;
};

VoiceParts make_voice() {
  auto speech = std::make_unique<ToneSpeech>();
  auto audio = std::make_unique<RecordingAudioOut>();
  VoiceParts parts{speech.get(), audio.get(), nullptr};
  parts.voice = std::make_unique<Voice>(std::move(speech), std::move(audio));
  return parts;
}

bool audible(const std::vector<std::int16_t>& samples) {
  return std::ranges::any_of(samples, [](std::int16_t v) { return std::abs(v) > 1000; });
}

TEST(Voice, RendersALineOnceAndPlaysItEveryTime) {
  VoiceParts v = make_voice();
  v.voice->speak({"hello there", 0.8, false, 1.0});
  ASSERT_TRUE(v.voice->wait_idle(10s));
  const std::size_t once = v.audio->written.size();
  // Eleven characters of 40 ms tone plus the 0.12 s tail, in whole 40 ms buffers.
  EXPECT_EQ(once, 14u * 882u);
  EXPECT_TRUE(audible(v.audio->written));
  v.voice->speak({"  hello   there ", 0.8, false, 1.0});  // the same line once cleaned
  ASSERT_TRUE(v.voice->wait_idle(10s));
  EXPECT_EQ(v.speech->calls, 1);
  EXPECT_EQ(v.audio->written.size(), 2 * once);
  EXPECT_EQ(v.voice->cache().size(), 1u);
}

TEST(Voice, AtMostSixLinesWaitForTheEngine) {
  auto speech = std::make_unique<GatedSpeech>();
  GatedSpeech* gate = speech.get();
  auto audio = std::make_unique<RecordingAudioOut>();
  Voice voice(std::move(speech), std::move(audio));
  for (int i = 0; i < 9; ++i) voice.speak({"line " + std::to_string(i), 1.0, false, 1.0});
  EXPECT_EQ(voice.pending(), 6u);  // the UI thread returned at once, three lines dropped
  gate->release_gate();
  ASSERT_TRUE(voice.wait_idle(10s));
  EXPECT_EQ(gate->calls, 6);
  EXPECT_EQ(voice.pending(), 0u);
  EXPECT_EQ(voice.cache().size(), 6u);
}

TEST(Voice, SilentLinesBrokenEnginesAndMissingDevicesAreQuiet) {
  VoiceParts v = make_voice();
  v.voice->speak({"*_*", 1.0, false, 1.0});
  v.voice->speak({"@_@", 1.0, false, 1.0});
  EXPECT_EQ(v.voice->pending(), 0u);
  EXPECT_EQ(v.speech->calls, 0);

  v.speech->fail = true;
  v.voice->speak({"nobody hears this", 1.0, false, 1.0});
  ASSERT_TRUE(v.voice->wait_idle(10s));
  EXPECT_EQ(v.voice->pending(), 0u);
  EXPECT_TRUE(v.audio->written.empty());

  VoiceParts deaf = make_voice();
  deaf.audio->fail_open = true;
  for (int i = 0; i < 20; ++i) deaf.voice->speak({"is anyone there", 1.0, false, 1.0});
  ASSERT_TRUE(deaf.voice->wait_idle(10s));
  EXPECT_EQ(deaf.audio->opens, 0);
  EXPECT_TRUE(deaf.audio->written.empty());
}

// While no line plays a click goes to the system's own sound path: no device is opened for it.
TEST(Voice, ClipsPlayWithoutOpeningTheDevice) {
  VoiceParts v = make_voice();
  v.audio->system_sound = true;
  v.voice->play(std::make_shared<const std::vector<std::int16_t>>(300, 20000), 1.0);
  ASSERT_TRUE(v.voice->wait_idle(10s));
  EXPECT_EQ(v.audio->sounds, 1);
  EXPECT_EQ(v.audio->opens, 0);
  EXPECT_TRUE(v.audio->written.empty());
  EXPECT_EQ(v.speech->calls, 0);
}

TEST(Voice, TestLineSpeaksAtPitchOne) {
  VoiceParts v = make_voice();
  v.voice->test_voice(2.0);  // the volume is clamped
  ASSERT_TRUE(v.voice->wait_idle(10s));
  // 18 characters at pitch 1: 18 x 882 + 2646 samples, in 21 buffers.
  EXPECT_EQ(v.audio->written.size(), 21u * 882u);
  EXPECT_NE(v.voice->cache().find("Hello. I am Nippo."), nullptr);
}

Buddy talking(std::uint32_t id, std::string text, std::uint64_t serial, double until) {
  Buddy b;
  b.id = id;
  b.speech.bubble_text = std::move(text);
  b.speech.bubble_serial = serial;
  b.speech.bubble_until = until;
  return b;
}

TEST(BubbleLines, NewShowingBubblesAreSpokenOnceWithTheBuddysPitch) {
  Settings s;
  s.voice = true;
  s.voice_volume = 0.5;
  s.voice_overlap = false;
  std::vector<Buddy> crew{talking(0, "first", 1, 12.0), talking(3, "second", 2, 12.0),
                          talking(4, "gone already", 5, 9.0), talking(5, "old", 0, 12.0)};
  const auto lines = new_bubble_lines(crew, s, 10.0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, "first");
  EXPECT_DOUBLE_EQ(lines[0].pitch, 0.84);
  EXPECT_EQ(lines[1].text, "second");
  EXPECT_DOUBLE_EQ(lines[1].pitch, voice_pitch(3));
  EXPECT_DOUBLE_EQ(lines[1].volume, 0.5);
  EXPECT_TRUE(lines[1].exclusive);
  EXPECT_EQ(crew[2].speech.spoken_serial,
            5u);  // an expired bubble is heard, not spoken
  EXPECT_TRUE(new_bubble_lines(crew, s, 10.0).empty());

  // With the voice off nothing is taken, so nothing is marked either.
  s.voice = false;
  crew[0].speech.bubble_serial = 2;
  EXPECT_TRUE(new_bubble_lines(crew, s, 10.0).empty());
  EXPECT_EQ(crew[0].speech.spoken_serial, 1u);
}

struct VoiceTick : test::AppFixture {};

TEST_F(VoiceTick, ASaidLineIsPlayedWhenTheVoiceIsOn) {
  start(12, 7);
  auto audio = std::make_unique<RecordingAudioOut>();
  RecordingAudioOut* recording = audio.get();
  app.platform.voice = std::make_unique<Voice>(std::make_unique<ToneSpeech>(), std::move(audio));
  Buddy& b = app.world.crew.buddies.front();

  say(b, "quiet for now", 3.0);
  ticks(1);
  ASSERT_TRUE(app.platform.voice->wait_idle(10s));
  EXPECT_TRUE(recording->written.empty());

  app.settings.voice = true;
  say(b, "now you hear me", 3.0);
  ticks(1);
  ASSERT_TRUE(app.platform.voice->wait_idle(10s));
  EXPECT_TRUE(audible(recording->written));
  EXPECT_EQ(b.speech.spoken_serial, b.speech.bubble_serial);
}

}  // namespace
}  // namespace perchkin
