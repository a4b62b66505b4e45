// One world tick, in its fixed order.
#include "app/app.h"

#include "app/commands.h"
#include "brain/brain.h"
#include "brain/physics.h"
#include "props/hazards.h"
#include "scene/pencil.h"

#include <cmath>

namespace perchkin {

namespace {

constexpr double kScanPeriod = 1.0;

void sense(App& app) {
  Crew& crew = app.crew;
  Desktop& desktop = *app.desktop;
  const double now = app.sim_clock;
  if (now >= app.next_scan) {
    const double unit = crew.unit_for(crew.size);
    app.surfaces = desktop.scan_surfaces(app.screen, unit);
    app.next_scan = now + kScanPeriod;
  }
  app.tick_surfaces = app.surfaces;
  append_platform_surfaces(app.tick_surfaces, app.effects.props);
  const CursorPos cursor = desktop.cursor();
  crew.rebuild_snapshot();
  build_world_view(app.view, crew, app.tick_surfaces, app.screen.left, app.screen.top,
                   app.screen.right, app.screen.bottom, cursor.x, cursor.y);
  app.view.now = now;
  app.view.idle_seconds = desktop.idle_seconds();
  app.view.local_hour = desktop.local_hour();
  app.view.graphics = desktop.graphics();
}

// Messages between buddies are social play's; until it lands they are dropped so the outboxes
// stay bounded.
void deliver_messages(Buddy& b) { b.messages.clear(); }

// The scene takes the drawing events, the effects everything else; then the outboxes empty.
void hand_over_events(App& app) {
  const double now = app.sim_clock;
  for (Buddy& b : app.crew.buddies)
    for (const BuddyEvent& e : b.events) app.scene.apply_event(e, now);
  (void)take_buddy_events(app.effects, app.crew, now);
  for (Buddy& b : app.crew.buddies) b.events.clear();
  // A buddy that leaves goes with a short white ring where it stood.
  for (const RemovalMark& m : app.crew.removal_marks) {
    Ring ring;
    ring.x = static_cast<float>(m.x - app.effects.overlay_left);
    ring.y = static_cast<float>(m.y - app.effects.overlay_top);
    ring.radius = static_cast<float>(m.radius);
    ring.growth = static_cast<float>(3.0 * m.radius);
    ring.width = 2.0f;
    ring.lifetime = 0.4f;
    app.effects.rings.push_back(ring);
  }
  app.crew.removal_marks.clear();
}

// Hazard hits become reactions once social play lands; until then they only show.
void hazards(App& app) {
  const double now = app.sim_clock;
  (void)prop_pass(app.effects, app.crew, app.tick_surfaces, now);
  emit_prop_particles(app.effects, now);
  step_effects(app.effects, now);
  app.scene.expire(now);
}

}  // namespace

void world_tick(App& app) {
  handle_commands(app);
  sense(app);
  for (Buddy& b : app.crew.buddies) {
    brain_step(b, app.view);
    if (b.mode == BuddyMode::drawing) pencil_step(b, app.view);
    deliver_messages(b);
  }
  collide_crew(app.crew, app.view);
  hand_over_events(app);
  hazards(app);
  app.crew.rebuild_snapshot();
}

}  // namespace perchkin
