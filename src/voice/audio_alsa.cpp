// ALSA playback in non-blocking mode: the player asks how much is still queued instead of
// waiting inside a write, so a stuck device can never hold the player thread.
#include "voice/audio_alsa.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <mutex>

namespace perchkin {

namespace {

// ALSA's own error lines would repeat for every attempt on a machine without sound.
void quiet_alsa_errors(const char*, int, const char*, int, const char*, ...) {}

class AlsaAudio final : public AudioOut {
 public:
  AlsaAudio() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(quiet_alsa_errors); });
  }
  ~AlsaAudio() override { close(); }

  Status open(int rate) override {
    close();
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
      return Status::fail("no audio device");
    constexpr unsigned kLatencyMicros = 1000000u * kAudioBuffers * kAudioBufferSamples / kSpeechRate;
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                           static_cast<unsigned>(rate), 1, kLatencyMicros) < 0) {
      snd_pcm_close(pcm);
      return Status::fail("audio format refused");
    }
    snd_pcm_uframes_t buffer = 0, period = 0;
    if (snd_pcm_get_params(pcm, &buffer, &period) < 0 || buffer == 0) {
      snd_pcm_close(pcm);
      return Status::fail("audio format refused");
    }
    pcm_ = pcm;
    buffer_frames_ = static_cast<snd_pcm_sframes_t>(buffer);
    return Status::success();
  }

  int queued() override {
    if (pcm_ == nullptr) return 0;
    if (snd_pcm_state(pcm_) != SND_PCM_STATE_RUNNING) {
      // Prepared holds what was written until started; anything else (an underrun at the end
      // of a line, a suspend) means nothing is left to play.
      if (snd_pcm_state(pcm_) != SND_PCM_STATE_PREPARED) return 0;
    }
    const snd_pcm_sframes_t avail = snd_pcm_avail(pcm_);
    if (avail < 0) return 0;
    const snd_pcm_sframes_t held = std::max<snd_pcm_sframes_t>(0, buffer_frames_ - avail);
    return static_cast<int>((held + kAudioBufferSamples - 1) / kAudioBufferSamples);
  }

  Status write(std::span<const std::int16_t> samples) override {
    if (pcm_ == nullptr) return Status::fail("audio device closed");
    const snd_pcm_state_t state = snd_pcm_state(pcm_);
    if (state == SND_PCM_STATE_XRUN || state == SND_PCM_STATE_SETUP ||
        state == SND_PCM_STATE_SUSPENDED) {
      if (snd_pcm_prepare(pcm_) < 0) return Status::fail("audio device lost");
    }
    const std::int16_t* data = samples.data();
    auto left = static_cast<snd_pcm_uframes_t>(samples.size());
    // A device with a shorter ring than asked for takes the rest after a short wait; four
    // tries bound the time the player can spend here.
    for (int attempt = 0; left > 0 && attempt < 4; ++attempt) {
      const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, data, left);
      if (n == -EAGAIN) {
        snd_pcm_wait(pcm_, 20);
        continue;
      }
      if (n < 0) {
        if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) return Status::fail("audio device lost");
        continue;
      }
      data += n;
      left -= static_cast<snd_pcm_uframes_t>(n);
    }
    // Start at once rather than when the ring is full, so a short line is heard too.
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) (void)snd_pcm_start(pcm_);
    return Status::success();
  }

  void close() override {
    if (pcm_ == nullptr) return;
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
  }

 private:
  snd_pcm_t* pcm_ = nullptr;
  snd_pcm_sframes_t buffer_frames_ = 0;
};

}  // namespace

std::unique_ptr<AudioOut> make_alsa_audio() { return std::make_unique<AlsaAudio>(); }

}  // namespace perchkin
