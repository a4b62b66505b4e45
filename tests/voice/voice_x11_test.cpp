// The Linux voice for real: espeak-ng renders a line, and the whole voice plays into a private
// PulseAudio null sink through ALSA while parec records the sink's monitor.
#include "voice/audio_alsa.h"
#include "voice/speech_espeak.h"
#include "voice/voice.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace perchkin {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

double peak(const std::vector<std::int16_t>& s) {
  int p = 0;
  for (std::int16_t v : s) p = std::max(p, std::abs(static_cast<int>(v)));
  return p;
}

TEST(EspeakSpeech, RendersALineAt22050Hz) {
  EspeakSpeech speech;
  auto samples = speech.synthesize("Hello. I am Nippo.");
  ASSERT_TRUE(samples.ok()) << samples.error;
  // About one and a half seconds of speech at 22050 samples a second.
  EXPECT_GT(samples->size(), 22050u * 8 / 10);
  EXPECT_LT(samples->size(), 22050u * 4);
  EXPECT_GT(peak(*samples), 3000);
  // A longer line takes longer, and the engine stays usable.
  auto longer = speech.synthesize("Hello. I am Nippo. I am guarding your taskbar today.");
  ASSERT_TRUE(longer.ok());
  EXPECT_GT(longer->size(), samples->size() * 3 / 2);
  speech.release();
  EXPECT_FALSE(speech.synthesize("gone").ok());
}

bool have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A PulseAudio server of our own, in a temporary folder, with one null sink.
struct PrivatePulse {
  fs::path dir;
  bool running = false;

  PrivatePulse() {
    dir = fs::temp_directory_path() / ("perchkin-pulse-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string env = "PULSE_RUNTIME_PATH=" + dir.string() + " PULSE_STATE_PATH=" +
                            dir.string() + " HOME=" + dir.string() + " ";
    const std::string cmd =
        env + "pulseaudio --daemonize=yes --exit-idle-time=-1 -n --disallow-exit "
              "--use-pid-file=yes --load='module-null-sink sink_name=nullsink' "
              "--load='module-native-protocol-unix socket=" + (dir / "native").string() +
        "' </dev/null >" + (dir / "log").string() + " 2>&1";
    if (std::system(cmd.c_str()) != 0) return;
    for (int i = 0; i < 100 && !fs::exists(dir / "native"); ++i) std::this_thread::sleep_for(50ms);
    running = fs::exists(dir / "native");
    if (running) ::setenv("PULSE_SERVER", ("unix:" + (dir / "native").string()).c_str(), 1);
  }
  ~PrivatePulse() {
    if (running) (void)std::system(("kill $(cat " + (dir / "pid").string() + ")").c_str());
    ::unsetenv("PULSE_SERVER");
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

TEST(LinuxVoice, PlaysIntoAPulseAudioNullSink) {
  if (!have("pulseaudio") || !have("parec")) GTEST_SKIP() << "PulseAudio is not installed";
  PrivatePulse pulse;
  if (!pulse.running) GTEST_SKIP() << "PulseAudio did not start";
  const fs::path raw = pulse.dir / "monitor.raw";
  const std::string rec = "parec -d nullsink.monitor --raw --format=s16le --rate=22050 "
                          "--channels=1 </dev/null >" + raw.string() + " 2>/dev/null & echo $! >" +
                          (pulse.dir / "parec.pid").string();
  ASSERT_EQ(std::system(rec.c_str()), 0);
  std::this_thread::sleep_for(300ms);  // let the recorder attach before anything plays

  {
    Voice voice(make_espeak_speech(), make_alsa_audio());
    voice.speak({"Hello. I am Nippo.", 1.0, false, 1.0});
    ASSERT_TRUE(voice.wait_idle(30s));
  }
  std::this_thread::sleep_for(300ms);
  (void)std::system(("kill $(cat " + (pulse.dir / "parec.pid").string() + ")").c_str());

  std::ifstream in(raw, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::int16_t> recorded(bytes.size() / 2);
  std::memcpy(recorded.data(), bytes.data(), recorded.size() * 2);
  EXPECT_GT(recorded.size(), 22050u);  // more than a second of recording
  EXPECT_GT(peak(recorded), 8000) << "the sink's monitor heard nothing";
}

TEST(LinuxVoice, WithoutASoundServerItStaysQuietAndQuick) {
  // No server at this address: ALSA's default fails, the voice drops its lines.
  ::setenv("PULSE_SERVER", "unix:/nonexistent/perchkin/native", 1);
  {
    Voice voice(make_espeak_speech(), make_alsa_audio());
    voice.speak({"is anyone there", 1.0, false, 1.0});
    voice.speak({"hello", 1.0, false, 1.0});
    EXPECT_TRUE(voice.wait_idle(30s));
  }
  ::unsetenv("PULSE_SERVER");
}

}  // namespace
}  // namespace perchkin
