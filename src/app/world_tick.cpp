// One world tick, in its fixed order.
#include "app/app.h"

#include "app/commands.h"
#include "brain/brain.h"
#include "brain/physics.h"

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
  const CursorPos cursor = desktop.cursor();
  crew.rebuild_snapshot();
  build_world_view(app.view, crew, app.surfaces, app.screen.left, app.screen.top,
                   app.screen.right, app.screen.bottom, cursor.x, cursor.y);
  app.view.now = now;
  app.view.idle_seconds = desktop.idle_seconds();
  app.view.local_hour = desktop.local_hour();
  app.view.graphics = desktop.graphics();
}

// Messages between buddies are social play's; until it lands they are dropped so the outboxes
// stay bounded.
void deliver_messages(Buddy& b) { b.messages.clear(); }

// The scene and the overlay take the buddies' events; until they land the events are dropped.
void hand_over_events(App& app) {
  for (Buddy& b : app.crew.buddies) b.events.clear();
  app.crew.removal_marks.clear();
}

}  // namespace

void world_tick(App& app) {
  handle_commands(app);
  sense(app);
  for (Buddy& b : app.crew.buddies) {
    brain_step(b, app.view);
    deliver_messages(b);
  }
  collide_crew(app.crew, app.view);
  hand_over_events(app);
  app.crew.rebuild_snapshot();
}

}  // namespace perchkin
