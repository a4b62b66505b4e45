#include "app/loop_shell.h"

#include "app/actions.h"
#include "app/input.h"
#include "app/menu_app.h"
#include "gpu/overlay_2d.h"

#include <cmath>
#include <cstdio>

namespace perchkin {

namespace {

PixelRect pixel_rect(const ScreenRect& s) {
  return {static_cast<std::int32_t>(std::floor(s.left)), static_cast<std::int32_t>(std::floor(s.top)),
          static_cast<std::int32_t>(std::ceil(s.right)), static_cast<std::int32_t>(std::ceil(s.bottom))};
}

void screen_changed(App& app) {
  app.screen = app.platform.desktop->screen();
  app.world.scene.origin_x = app.screen.left;
  app.world.scene.origin_y = app.screen.top;
  app.world.effects.overlay_left = app.screen.left;
  app.world.effects.overlay_top = app.screen.top;
  app.world.effects.width = app.screen.right - app.screen.left;
  app.world.effects.height = app.screen.bottom - app.screen.top;
  close_menu_and_selection(app);
  app.platform.shell->place(ShellWindow::overlay, pixel_rect(app.screen));
  if (app.quiet) app.platform.shell->show(ShellWindow::overlay, false);
  app.platform.renderer->resize(app.screen);
  // One full frame at the new size.
  app.redraw_wanted = true;
}

// The crew is quiet while the user hides it or a full-screen program is in front. The
// full-screen check rests while the user hides the crew, so showing it again looks afresh.
void settle_quiet(App& app) {
  if (!app.user_hidden && app.platform.desktop)
    app.fullscreen_front = !app.bench && app.platform.desktop->fullscreen_in_front();
  set_quiet(app, app.user_hidden || app.fullscreen_front);
}

// Actions of the menu, summon and selection keys bring a hidden crew back first (unless a
// full-screen program keeps it quiet).
void unhide(App& app) {
  if (!app.user_hidden) return;
  app.user_hidden = false;
  settle_quiet(app);
}

void shell_event(App& app, const ShellEvent& e) {
  if (e.kind == kShellTrayLeft) {
    toggle_hidden(app, true);
    return;
  }
  if (e.kind == kShellTrayRight) {
    unhide(app);
    open_menu_at_cursor(app);
    return;
  }
  if (e.kind != kShellHotkey) return;
  switch (e.code) {
    case kHotkeyMenu:
      unhide(app);
      open_menu_at_cursor(app);
      break;
    case kHotkeyHide:
      toggle_hidden(app, false);
      break;
    case kHotkeySummon:
      unhide(app);
      summon_everyone(app);
      break;
    case kHotkeyClear:
      if (!app.world.crew.buddies.empty()) {
        const CommandReply r = draw_buddy(app, 0, DrawRequest{.kind = "clear"});
        if (!r.ok) report_failure("clear", r.msg);
      }
      break;
    case kHotkeySelect:
      unhide(app);
      start_selection(app);
      break;
    case kHotkeyRemoveAll:
      remove_every_buddy(app);
      break;
    default:
      break;
  }
}

// While a selection runs: its rectangle once dragging (the buddies it meets are ringed) and
// the hint beside the pointer from the start.
void add_selection_to_frame(const App& app, FrameInput& in) {
  const SelectionBox& s = app.ui.selection;
  if (!s.active()) return;
  const auto ox = static_cast<float>(in.overlay.left), oy = static_cast<float>(in.overlay.top);
  SelectionView view;
  view.cursor = {s.corner_x - ox, s.corner_y - oy};
  view.width = static_cast<float>(in.overlay.right - in.overlay.left);
  view.height = static_cast<float>(in.overlay.bottom - in.overlay.top);
  if (s.stage == SelectionBox::Stage::dragging) {
    in.selection = ScreenRect{static_cast<double>(s.anchor_x), static_cast<double>(s.anchor_y),
                              static_cast<double>(s.corner_x), static_cast<double>(s.corner_y)};
    view.box = CanvasRect{s.anchor_x - ox, s.anchor_y - oy, s.corner_x - ox, s.corner_y - oy};
  }
  const double scale = in.ui_scale;
  in.draw_selection = [view, scale](Canvas& canvas) { draw_selection_box(canvas, view, scale); };
}

}  // namespace

void set_quiet(App& app, bool quiet) {
  if (app.quiet == quiet) return;
  app.quiet = quiet;
  if (quiet) {
    close_menu_and_selection(app);
    app.platform.shell->show(ShellWindow::overlay, false);
    hide_grab_window(app);
    // The world stops while quiet: a buddy in hand is let go now rather than flung on return
    // with the distance the pointer travelled meanwhile.
    drop_held_buddy(app);
  } else {
    app.platform.shell->show(ShellWindow::overlay, true);
    app.redraw_wanted = true;
  }
}

void toggle_hidden(App& app, bool tray) {
  if (tray && app.world.crew.buddies.empty()) {
    app.user_hidden = false;
    set_quiet(app, false);
    (void)app.world.crew.add(std::nullopt, false);
    return;
  }
  app.user_hidden = !app.user_hidden;
  // Showing does nothing while a full-screen program keeps the crew quiet.
  settle_quiet(app);
}

void check_fullscreen(App& app, double now) {
  if (now < app.next_fullscreen_check) return;
  app.next_fullscreen_check = std::floor(now + 1.0);
  settle_quiet(app);
}

void pump_shell(App& app) {
  EventRecords& records = app.ui.events;
  app.platform.shell->pump(records);
  if (records.quit) app.running = false;
  if (records.display_changed) screen_changed(app);
  records.quit = records.display_changed = false;
  std::vector<ShellEvent> shell_events;
  shell_events.swap(records.shell_events);
  for (const ShellEvent& e : shell_events) shell_event(app, e);
  // The grab and selection events wait for the next tick; none runs while the crew is quiet,
  // so what nobody takes is bounded.
  constexpr std::size_t kMostWaiting = 256;
  for (auto* list : {&records.grab, &records.selection, &records.menu})
    if (list->size() > kMostWaiting) list->clear();
}

std::optional<FrameResult> draw_frame(App& app) {
  FrameInput in;
  in.crew = &app.world.crew;
  in.scene = &app.world.scene;
  in.effects = &app.world.effects;
  in.entries = &app.world.render;
  in.settings = &app.settings;
  in.overlay = app.screen;
  in.ui_scale = app.display_scale;
  // The world's clock stands still while the menu pauses it, so it is the animation clock.
  in.clock = app.sim_clock;
  in.alpha = menu_pauses_world(app) ? 1.0 : std::clamp(app.accumulator / kTick, 0.0, 1.0);
  in.forced = app.redraw_wanted;
  app.redraw_wanted = false;
  set_custom_wear(app, in);
  add_menu_to_frame(app, in);
  add_selection_to_frame(app, in);
  Result<FrameResult> drawn = app.platform.renderer->frame(in);
  if (!drawn.ok()) {
    std::fprintf(stderr, "drawing failed: %s\n", drawn.error.c_str());
    std::fflush(stderr);
    return std::nullopt;
  }
  return *drawn;
}

void close_menu_and_selection(App& app) {
  close_menu(app);
  if (app.ui.selection.active()) end_selection(app, true);
}

}  // namespace perchkin
