#include "voice/voice_mix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace perchkin {
namespace {

TEST(SpokenText, KeepsWordsAndSpeakablePunctuationOnly) {
  EXPECT_EQ(normalize_spoken_text("  Hello,\t  world!! :-) "), "Hello, world!! -");
  EXPECT_EQ(normalize_spoken_text("<3"), "3");  // a digit is a digit, even in a heart
  EXPECT_EQ(normalize_spoken_text("i'm guarding your taskbar"), "i'm guarding your taskbar");
  EXPECT_EQ(normalize_spoken_text("*yawns in pixels*"), "yawns in pixels");
  EXPECT_EQ(normalize_spoken_text("10/10 would fly again"), "10 10 would fly again");
  EXPECT_EQ(normalize_spoken_text("who drew that?!"), "who drew that?!");
  // Letters of other scripts stay; symbols and emoji go.
  EXPECT_EQ(normalize_spoken_text("Grüße \u2726 日本 \U0001F600 ok"), "Grüße 日本 ok");
  EXPECT_EQ(normalize_spoken_text("x\xff y"), "x y");  // a broken byte is no letter
}

TEST(SpokenText, LinesWithoutLetterOrDigitAreNotSpoken) {
  for (const char* line : {"@_@", "", "   ", "...!?", "\u2726", "- - -", "\U0001F600"})
    EXPECT_EQ(normalize_spoken_text(line), "") << line;
}

TEST(SpokenText, OnlyTheFirst120CharactersCount) {
  const std::string long_line = std::string(119, 'a') + "\u00e9bcdef";
  EXPECT_EQ(normalize_spoken_text(long_line), std::string(119, 'a') + "\u00e9");
  // The cut comes before the clean-up: 120 symbols then a word say nothing.
  EXPECT_EQ(normalize_spoken_text(std::string(120, '#') + "word"), "");
}

TEST(VoicePitch, SpreadsIdsOverTheRange) {
  EXPECT_DOUBLE_EQ(voice_pitch(0), 0.84);
  EXPECT_NEAR(voice_pitch(1), 0.84 + 0.36 * 0.618034, 1e-12);
  EXPECT_NEAR(voice_pitch(2), 0.84 + 0.36 * 0.236068, 1e-12);
  for (std::uint32_t id = 0; id < 5000; ++id) {
    EXPECT_GE(voice_pitch(id), 0.84);
    EXPECT_LT(voice_pitch(id), 1.2);
    EXPECT_GT(std::abs(voice_pitch(id + 1) - voice_pitch(id)), 0.03) << id;
  }
}

std::vector<std::int16_t> impulses(std::size_t n, std::initializer_list<std::size_t> at) {
  std::vector<std::int16_t> x(n, 0);
  for (std::size_t i : at) x[i] = 20000;
  return x;
}

TEST(RobotEffect, CombEchoesEvery132SamplesAndNormalisesTo85Percent) {
  const auto out = robot_effect(impulses(1000, {300}));
  ASSERT_EQ(out.size(), 1000u + 2646u);
  EXPECT_EQ(out[300], 27851);         // the peak: 85 % of full scale
  EXPECT_EQ(out[432], 10583);         // 0.38 of it
  EXPECT_EQ(out[564], 4021);          // 0.38^2
  EXPECT_EQ(out[431], 0);
  EXPECT_EQ(out[433], 0);
  EXPECT_EQ(out[299], 0);
  EXPECT_GT(out[696], 0);             // the echo goes on...
  EXPECT_LT(out[696], 1600);          // ...decaying
}

TEST(RobotEffect, RingModulatesAt92Hz) {
  // Half a 92 Hz period apart (120 samples), the modulator sits at its top and its bottom:
  // the second impulse comes out (0.72 - 0.28) / (0.72 + 0.28) as loud as the first.
  const auto out = robot_effect(impulses(1000, {300, 420}));
  EXPECT_EQ(out[300], 27851);
  EXPECT_NEAR(out[420], 12255, 2);
  // About a quarter period later the modulator is near zero: close to 0.72 of the peak.
  const auto mid = robot_effect(impulses(1000, {300, 360}));
  EXPECT_NEAR(mid[360], 0.72 * 27851.951, 150);
}

TEST(RobotEffect, FadesInAndOutAndKeepsSilenceSilent) {
  const std::vector<std::int16_t> loud(5000, 30000);
  const auto out = robot_effect(loud);
  ASSERT_EQ(out.size(), 5000u + 2646u);
  EXPECT_EQ(out.front(), 0);
  EXPECT_EQ(out.back(), 0);
  for (std::size_t m = 0; m < 110; ++m) EXPECT_LE(std::abs(out[m]), 27852.0 * m / 110) << m;
  for (std::size_t k = 0; k < 551; ++k)
    EXPECT_LE(std::abs(out[out.size() - 1 - k]), 27852.0 * k / 551) << k;
  const auto peak = std::ranges::max(out, {}, [](std::int16_t v) { return std::abs(v); });
  EXPECT_EQ(std::abs(peak), 27851);

  // Quiet input is not blown up past its own level: the peak floor is 1.
  const auto silent = robot_effect(std::vector<std::int16_t>(300, 0));
  EXPECT_TRUE(std::ranges::all_of(silent, [](std::int16_t v) { return v == 0; }));
  EXPECT_EQ(robot_effect({}).size(), 2646u);
}

Samples constant(std::size_t n, std::int16_t value) {
  return std::make_shared<const std::vector<std::int16_t>>(n, value);
}

TEST(Mixer, ClipsSoftlyAndScalesByVoiceCount) {
  std::vector<std::int16_t> out(4);
  std::vector<PlayingVoice> one{{constant(100, 16384), 1.0, 1.0f, false, 0.0}};
  mix_block(one, out);
  EXPECT_EQ(out[0], 15142);  // tanh(0.5) of full scale
  std::vector<PlayingVoice> two{{constant(100, 16384), 1.0, 1.0f, false, 0.0},
                                {constant(100, 16384), 1.0, 1.0f, false, 0.0}};
  mix_block(two, out);
  EXPECT_EQ(out[0], 20964);  // tanh(1.0 x 2^-0.4)
  std::vector<PlayingVoice> half{{constant(100, 16384), 1.0, 0.5f, false, 0.0}};
  mix_block(half, out);
  EXPECT_EQ(out[0], 8025);  // tanh(0.25)

  // 48 voices at full scale stay below full scale and never wrap around.
  std::vector<PlayingVoice> crowd;
  for (int i = 0; i < 48; ++i) crowd.push_back({constant(100, -32768), 1.0, 1.0f, false, 0.0});
  mix_block(crowd, out);
  EXPECT_LT(out[0], -32000);
  EXPECT_GT(out[0], -32768);
}

TEST(Mixer, InterpolatesAtThePitchAndDropsFinishedVoices) {
  auto ramp = std::make_shared<std::vector<std::int16_t>>();
  for (int i = 0; i < 4; ++i) ramp->push_back(static_cast<std::int16_t>(1000 * i));
  std::vector<PlayingVoice> voices{{ramp, 0.5, 1.0f, false, 0.0}};
  std::vector<std::int16_t> out(8);
  mix_block(voices, out);
  // Positions 0, 0.5, ... 2.5 give 0, 500, ... 2500 (through tanh); at 3 no pair is left.
  const std::vector<std::int16_t> expected{0, 499, 999, 1498, 1997, 2495, 0, 0};
  EXPECT_EQ(out, expected);
  EXPECT_TRUE(voices.empty());

  // A voice still inside its samples stays for the next buffer, where it left off.
  std::vector<PlayingVoice> longer{{constant(10, 1000), 1.0, 1.0f, false, 0.0}};
  mix_block(longer, out);
  ASSERT_EQ(longer.size(), 1u);
  EXPECT_DOUBLE_EQ(longer[0].position, 8.0);
  mix_block(longer, out);
  EXPECT_NE(out[0], 0);
  EXPECT_EQ(out[1], 0);
  EXPECT_TRUE(longer.empty());
}

TEST(SampleCache, EmptiesWhenThe257thLineArrives) {
  SampleCache cache;
  for (int i = 0; i < 256; ++i) cache.insert("line " + std::to_string(i), constant(2, 1));
  EXPECT_EQ(cache.size(), 256u);
  EXPECT_NE(cache.find("line 0"), nullptr);
  cache.insert("line 0", constant(2, 2));  // a line already held replaces itself first
  EXPECT_EQ(cache.size(), 1u);
  cache.insert("line 256", constant(2, 1));
  EXPECT_EQ(cache.size(), 2u);
  EXPECT_EQ(cache.find("line 1"), nullptr);
  EXPECT_EQ((*cache.find("line 0"))[0], 2);
}

PlayingVoice line(std::size_t samples, bool exclusive = false) {
  return PlayingVoice{constant(samples, 1000), 1.0, 1.0f, exclusive, 0.0};
}

TEST(Player, FillsThreeBuffersAndWaitsForTheDevice) {
  RecordingAudioOut device;
  device.hold = true;
  Player player(device);
  ASSERT_TRUE(player.offer(line(10 * 882), 0.0));
  EXPECT_EQ(device.opens, 1);
  EXPECT_EQ(device.opened_rate, 22050);
  player.pump(0.0);
  EXPECT_EQ(device.writes, 3);
  EXPECT_EQ(device.written.size(), 3u * 882u);
  player.pump(0.01);
  EXPECT_EQ(device.writes, 3);
  device.queued_buffers = 1;  // two finished
  player.pump(0.08);
  EXPECT_EQ(device.writes, 5);
}

TEST(Player, TakesAtMost48Voices) {
  RecordingAudioOut device;
  device.hold = true;
  Player player(device);
  for (int i = 0; i < 48; ++i) EXPECT_TRUE(player.offer(line(5000), 0.0)) << i;
  EXPECT_FALSE(player.offer(line(5000), 0.0));
  EXPECT_EQ(player.playing(), 48u);
  EXPECT_EQ(device.opens, 1);
}

TEST(Player, ExclusiveVoiceOnlyIntoSilence) {
  RecordingAudioOut device;
  device.hold = true;
  Player player(device);
  ASSERT_TRUE(player.offer(line(882), 0.0));
  EXPECT_FALSE(player.offer(line(882, true), 0.0));  // someone is talking
  player.pump(0.0);
  EXPECT_EQ(player.playing(), 0u);
  EXPECT_FALSE(player.offer(line(882, true), 0.01));  // still audible from the device
  device.queued_buffers = 0;
  EXPECT_TRUE(player.offer(line(882, true), 0.05));
  // Others may still join an exclusive one.
  EXPECT_TRUE(player.offer(line(882), 0.05));
  EXPECT_EQ(player.playing(), 2u);
}

// A menu click shares the mixer but is no line: it leaves the speech's loudness alone, keeps
// no exclusive line out, and never opens the device itself.
TEST(Player, ClicksNeitherQuietenNorKeepOutLinesNorOpenTheDevice) {
  std::vector<std::int16_t> alone(4), with_click(4);
  std::vector<PlayingVoice> speech{{constant(100, 16384), 1.0, 1.0f, false, 0.0}};
  mix_block(speech, alone);
  std::vector<PlayingVoice> both{{constant(100, 16384), 1.0, 1.0f, false, 0.0},
                                 {constant(100, 0), 1.0, 1.0f, false, 0.0, true}};
  mix_block(both, with_click);
  EXPECT_EQ(with_click, alone);

  RecordingAudioOut device;
  device.hold = true;
  Player player(device);
  PlayingVoice click = line(5 * 882);
  click.click = true;
  EXPECT_FALSE(player.offer(click, 0.0)) << "no system sound path here: not heard";
  device.system_sound = true;
  EXPECT_TRUE(player.offer(click, 0.0));
  EXPECT_EQ(device.sounds, 1);
  EXPECT_EQ(device.opens, 0);

  // With the device open for a line that has finished, a click is mixed in; an exclusive line
  // arriving while only the click is audible still plays.
  ASSERT_TRUE(player.offer(line(882), 1.0));
  player.pump(1.0);
  device.queued_buffers = 0;
  EXPECT_TRUE(player.offer(click, 1.1));
  player.pump(1.1);
  EXPECT_EQ(device.queued_buffers, 3);
  EXPECT_EQ(device.sounds, 1);
  EXPECT_TRUE(player.offer(line(882, true), 1.12));
  // Another waits until the device has played the buffer holding that line, not the click's.
  device.queued_buffers = 0;
  player.pump(1.2);
  ASSERT_EQ(device.queued_buffers, 2);  // the line with the click's end, then the click alone
  EXPECT_FALSE(player.offer(line(882, true), 1.21));
  device.queued_buffers = 1;
  EXPECT_TRUE(player.offer(line(882, true), 1.25));
}

TEST(Player, ClosesTheDeviceAfterHalfASecondOfSilence) {
  RecordingAudioOut device;
  device.hold = true;
  Player player(device);
  ASSERT_TRUE(player.offer(line(100), 1.0));
  player.pump(1.0);
  player.pump(1.2);  // the buffer still plays
  EXPECT_TRUE(player.device_open());
  device.queued_buffers = 0;
  player.pump(1.3);  // silence from here
  player.pump(1.79);
  EXPECT_TRUE(player.device_open());
  EXPECT_EQ(device.closes, 0);
  player.pump(1.8);
  EXPECT_FALSE(player.device_open());
  EXPECT_EQ(device.closes, 1);
  // A new voice opens it again, and restarts the count.
  ASSERT_TRUE(player.offer(line(100), 2.0));
  EXPECT_EQ(device.opens, 2);
  player.pump(2.0);
  device.queued_buffers = 0;
  player.pump(2.1);
  ASSERT_TRUE(player.offer(line(100), 2.4));
  player.pump(2.4);
  device.queued_buffers = 0;
  player.pump(2.7);
  EXPECT_TRUE(player.device_open());
}

TEST(Player, WithoutADeviceLinesAreDroppedAndTheDeviceIsRetriedLater) {
  RecordingAudioOut device;
  device.fail_open = true;
  Player player(device);
  EXPECT_FALSE(player.offer(line(1000), 0.0));
  EXPECT_FALSE(player.offer(line(1000), 4.9));
  EXPECT_EQ(player.playing(), 0u);
  player.pump(4.9);
  EXPECT_EQ(device.writes, 0);
  device.fail_open = false;
  EXPECT_FALSE(player.offer(line(1000), 4.95));
  EXPECT_TRUE(player.offer(line(1000), 5.0));
  EXPECT_EQ(device.opens, 1);
}

TEST(Player, StopClosesAtOnceAndDropsVoices) {
  RecordingAudioOut device;
  device.hold = true;
  Player player(device);
  ASSERT_TRUE(player.offer(line(50000), 0.0));
  player.pump(0.0);
  player.stop();
  EXPECT_EQ(player.playing(), 0u);
  EXPECT_EQ(device.closes, 1);
  EXPECT_FALSE(device.is_open);
}

}  // namespace
}  // namespace perchkin
