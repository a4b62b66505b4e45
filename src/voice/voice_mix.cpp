#include "voice/voice_mix.h"

#include "base/text.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace perchkin {

namespace {

struct Range {
  char32_t first, last;
};

// Blocks of letters and digits above Latin-1, in order. Inside them a few punctuation marks
// pass as letters; that only means the engine sees them.
constexpr Range kLetterRanges[] = {
    {0x0100, 0x02FF},  {0x0370, 0x1FFF},   {0x2070, 0x209F},   {0x2150, 0x218F},
    {0x2460, 0x24FF},  {0x2C00, 0x2DFF},   {0x3005, 0x3007},   {0x3021, 0x3029},
    {0x3031, 0x3035},  {0x3040, 0xD7FF},   {0xF900, 0xFDFF},   {0xFE70, 0xFEFE},
    {0xFF10, 0xFF19},  {0xFF21, 0xFF3A},   {0xFF41, 0xFF5A},   {0xFF66, 0xFFDC},
    {0x10000, 0x1CFFF}, {0x1D400, 0x1EFFF}, {0x20000, 0x3FFFF},
};

bool kept_punctuation(char32_t c) {
  return c == ' ' || c == '.' || c == ',' || c == '!' || c == '?' || c == '\'' || c == '-';
}

}  // namespace

bool is_letter_or_digit(char32_t c) {
  if (c < 0x80)
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  if (c < 0x100) {
    // Latin-1: the letters, ordinal indicators, micro sign, superscripts and fractions.
    if (c >= 0xC0) return c != 0xD7 && c != 0xF7;
    return c == 0xAA || c == 0xB2 || c == 0xB3 || c == 0xB5 || c == 0xB9 || c == 0xBA ||
           (c >= 0xBC && c <= 0xBE);
  }
  for (const Range& r : kLetterRanges) {
    if (c < r.first) return false;
    if (c <= r.last) return true;
  }
  return false;
}

std::string normalize_spoken_text(std::string_view text) {
  const std::vector<char32_t> chars = decode_utf8(text);
  const std::size_t n = std::min(chars.size(), kSpokenChars);
  std::string out;
  bool any = false;
  bool gap = false;
  for (std::size_t i = 0; i < n; ++i) {
    const char32_t c = chars[i];
    const bool alnum = is_letter_or_digit(c);
    if (c == ' ' || (!alnum && !kept_punctuation(c))) {
      gap = true;
      continue;
    }
    if (gap && !out.empty()) out += ' ';
    gap = false;
    append_utf8(out, c);
    any = any || alnum;
  }
  if (!any) out.clear();
  return out;
}

std::vector<std::int16_t> robot_effect(std::span<const std::int16_t> x) {
  constexpr int kComb = 132;
  constexpr double kFeedback = 0.38;
  constexpr double kRing = 92.0;
  const std::size_t n = x.size();
  const std::size_t total = n + kEffectTail;
  std::vector<double> y(total);
  double peak = 1.0;
  for (std::size_t m = 0; m < total; ++m) {
    const double s = m < n ? x[m] : 0.0;
    const double mod =
        std::sin(2.0 * std::numbers::pi * kRing * static_cast<double>(m) / kSpeechRate);
    double v = (0.72 + 0.28 * mod) * s;
    if (m >= kComb) v += kFeedback * y[m - kComb];
    y[m] = v;
    peak = std::max(peak, std::abs(v));
  }
  const double gain = 27851.951 / peak;
  const double last = static_cast<double>(total - 1);
  std::vector<std::int16_t> out(total);
  for (std::size_t m = 0; m < total; ++m) {
    const double md = static_cast<double>(m);
    const double fade = std::min({md / 110.0, (last - md) / 551.0, 1.0});
    const double v = std::trunc(y[m] * gain * fade);
    out[m] = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
  }
  return out;
}

double voice_pitch(std::uint32_t id) {
  const double v = static_cast<double>(id) * 0.618034;
  return 0.84 + 0.36 * (v - std::floor(v));
}

Samples SampleCache::find(const std::string& text) const {
  std::lock_guard lock(mutex_);
  const auto it = lines_.find(text);
  return it == lines_.end() ? nullptr : it->second;
}

void SampleCache::insert(const std::string& text, Samples samples) {
  std::lock_guard lock(mutex_);
  if (lines_.size() >= kLimit) lines_.clear();
  lines_.insert_or_assign(text, std::move(samples));
}

std::size_t SampleCache::size() const {
  std::lock_guard lock(mutex_);
  return lines_.size();
}

void mix_block(std::vector<PlayingVoice>& voices, std::span<std::int16_t> out) {
  const auto lines = std::count_if(voices.begin(), voices.end(), [](const PlayingVoice& v) { return !v.click; });
  const double gain = lines == 0 ? 1.0 : std::pow(static_cast<double>(lines), -0.4);
  for (std::int16_t& sample : out) {
    double sum = 0.0, clicks = 0.0;
    for (PlayingVoice& v : voices) {
      const std::vector<std::int16_t>& s = *v.samples;
      const double i = std::floor(v.position);
      const auto k = static_cast<std::size_t>(i);
      if (k + 1 >= s.size()) continue;
      const double f = v.position - i;
      const double value = s[k] * (1.0 - f) + s[k + 1] * f;
      (v.click ? clicks : sum) += value * static_cast<double>(v.volume) / 32768.0;
      v.position += v.pitch;
    }
    const double mixed = std::tanh(sum * gain + clicks) * 32767.0;
    sample = static_cast<std::int16_t>(std::clamp(mixed, -32768.0, 32767.0));
  }
  std::erase_if(voices, [](const PlayingVoice& v) {
    return static_cast<std::size_t>(v.position) + 1 >= v.samples->size();
  });
}

bool Player::offer(PlayingVoice voice, double now) {
  if (!voice.samples || voice.samples->size() < 2) return false;
  if (voices_.size() >= static_cast<std::size_t>(kMaxPlayingVoices)) return false;
  if (voice.click && !open_) return audio_.play_sound(*voice.samples);
  if (voice.exclusive) {
    const bool talking = std::any_of(voices_.begin(), voices_.end(), [](const PlayingVoice& v) { return !v.click; });
    const bool audible =
        open_ && written_ - static_cast<std::uint64_t>(std::max(0, audio_.queued())) < line_written_;
    if (talking || audible) return false;
  }
  if (!open_) {
    if (now < reopen_at_) return false;
    if (!audio_.open(kSpeechRate).ok()) {
      reopen_at_ = now + kReopenDelay;
      return false;
    }
    open_ = true;
    written_ = line_written_ = 0;
  }
  silent_since_.reset();
  voices_.push_back(std::move(voice));
  return true;
}

void Player::pump(double now) {
  if (!open_) return;
  while (!voices_.empty() && audio_.queued() < kAudioBuffers) {
    const bool line = std::any_of(voices_.begin(), voices_.end(), [](const PlayingVoice& v) { return !v.click; });
    mix_block(voices_, block_);
    ++written_;
    if (line) line_written_ = written_;
    if (!audio_.write(block_).ok()) {
      // The device went away: drop what plays and try again later, as after a failed open.
      stop();
      reopen_at_ = now + kReopenDelay;
      return;
    }
  }
  if (!voices_.empty() || audio_.queued() > 0) {
    silent_since_.reset();
    return;
  }
  if (!silent_since_) silent_since_ = now;
  if (now - *silent_since_ >= kSilenceBeforeClose) close_device();
}

void Player::stop() {
  voices_.clear();
  if (open_) close_device();
}

void Player::close_device() {
  audio_.close();
  open_ = false;
  silent_since_.reset();
}

}  // namespace perchkin
