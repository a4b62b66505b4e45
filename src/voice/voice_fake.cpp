#include "voice/voice_backend.h"

#include "base/text.h"

namespace perchkin {

Result<std::vector<std::int16_t>> ToneSpeech::synthesize(std::string_view text) {
  ++calls;
  if (fail)
    return Result<std::vector<std::int16_t>>::fail("no speech engine");
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
  is_open = true;
  return Status::success();
}

Status RecordingAudioOut::write(std::span<const std::int16_t> samples) {
  written.insert(written.end(), samples.begin(), samples.end());
  ++writes;
  if (hold) ++queued_buffers;
  return Status::success();
}

void RecordingAudioOut::close() {
  ++closes;
  is_open = false;
  queued_buffers = 0;
}

}  // namespace perchkin
