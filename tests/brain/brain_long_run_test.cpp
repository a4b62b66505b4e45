// Hours of simulated life on a plain 1920x1080 desktop: every mode is visited, nothing turns
// non-finite and no per-buddy list keeps growing.
#include "brain/brain.h"
#include "brain/physics.h"
#include "brain/speech.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define PERCHKIN_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PERCHKIN_TEST_SANITIZED 1
#endif
#endif

namespace perchkin {
namespace {

// Ten hours in an optimised build; sanitizers and unoptimised builds are many times slower, so
// they live through less (the crew's script still reaches every mode well within it).
#if defined(PERCHKIN_TEST_SANITIZED)
constexpr double kSoloHours = 2.0;
constexpr double kCrewHours = 0.5;
#elif defined(__OPTIMIZE__)
constexpr double kSoloHours = 10.0;
constexpr double kCrewHours = 10.0;
#else
constexpr double kSoloHours = 10.0;
constexpr double kCrewHours = 1.0;
#endif

struct LifeRun {
  Crew crew;
  std::vector<Support> surfaces;
  WorldView view;
  Xorshift64 script{0x5EED5EEDull};  // the user's and the commands' choices
  double now = 0.0;
  std::uint32_t keys = 0;
  std::array<bool, 12> visited{};
  std::size_t most_delayed = 0, most_samples = 0, most_pokes = 0, most_events = 0;
  std::uint64_t bad = 0;  // non-finite sightings
  std::size_t carried = kNoPlatform;
  double carry_end = 0.0;

  explicit LifeRun(std::size_t buddies) {
    Support floor;
    floor.id = 1;
    floor.left = 0.0;
    floor.right = 1920.0;
    floor.top = 1080.0;
    floor.kind = SurfaceKind::floor;
    surfaces.push_back(floor);
    crew.rng = Xorshift64(0xC0FFEEull);
    crew.size = 4.0;
    crew.world.w.chaos = 0.3;
    crew.world.w.sleepy = 2.0;
    crew.world.w.chatter = 3.0;
    crew.world.chatty = true;
    auto lines = std::make_shared<SpeechLines>();
    lines->phrases = {"hello from the test"};
    lines->lines[0] = "zzz";
    crew.speech = lines;
    for (std::size_t i = 0; i < buddies; ++i)
      EXPECT_TRUE(crew.add(std::nullopt, !crew.buddies.empty()).ok());
    for (Buddy& b : crew.buddies) b.events.clear();  // the arrival sparkles
  }

  void user_and_commands() {
    // A twenty-minute day: two minutes of typing, eight of mouse work, ten away.
    const double phase = std::fmod(now, 1200.0);
    if (phase < 120.0) {
      view.idle_seconds = 0.0;
      if (script.chance(0.1)) ++keys;
    } else if (phase < 600.0) {
      view.idle_seconds = 0.5;
    } else {
      view.idle_seconds = phase - 600.0;
    }
    view.keystrokes = keys;
    view.local_hour = static_cast<int>(now / 3600.0) % 24;

    std::vector<Buddy>& all = crew.buddies;
    // A command every 20 s on a random buddy.
    if (script.chance(1.0 / (20.0 * 60.0))) {
      Buddy& b = all[script.pick(all.size())];
      switch (script.pick(5)) {
        case 0: (void)act_command(b, *act_named(kActNames[script.pick(kActNames.size())]), view); break;
        case 1: (void)walk_to(b, script.range(view.left, view.right), view); break;
        case 2: (void)say_command(b, "test line", script.range(0.0, 20.0), Act::wave, view); break;
        case 3:
          (void)leap_command(b, script.range(0.0, 1920.0), script.range(0.0, 1080.0), view);
          break;
        default:  // a tag chase aimed at another buddy, as social play would start it
          b.mind.partner = all[script.pick(all.size())].id;
          if (*b.mind.partner == b.id) b.mind.partner.reset();
          b.mind.chase_from = now + 0.8;
          b.mind.chase_until = now + 10.0;
          if (b.motion.mode < BuddyMode::chase && b.motion.mode != BuddyMode::sleep)
            b.motion.mode = BuddyMode::chase;
          for (int i = 0; i < 40; ++i) say_later(b, "flood", script.range(0.0, 5.0));
          break;
      }
    }
    // Every two minutes or so somebody is picked up, carried and thrown.
    if (carried == kNoPlatform && script.chance(1.0 / (120.0 * 60.0))) {
      carried = script.pick(all.size());
      Buddy& b = all[carried];
      b.motion.mode = BuddyMode::held;
      b.motion.support.reset();
      b.mind.queued_act.reset();
      b.mind.walk_target.reset();
      b.motion.vx = b.motion.vy = b.motion.spin = 0.0;
      b.motion.grab_time = now;
      b.mind.hold_line_said = false;
      b.motion.pointer_samples.clear();
      b.mind.partner.reset();
      b.mind.chase_until = 0.0;
      carry_end = now + script.range(0.3, 7.0);
    }
    if (carried != kNoPlatform) {
      Buddy& b = all[carried];
      const double px = 960.0 + 700.0 * std::sin(now * 3.0);
      carry_to(b, now, px, 400.0 + 100.0 * std::cos(now * 2.0));
      if (now >= carry_end) {
        release(b);
        carried = kNoPlatform;
      }
    }
  }

  void tick() {
    now += 1.0 / 60.0;
    const double cx = 960.0 + 900.0 * std::sin(now / 7.0);
    const double cy = 900.0 + 170.0 * std::cos(now / 5.0);
    build_world_view(view, crew, surfaces, 0.0, 0.0, 1920.0, 1080.0, cx, cy);
    view.now = now;
    user_and_commands();
    for (Buddy& b : crew.buddies) brain_step(b, view);
    collide_crew(crew, view);
    for (Buddy& b : crew.buddies) {
      most_events = std::max(most_events, b.events.size());
      b.events.clear();
      b.messages.clear();
      b.mind.caught_partner.reset();
    }
  }

  void check() {
    for (const Buddy& b : crew.buddies) {
      const double values[] = {b.motion.x,           b.motion.y,          b.motion.vx,
                               b.motion.vy,          b.motion.angle,      b.motion.spin,
                               b.mind.act_time,      b.mind.typing_level, b.mind.run_time,
                               b.motion.flight_peak, b.mind.press_time,   b.motion.air_time};
      for (double v : values) bad += std::isfinite(v) ? 0 : 1;
      most_delayed = std::max(most_delayed, b.speech.delayed_lines.size());
      most_samples = std::max(most_samples, b.motion.pointer_samples.size());
      most_pokes = std::max(most_pokes, b.mind.poke_times.size());
    }
  }

  void run(double hours) {
    const long ticks = static_cast<long>(hours * 3600.0 * 60.0);
    for (long i = 0; i < ticks; ++i) {
      tick();
      for (const Buddy& b : crew.buddies) visited[static_cast<std::size_t>(b.motion.mode)] = true;
      if (i % 30 == 0) check();
    }
    check();
  }

  std::uint64_t hash() const {
    std::uint64_t h = 1469598103934665603ull;
    for (const Buddy& b : crew.buddies) {
      for (double v : {b.motion.x, b.motion.y, b.motion.vx, b.motion.vy, b.motion.angle}) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        h = (h ^ bits) * 1099511628211ull;
      }
      h = (h ^ static_cast<std::uint64_t>(b.motion.mode)) * 1099511628211ull;
      h = (h ^ b.speech.bubble_serial) * 1099511628211ull;
    }
    return h;
  }
};

void expect_a_healthy_life(const LifeRun& run) {
  EXPECT_EQ(run.bad, 0u);
  EXPECT_LE(run.most_delayed, kMaxDelayedLines);
  EXPECT_LE(run.most_samples, 12u);  // 0.1 s of pointer samples
  EXPECT_LE(run.most_pokes, 8u);
  EXPECT_LE(run.most_events, 16u);
  // A buddy riding another at the screen edge may hang over it by a few units.
  for (const Buddy& b : run.crew.buddies) {
    EXPECT_GE(b.motion.x, -20.0 * b.motion.unit);
    EXPECT_LE(b.motion.x, 1920.0 + 20.0 * b.motion.unit);
    EXPECT_LE(b.motion.y, 1080.0 + 10.0 * b.motion.unit + 1.0);
  }
  // The pencil flight belongs to the drawing layer; every other mode shows up.
  for (std::size_t m = 0; m < run.visited.size(); ++m) {
    if (static_cast<BuddyMode>(m) == BuddyMode::drawing) continue;
    EXPECT_TRUE(run.visited[m]) << mode_name(static_cast<BuddyMode>(m));
  }
}

TEST(BrainLongRun, OneBuddyLivesForHours) {
  LifeRun run(1);
  run.run(kSoloHours);
  expect_a_healthy_life(run);
}

TEST(BrainLongRun, ACrewOfFiftyLivesForHours) {
  LifeRun run(50);
  run.run(kCrewHours);
  expect_a_healthy_life(run);
}

TEST(BrainLongRun, SameSeedsSameLife) {
  LifeRun a(5), b(5);
  a.run(0.1);
  b.run(0.1);
  EXPECT_EQ(a.hash(), b.hash());
}

}  // namespace
}  // namespace perchkin
