#include "app/menu_app.h"

#include "app/actions.h"
#include "app/input.h"
#include "app/loop_shell.h"
#include "app/studio_app.h"
#include "base/text.h"
#include "logo/samples.h"

#include <algorithm>
#include <cmath>

namespace perchkin {

static_assert(kMaxPins == kMenuMaxPins, "the settings keep every pin the menu allows");

namespace {

double loop_now(const App& app) {
  return app.platform.clock ? app.platform.clock->now() : app.sim_clock;
}

void click(App& app, bool choose) {
  if (!app.settings.sounds || !app.platform.voice) return;
  Samples& wave = app.ui.menu_clicks[choose ? 1 : 0];
  // Made once, on first use; the player mixes it without blocking the frame.
  if (!wave) wave = std::make_shared<const std::vector<std::int16_t>>(menu_click_wave(choose, kSpeechRate));
  app.platform.voice->play(wave, 1.0);
}

void update_crew_flags(App& app) {
  app.ui.menu.can_add = app.world.crew.buddies.size() < app.world.crew.max_buddies;
  app.ui.menu.can_remove = app.world.crew.buddies.size() > 1;
}

// Forgets targets that left the crew; false when none is left.
bool prune_targets(App& app) {
  auto& targets = app.ui.menu.targets;
  targets.erase(std::remove_if(targets.begin(), targets.end(),
                               [&](std::uint32_t id) { return !app.world.crew.index_of(id); }),
                targets.end());
  return !targets.empty();
}

void close(App& app, bool give_focus_back) {
  if (!app.ui.menu.open) return;
  app.ui.menu.open = false;
  app.ui.menu_open = false;
  if (app.platform.shell) {
    app.platform.shell->show(ShellWindow::menu, false);
    if (give_focus_back) app.platform.shell->restore_focus();
  }
  // The menu's pixels must go even if nothing else changes.
  app.redraw_wanted = true;
}

std::optional<std::size_t> first_target(const App& app, std::span<const std::uint32_t> targets) {
  for (std::uint32_t id : targets)
    if (auto i = app.world.crew.index_of(id)) return i;
  return std::nullopt;
}

// A drawing or hazard where the guide showed it.
CommandReply place(App& app, const MenuItem& item, std::size_t index) {
  const Buddy& b = app.world.crew.buddies[index];
  const MenuGuide g = menu_guide(item.action.tag, b.motion.x, b.motion.y,
                                 b.motion.facing < 0 ? -1.0 : 1.0, app.ui.menu.scale);
  const PathPoint a{g.x0, g.y0}, c{g.x1, g.y1};
  DrawRequest request;
  switch (item.action.tag) {
    case MenuTag::heart: request = {.kind = "heart", .points = {a, c}}; break;
    case MenuTag::star: request = {.kind = "star", .points = {a, c}}; break;
    case MenuTag::ledge: request = {.kind = "platform", .points = {a, c}}; break;
    case MenuTag::fire: request = {.kind = "fire", .points = {a}}; break;
    case MenuTag::rain: request = {.kind = "cloud", .points = {a}}; break;
    case MenuTag::bomb: request = {.kind = "bomb", .points = {a}}; break;
    default: return {true, {}};
  }
  return draw_buddy(app, index, request);
}

void resize_step(App& app, std::span<const std::uint32_t> targets, double step) {
  const double scale = app.display_scale > 0.0 ? app.display_scale : 1.0;
  for (std::uint32_t id : targets) {
    const auto i = app.world.crew.index_of(id);
    if (!i) continue;
    const std::size_t index[1] = {*i};
    app.world.crew.resize(index,
                          round_half_away(app.world.crew.buddies[*i].motion.unit / scale) + step);
  }
}

}  // namespace

bool menu_pauses_world(const App& app) { return app.ui.menu.open && app.settings.pause_menu; }

bool open_menu(App& app, const MenuRequest& request) {
  if (!app.world.crew.index_of(request.buddy)) return false;
  const MenuSettings& look = app.settings.menu;
  const double k = app.display_scale * look.size;
  const std::vector<ScreenRect> areas =
      app.platform.desktop ? app.platform.desktop->work_areas() : std::vector<ScreenRect>{};
  const MenuWindow window = menu_window(request.x, request.y, k, look.list, areas, app.screen);
  MenuOpening opening;
  opening.anchor_x = window.centre_x - app.screen.left;
  opening.anchor_y = window.centre_y - app.screen.top;
  opening.scale = k;
  opening.style = {look.list, look.theme, look.rainbow, look.accent, look.opacity, look.speed};
  opening.pins = app.settings.pins;
  opening.targets = request.group.empty() ? std::vector<std::uint32_t>{request.buddy} : request.group;
  menu_open(app.ui.menu, std::move(opening), loop_now(app));
  update_crew_flags(app);
  app.ui.menu_open = true;
  if (app.platform.shell) {
    app.platform.shell->set_menu_shape(window.shape);
    app.platform.shell->place(ShellWindow::menu, window.rect);
    app.platform.shell->take_focus(ShellWindow::menu);
  }
  app.ui.events.menu.clear();
  click(app, false);
  return true;
}

void open_menu_at_cursor(App& app) {
  if (app.world.crew.buddies.empty()) {
    open_studio(app, 2);
    return;
  }
  const CursorPos c = app.platform.desktop ? app.platform.desktop->cursor() : CursorPos{};
  const double x = std::isfinite(c.x) ? c.x : 0.0, y = std::isfinite(c.y) ? c.y : 0.0;
  (void)open_menu(app, MenuRequest{app.world.crew.buddies.front().id, x, y, {}});
}

void close_menu(App& app) { close(app, app.ui.menu.activated); }

void menu_tick(App& app) {
  if (app.ui.menu_close) {
    // Whoever asked (the selection box) has taken the focus already.
    app.ui.menu_close = false;
    close(app, false);
  }
  if (app.ui.menu_request) {
    const MenuRequest request = std::move(*app.ui.menu_request);
    app.ui.menu_request.reset();
    (void)open_menu(app, request);
  }
  if (!app.ui.menu.open) {
    app.ui.events.menu.clear();
    return;
  }
  if (!prune_targets(app)) {
    close_menu(app);
    return;
  }
  update_crew_flags(app);
  const double now = loop_now(app);
  menu_pointer(app.ui.menu, app.ui.cursor.x - app.screen.left, app.ui.cursor.y - app.screen.top,
               now);
  std::vector<InputEvent> events;
  events.swap(app.ui.events.menu);
  for (const InputEvent& e : events) {
    const MenuOutcome out = menu_event(app.ui.menu, e, now);
    if (out.pins_changed) {
      app.settings.pins = app.ui.menu.pins;
      app.settings_dirty_at = now;
    }
    if (out.kind == MenuOutcome::Kind::close) {
      // After the user clicked elsewhere the focus is already where they want it.
      close(app, !(e.kind == kMenuActivation && e.value == 0));
      return;
    }
    if (out.kind == MenuOutcome::Kind::perform) {
      click(app, true);
      const std::vector<std::uint32_t> targets = app.ui.menu.targets;
      close_menu(app);
      perform_menu_item(app, menu_item(out.item), targets);
      return;
    }
  }
}

void perform_menu_item(App& app, const MenuItem& item, std::span<const std::uint32_t> targets) {
  Crew& crew = app.world.crew;
  const std::optional<std::size_t> first = first_target(app, targets);
  // What the item did to each buddy; a refusal is told, the other buddies still act.
  const auto told = [&](const CommandReply& r) {
    if (!r.ok) report_failure(item.label, r.msg);
  };
  switch (item.action.tag) {
    case MenuTag::act:
      if (const std::optional<Act> act = act_named(item.action.act)) {
        for (std::uint32_t id : targets)
          if (auto i = crew.index_of(id)) told(act_buddy(app, *i, *act));
      }
      break;
    case MenuTag::doodle:
      if (first) {
        logo::TurtleRequest doodle;
        doodle.prog = logo::kSamplePrograms[crew.rng.pick(logo::kSamplePrograms.size())];
        told(turtle_buddy(app, *first, doodle));
      }
      break;
    case MenuTag::heart:
    case MenuTag::star:
    case MenuTag::ledge:
    case MenuTag::fire:
    case MenuTag::rain:
    case MenuTag::bomb:
      if (first) told(place(app, item, *first));
      break;
    case MenuTag::clear:
      if (first) told(draw_buddy(app, *first, DrawRequest{.kind = "clear"}));
      break;
    case MenuTag::fireworks:
    case MenuTag::snow:
      if (first)
        told(fx_buddy(app, *first,
                      item.action.tag == MenuTag::snow ? EffectKind::snow : EffectKind::fireworks));
      break;
    case MenuTag::add:
    case MenuTag::add_ten:
      if (Status s = add_buddies(app, item.action.tag == MenuTag::add ? 1 : 10, std::nullopt); !s.ok())
        report_failure(item.label, s.error);
      break;
    case MenuTag::remove:
      for (std::uint32_t id : targets) {
        // The last buddy stays: Crew::remove refuses it, and the item is disabled for it.
        if (crew.buddies.size() <= 1) break;
        if (Status s = crew.remove(id); !s.ok()) report_failure(item.label, s.error);
      }
      break;
    case MenuTag::remove_all: remove_every_buddy(app); break;
    case MenuTag::bigger: resize_step(app, targets, 1.0); break;
    case MenuTag::smaller: resize_step(app, targets, -1.0); break;
    case MenuTag::summon: summon_everyone(app); break;
    case MenuTag::studio: open_studio(app, item.action.page); break;
    case MenuTag::select: start_selection(app); break;
    case MenuTag::hide_all:
      if (!app.user_hidden) toggle_hidden(app, false);
      break;
    case MenuTag::quit: app.running = false; break;
  }
  crew.rebuild_snapshot();
}

void add_menu_to_frame(App& app, FrameInput& in) {
  if (!app.ui.menu.open) return;
  const double now = loop_now(app);
  menu_animate(app.ui.menu, now);
  in.menu_targets = app.ui.menu.targets;
  MenuTargetView view;
  view.overlay_bottom = in.overlay.bottom - in.overlay.top;
  if (app.ui.menu.targets.size() == 1) {
    if (auto i = app.world.crew.index_of(app.ui.menu.targets.front())) {
      const Buddy& b = app.world.crew.buddies[*i];
      view.single = true;
      view.feet_x = b.motion.x - in.overlay.left;
      view.feet_y = b.motion.y - in.overlay.top;
      view.body_y = view.feet_y - 5.0 * b.motion.unit;
      view.facing = b.motion.facing < 0 ? -1.0 : 1.0;
    }
  }
  const MenuState* menu = &app.ui.menu;
  in.draw_menu = [menu, view, now](Canvas& canvas) { draw_menu(canvas, *menu, view, now); };
}

}  // namespace perchkin
