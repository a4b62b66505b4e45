#include "voice/voice_backend.h"

#include "base/text.h"

namespace perchkin {

Result<std::vector<std::int16_t>> ToneSpeech::synthesize(std::string_view text) {
  constexpr int kPerChar = kSpeechRate / 25;  // 40 ms
  constexpr int kHalfPeriod = kSpeechRate / 880;
  std::vector<std::int16_t> out(char_count(text) * kPerChar);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = (i / kHalfPeriod) % 2 ? std::int16_t{-8000} : std::int16_t{8000};
  return Result<std::vector<std::int16_t>>::success(std::move(out));
}

Status RecordingAudioOut::open(int rate) {
  if (fail_open) return Status::fail("no audio device");
  opened_rate = rate;
  ++opens;
  return Status::success();
}

Status RecordingAudioOut::write(std::span<const std::int16_t> interleaved) {
  written.insert(written.end(), interleaved.begin(), interleaved.end());
  return Status::success();
}

}  // namespace perchkin
