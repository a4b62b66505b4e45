// waveOut on the default device with three fixed buffers. Completion is read from each header's
// WHDR_DONE flag, so no callback thread is involved.
#include "voice/voice_win32.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>

namespace perchkin {

namespace {

class WaveOutAudio final : public AudioOut {
 public:
  ~WaveOutAudio() override { close(); }

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
};

}  // namespace

std::unique_ptr<AudioOut> make_waveout_audio() { return std::make_unique<WaveOutAudio>(); }

}  // namespace perchkin
