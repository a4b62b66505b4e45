// Thousands of short random worlds: whatever the settings, surfaces and throws, no buddy ends a
// tick with a non-finite position or velocity, a standing buddy stands within its support, and
// no two buddies stand on each other.
#include "brain/physics.h"
#include "physics_world.h"

#include <gtest/gtest.h>

#include <cmath>

namespace perchkin {
namespace {

using test::PhysicsWorld;

WorldSettings random_settings(Xorshift64& r) {
  WorldSettings s;
  const auto pick = [&](double lo, double hi, double usual) {
    const double u = r.uniform();
    return u < 0.3 ? usual : u < 0.4 ? lo : u < 0.5 ? hi : r.range(lo, hi);
  };
  s.gravity = r.chance(0.1) ? 0.0 : pick(-50.0, 50.0, 1.0);
  s.speed = pick(0.01, 100.0, 1.0);
  s.bounce = pick(0.0, 5.0, 1.0);
  s.friction = pick(-50.0, 50.0, 1.0);
  s.max_speed = pick(10.0, 50000.0, 900.0);
  s.collide = r.chance(0.8);
  return s;
}

void random_surfaces(PhysicsWorld& w, Xorshift64& r) {
  const int floors = 1 + static_cast<int>(r.pick(3));
  const double seg = (w.right - w.left) / floors;
  for (int i = 0; i < floors; ++i) {
    if (floors > 1 && r.chance(0.2)) continue;  // a gap between monitors
    const double l = w.left + i * seg + (r.chance(0.3) ? r.range(0, 40) : 0.0);
    w.add_surface(i, l, w.left + (i + 1) * seg, w.bottom - (r.chance(0.4) ? r.range(0, 200) : 0.0));
  }
  const int windows = static_cast<int>(r.pick(5));
  for (int i = 0; i < windows; ++i) {
    const double l = r.range(w.left - 100, w.right);
    w.add_surface(100 + i, l, l + r.range(40, 900), r.range(w.top + 70, w.bottom),
                  r.chance(0.2) ? SurfaceKind::taskbar : SurfaceKind::window);
  }
  if (r.chance(0.3)) {
    const double l = r.range(w.left, w.right);
    w.add_surface(-1000000 - static_cast<std::int64_t>(r.pick(5)), l, l + r.range(0, 300),
                  r.range(w.top, w.bottom), SurfaceKind::drawn);
  }
}

// Something happens to one buddy, as the brain, the pointer or a command might do it.
void poke_buddy(PhysicsWorld& w, Buddy& b, Xorshift64& r) {
  const double u = b.motion.unit;
  switch (r.pick(7)) {
    case 0:
      if (is_grounded(b.motion.mode) && b.motion.support) {
        b.motion.mode = BuddyMode::walk;
        b.mind.walk_target = r.range(w.left - 50, w.right + 50);
      }
      break;
    case 1:
      if (is_grounded(b.motion.mode) && b.motion.support) {
        b.motion.mode = BuddyMode::chase;
        b.mind.chase_until = w.now + r.range(0, 3);
        if (r.chance(0.5))
          b.mind.partner = static_cast<std::uint32_t>(r.pick(w.crew.buddies.size() + 2));
      }
      break;
    case 2: {
      double tx = r.range(w.left - 500, w.right + 500), ty = r.range(w.top - 500, w.bottom + 500);
      clamp_leap_target(b, w.view, tx, ty);
      leap_to(b, tx, ty);
      break;
    }
    case 3:
      if (!w.view.platforms.empty()) {
        const Support& p = w.view.platforms[r.pick(w.view.platforms.size())];
        hop(b, r.range(p.left, p.right), p.top, r.range(-20, 40) * u, r.range(0, 1),
            r.range(-720, 720), p);
      }
      break;
    case 4: {  // grab, drag for a few ticks worth of samples, throw
      b.motion.mode = BuddyMode::held;
      b.motion.support.reset();
      b.motion.pointer_samples.clear();
      const double px = r.range(w.left, w.right), py = r.range(w.top, w.bottom);
      const double dx = r.range(-3000, 3000), dy = r.range(-3000, 3000);
      for (int i = 0; i < 5; ++i)
        carry_to(b, w.now + i * kTick, px + dx * i / 60.0, py + dy * i / 60.0);
      release(b);
      break;
    }
    case 5:
      b.motion.mode = static_cast<BuddyMode>(r.pick(4));  // idle, walk (no target), sit, sleep
      break;
    default:
      break;
  }
}

void check(const PhysicsWorld& w, int world, int tick) {
  for (const Buddy& b : w.crew.buddies) {
    const bool finite = std::isfinite(b.motion.x) && std::isfinite(b.motion.y) &&
                        std::isfinite(b.motion.vx) && std::isfinite(b.motion.vy) &&
                        std::isfinite(b.motion.angle) && std::isfinite(b.motion.spin);
    ASSERT_TRUE(finite) << "world " << world << " tick " << tick << " buddy " << b.id;
    if (is_grounded(b.motion.mode)) {
      ASSERT_TRUE(b.motion.support) << "world " << world << " tick " << tick << " buddy " << b.id;
      ASSERT_GE(b.motion.x, b.motion.support->left - 1.0) << "world " << world << " tick " << tick;
      ASSERT_LE(b.motion.x, b.motion.support->right + 1.0) << "world " << world << " tick " << tick;
      ASSERT_EQ(b.motion.y, b.motion.support->top) << "world " << world << " tick " << tick;
      if (b.motion.support->kind == SurfaceKind::buddy) {
        const auto carrier = static_cast<std::uint32_t>(~b.motion.support->id);
        ASSERT_NE(carrier, b.id);
        for (const Buddy& c : w.crew.buddies) {
          if (c.id != carrier || !c.motion.support) continue;
          ASSERT_FALSE(c.motion.support->kind == SurfaceKind::buddy &&
                       c.motion.support->id == buddy_platform_id(b.id))
              << "world " << world << " tick " << tick << ": " << b.id << " and " << c.id;
        }
      }
    }
    ASSERT_GE(b.motion.angle, 0.0);
    ASSERT_LT(b.motion.angle, 360.0);
  }
  // The x index, rebuilt from last tick's order, is complete and sorted.
  const auto& g = w.view.grounded_by_x;
  std::size_t grounded = 0;
  for (const BuddySummary& s : w.view.buddies) grounded += is_grounded(s.mode);
  ASSERT_EQ(g.size(), grounded) << "world " << world << " tick " << tick;
  for (std::size_t i = 0; i < g.size(); ++i) {
    ASSERT_EQ(g[i].x, w.view.buddies[g[i].summary].x);
    if (i > 0) {
      ASSERT_LE(g[i - 1].x, g[i].x) << "world " << world << " tick " << tick;
    }
  }
}

TEST(PhysicsProperty, RandomWorldsStayFiniteAndGrounded) {
  Xorshift64 r(20261207);
  for (int world = 0; world < 1200; ++world) {
    PhysicsWorld w;
    w.left = r.chance(0.2) ? -r.range(0, 1920) : 0.0;
    w.top = r.chance(0.2) ? -r.range(0, 300) : 0.0;
    w.right = w.left + r.range(300, 4000);
    w.bottom = w.top + r.range(300, 1500);
    const WorldSettings s = random_settings(r);
    w.set_world(s, r.chance(0.3));
    random_surfaces(w, r);
    w.cursor_x = r.range(w.left, w.right);
    w.cursor_y = r.range(w.top, w.bottom);
    const int n = 1 + static_cast<int>(r.pick(10));
    for (int i = 0; i < n; ++i) {
      const double unit = r.chance(0.1) ? r.range(20, 400) : 1.0 + static_cast<double>(r.pick(12));
      Buddy& b = w.add_buddy(r.range(w.left, w.right), r.range(w.top, w.bottom), unit);
      b.motion.vx = r.range(-2000, 2000);
      b.motion.vy = r.range(-2000, 2000);
      b.motion.thrown = r.chance(0.5);
      b.motion.air_drag = b.motion.thrown ? 0.15 : 3.0;
    }
    w.build();
    for (int tick = 0; tick < 100; ++tick) {
      if (r.chance(0.1)) poke_buddy(w, w.crew.buddies[r.pick(w.crew.buddies.size())], r);
      if (r.chance(0.05) && w.surfaces.size() > 1) {  // a window is dragged, resized or closed
        Support& p = w.surfaces[1 + r.pick(w.surfaces.size() - 1)];
        const double d = r.range(-200, 200);
        p.left += d;
        p.right += d + (r.chance(0.3) ? r.range(-50, 50) : 0.0);
        p.top += r.chance(0.3) ? r.range(-100, 100) : 0.0;
        if (p.right < p.left) std::swap(p.left, p.right);
        if (r.chance(0.2)) w.surfaces.erase(w.surfaces.begin() + 1);
      }
      w.tick();
      check(w, world, tick);
      if (testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace perchkin
