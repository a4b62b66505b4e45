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
  const auto i = app.crew.index_of(id);
  return i ? &app.crew.buddies[*i] : nullptr;
}

// Below the lowest floor under the cursor lies the taskbar strip: no buddy is reached there.
bool below_floors(const App& app, double x, double y) {
  double lowest = -std::numeric_limits<double>::infinity();
  bool any = false;
  for (const Support& s : app.surfaces) {
    if (s.kind != SurfaceKind::floor || x < s.left || x > s.right) continue;
    lowest = std::max(lowest, s.top);
    any = true;
  }
  return any && y > lowest;
}

PixelRect grab_rect_for(const Buddy& b, double margin) {
  const double w = round_half_away(16.0 * b.unit);
  const double h = round_half_away(10.0 * b.unit);
  const std::int32_t left = saturate(round_half_away(b.x - w / 2.0 - margin));
  const std::int32_t top = saturate(round_half_away(b.y - h - margin));
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
  const double cx = app.cursor.x, cy = app.cursor.y;
  const bool blocked = app.cursor_over_studio || below_floors(app, cx, cy);
  Buddy* target = nullptr;
  if (app.holding) {
    if (app.desktop->buttons().left)
      target = buddy_by_id(app, *app.holding);
    else
      app.holding.reset();
  }
  if (!target && !app.holding && !blocked && !app.menu_open && !app.selection.active()) {
    // The last buddy is drawn on top, so it is the one under the cursor.
    for (auto it = app.crew.buddies.rbegin(); it != app.crew.buddies.rend(); ++it)
      if (in_hit_box(*it, cx, cy, margin)) {
        target = &*it;
        break;
      }
  }
  if (!target) {
    app.hover.reset();
    if (app.grab_rect.shown) hide_grab_window(app);
    return;
  }
  app.hover = target->id;
  const PixelRect rect = grab_rect_for(*target, margin);
  if (app.grab_rect.shown && app.grab_rect.rect == rect) return;
  app.grab_rect = {rect, true};
  if (app.shell) app.shell->place(ShellWindow::grab, rect);
}

void pick_up(App& app, Buddy& b) {
  if (b.mode == BuddyMode::act && b.act == Act::explode) {
    app.press.reset();
    return;
  }
  app.dragging = true;
  grab(b, app.sim_clock, app.cursor.x, app.cursor.y);
}

// The held buddy follows the cursor, kept on the screen; its velocity comes from the last 0.1 s.
void carry(App& app, Buddy& b) {
  const ScreenRect& s = app.screen;
  const double x = std::clamp(app.cursor.x + b.grab_dx, s.left, std::max(s.left, s.right));
  const double top = s.top + kHeadHeight * b.unit;
  const double y = std::clamp(app.cursor.y + b.grab_dy, top, std::max(top, s.bottom));
  carry_to(b, app.sim_clock, x - b.grab_dx, y - b.grab_dy);
}

void release_press(App& app) {
  const PointerPress press = *app.press;
  app.press.reset();
  Buddy* b = buddy_by_id(app, press.buddy);
  if (b) {
    if (app.dragging) {
      // The pointer may have moved since the last tick carried the buddy (a slow frame brings
      // the last moves and the button's release together): let go where the hand is now, with
      // its speed, not where the last frame left it.
      if (b->mode == BuddyMode::held) {
        const auto& s = b->pointer_samples;
        if (s.empty() || s.back().x != app.cursor.x || s.back().y != app.cursor.y) carry(app, *b);
        release(*b);
      }
    } else if (app.sim_clock - press.time < kClickSeconds) {
      poke(*b, app.sim_clock);
    }
  }
  app.dragging = false;
  if (app.graphics) app.holding.reset();
}

void wheel(App& app, Buddy& b, std::int32_t delta) {
  const double scale = app.display_scale > 0.0 ? app.display_scale : 1.0;
  const double size = round_half_away(b.unit / scale) + (delta > 0 ? 1.0 : -1.0);
  const auto i = app.crew.index_of(b.id);
  if (!i) return;
  const std::size_t index[1] = {*i};
  // Crew::resize clamps the size and the unit and puffs at a grounded buddy's feet.
  app.crew.resize(index, size);
}

void grab_events(App& app) {
  std::vector<InputEvent> events;
  events.swap(app.events.grab);
  for (const InputEvent& e : events) {
    Buddy* b = app.hover ? buddy_by_id(app, *app.hover) : nullptr;
    if (!b) continue;
    switch (e.kind) {
      case kGrabLeftDown:
        app.press = PointerPress{app.cursor.x, app.cursor.y, b->id, app.sim_clock};
        app.dragging = false;
        app.holding = b->id;
        break;
      case kGrabLeftUp:
        if (app.press) release_press(app);
        break;
      case kGrabDoubleClick:
        b->last_active = app.sim_clock;
        if (is_grounded(b->mode)) {
          b->now = app.sim_clock;
          pointer_act(*b, Act::backflip);
        }
        break;
      case kGrabRightDown:
        app.menu_request = MenuRequest{b->id, b->x, b->y - 5.0 * b->unit, {}};
        break;
      case kGrabWheel: wheel(app, *b, e.value); break;
      default: break;
    }
  }
}

void track_press(App& app) {
  if (!app.press) return;
  Buddy* b = buddy_by_id(app, app.press->buddy);
  if (!b) {
    app.press.reset();
    return;
  }
  if (!app.desktop->buttons().left) {
    release_press(app);
    return;
  }
  if (!app.dragging) {
    const double moved =
        std::abs(app.cursor.x - app.press->x) + std::abs(app.cursor.y - app.press->y);
    if (moved > 5.0 * app.display_scale) {
      pick_up(app, *b);
      if (!app.press) return;
    }
  }
  if (b->mode == BuddyMode::held) carry(app, *b);
}

void petting(App& app) {
  const double dx = std::abs(app.cursor.x - app.previous_cursor.x);
  Buddy* petted = nullptr;
  for (Buddy& b : app.crew.buddies)
    if (in_hit_box(b, app.cursor.x, app.cursor.y, 0.0)) {
      petted = &b;
      break;
    }
  if (!petted) {
    app.pet_meter *= kPetDecay;
    return;
  }
  app.pet_meter = app.pet_meter * kPetDecay + (std::isfinite(dx) ? dx : 0.0);
  if (app.pet_meter <= kPetThreshold * app.display_scale) return;
  app.pet_meter = 0.0;
  pet(*petted, app.sim_clock);
}

void finish_selection(App& app) {
  SelectionBox& s = app.selection;
  const double x0 = static_cast<double>(std::min(s.anchor_x, s.corner_x));
  const double x1 = static_cast<double>(std::max(s.anchor_x, s.corner_x));
  const double y0 = static_cast<double>(std::min(s.anchor_y, s.corner_y));
  const double y1 = static_cast<double>(std::max(s.anchor_y, s.corner_y));
  std::vector<std::uint32_t> caught;
  for (const Buddy& b : app.crew.buddies) {
    const double half = kHalfWidth * b.unit;
    if (b.x + half >= x0 && b.x - half <= x1 && b.y >= y0 && b.y - kHeadHeight * b.unit <= y1)
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
  app.menu_request = std::move(request);
}

void selection_tick(App& app) {
  SelectionBox& s = app.selection;
  app.menu_close = true;
  s.corner_x = static_cast<float>(app.cursor.x);
  s.corner_y = static_cast<float>(app.cursor.y);
  s.elapsed += static_cast<float>(kTick);
  std::vector<InputEvent> events;
  events.swap(app.events.selection);
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
  else if (s.stage == SelectionBox::Stage::dragging && !app.desktop->buttons().left)
    finish_selection(app);
}

}  // namespace

bool in_hit_box(const Buddy& b, double x, double y, double margin) {
  const double half = kHalfWidth * b.unit + margin;
  return std::abs(x - b.x) <= half && y >= b.y - kHeadHeight * b.unit - margin && y <= b.y + margin;
}

void handle_pointer(App& app) {
  if (app.graphics) place_grab_window(app);
  grab_events(app);
  track_press(app);
  if (!app.press && !app.cursor_over_studio) petting(app);
  if (app.selection.active()) selection_tick(app);
  else app.events.selection.clear();
}

void start_selection(App& app) {
  if (!app.graphics) return;
  app.menu_close = true;
  app.menu_request.reset();
  if (app.shell) {
    app.shell->place(ShellWindow::selection,
                     PixelRect{saturate(app.screen.left), saturate(app.screen.top),
                               saturate(app.screen.right), saturate(app.screen.bottom)});
    app.shell->take_focus(ShellWindow::selection);
  }
  hide_grab_window(app);
  app.holding.reset();
  app.press.reset();
  app.dragging = false;
  app.events.selection.clear();
  const CursorPos c = app.desktop ? app.desktop->cursor() : CursorPos{};
  app.selection = SelectionBox{SelectionBox::Stage::waiting, static_cast<float>(c.x),
                               static_cast<float>(c.y), static_cast<float>(c.x),
                               static_cast<float>(c.y), 0.0f};
}

void end_selection(App& app, bool cancelled) {
  if (!app.selection.active()) return;
  if (app.shell) {
    app.shell->show(ShellWindow::selection, false);
    if (cancelled) app.shell->restore_focus();
  }
  app.selection = SelectionBox{};
}

void drop_held_buddy(App& app) {
  if (!app.press) return;
  Buddy* b = buddy_by_id(app, app.press->buddy);
  if (b && app.dragging && b->mode == BuddyMode::held) {
    b->vx = b->vy = 0.0;
    release(*b);
  }
  app.press.reset();
  app.dragging = false;
  app.holding.reset();
}

void hide_grab_window(App& app) {
  app.hover.reset();
  if (app.shell) app.shell->show(ShellWindow::grab, false);
  app.grab_rect.shown = false;
}

}  // namespace perchkin
