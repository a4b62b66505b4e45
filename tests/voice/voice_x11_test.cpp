// The Linux voice for real: espeak-ng renders a line, and the whole voice plays into a private
// PulseAudio null sink through ALSA while parec records the sink's monitor.
#include "app/app.h"
#include "app/commands.h"
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
#include <memory>
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
    // Wait for the server to be gone: it writes its state on the way out.
    if (running)
      (void)std::system(("p=$(cat " + (dir / "pid").string() +
                         "); kill $p; for i in $(seq 40); do kill -0 $p 2>/dev/null || break; "
                         "sleep 0.05; done")
                            .c_str());
    ::unsetenv("PULSE_SERVER");
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

// Records the null sink's monitor while a test plays into it.
struct NullSink : ::testing::Test {
  std::unique_ptr<PrivatePulse> pulse;
  fs::path raw;

  void SetUp() override {
    if (!have("pulseaudio") || !have("parec")) GTEST_SKIP() << "PulseAudio is not installed";
    pulse = std::make_unique<PrivatePulse>();
    if (!pulse->running) GTEST_SKIP() << "PulseAudio did not start";
    raw = pulse->dir / "monitor.raw";
    const std::string rec = "parec -d nullsink.monitor --raw --format=s16le --rate=22050 "
                            "--channels=1 </dev/null >" + raw.string() + " 2>/dev/null & echo $! >" +
                            (pulse->dir / "parec.pid").string();
    ASSERT_EQ(std::system(rec.c_str()), 0);
    std::this_thread::sleep_for(300ms);  // let the recorder attach before anything plays
  }

  std::vector<std::int16_t> recording() {
    std::this_thread::sleep_for(300ms);
    (void)std::system(("kill $(cat " + (pulse->dir / "parec.pid").string() + ")").c_str());
    std::ifstream in(raw, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }
};

TEST_F(NullSink, TheVoicePlaysThroughAlsa) {
  {
    Voice voice(make_espeak_speech(), make_alsa_audio());
    voice.speak({"Hello. I am Nippo.", 1.0, false, 1.0});
    ASSERT_TRUE(voice.wait_idle(30s));
  }
  const auto recorded = recording();
  EXPECT_GT(recorded.size(), 22050u);  // more than a second of recording
  EXPECT_GT(peak(recorded), 8000) << "the sink's monitor heard nothing";
}

// The companion's own road: the say command, the world tick's voice step, the real devices.
TEST_F(NullSink, ASaidLineIsHeardWhenTheVoiceIsOn) {
  FakeDesktop desktop;
  VirtualClock clock;
  App app;
  init_app(app, desktop, clock, 10, 99);
  app.platform.voice = std::make_unique<Voice>(make_espeak_speech(), make_alsa_audio());
  app.settings.voice = true;
  ASSERT_EQ(run_command(app, "say", {{"text", "beep boop, I can talk"}}).msg, "said");
  app.sim_clock += kTick;
  world_tick(app);
  ASSERT_TRUE(app.platform.voice->wait_idle(30s));
  app.platform.voice.reset();
  EXPECT_GT(peak(recording()), 8000) << "the sink's monitor heard nothing";
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
