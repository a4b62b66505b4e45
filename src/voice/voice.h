// The robot voice: the user-interface thread decides what to say, a synthesis thread renders
// lines through the speech engine and the robot effect, and a player thread mixes them into
// the audio device. Both threads start on first use; the user-interface thread never waits
// for either.
#pragma once

#include "crowd/buddy.h"
#include "settings/settings.h"
#include "voice/voice_backend.h"
#include "voice/voice_mix.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace perchkin {

inline constexpr std::size_t kMaxPendingLines = 6;
inline constexpr std::string_view kTestVoiceLine = "Hello. I am Nippo.";

struct SpeakRequest {
  std::string text;
  double volume = 1.0;
  bool exclusive = false;
  double pitch = 1.0;
};

// Marks every new bubble as heard and returns the ones still showing, with each buddy's pitch
// and the voice settings. With the voice off nothing is marked or returned.
std::vector<SpeakRequest> new_bubble_lines(std::vector<Buddy>& buddies, const Settings& settings,
                                           double now);

class Voice {
 public:
  Voice(std::unique_ptr<TextToSpeech> speech, std::unique_ptr<AudioOut> audio);
  // Stops both threads; lines still waiting are dropped and the device is closed.
  ~Voice();
  Voice(const Voice&) = delete;
  Voice& operator=(const Voice&) = delete;

  // Speaks a line: a cached line goes straight to the player, another to the synthesis
  // thread unless 6 are already waiting there. Never blocks on synthesis or sound.
  void speak(const SpeakRequest& request);
  // The Studio's sample line at pitch 1.
  void test_voice(double volume);
  // Plays finished samples (the menu's clicks) as clicks: mixed into what plays, never counted
  // as a line, and never opening the device themselves.
  void play(Samples samples, double volume);

  // Lines handed to the synthesis thread and not yet finished.
  std::size_t pending() const { return pending_.load(); }
  const SampleCache& cache() const { return cache_; }
  // Waits until no line is pending or playing and the device has nothing queued; false on
  // timeout. For tests and orderly endings, never for the user-interface thread's loop.
  bool wait_idle(std::chrono::milliseconds timeout);

 private:
  void start();
  void synthesis_thread();
  void player_thread();
  void to_player(PlayingVoice voice);

  std::unique_ptr<TextToSpeech> speech_;
  std::unique_ptr<AudioOut> audio_;
  SampleCache cache_;
  std::atomic<std::size_t> pending_{0};
  bool started_ = false;

  std::mutex jobs_mutex_;
  std::condition_variable jobs_ready_;
  std::deque<SpeakRequest> jobs_;
  bool jobs_closed_ = false;

  std::mutex voices_mutex_;
  std::condition_variable voices_ready_;
  std::condition_variable idle_;
  std::deque<PlayingVoice> voices_;
  bool voices_closed_ = false;
  bool player_busy_ = false;  // something plays or the device still holds buffers

  std::thread synthesis_;
  std::thread player_;
};

// The voice step of the world tick: new bubbles of a shown crew go to the voice.
void speak_new_bubbles(Voice& voice, std::vector<Buddy>& buddies, const Settings& settings,
                       double now);

}  // namespace perchkin
