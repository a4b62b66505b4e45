// The regression check for refactors: a scripted ten-minute headless session (session.txt),
// replayed on a virtual clock through the real frame loop, command channel and wire format,
// must give the recorded transcript (session.golden) byte for byte. The transcript holds every
// reply line, a `status` every two seconds and, after each status, a fingerprint of the state
// status rounds away (exact positions, velocities, generator states, particle and drawing
// counts).
//
// The random generators are seeded through init_app's seed argument, which is this check's
// test-only hook: the program seeds from the wall clock and offers no option for it.
//
// After an intended change of behaviour, regenerate the golden file:
//   PERCHKIN_REGRESSION_WRITE=1 build/asan/test_regression
// and review the diff like code.
#include "app/app.h"
#include "ipc/command.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace perchkin {
namespace {

constexpr std::uint64_t kSeed = 0x5EED'2026'1208ull;
constexpr double kSessionSeconds = 600.0;
constexpr int kStatusEveryTicks = 120;

std::string source_path(const char* name) {
  return std::string(PERCHKIN_SOURCE_DIR) + "/tests/regression/" + name;
}

struct Step {
  double at = 0.0;
  std::string action;
  std::string rest;
};

std::vector<Step> read_script(const std::string& path) {
  std::ifstream in(path);
  std::vector<Step> steps;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Step s;
    fields >> s.at >> s.action;
    std::getline(fields >> std::ws, s.rest);
    steps.push_back(std::move(s));
  }
  return steps;
}

struct Fnv {
  std::uint64_t h = 0xcbf29ce484222325ull;
  void bytes(const void* p, std::size_t n) {
    const auto* c = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) h = (h ^ c[i]) * 0x100000001b3ull;
  }
  template <class T>
  void add(const T& v) {
    bytes(&v, sizeof v);
  }
  void add(const std::string& s) { bytes(s.data(), s.size()); }
};

std::string fingerprint(const App& app) {
  Fnv f;
  for (const Buddy& b : app.world.crew.buddies) {
    for (double v : {b.motion.x, b.motion.y, b.motion.vx, b.motion.vy, b.motion.angle,
                     b.motion.unit, b.speech.bubble_until})
      f.add(v);
    f.add(b.rng.s);
    f.add(b.speech.bubble_text);
    f.add(static_cast<int>(b.motion.facing));
  }
  f.add(app.world.crew.buddies.size());
  f.add(app.world.effects.rng.s);
  for (const Particle& p : app.world.effects.particles) {
    f.add(p.x);
    f.add(p.y);
  }
  char text[160];
  std::snprintf(text, sizeof text,
                "state %016" PRIx64 " particles %zu props %zu drawings %zu texts %zu", f.h,
                app.world.effects.particles.size(), app.world.effects.props.size(),
                app.world.scene.drawings.size(), app.world.scene.texts.size());
  return text;
}

// Replays the script and returns the transcript.
std::string run_session() {
  FakeDesktop desktop;
  desktop.monitors = {ScreenRect{0, 0, 1920, 1040}};  // a taskbar along the bottom
  VirtualClock clock;
  clock.hour = 14;
  App app;
  init_app(app, desktop, clock, 200, kSeed);
  auto channel = std::make_shared<CommandChannel>();
  app.platform.commands = channel;

  const std::vector<Step> script = read_script(source_path("session.txt"));
  std::size_t next = 0;
  std::string out;
  struct Pending {
    std::string label;
    ReplyReceiver receiver;
    bool status = false;
  };
  std::vector<Pending> pending;
  const auto send = [&](const std::string& line, bool status) {
    auto request = parse_request_line(line);
    if (!request) {
      out += "t=" + std::to_string(app.sim_clock) + " " + line + " -> " +
             std::string(kBadRequestReply);
      return;
    }
    ReplyPair pair = make_reply_channel();
    pending.push_back({line, std::move(pair.receiver), status});
    channel->send({request->name, request->args, std::move(pair.sender)});
  };

  long long last_status_tick = 0;
  while (app.running && clock.t < kSessionSeconds) {
    for (; next < script.size() && script[next].at <= clock.t; ++next) {
      const Step& s = script[next];
      std::istringstream fields(s.rest);
      if (s.action == "cmd") {
        send(s.rest, false);
      } else if (s.action == "cursor") {
        fields >> desktop.pointer.x >> desktop.pointer.y;
      } else if (s.action == "idle") {
        fields >> desktop.idle;
      } else if (s.action == "window") {
        DesktopWindow w;
        fields >> w.id >> w.frame.left >> w.frame.top >> w.frame.right >> w.frame.bottom;
        desktop.window_list.insert(desktop.window_list.begin(), w);
      } else if (s.action == "close") {
        std::int64_t id = 0;
        fields >> id;
        std::erase_if(desktop.window_list, [&](const DesktopWindow& w) { return w.id == id; });
      } else {
        ADD_FAILURE() << "unknown script action " << s.action;
      }
    }
    const auto tick = static_cast<long long>(app.sim_clock * 60.0 + 0.5);
    if (tick - last_status_tick >= kStatusEveryTicks) {
      last_status_tick = tick;
      send(R"({"cmd":"status","args":{}})", true);
    }
    const double before = app.sim_clock;
    run_frame(app);
    // Requests are answered at the start of a world tick; some frames run none.
    if (app.sim_clock == before && app.running) continue;
    const auto answered_tick = static_cast<long long>(app.sim_clock * 60.0 + 0.5);
    for (Pending& p : pending) {
      auto reply = p.receiver.wait_until(std::chrono::steady_clock::now());
      out += "tick " + std::to_string(answered_tick) + " " + (p.status ? "status" : p.label) +
             "\n  -> " + (reply ? reply_line(*reply) : std::string("(no reply)\n"));
      if (p.status) out += "  " + fingerprint(app) + "\n";
    }
    pending.clear();
  }
  out += "end tick " + std::to_string(static_cast<long long>(app.sim_clock * 60.0 + 0.5)) +
         " running " + (app.running ? "yes" : "no") + "\n";
  channel->close();
  return out;
}

TEST(Regression, TenMinuteSessionMatchesTheRecordedTranscript) {
  const std::string actual = run_session();
  const std::string golden_path = source_path("session.golden");
  if (const char* w = std::getenv("PERCHKIN_REGRESSION_WRITE"); w && std::strcmp(w, "1") == 0) {
    std::ofstream(golden_path, std::ios::binary) << actual;
    GTEST_SKIP() << "wrote " << golden_path;
  }
  std::ifstream in(golden_path, std::ios::binary);
  ASSERT_TRUE(in) << "missing " << golden_path;
  const std::string expected((std::istreambuf_iterator<char>(in)), {});
  if (actual == expected) return;
  std::ofstream("session.actual", std::ios::binary) << actual;
  std::istringstream a(actual), e(expected);
  std::string la, le;
  for (int line = 1;; ++line) {
    const bool more_a = static_cast<bool>(std::getline(a, la));
    const bool more_e = static_cast<bool>(std::getline(e, le));
    if (!more_a && !more_e) break;
    if (la != le || more_a != more_e) {
      FAIL() << "transcript differs from session.golden at line " << line << "\n  expected: " << le
             << "\n  actual:   " << la << "\n(whole transcript written to session.actual)";
    }
  }
}

}  // namespace
}  // namespace perchkin
