#include "app/input.h"

#include "app/app.h"
#include "base/text.h"
#include "brain/brain.h"
#include "brain/physics.h"
#include "brain/social.h"
#include "crowd/body.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace perchkin {

namespace {

constexpr double kClickSeconds = 0.5;
constexpr double kPetDecay = 0.96;
constexpr double kPetThreshold = 260.0;
constexpr float kSelectionPatience = 15.0f;

std::int32_t saturate(double v) {
  if (!(v == v)) return 0;
  constexpr double lo = std::numeric_limits<std::int32_t>::min();
  constexpr double hi = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

Buddy* buddy_by_id(App& app, std::uint32_t id) {
  const auto i = app.world.crew.index_of(id);
  return i ? &app.world.crew.buddies[*i] : nullptr;
}

// Below the lowest floor under the cursor lies the taskbar strip: no buddy is reached there.
bool below_floors(const App& app, double x, double y) {
  double lowest = -std::numeric_limits<double>::infinity();
  bool any = false;
  for (const Support& s : app.world.surfaces) {
    if (s.kind != SurfaceKind::floor || x < s.left || x > s.right) continue;
    lowest = std::max(lowest, s.top);
    any = true;
  }
  return any && y > lowest;
}

PixelRect grab_rect_for(const Buddy& b, double margin) {
  const double w = round_half_away(16.0 * b.motion.unit);
  const double h = round_half_away(10.0 * b.motion.unit);
  const std::int32_t left = saturate(round_half_away(b.motion.x - w / 2.0 - margin));
  const std::int32_t top = saturate(round_half_away(b.motion.y - h - margin));
  const std::int32_t width = saturate(w + 2.0 * margin);
  const std::int32_t height = saturate(h + 2.0 * margin);
  PixelRect r;
  r.left = left;
  r.top = top;
  r.right = saturate(static_cast<double>(left) + width);
  r.bottom = saturate(static_cast<double>(top) + height);
  return r;
}

void place_grab_window(App& app) {
  const double margin = round_half_away(3.0 * app.display_scale);
  if (app.platform.shell && app.platform.shell->wants_pointer_boxes()) {
    std::vector<PixelRect> boxes;
    boxes.reserve(app.world.crew.buddies.size());
    for (const Buddy& b : app.world.crew.buddies) boxes.push_back(grab_rect_for(b, margin));
    app.platform.shell->set_pointer_boxes(boxes);
  }
  const double cx = app.ui.cursor.x, cy = app.ui.cursor.y;
  const bool blocked = app.ui.cursor_over_studio || below_floors(app, cx, cy);
  Buddy* target = nullptr;
  if (app.ui.holding) {
    if (app.platform.desktop->buttons().left)
      target = buddy_by_id(app, *app.ui.holding);
    else
      app.ui.holding.reset();
  }
  if (!target && !app.ui.holding && !blocked && !app.ui.menu_open && !app.ui.selection.active()) {
    // The last buddy is drawn on top, so it is the one under the cursor.
    for (auto it = app.world.crew.buddies.rbegin(); it != app.world.crew.buddies.rend(); ++it)
      if (in_hit_box(*it, cx, cy, margin)) {
        target = &*it;
        break;
      }
  }
  if (!target) {
    app.ui.hover.reset();
    if (app.ui.grab_rect.shown) hide_grab_window(app);
    return;
  }
  app.ui.hover = target->id;
  const PixelRect rect = grab_rect_for(*target, margin);
  if (app.ui.grab_rect.shown && app.ui.grab_rect.rect == rect) return;
  app.ui.grab_rect = {rect, true};
  if (app.platform.shell) app.platform.shell->place(ShellWindow::grab, rect);
}

void pick_up(App& app, Buddy& b) {
  if (b.motion.mode == BuddyMode::act && b.mind.act == Act::explode) {
    app.ui.press.reset();
    return;
  }
  app.ui.dragging = true;
  grab(b, app.sim_clock, app.ui.cursor.x, app.ui.cursor.y);
}

// The held buddy follows the cursor, kept on the screen; its velocity comes from the last 0.1 s.
void carry(App& app, Buddy& b) {
  const ScreenRect& s = app.screen;
  const double x =
      std::clamp(app.ui.cursor.x + b.motion.grab_dx, s.left, std::max(s.left, s.right));
  const double top = s.top + kHeadHeight * b.motion.unit;
  const double y = std::clamp(app.ui.cursor.y + b.motion.grab_dy, top, std::max(top, s.bottom));
  carry_to(b, app.sim_clock, x - b.motion.grab_dx, y - b.motion.grab_dy);
}

void release_press(App& app) {
  const PointerPress press = *app.ui.press;
  app.ui.press.reset();
  Buddy* b = buddy_by_id(app, press.buddy);
  if (b) {
    if (app.ui.dragging) {
      // The pointer may have moved since the last tick carried the buddy (a slow frame brings
      // the last moves and the button's release together): let go where the hand is now, with
      // its speed, not where the last frame left it.
      if (b->motion.mode == BuddyMode::held) {
        const auto& s = b->motion.pointer_samples;
        if (s.empty() || s.back().x != app.ui.cursor.x || s.back().y != app.ui.cursor.y)
          carry(app, *b);
        release(*b);
      }
    } else if (app.sim_clock - press.time < kClickSeconds) {
      poke(*b, app.sim_clock);
    }
  }
  app.ui.dragging = false;
  if (app.graphics) app.ui.holding.reset();
}

void wheel(App& app, Buddy& b, std::int32_t delta) {
  const double scale = app.display_scale > 0.0 ? app.display_scale : 1.0;
  const double size = round_half_away(b.motion.unit / scale) + (delta > 0 ? 1.0 : -1.0);
  const auto i = app.world.crew.index_of(b.id);
  if (!i) return;
  const std::size_t index[1] = {*i};
  // Crew::resize clamps the size and the unit and puffs at a grounded buddy's feet.
  app.world.crew.resize(index, size);
}

void grab_events(App& app) {
  std::vector<InputEvent> events;
  events.swap(app.ui.events.grab);
  for (const InputEvent& e : events) {
    Buddy* b = app.ui.hover ? buddy_by_id(app, *app.ui.hover) : nullptr;
    if (!b) continue;
    switch (e.kind) {
      case kGrabLeftDown:
        app.ui.press = PointerPress{app.ui.cursor.x, app.ui.cursor.y, b->id, app.sim_clock};
        app.ui.dragging = false;
        app.ui.holding = b->id;
        break;
      case kGrabLeftUp:
        if (app.ui.press) release_press(app);
        break;
      case kGrabDoubleClick:
        b->mind.last_active = app.sim_clock;
        if (is_grounded(b->motion.mode)) {
          b->mind.now = app.sim_clock;
          pointer_act(*b, Act::backflip);
        }
        break;
      case kGrabRightDown:
        app.ui.menu_request =
            MenuRequest{b->id, b->motion.x, b->motion.y - 5.0 * b->motion.unit, {}};
        break;
      case kGrabWheel: wheel(app, *b, e.value); break;
      default: break;
    }
  }
}

void track_press(App& app) {
  if (!app.ui.press) return;
  Buddy* b = buddy_by_id(app, app.ui.press->buddy);
  if (!b) {
    app.ui.press.reset();
    return;
  }
  if (!app.platform.desktop->buttons().left) {
    release_press(app);
    return;
  }
  if (!app.ui.dragging) {
    const double moved =
        std::abs(app.ui.cursor.x - app.ui.press->x) + std::abs(app.ui.cursor.y - app.ui.press->y);
    if (moved > 5.0 * app.display_scale) {
      pick_up(app, *b);
      if (!app.ui.press) return;
    }
  }
  if (b->motion.mode == BuddyMode::held) carry(app, *b);
}

void petting(App& app) {
  const double dx = std::abs(app.ui.cursor.x - app.ui.previous_cursor.x);
  Buddy* petted = nullptr;
  for (Buddy& b : app.world.crew.buddies)
    if (in_hit_box(b, app.ui.cursor.x, app.ui.cursor.y, 0.0)) {
      petted = &b;
      break;
    }
  if (!petted) {
    app.ui.pet_meter *= kPetDecay;
    return;
  }
  app.ui.pet_meter = app.ui.pet_meter * kPetDecay + (std::isfinite(dx) ? dx : 0.0);
  if (app.ui.pet_meter <= kPetThreshold * app.display_scale) return;
  app.ui.pet_meter = 0.0;
  pet(*petted, app.sim_clock);
}

void finish_selection(App& app) {
  SelectionBox& s = app.ui.selection;
  const double x0 = static_cast<double>(std::min(s.anchor_x, s.corner_x));
  const double x1 = static_cast<double>(std::max(s.anchor_x, s.corner_x));
  const double y0 = static_cast<double>(std::min(s.anchor_y, s.corner_y));
  const double y1 = static_cast<double>(std::max(s.anchor_y, s.corner_y));
  std::vector<std::uint32_t> caught;
  for (const Buddy& b : app.world.crew.buddies) {
    const double half = kHalfWidth * b.motion.unit;
    if (b.motion.x + half >= x0 && b.motion.x - half <= x1 && b.motion.y >= y0 &&
        b.motion.y - kHeadHeight * b.motion.unit <= y1)
      caught.push_back(b.id);
  }
  if (caught.empty()) {
    // An empty box keeps the selection open for another try.
    s.stage = SelectionBox::Stage::waiting;
    return;
  }
  std::sort(caught.begin(), caught.end());
  MenuRequest request{caught.front(), (x0 + x1) / 2.0, (y0 + y1) / 2.0, {}};
  if (caught.size() > 1) request.group = std::move(caught);
  end_selection(app, false);
  app.ui.menu_request = std::move(request);
}

void selection_tick(App& app) {
  SelectionBox& s = app.ui.selection;
  app.ui.menu_close = true;
  s.corner_x = static_cast<float>(app.ui.cursor.x);
  s.corner_y = static_cast<float>(app.ui.cursor.y);
  s.elapsed += static_cast<float>(kTick);
  std::vector<InputEvent> events;
  events.swap(app.ui.events.selection);
  for (const InputEvent& e : events) {
    if (!s.active()) break;
    switch (e.kind) {
      case kSelectLeftDown:
        s.stage = SelectionBox::Stage::dragging;
        s.anchor_x = s.corner_x;
        s.anchor_y = s.corner_y;
        break;
      case kSelectLeftUp:
        if (s.stage == SelectionBox::Stage::dragging) finish_selection(app);
        break;
      case kSelectCancel: end_selection(app, true); break;
      default: break;
    }
  }
  if (s.stage == SelectionBox::Stage::waiting && s.elapsed > kSelectionPatience)
    end_selection(app, true);
  else if (s.stage == SelectionBox::Stage::dragging && !app.platform.desktop->buttons().left)
    finish_selection(app);
}

}  // namespace

bool in_hit_box(const Buddy& b, double x, double y, double margin) {
  const double half = kHalfWidth * b.motion.unit + margin;
  return std::abs(x - b.motion.x) <= half &&
         y >= b.motion.y - kHeadHeight * b.motion.unit - margin && y <= b.motion.y + margin;
}

void handle_pointer(App& app) {
  if (app.graphics) place_grab_window(app);
  grab_events(app);
  track_press(app);
  if (!app.ui.press && !app.ui.cursor_over_studio) petting(app);
  if (app.ui.selection.active())
    selection_tick(app);
  else
    app.ui.events.selection.clear();
}

void start_selection(App& app) {
  if (!app.graphics) return;
  app.ui.menu_close = true;
  app.ui.menu_request.reset();
  if (app.platform.shell) {
    app.platform.shell->place(ShellWindow::selection,
                              PixelRect{saturate(app.screen.left), saturate(app.screen.top),
                                        saturate(app.screen.right), saturate(app.screen.bottom)});
    app.platform.shell->take_focus(ShellWindow::selection);
  }
  hide_grab_window(app);
  app.ui.holding.reset();
  app.ui.press.reset();
  app.ui.dragging = false;
  app.ui.events.selection.clear();
  const CursorPos c = app.platform.desktop ? app.platform.desktop->cursor() : CursorPos{};
  app.ui.selection =
      SelectionBox{SelectionBox::Stage::waiting, static_cast<float>(c.x), static_cast<float>(c.y),
                   static_cast<float>(c.x),      static_cast<float>(c.y), 0.0f};
}

void end_selection(App& app, bool cancelled) {
  if (!app.ui.selection.active()) return;
  if (app.platform.shell) {
    app.platform.shell->show(ShellWindow::selection, false);
    if (cancelled) app.platform.shell->restore_focus();
  }
  app.ui.selection = SelectionBox{};
}

void drop_held_buddy(App& app) {
  if (!app.ui.press) return;
  Buddy* b = buddy_by_id(app, app.ui.press->buddy);
  if (b && app.ui.dragging && b->motion.mode == BuddyMode::held) {
    b->motion.vx = b->motion.vy = 0.0;
    release(*b);
  }
  app.ui.press.reset();
  app.ui.dragging = false;
  app.ui.holding.reset();
}

void hide_grab_window(App& app) {
  app.ui.hover.reset();
  if (app.platform.shell) app.platform.shell->show(ShellWindow::grab, false);
  app.ui.grab_rect.shown = false;
}

}  // namespace perchkin
