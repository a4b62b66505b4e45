// Text to speech through the espeak-ng library, rendering into memory on the calling thread.
#include "voice/speech_espeak.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>

namespace perchkin {

namespace {

// One step slower than espeak's normal 175 words a minute, the step being the 1.116 factor
// between neighbouring rates of common speech engines (ten steps triple the speed).
constexpr int kWordsPerMinute = 157;
constexpr const char* kVoiceName = "en-us";
constexpr const char* kFallbackVoice = "en";

// Folders that may hold espeak-ng-data when the library's built-in path does not.
constexpr const char* kDataParents[] = {"/usr/lib/x86_64-linux-gnu", "/usr/lib/aarch64-linux-gnu",
                                        "/usr/lib", "/usr/share", "/usr/local/share",
                                        "/usr/local/lib"};

int collect(short* wav, int count, espeak_EVENT* events) {
  if (wav == nullptr || count <= 0 || events == nullptr) return 0;
  auto* out = static_cast<std::vector<std::int16_t>*>(events->user_data);
  if (out != nullptr) out->insert(out->end(), wav, wav + count);
  return 0;
}

bool start_engine(const char* parent) {
  espeak_ng_InitializePath(parent);
  espeak_ng_ERROR_CONTEXT context = nullptr;
  const espeak_ng_STATUS status = espeak_ng_Initialize(&context);
  espeak_ng_ClearErrorContext(&context);
  return status == ENS_OK;
}

// The library holds one engine per process and cannot be started again once terminated (the
// second termination hangs), so it is started once, kept for the process's life, and every
// line goes through it under one lock.
std::mutex engine_mutex;
enum class Engine { untried, ready, failed };
Engine engine = Engine::untried;

bool engine_ready_locked() {
  if (engine != Engine::untried) return engine == Engine::ready;
  engine = Engine::failed;
  bool started = start_engine(nullptr);
  for (const char* parent : kDataParents) {
    if (started) break;
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::path(parent) / "espeak-ng-data" / "phontab", ec))
      started = start_engine(parent);
  }
  if (!started) return false;
  if (espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr) != ENS_OK ||
      espeak_ng_GetSampleRate() != kSpeechRate)
    return false;
  if (espeak_ng_SetVoiceByName(kVoiceName) != ENS_OK &&
      espeak_ng_SetVoiceByName(kFallbackVoice) != ENS_OK)
    return false;
  espeak_SetSynthCallback(collect);
  (void)espeak_ng_SetParameter(espeakRATE, kWordsPerMinute, 0);
  engine = Engine::ready;
  return true;
}

}  // namespace

Result<std::vector<std::int16_t>> EspeakSpeech::synthesize(std::string_view text) {
  if (released_) return Result<std::vector<std::int16_t>>::fail("no speech engine");
  std::lock_guard lock(engine_mutex);
  if (!engine_ready_locked()) return Result<std::vector<std::int16_t>>::fail("no speech engine");
  const std::string line(text);
  std::vector<std::int16_t> samples;
  const espeak_ng_STATUS status =
      espeak_ng_Synthesize(line.c_str(), line.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8,
                           nullptr, &samples);
  if (status != ENS_OK) return Result<std::vector<std::int16_t>>::fail("speech failed");
  return Result<std::vector<std::int16_t>>::success(std::move(samples));
}

std::unique_ptr<TextToSpeech> make_espeak_speech() { return std::make_unique<EspeakSpeech>(); }

}  // namespace perchkin
