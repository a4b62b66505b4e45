// Shared crowd scenarios for the simulation benchmarks: a 1920 x 1080 desktop with a floor and a
// few window ledges, buddies dropped in from the top edge, and the motion half of a world tick.
#pragma once

#include "app/app.h"
#include "app/clock.h"
#include "brain/brain.h"
#include "brain/physics.h"
#include "crowd/crew.h"
#include "win/desktop.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace perchkin::bench {

struct Scenario {
  Crew crew;
  std::vector<Support> surfaces;
  WorldView view;
  double left = 0.0, top = 0.0, right = 1920.0, bottom = 1080.0;
  double cursor_x = 960.0, cursor_y = 540.0;
  double now = 0.0;
};

// `n` buddies of the given unit at random x along the top edge (staggered in height so they
// arrive over a second or so), default world settings apart from `collide`, fixed seeds.
inline Scenario make_drop_scenario(std::size_t n, double unit = 1.0, bool collide = true,
                                   std::uint64_t seed = 7) {
  Scenario s;
  s.crew.world.w.collide = collide;
  s.surfaces = {
      {0, 0.0, 1920.0, 1080.0, SurfaceKind::floor, {}},
      {1001, 120.0, 720.0, 640.0, SurfaceKind::window, {}},
      {1002, 600.0, 1400.0, 380.0, SurfaceKind::window, {}},
      {1003, 1300.0, 1850.0, 760.0, SurfaceKind::window, {}},
      {1004, 900.0, 1200.0, 860.0, SurfaceKind::window, {}},
  };
  s.crew.rng = Xorshift64(seed);
  s.crew.max_buddies = kUnleashedCrewLimit;
  s.crew.world.unleashed = true;
  s.crew.buddies.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    Buddy b;
    b.id = s.crew.next_id++;
    b.motion.unit = unit;
    b.rng = Xorshift64(seed * 1000003u + i + 1);
    b.motion.x = s.left + 8.0 * unit + s.crew.rng.uniform() * (s.right - s.left - 16.0 * unit);
    b.motion.y = s.top + 10.0 * unit + s.crew.rng.uniform() * 200.0;
    b.motion.mode = BuddyMode::fall;
    b.world = s.crew.world;
    b.speech.lines = s.crew.speech;
    s.crew.buddies.push_back(std::move(b));
  }
  return s;
}

// One tick: the view, every buddy's step, the crowd pass. Event outboxes and messages are
// emptied as the world tick would after handing them on.
template <class Step>
void tick_with(Scenario& s, Step step) {
  build_world_view(s.view, s.crew, s.surfaces, s.left, s.top, s.right, s.bottom, s.cursor_x,
                   s.cursor_y);
  s.view.now = s.now;
  for (Buddy& b : s.crew.buddies) {
    b.mind.now = s.now;
    step(b, s.view);
    b.events.clear();
    b.messages.clear();
  }
  collide_crew(s.crew, s.view);
  s.now += kTick;
}

// The motion part of a world tick.
inline void motion_tick(Scenario& s) {
  tick_with(s, [](Buddy& b, const WorldView& view) { step_motion(b, view); });
}

// The same with each buddy's whole brain step, which runs its motion.
inline void brain_tick(Scenario& s) { tick_with(s, brain_step); }

inline void run_ticks(Scenario& s, int ticks) {
  for (int i = 0; i < ticks; ++i) motion_tick(s);
}

// The headless companion on the fake 1920 x 1080 desktop, unleashed at size 1, with `n` buddies
// added as the --bench run adds them: a batch before each tick.
struct Companion {
  FakeDesktop desktop;
  VirtualClock clock;
  App app;

  // size 1 is the smallest buddy; the companion's default is 9.
  explicit Companion(std::size_t n, double size = 1.0) {
    clock.hour = 12;
    app.headless = true;
    app.unleashed = true;
    app.settings.size = size;
    init_app(app, desktop, clock, n, 2026);
    const std::size_t batch = n / 40 + 5;
    while (app.world.crew.buddies.size() < n) {
      std::size_t added = 0;
      while (added < batch && app.world.crew.buddies.size() < n &&
             app.world.crew.add(std::nullopt, true).ok())
        ++added;
      if (added == 0) break;  // at the crew limit
      tick();
    }
  }
  void tick() {
    app.sim_clock += kTick;
    world_tick(app);
  }
};

}  // namespace perchkin::bench
