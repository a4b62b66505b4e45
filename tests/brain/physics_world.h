// A small hand-made desktop for the physics tests: surfaces, a crew and a view built per tick.
#pragma once

#include "brain/physics.h"

#include <vector>

namespace perchkin::test {

struct PhysicsWorld {
  Crew crew;
  std::vector<Support> surfaces;
  WorldView view;
  double left = 0.0, top = 0.0, right = 1920.0, bottom = 1080.0;
  double cursor_x = 0.0, cursor_y = 0.0;
  double now = 0.0;
  CrowdSweep sweep = CrowdSweep::banded;

  PhysicsWorld() {
    crew.world.w.collide = true;
    crew.rng = Xorshift64(99);
    crew.buddies.reserve(256);  // tests hold references across adds
  }

  Support& add_surface(std::int64_t id, double l, double r, double t,
                       SurfaceKind kind = SurfaceKind::floor) {
    Support s;
    s.id = id;
    s.left = l;
    s.right = r;
    s.top = t;
    s.kind = kind;
    surfaces.push_back(s);
    return surfaces.back();
  }

  // A buddy at (x, y); standing on `on` when given, else falling.
  Buddy& add_buddy(double x, double y, double unit = 2.0, const Support* on = nullptr) {
    Buddy b;
    b.id = crew.next_id++;
    b.motion.x = x;
    b.motion.y = y;
    b.motion.unit = unit;
    b.world = crew.world;
    b.rng = Xorshift64(1000 + b.id);
    b.speech.lines = crew.speech;
    if (on) {
      b.motion.support = *on;
      b.motion.mode = BuddyMode::idle;
    }
    crew.buddies.push_back(std::move(b));
    return crew.buddies.back();
  }

  void set_world(const WorldSettings& w, bool unleashed = false) {
    crew.world.w = w;
    crew.world.unleashed = unleashed;
    for (Buddy& b : crew.buddies) b.world = crew.world;
  }

  void build() {
    view.now = now;
    build_world_view(view, crew, surfaces, left, top, right, bottom, cursor_x, cursor_y);
  }

  // One world tick of motion: the view, every buddy's motion, then the crowd pass.
  std::vector<MotionOutcome> tick() {
    build();
    std::vector<MotionOutcome> out;
    for (Buddy& b : crew.buddies) {
      b.mind.now = now;
      out.push_back(step_motion(b, view));
    }
    collide_crew(crew, view, sweep);
    now += kTick;
    return out;
  }

  Buddy& buddy(std::size_t i) { return crew.buddies[i]; }
};

// The common desktop of the physics tests: one 1920 px floor at y = 1000.
inline PhysicsWorld floor_world() {
  PhysicsWorld w;
  w.add_surface(0, 0, 1920, 1000);
  return w;
}

template <typename Kind>
std::size_t count_events(const Buddy& b) {
  std::size_t n = 0;
  for (const BuddyEvent& e : b.events) n += std::holds_alternative<Kind>(e);
  return n;
}

}  // namespace perchkin::test
