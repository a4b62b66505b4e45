// The robot voice's sound work, free of threads and devices: how a line is cleaned up before
// it is spoken, the robot effect applied to the engine's samples, the text-to-samples cache,
// and the player that mixes voices into the device's buffers.
#pragma once

#include "voice/voice_backend.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace perchkin {

using Samples = std::shared_ptr<const std::vector<std::int16_t>>;

inline constexpr std::size_t kSpokenChars = 120;
inline constexpr int kMaxPlayingVoices = 48;
inline constexpr double kSilenceBeforeClose = 0.5;
// After the device fails to open, lines are dropped for this long before it is tried again,
// so a machine without sound never retries the device for every line.
inline constexpr double kReopenDelay = 5.0;
// The robot effect's echo tail: 0.12 s past the end of the speech.
inline constexpr int kEffectTail = 2646;

// Letters and digits of any script, approximated by code-point ranges: what is not a letter or
// digit (punctuation, symbols, emoji, marks) is spoken as a pause, or not at all.
bool is_letter_or_digit(char32_t c);

// At most the first 120 characters; letters, digits, space and . , ! ? ' - kept, anything else a
// space; runs of white space become one space, none at the ends. Empty when no letter or digit
// remains, so such a line is never spoken.
std::string normalize_spoken_text(std::string_view text);

// Ring modulation at 92 Hz, a 132-sample feedback comb with its tail, normalised to 85 % of full
// scale, with a 110-sample fade-in and a 551-sample fade-out. Gives x.size() + kEffectTail
// samples.
std::vector<std::int16_t> robot_effect(std::span<const std::int16_t> x);

// Each buddy's own pitch in [0.84, 1.2): the golden ratio keeps neighbouring ids apart.
double voice_pitch(std::uint32_t id);

// Finished lines by normalised text, shared by the user-interface thread (lookups) and the
// synthesis thread (inserts). Holds up to 256 lines; the 257th empties it first.
class SampleCache {
 public:
  static constexpr std::size_t kLimit = 256;

  Samples find(const std::string& text) const;
  void insert(const std::string& text, Samples samples);
  std::size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Samples> lines_;
};

// One voice in the player: samples read at `pitch` source samples per output sample.
struct PlayingVoice {
  Samples samples;
  double pitch = 1.0;
  float volume = 1.0f;
  bool exclusive = false;
  double position = 0.0;
  // A sound of the interface (the menu's clicks): mixed in at its volume, it never counts as a
  // voice, so it neither quietens the lines nor keeps an exclusive line out.
  bool click = false;
};

// Mixes one buffer: each voice's samples interpolated at its position, scaled by its volume,
// summed, divided by V^0.4 for V voices (clicks added after, uncounted) and clipped softly
// through tanh. Voices that reached
// their last sample pair are removed afterwards.
void mix_block(std::vector<PlayingVoice>& voices, std::span<std::int16_t> out);

// The player thread's state. The thread hands it new voices and calls pump() at least every
// 5 ms while the device is open; time is passed in, so tests drive it by hand.
class Player {
 public:
  explicit Player(AudioOut& audio) : audio_(audio) {}

  // False when the voice is dropped: 48 already play, an exclusive voice meets another line
  // still audible, or there is no device. A click never opens the device: while it is closed
  // the click goes to the system's own sound path, or is not heard.
  bool offer(PlayingVoice voice, double now);
  // Fills and writes every free buffer while voices play; closes the device after 0.5 s of
  // silence.
  void pump(double now);
  // Closes the device at once and drops every voice.
  void stop();

  std::size_t playing() const { return voices_.size(); }
  bool device_open() const { return open_; }

 private:
  void close_device();

  AudioOut& audio_;
  std::vector<PlayingVoice> voices_;
  std::vector<std::int16_t> block_ = std::vector<std::int16_t>(kAudioBufferSamples);
  bool open_ = false;
  std::optional<double> silent_since_;
  double reopen_at_ = 0.0;
  // Buffers written since the device opened, and how many had been when the last one holding
  // a line was: that line is audible until the device has finished that many.
  std::uint64_t written_ = 0, line_written_ = 0;
};

}  // namespace perchkin
