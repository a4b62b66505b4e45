// The voice on the user-interface thread: the tick's voice step over 48 buddies with nothing
// new, and with a new (cached) line from every buddy while 48 voices play. The player's mix
// of one 40 ms buffer with 48 voices is timed too, as it bounds the player thread's work.
#include "voice/voice.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace perchkin;

constexpr std::size_t kCrew = 48;

std::vector<Buddy> talking_crew() {
  std::vector<Buddy> crew(kCrew);
  for (std::size_t i = 0; i < kCrew; ++i) {
    crew[i].id = static_cast<std::uint32_t>(i);
    crew[i].speech.bubble_text = "line number " + std::to_string(i % 8);
    crew[i].speech.bubble_until = 1e9;
  }
  return crew;
}

Settings voice_on() {
  Settings s;
  s.voice = true;
  return s;
}

void BM_VoiceStepNothingNew(benchmark::State& state) {
  auto audio = std::make_unique<RecordingAudioOut>();
  Voice voice(std::make_unique<ToneSpeech>(), std::move(audio));
  std::vector<Buddy> crew = talking_crew();
  const Settings s = voice_on();
  for (auto _ : state) speak_new_bubbles(voice, crew, s, 1.0);
}
BENCHMARK(BM_VoiceStepNothingNew);

void BM_VoiceStepEveryBuddyTalks(benchmark::State& state) {
  auto audio = std::make_unique<RecordingAudioOut>();
  audio->hold = true;  // the device never finishes a buffer, so the voices keep playing
  Voice voice(std::make_unique<ToneSpeech>(), std::move(audio));
  std::vector<Buddy> crew = talking_crew();
  const Settings s = voice_on();
  // Fill the cache and the player first.
  for (int round = 0; round < 3; ++round) {
    for (Buddy& b : crew) ++b.speech.bubble_serial;
    speak_new_bubbles(voice, crew, s, 1.0);
    (void)voice.wait_idle(std::chrono::milliseconds(200));
  }
  for (auto _ : state) {
    for (Buddy& b : crew) ++b.speech.bubble_serial;
    speak_new_bubbles(voice, crew, s, 1.0);
  }
  state.counters["lines"] = benchmark::Counter(static_cast<double>(state.iterations() * kCrew),
                                               benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VoiceStepEveryBuddyTalks);

void BM_MixBlock48Voices(benchmark::State& state) {
  auto samples = std::make_shared<const std::vector<std::int16_t>>(22050 * 600, 1200);
  std::vector<PlayingVoice> voices;
  for (std::size_t i = 0; i < 48; ++i) voices.push_back({samples, voice_pitch(i), 0.8f, false, 0.0});
  std::vector<std::int16_t> block(kAudioBufferSamples);
  for (auto _ : state) {
    mix_block(voices, block);
    benchmark::DoNotOptimize(block.data());
    if (voices.front().position > 22050.0 * 500) for (auto& v : voices) v.position = 0.0;
  }
}
BENCHMARK(BM_MixBlock48Voices);

}  // namespace

BENCHMARK_MAIN();
