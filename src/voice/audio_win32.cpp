// waveOut on the default device with three fixed buffers. Completion is read from each header's
// WHDR_DONE flag, so no callback thread is involved.
#include "voice/voice_win32.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace perchkin {

namespace {

class WaveOutAudio final : public AudioOut {
 public:
  ~WaveOutAudio() override {
    close();
    if (!wave_.empty()) PlaySoundW(nullptr, nullptr, 0);
  }

  Status open(int rate) override {
    close();
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = static_cast<DWORD>(rate);
    f.nAvgBytesPerSec = static_cast<DWORD>(rate) * 2;
    f.nBlockAlign = 2;
    f.wBitsPerSample = 16;
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
      return Status::fail("no audio device");
    for (std::size_t i = 0; i < headers_.size(); ++i) {
      headers_[i] = WAVEHDR{};
      headers_[i].lpData = reinterpret_cast<LPSTR>(buffers_[i].data());
      headers_[i].dwBufferLength = static_cast<DWORD>(buffers_[i].size() * 2);
      if (waveOutPrepareHeader(device, &headers_[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        for (std::size_t k = 0; k < i; ++k) waveOutUnprepareHeader(device, &headers_[k], sizeof(WAVEHDR));
        waveOutClose(device);
        return Status::fail("audio buffers refused");
      }
      written_[i] = false;
    }
    device_ = device;
    return Status::success();
  }

  int queued() override {
    int n = 0;
    for (std::size_t i = 0; i < headers_.size(); ++i)
      if (device_ != nullptr && busy(i)) ++n;
    return n;
  }

  Status write(std::span<const std::int16_t> samples) override {
    if (device_ == nullptr) return Status::fail("audio device closed");
    for (std::size_t i = 0; i < headers_.size(); ++i) {
      if (busy(i)) continue;
      const std::size_t n = std::min(samples.size(), buffers_[i].size());
      std::copy_n(samples.begin(), n, buffers_[i].begin());
      std::fill(buffers_[i].begin() + static_cast<std::ptrdiff_t>(n), buffers_[i].end(), 0);
      if (waveOutWrite(device_, &headers_[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
        return Status::fail("audio device lost");
      written_[i] = true;
      return Status::success();
    }
    return Status::fail("no free audio buffer");
  }

  // PlaySoundW plays from memory on the system's own thread; the wave must outlive the sound,
  // so the previous one is stopped before its memory is replaced.
  bool play_sound(std::span<const std::int16_t> samples) override {
    if (samples.empty() || samples.size() > 10u * kSpeechRate) return false;
    PlaySoundW(nullptr, nullptr, 0);
    const auto data = static_cast<std::uint32_t>(samples.size() * 2);
    wave_.assign(44 + data, 0);
    const auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
      for (int i = 0; i < bytes; ++i) wave_[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    std::copy_n("RIFF", 4, wave_.begin());
    put(4, 36 + data, 4);
    std::copy_n("WAVEfmt ", 8, wave_.begin() + 8);
    put(16, 16, 4);
    put(20, WAVE_FORMAT_PCM, 2);
    put(22, 1, 2);
    put(24, kSpeechRate, 4);
    put(28, kSpeechRate * 2, 4);
    put(32, 2, 2);
    put(34, 16, 2);
    std::copy_n("data", 4, wave_.begin() + 36);
    put(40, data, 4);
    for (std::size_t i = 0; i < samples.size(); ++i)
      put(44 + 2 * i, static_cast<std::uint16_t>(samples[i]), 2);
    return PlaySoundW(reinterpret_cast<LPCWSTR>(wave_.data()), nullptr,
                      SND_MEMORY | SND_ASYNC | SND_NODEFAULT) != FALSE;
  }

  void close() override {
    if (device_ == nullptr) return;
    waveOutReset(device_);
    for (WAVEHDR& h : headers_) waveOutUnprepareHeader(device_, &h, sizeof(WAVEHDR));
    waveOutClose(device_);
    device_ = nullptr;
    written_.fill(false);
  }

 private:
  // Written and not yet reported done; the driver sets the flag from its own thread.
  bool busy(std::size_t i) const {
    const volatile DWORD& flags = headers_[i].dwFlags;
    return written_[i] && (flags & WHDR_DONE) == 0;
  }

  HWAVEOUT device_ = nullptr;
  std::array<WAVEHDR, kAudioBuffers> headers_{};
  std::array<std::array<std::int16_t, kAudioBufferSamples>, kAudioBuffers> buffers_{};
  std::array<bool, kAudioBuffers> written_{};
  std::vector<char> wave_;  // the last click, as a RIFF wave
};

}  // namespace

std::unique_ptr<AudioOut> make_waveout_audio() { return std::make_unique<WaveOutAudio>(); }

}  // namespace perchkin
