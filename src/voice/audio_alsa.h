// The Linux audio device: ALSA's `default` PCM, which reaches PulseAudio or PipeWire where
// they run.
#pragma once

#include "voice/voice_backend.h"

#include <memory>

namespace perchkin {

std::unique_ptr<AudioOut> make_alsa_audio();

}  // namespace perchkin
