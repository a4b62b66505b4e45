// SAPI 5 text to speech into an in-memory stream. The voice is created on the synthesis thread,
// in the multithreaded apartment, and released there too.
#include "voice/voice_win32.h"
#include "base/utf16_win32.h"

#include <windows.h>
#include <objbase.h>
#include <sapi.h>
#include <shlwapi.h>

#include <string>

namespace perchkin {

namespace {

// SPDFID_WaveFormatEx: the stream's format is given as a WAVEFORMATEX. Defined here once, as not
// every mingw import library carries it.
constexpr GUID kWaveFormatExFormat = {
    0xC31ADBAE, 0x527F, 0x4FF5, {0xA2, 0x30, 0xF6, 0x2B, 0xB6, 0x1F, 0xF7, 0x0C}};
// The longest line the stream is read for: a minute of speech.
constexpr ULONGLONG kMaxStreamBytes = 60ull * kSpeechRate * 2;

template <typename T>
void drop(T*& p) {
  if (p != nullptr) p->Release();
  p = nullptr;
}

WAVEFORMATEX speech_format() {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 1;
  f.nSamplesPerSec = kSpeechRate;
  f.nAvgBytesPerSec = kSpeechRate * 2;
  f.nBlockAlign = 2;
  f.wBitsPerSample = 16;
  return f;
}

class SapiSpeech final : public TextToSpeech {
 public:
  ~SapiSpeech() override { release(); }

  Result<std::vector<std::int16_t>> synthesize(std::string_view text) override {
    if (!ensure_voice()) return Result<std::vector<std::int16_t>>::fail("no speech engine");
    IStream* memory = SHCreateMemStream(nullptr, 0);
    if (memory == nullptr) return Result<std::vector<std::int16_t>>::fail("no memory stream");
    ISpStream* stream = nullptr;
    std::vector<std::int16_t> samples;
    bool ok = false;
    const WAVEFORMATEX format = speech_format();
    if (SUCCEEDED(CoCreateInstance(__uuidof(SpStream), nullptr, CLSCTX_ALL,
                                   __uuidof(ISpStream), reinterpret_cast<void**>(&stream))) &&
        SUCCEEDED(stream->SetBaseStream(memory, kWaveFormatExFormat, &format)) &&
        SUCCEEDED(voice_->SetOutput(stream, TRUE))) {
      const std::wstring line = widen(text);
      ok = SUCCEEDED(voice_->Speak(line.c_str(), SPF_PURGEBEFORESPEAK | SPF_IS_NOT_XML, nullptr)) &&
           read_all(memory, samples);
      // Let go of this line's stream; the next line brings its own.
      (void)voice_->SetOutput(nullptr, FALSE);
    }
    drop(stream);
    drop(memory);
    if (!ok) return Result<std::vector<std::int16_t>>::fail("speech failed");
    return Result<std::vector<std::int16_t>>::success(std::move(samples));
  }

  void release() override {
    drop(voice_);
    if (com_) CoUninitialize();
    com_ = false;
    tried_ = true;  // never again on this object
  }

 private:
  bool ensure_voice() {
    if (voice_ != nullptr) return true;
    if (tried_) return false;
    tried_ = true;
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    com_ = SUCCEEDED(init);
    if (FAILED(CoCreateInstance(__uuidof(SpVoice), nullptr, CLSCTX_ALL, __uuidof(ISpVoice),
                                reinterpret_cast<void**>(&voice_)))) {
      voice_ = nullptr;
      return false;
    }
    (void)voice_->SetRate(-1);  // one step slower than normal
    return true;
  }

  static bool read_all(IStream* memory, std::vector<std::int16_t>& out) {
    ULARGE_INTEGER end{};
    LARGE_INTEGER zero{};
    if (FAILED(memory->Seek(zero, STREAM_SEEK_END, &end))) return false;
    const ULONGLONG bytes = end.QuadPart < kMaxStreamBytes ? end.QuadPart : kMaxStreamBytes;
    if (FAILED(memory->Seek(zero, STREAM_SEEK_SET, nullptr))) return false;
    out.resize(static_cast<std::size_t>(bytes / 2));
    ULONG got = 0;
    if (!out.empty() &&
        FAILED(memory->Read(out.data(), static_cast<ULONG>(out.size() * 2), &got)))
      return false;
    out.resize(got / 2);
    return true;
  }

  ISpVoice* voice_ = nullptr;
  bool com_ = false;
  bool tried_ = false;
};

}  // namespace

std::unique_ptr<TextToSpeech> make_sapi_speech() { return std::make_unique<SapiSpeech>(); }

}  // namespace perchkin
