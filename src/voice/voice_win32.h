// The Windows voice: SAPI 5 speech rendered into memory, and waveOut on the default device.
#pragma once

#include "voice/voice_backend.h"

#include <memory>

namespace perchkin {

std::unique_ptr<TextToSpeech> make_sapi_speech();
std::unique_ptr<AudioOut> make_waveout_audio();

}  // namespace perchkin
