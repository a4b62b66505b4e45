// What the robot voice needs from the system: a text-to-speech engine that renders a line to
// 22050 Hz mono 16-bit samples, and an audio device that plays such samples in a few fixed
// buffers. The engine is used from the voice's synthesis thread only, the device from its
// player thread only. Backends: espeak-ng and ALSA on Linux, SAPI and waveOut on Windows, and
// the fakes below for tests and --headless.
#pragma once

#include "base/status.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace perchkin {

inline constexpr int kSpeechRate = 22050;
// The device takes 40 ms buffers, at most this many queued at a time.
inline constexpr int kAudioBuffers = 3;
inline constexpr int kAudioBufferSamples = 882;

class TextToSpeech {
 public:
  virtual ~TextToSpeech() = default;
  // Blocks until the whole line is rendered at kSpeechRate, mono. The engine is created on the
  // first call, on the calling thread; when it cannot be created every call fails.
  virtual Result<std::vector<std::int16_t>> synthesize(std::string_view text) = 0;
  // Called once on the synthesis thread before it ends, so the engine is torn down where it
  // was made.
  virtual void release() {}
};

class AudioOut {
 public:
  virtual ~AudioOut() = default;
  // Opens the default device for mono 16-bit samples at `rate`; a missing device is a failure,
  // which the voice takes as silence.
  virtual Status open(int rate) = 0;
  // How many written buffers the device has not finished playing.
  virtual int queued() = 0;
  // Queues one buffer of kAudioBufferSamples; only called while queued() < kAudioBuffers.
  virtual Status write(std::span<const std::int16_t> samples) = 0;
  // Stops at once, dropping whatever is queued, and closes the device.
  virtual void close() = 0;
  // Plays a short sound at kSpeechRate through the system's own asynchronous path, without
  // opening this device (the menu's clicks while no line plays); false where there is none.
  virtual bool play_sound(std::span<const std::int16_t> samples) {
    (void)samples;
    return false;
  }
};

// A tone per character: 40 ms of a 440 Hz square wave each, so tests know the length exactly.
// With `fail` set it fails every line, as an engine that cannot be created does.
class ToneSpeech final : public TextToSpeech {
 public:
  int calls = 0;
  bool fail = false;
  Result<std::vector<std::int16_t>> synthesize(std::string_view text) override;
};

// Keeps everything written. With `hold` set the device keeps every buffer queued until the
// test sets `queued_buffers` back; otherwise buffers finish the moment they are written.
class RecordingAudioOut final : public AudioOut {
 public:
  std::vector<std::int16_t> written;
  int opened_rate = 0;
  int opens = 0, closes = 0, writes = 0;
  int queued_buffers = 0;
  bool hold = false;
  bool fail_open = false;
  bool is_open = false;
  int sounds = 0;  // play_sound calls, which it takes when `system_sound` is set
  bool system_sound = false;

  Status open(int rate) override;
  int queued() override { return queued_buffers; }
  Status write(std::span<const std::int16_t> samples) override;
  void close() override;
  bool play_sound(std::span<const std::int16_t>) override {
    sounds += system_sound ? 1 : 0;
    return system_sound;
  }
};

}  // namespace perchkin
