// What the robot voice needs from the system: a text-to-speech engine that renders a line to
// 22050 Hz mono 16-bit samples, and an audio device that plays 16-bit stereo buffers. Both are
// used from the voice's own threads only. Backends: espeak-ng and ALSA on Linux, SAPI and
// waveOut on Windows, and the fakes below for tests and --headless.
#pragma once

#include "base/status.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace perchkin {

inline constexpr int kSpeechRate = 22050;

class TextToSpeech {
 public:
  virtual ~TextToSpeech() = default;
  // Blocks until the whole line is rendered.
  virtual Result<std::vector<std::int16_t>> synthesize(std::string_view text) = 0;
};

class AudioOut {
 public:
  virtual ~AudioOut() = default;
  // Opens the device for interleaved stereo at `rate`; a missing device is a failure, which the
  // voice takes as silence.
  virtual Status open(int rate) = 0;
  // Queues one buffer and blocks while the device already holds `depth` buffers.
  virtual Status write(std::span<const std::int16_t> interleaved) = 0;
  virtual void close() = 0;
};

// A tone per character: 40 ms of a 440 Hz square wave each, so tests know the length exactly.
class ToneSpeech final : public TextToSpeech {
 public:
  Result<std::vector<std::int16_t>> synthesize(std::string_view text) override;
};

// Keeps everything written.
class RecordingAudioOut final : public AudioOut {
 public:
  std::vector<std::int16_t> written;
  int opened_rate = 0;
  int opens = 0, closes = 0;
  bool fail_open = false;

  Status open(int rate) override;
  Status write(std::span<const std::int16_t> interleaved) override;
  void close() override { ++closes; }
};

}  // namespace perchkin
