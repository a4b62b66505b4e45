#include "voice/voice.h"

#include <algorithm>

namespace perchkin {

std::vector<SpeakRequest> new_bubble_lines(std::vector<Buddy>& buddies, const Settings& settings,
                                           double now) {
  std::vector<SpeakRequest> lines;
  if (!settings.voice) return lines;
  for (Buddy& b : buddies) {
    if (b.speech.bubble_serial == b.speech.spoken_serial) continue;
    b.speech.spoken_serial = b.speech.bubble_serial;
    if (b.speech.bubble_until <= now) continue;
    lines.push_back(SpeakRequest{b.speech.bubble_text, settings.voice_volume,
                                 !settings.voice_overlap, voice_pitch(b.id)});
  }
  return lines;
}

void speak_new_bubbles(Voice& voice, std::vector<Buddy>& buddies, const Settings& settings,
                       double now) {
  for (const SpeakRequest& line : new_bubble_lines(buddies, settings, now)) voice.speak(line);
}

Voice::Voice(std::unique_ptr<TextToSpeech> speech, std::unique_ptr<AudioOut> audio)
    : speech_(std::move(speech)), audio_(std::move(audio)) {}

Voice::~Voice() {
  if (!started_) return;
  {
    std::lock_guard lock(jobs_mutex_);
    jobs_closed_ = true;
  }
  jobs_ready_.notify_all();
  synthesis_.join();
  {
    std::lock_guard lock(voices_mutex_);
    voices_closed_ = true;
  }
  voices_ready_.notify_all();
  player_.join();
}

void Voice::start() {
  if (started_) return;
  started_ = true;
  synthesis_ = std::thread([this] { synthesis_thread(); });
  player_ = std::thread([this] { player_thread(); });
}

void Voice::speak(const SpeakRequest& request) {
  SpeakRequest line = request;
  line.text = normalize_spoken_text(request.text);
  if (line.text.empty()) return;
  line.volume = std::clamp(request.volume, 0.0, 1.0);
  start();
  if (Samples samples = cache_.find(line.text)) {
    to_player(PlayingVoice{std::move(samples), line.pitch, static_cast<float>(line.volume),
                           line.exclusive, 0.0});
    return;
  }
  if (pending_.load() >= kMaxPendingLines) return;
  ++pending_;
  {
    std::lock_guard lock(jobs_mutex_);
    jobs_.push_back(std::move(line));
  }
  jobs_ready_.notify_one();
}

void Voice::test_voice(double volume) {
  speak(SpeakRequest{std::string(kTestVoiceLine), volume, false, 1.0});
}

void Voice::play(Samples samples, double volume) {
  if (!samples || samples->empty()) return;
  start();
  to_player(PlayingVoice{std::move(samples), 1.0,
                         static_cast<float>(std::clamp(volume, 0.0, 1.0)), false, 0.0, true});
}

void Voice::to_player(PlayingVoice voice) {
  {
    std::lock_guard lock(voices_mutex_);
    voices_.push_back(std::move(voice));
  }
  voices_ready_.notify_one();
}

void Voice::synthesis_thread() {
  for (;;) {
    SpeakRequest line;
    {
      std::unique_lock lock(jobs_mutex_);
      jobs_ready_.wait(lock, [this] { return jobs_closed_ || !jobs_.empty(); });
      if (jobs_closed_) break;
      line = std::move(jobs_.front());
      jobs_.pop_front();
    }
    // A line asked for twice before its first rendering finished is rendered once.
    Samples samples = cache_.find(line.text);
    if (!samples) {
      Result<std::vector<std::int16_t>> raw = speech_->synthesize(line.text);
      if (raw.ok()) {
        samples = std::make_shared<const std::vector<std::int16_t>>(robot_effect(*raw));
        cache_.insert(line.text, samples);
      }
    }
    if (samples)
      to_player(PlayingVoice{std::move(samples), line.pitch, static_cast<float>(line.volume),
                             line.exclusive, 0.0});
    --pending_;
    // The player may already be idle; whoever waits for the whole voice must look again.
    {
      std::lock_guard lock(voices_mutex_);
    }
    idle_.notify_all();
  }
  speech_->release();
  {
    std::lock_guard lock(jobs_mutex_);
    pending_ -= jobs_.size();
    jobs_.clear();
  }
  idle_.notify_all();
}

void Voice::player_thread() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point origin = Clock::now();
  const auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - origin).count(); };
  Player player(*audio_);
  std::deque<PlayingVoice> arrived;
  for (;;) {
    bool closed = false;
    {
      std::unique_lock lock(voices_mutex_);
      const auto ready = [this] { return voices_closed_ || !voices_.empty(); };
      if (player.device_open())
        voices_ready_.wait_for(lock, std::chrono::milliseconds(5), ready);
      else
        voices_ready_.wait(lock, ready);
      arrived.swap(voices_);
      closed = voices_closed_;
      if (!arrived.empty()) player_busy_ = true;  // in hand, so not idle yet
    }
    if (closed) break;
    const double now = seconds();
    for (PlayingVoice& v : arrived) (void)player.offer(std::move(v), now);
    arrived.clear();
    player.pump(now);
    const bool busy = player.playing() > 0 || (player.device_open() && audio_->queued() > 0);
    {
      std::lock_guard lock(voices_mutex_);
      player_busy_ = busy;
    }
    if (!busy) idle_.notify_all();
  }
  player.stop();
  {
    std::lock_guard lock(voices_mutex_);
    voices_.clear();
    player_busy_ = false;
  }
  idle_.notify_all();
}

bool Voice::wait_idle(std::chrono::milliseconds timeout) {
  if (!started_) return true;
  std::unique_lock lock(voices_mutex_);
  return idle_.wait_for(lock, timeout, [this] {
    return pending_.load() == 0 && voices_.empty() && !player_busy_;
  });
}

}  // namespace perchkin
