// The Linux speech engine: espeak-ng, US English, in memory at 22050 Hz.
#pragma once

#include "voice/voice_backend.h"

#include <memory>

namespace perchkin {

// All of these share the library's one engine, started on the first line and kept until the
// process ends; release() only ends this object's use of it.
class EspeakSpeech final : public TextToSpeech {
 public:
  Result<std::vector<std::int16_t>> synthesize(std::string_view text) override;
  void release() override { released_ = true; }

 private:
  bool released_ = false;
};

std::unique_ptr<TextToSpeech> make_espeak_speech();

}  // namespace perchkin
