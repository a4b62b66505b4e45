// The Linux speech engine: espeak-ng, US English, in memory at 22050 Hz.
#pragma once

#include "voice/voice_backend.h"

#include <memory>

namespace perchkin {

// The library keeps one engine per process: make one of these at a time.
class EspeakSpeech final : public TextToSpeech {
 public:
  ~EspeakSpeech() override;
  Result<std::vector<std::int16_t>> synthesize(std::string_view text) override;
  void release() override;

 private:
  enum class State { untried, ready, failed, released };
  bool ensure_engine();
  State state_ = State::untried;
};

std::unique_ptr<TextToSpeech> make_espeak_speech();

}  // namespace perchkin
