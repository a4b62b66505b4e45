// One world tick, in its fixed order.
#include "app/app.h"

#include "app/commands.h"
#include "app/menu_app.h"
#include "brain/brain.h"
#include "brain/physics.h"
#include "brain/social.h"
#include "gpu/overlay_2d.h"
#include "props/hazards.h"
#include "brain/pencil.h"
#include "voice/voice.h"
#include "win/surfaces.h"

#include <algorithm>
#include <cmath>

namespace perchkin {

namespace {

constexpr double kScanPeriod = 1.0;
constexpr double kTypeProbePeriod = 0.05;

// A buddy standing on a window or taskbar whose ledge something else now covers just under its
// feet falls; one that napped there goes back to sleep after landing.
void drop_uncovered(App& app) {
  Desktop& desktop = *app.desktop;
  for (Buddy& b : app.crew.buddies) {
    if (!is_grounded(b.mode) || !b.support) continue;
    const Support& held = *b.support;
    if (held.kind != SurfaceKind::window && held.kind != SurfaceKind::taskbar) continue;
    // The buddy still knows its ledge as it was before this scan; a window that moved since
    // would show only the desktop at the old place. Look where the ledge is now, and where the
    // physics is about to carry the buddy along it. A ledge that is gone is the physics' to drop.
    const auto now = std::find_if(app.surfaces.begin(), app.surfaces.end(), [&](const Support& s) {
      return s.id == held.id && s.kind == held.kind;
    });
    if (now == app.surfaces.end()) continue;
    const Support s = *now;
    double x = b.x;
    if (std::abs((s.right - s.left) - (held.right - held.left)) < 1.0) x += s.left - held.left;
    if (!std::isfinite(x) || !std::isfinite(s.top)) continue;
    const PointOwner owner = desktop.window_at(std::trunc(x), std::trunc(s.top) + 2.0);
    if (owner.own || owner.window == s.id) continue;
    const bool napping = b.mode == BuddyMode::sleep && b.nap;
    b.act = Act::none;
    start_falling(b);
    // Just under the ledge, so the fall doesn't land straight back on the covered window.
    b.x = x;
    b.y = std::max(b.y, s.top + 1.0);
    if (napping) b.queued_act = Act::sleep;
  }
}

void sense(App& app) {
  Crew& crew = app.crew;
  Desktop& desktop = *app.desktop;
  const double now = app.sim_clock;
  if (now >= app.next_scan) {
    const double unit = crew.unit_for(crew.size);
    app.surfaces = scan_surfaces(desktop, app.screen, app.display_scale, unit, app.graphics);
    app.next_scan = now + kScanPeriod;
    drop_uncovered(app);
  }
  // The probe only learns that some key went down, never which one.
  if (app.graphics && app.settings.type_along && now >= app.next_type_probe) {
    if (desktop.key_pressed_since_last_probe()) ++app.keystrokes;
    app.next_type_probe = now + kTypeProbePeriod;
  }
  app.tick_surfaces = app.surfaces;
  append_platform_surfaces(app.tick_surfaces, app.effects.props);
  app.previous_cursor = app.cursor;
  app.cursor = desktop.cursor();
  if (!std::isfinite(app.cursor.x) || !std::isfinite(app.cursor.y)) app.cursor = CursorPos{};
  build_world_view(app.view, crew, app.tick_surfaces, app.screen.left, app.screen.top,
                   app.screen.right, app.screen.bottom, app.cursor.x, app.cursor.y);
  app.view.now = now;
  app.view.keystrokes = app.keystrokes;
  app.view.idle_seconds = desktop.idle_seconds();
  app.view.local_hour = app.clock->local_hour();
  app.view.graphics = app.graphics;
}

// The scene takes the drawing events, the effects everything else; then the outboxes empty.
void hand_over_events(App& app) {
  const double now = app.sim_clock;
  for (Buddy& b : app.crew.buddies)
    for (const BuddyEvent& e : b.events) app.scene.apply_event(e, now);
  const RenderRequests requests = take_buddy_events(app.effects, app.crew, now);
  if (app.graphics) {
    const EntryTickOutput marks = update_render_entries(
        app.render, app.crew, requests,
        EntryTickInput{now, app.effects.overlay_left, app.effects.overlay_top, app.settings.look});
    add_trail_puffs(app.effects, marks.trail_puffs, app.settings.look.trail);
    add_sleep_marks(app.effects, marks.sleep_marks);
    if (app.renderer)
      update_bubbles(app.render, app.crew, app.renderer->canvas(), app.display_scale, now);
  }
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

void hazards(App& app) {
  const double now = app.sim_clock;
  for (const HazardHit& hit : prop_pass(app.effects, app.crew, app.tick_surfaces, now)) {
    if (hit.buddy_index >= app.crew.buddies.size()) continue;
    Buddy& b = app.crew.buddies[hit.buddy_index];
    switch (hit.kind) {
      case HazardHit::Kind::burn: burn(b, hit.away_dir, now); break;
      case HazardHit::Kind::zap: zap(b, now); break;
      case HazardHit::Kind::blast: blast(b, hit.vx, hit.vy); break;
    }
  }
  step_effects(app.effects, now);
  app.scene.expire(now);
}

}  // namespace

// Commands, sensing, each buddy's step with its messages, knock-overs, the social tick, crowd
// collisions, new bubbles to the voice, events to the scene and effects, then hazards.
void world_tick(App& app) {
  const bool paused = menu_pauses_world(app);
  app.drawing_points = crew_drawing_points(app.crew);
  handle_commands(app);
  sense(app);
  // Without windows the user's hand has no way to reach a buddy.
  if (app.graphics) handle_pointer(app);
  menu_tick(app);
  // Behind a pausing menu nothing moves; what commands and the menu queued waits for the
  // first tick after it.
  if (paused) {
    app.crew.rebuild_snapshot();
    return;
  }
  Crew& crew = app.crew;
  for (std::size_t i = 0; i < crew.buddies.size(); ++i) {
    Buddy& b = crew.buddies[i];
    if (b.fling_pending) crew.place_fling(b);  // the first buddy has just been placed
    brain_step(b, app.view);
    if (b.mode == BuddyMode::drawing) pencil_step(b, app.view);
    apply_tag_catch(b);
    deliver_messages(crew, i);
  }
  knock_overs(crew);
  social_tick(crew, app.sim_clock);
  collide_crew(crew, app.view);
  if (app.voice) speak_new_bubbles(*app.voice, crew.buddies, app.settings, app.sim_clock);
  hand_over_events(app);
  hazards(app);
  app.crew.rebuild_snapshot();
}

}  // namespace perchkin
