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
  Desktop& desktop = *app.platform.desktop;
  for (Buddy& b : app.world.crew.buddies) {
    if (!is_grounded(b.motion.mode) || !b.motion.support) continue;
    const Support& held = *b.motion.support;
    if (held.kind != SurfaceKind::window && held.kind != SurfaceKind::taskbar) continue;
    // The buddy still knows its ledge as it was before this scan; a window that moved since
    // would show only the desktop at the old place. Look where the ledge is now, and where the
    // physics is about to carry the buddy along it. A ledge that is gone is the physics' to drop.
    const auto now =
        std::find_if(app.world.surfaces.begin(), app.world.surfaces.end(),
                     [&](const Support& s) { return s.id == held.id && s.kind == held.kind; });
    if (now == app.world.surfaces.end()) continue;
    const Support s = *now;
    double x = b.motion.x;
    if (std::abs((s.right - s.left) - (held.right - held.left)) < 1.0) x += s.left - held.left;
    if (!std::isfinite(x) || !std::isfinite(s.top)) continue;
    const PointOwner owner = desktop.window_at(std::trunc(x), std::trunc(s.top) + 2.0);
    if (owner.own || owner.window == s.id) continue;
    const bool napping = b.motion.mode == BuddyMode::sleep && b.mind.nap;
    b.mind.act = Act::none;
    start_falling(b);
    // Just under the ledge, so the fall doesn't land straight back on the covered window.
    b.motion.x = x;
    b.motion.y = std::max(b.motion.y, s.top + 1.0);
    if (napping) b.mind.queued_act = Act::sleep;
  }
}

void sense(App& app) {
  Crew& crew = app.world.crew;
  Desktop& desktop = *app.platform.desktop;
  const double now = app.sim_clock;
  if (now >= app.world.next_scan) {
    const double unit = crew.unit_for(crew.size);
    app.world.surfaces = scan_surfaces(desktop, app.screen, app.display_scale, unit, app.graphics);
    app.world.next_scan = now + kScanPeriod;
    drop_uncovered(app);
  }
  // The probe only learns that some key went down, never which one.
  if (app.graphics && app.settings.type_along && now >= app.world.next_type_probe) {
    if (desktop.key_pressed_since_last_probe()) ++app.world.keystrokes;
    app.world.next_type_probe = now + kTypeProbePeriod;
  }
  app.world.tick_surfaces = app.world.surfaces;
  append_platform_surfaces(app.world.tick_surfaces, app.world.effects.props);
  app.ui.previous_cursor = app.ui.cursor;
  app.ui.cursor = desktop.cursor();
  if (!std::isfinite(app.ui.cursor.x) || !std::isfinite(app.ui.cursor.y))
    app.ui.cursor = CursorPos{};
  build_world_view(app.world.view, crew, app.world.tick_surfaces, app.screen.left, app.screen.top,
                   app.screen.right, app.screen.bottom, app.ui.cursor.x, app.ui.cursor.y);
  app.world.view.now = now;
  app.world.view.keystrokes = app.world.keystrokes;
  app.world.view.idle_seconds = desktop.idle_seconds();
  app.world.view.local_hour = app.platform.clock->local_hour();
  app.world.view.graphics = app.graphics;
}

// The scene takes the drawing events, the effects everything else; then the outboxes empty.
void hand_over_events(App& app) {
  const double now = app.sim_clock;
  for (Buddy& b : app.world.crew.buddies)
    for (const BuddyEvent& e : b.events) app.world.scene.apply_event(e, now);
  const RenderRequests requests = take_buddy_events(app.world.effects, app.world.crew, now);
  if (app.graphics) {
    const EntryTickOutput marks =
        update_render_entries(app.world.render, app.world.crew, requests,
                              EntryTickInput{now, app.world.effects.overlay_left,
                                             app.world.effects.overlay_top, app.settings.look});
    add_trail_puffs(app.world.effects, marks.trail_puffs, app.settings.look.trail);
    add_sleep_marks(app.world.effects, marks.sleep_marks);
    if (app.platform.renderer)
      update_bubbles(app.world.render, app.world.crew, app.platform.renderer->canvas(),
                     app.display_scale, now);
  }
  for (Buddy& b : app.world.crew.buddies) b.events.clear();
  // A buddy that leaves goes with a short white ring where it stood.
  for (const RemovalMark& m : app.world.crew.removal_marks) {
    Ring ring;
    ring.x = static_cast<float>(m.x - app.world.effects.overlay_left);
    ring.y = static_cast<float>(m.y - app.world.effects.overlay_top);
    ring.radius = static_cast<float>(m.radius);
    ring.growth = static_cast<float>(3.0 * m.radius);
    ring.width = 2.0f;
    ring.lifetime = 0.4f;
    app.world.effects.rings.push_back(ring);
  }
  app.world.crew.removal_marks.clear();
}

void hazards(App& app) {
  const double now = app.sim_clock;
  for (const HazardHit& hit :
       prop_pass(app.world.effects, app.world.crew, app.world.tick_surfaces, now)) {
    if (hit.buddy_index >= app.world.crew.buddies.size()) continue;
    Buddy& b = app.world.crew.buddies[hit.buddy_index];
    switch (hit.kind) {
      case HazardHit::Kind::burn: burn(b, hit.away_dir, now); break;
      case HazardHit::Kind::zap: zap(b, now); break;
      case HazardHit::Kind::blast: blast(b, hit.vx, hit.vy); break;
    }
  }
  step_effects(app.world.effects, now);
  app.world.scene.expire(now);
}

}  // namespace

// Commands, sensing, each buddy's step with its messages, knock-overs, the social tick, crowd
// collisions, new bubbles to the voice, events to the scene and effects, then hazards.
void world_tick(App& app) {
  const bool paused = menu_pauses_world(app);
  app.world.drawing_points = crew_drawing_points(app.world.crew);
  handle_commands(app);
  sense(app);
  // Without windows the user's hand has no way to reach a buddy.
  if (app.graphics) handle_pointer(app);
  menu_tick(app);
  // Behind a pausing menu nothing moves; what commands and the menu queued waits for the
  // first tick after it.
  if (paused) {
    app.world.crew.rebuild_snapshot();
    return;
  }
  Crew& crew = app.world.crew;
  for (std::size_t i = 0; i < crew.buddies.size(); ++i) {
    Buddy& b = crew.buddies[i];
    if (b.motion.fling_pending) crew.place_fling(b);  // the first buddy has just been placed
    brain_step(b, app.world.view);
    if (b.motion.mode == BuddyMode::drawing) pencil_step(b, app.world.view);
    apply_tag_catch(b);
    deliver_messages(crew, i);
  }
  knock_overs(crew);
  social_tick(crew, app.sim_clock);
  collide_crew(crew, app.world.view);
  if (app.platform.voice)
    speak_new_bubbles(*app.platform.voice, crew.buddies, app.settings, app.sim_clock);
  hand_over_events(app);
  hazards(app);
  app.world.crew.rebuild_snapshot();
}

}  // namespace perchkin
