#include "menu/menu.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace perchkin {

namespace {

using T = MenuTag;

constexpr MenuAction A(T tag, std::string_view act = {}, int page = 0) { return {tag, act, page}; }
constexpr MenuOutcome closing() { return {MenuOutcome::Kind::close, {}, false}; }
constexpr MenuOutcome pins_changed(bool changed) { return {MenuOutcome::Kind::none, {}, changed}; }

constexpr MenuItem kPlay[] = {
    {A(T::act, "dance"), "♪", "Dance", "Dance"},
    {A(T::act, "backflip"), "↻", "Backflip", "Do a backflip"},
    {A(T::act, "celebrate"), "★", "Party", "Dance with confetti"},
    {A(T::act, "chase"), "➤", "Chase", "Chase my cursor"},
    {A(T::act, "love"), "♥", "Love", "Show some love"},
    {A(T::act, "sleep"), "☾", "Nap", "Take a nap"},
};
constexpr MenuItem kCreate[] = {
    {A(T::doodle), "✎", "Doodle", "Doodle something"},
    {A(T::heart), "♥", "Heart", "Draw a heart"},
    {A(T::star), "★", "Star", "Draw a star"},
    {A(T::ledge), "▬", "Ledge", "Draw a ledge to stand on"},
    {A(T::clear), "✕", "Clear", "Clear all drawings"},
    {A(T::select), "⬚", "Select", "Drag a box around buddies"},
};
constexpr MenuItem kChaos[] = {
    {A(T::act, "explode"), "✸", "Explode", "Burst into pixels"},
    {A(T::fire), "♨", "Fire", "Start a fire"},
    {A(T::rain), "☂", "Rain", "Make it rain"},
    {A(T::bomb), "●", "Bomb", "Drop a bomb"},
    {A(T::fireworks), "✦", "Fireworks", "Fireworks"},
    {A(T::snow), "❄", "Snow", "Let it snow"},
};
constexpr MenuItem kCrewItems[] = {
    {A(T::add), "+", "Add", "Add a buddy"},
    {A(T::add_ten), "⁺¹⁰", "Add 10", "Add 10 buddies"},
    {A(T::remove), "−", "Remove", "Remove this buddy"},
    {A(T::remove_all), "✖", "Remove all", "Remove every buddy (the tray icon brings one back)"},
    {A(T::bigger), "▲", "Bigger", "Make this buddy bigger"},
    {A(T::smaller), "▼", "Smaller", "Make this buddy smaller"},
    {A(T::summon), "◎", "Summon", "Call everyone to my cursor"},
};
constexpr MenuItem kStudio[] = {
    {A(T::studio, {}, 0), "✦", "Look", "Open Studio: colors and accessories"},
    {A(T::studio, {}, 1), "☺", "Personality", "Open Studio: how they behave"},
    {A(T::studio, {}, 2), "⚙", "World", "Open Studio: physics and behaviors"},
    {A(T::studio, {}, 3), "◉", "Menu", "Open Studio: change this menu"},
    {A(T::hide_all), "◌", "Hide all", "Hide everyone (tray icon brings them back)"},
    {A(T::quit), "✖", "Quit", "Quit Perchkin"},
};

constexpr MenuSection kSections[kMenuSectionCount] = {
    {"♪", "Play", kPlay, 0xD77757},    {"✎", "Create", kCreate, 0x4D9DFF},
    {"✸", "Chaos", kChaos, 0xFF4D6D},  {"☻", "Crew", kCrewItems, 0x4DD599},
    {"⚙", "Studio", kStudio, 0xB36BFF},
};

constexpr MenuTheme kThemes[] = {
    {"Midnight", 0x13131A, 0xFFFFFF, 0xB8B8C7},
    {"Ocean", 0x0A1F2E, 0xEDFAFF, 0x99C2D6},
    {"Candy", 0x33122B, 0xFFF2FA, 0xE0ABCC},
    {"Paper", 0xF5F0E6, 0x211F1C, 0x6B665E},
};

constexpr double kRightUpGrace = 0.3;
constexpr double kHoverRate = 14.0;  // per second

constexpr std::int32_t kKeyP = 'P';

double radians(double deg) { return deg * std::numbers::pi / 180.0; }

// |a - b| around the circle, in [0, pi].
double angle_apart(double a, double b) {
  double d = std::fmod(std::abs(a - b), 2.0 * std::numbers::pi);
  return d > std::numbers::pi ? 2.0 * std::numbers::pi - d : d;
}

void set_hover(MenuState& menu, MenuHover hover, double now) {
  if (menu.hover == hover) return;
  menu.hover = hover;
  menu.hover_at = now;
}

void enter_level(MenuState& menu, int level, double now) {
  menu.level = level;
  menu.level_at = now;
  menu.item_hover.fill(0.0f);
}

// The hub: back to the top level with the section hovered, or close from the top.
MenuOutcome back(MenuState& menu, double now) {
  if (menu.level < 0) return closing();
  const int section = menu.level;
  enter_level(menu, -1, now);
  set_hover(menu, {MenuHoverKind::section, section}, now);
  return {};
}

MenuOutcome perform_if_enabled(const MenuState& menu) {
  const std::optional<MenuItemRef> ref = menu_hovered_item(menu);
  if (!ref || !menu_item_enabled(menu, menu_item(*ref))) return {};
  return {MenuOutcome::Kind::perform, *ref, false};
}

// Acts on what is hovered now (a click or Enter).
MenuOutcome activate(MenuState& menu, double now, bool from_key) {
  switch (menu.hover.kind) {
    case MenuHoverKind::centre: return back(menu, now);
    case MenuHoverKind::section:
      enter_level(menu, menu.hover.index, now);
      if (from_key) set_hover(menu, {MenuHoverKind::item, 0}, now);
      else set_hover(menu, {}, now);
      return {};
    case MenuHoverKind::item: return perform_if_enabled(menu);
    case MenuHoverKind::outside: return from_key ? MenuOutcome{} : closing();
    default: return {};
  }
}

// Clicks hit-test where the pointer is; without a known position the hover stands.
void hit_at_pointer(MenuState& menu, double now) {
  if (menu.last_pointer)
    set_hover(menu, menu_hit(menu, menu.last_pointer->first, menu.last_pointer->second), now);
}

MenuOutcome key(MenuState& menu, std::int32_t value, double now) {
  const bool shift = (value & kMenuKeyShift) != 0;
  const std::int32_t code = value & 0xFFFF;
  switch (code) {
    case kKeyEscape:
    case kKeyBack: return back(menu, now);
    case kKeyEnter:
    case kKeySpace:
      menu.focus_ring = true;
      return activate(menu, now, true);
    case kKeyP: return pins_changed(menu_toggle_pin(menu, now));
    case kKeyRight:
    case kKeyDown:
      if (shift) return pins_changed(menu_move_pin(menu, 1, now));
      menu_step(menu, 1, now);
      return {};
    case kKeyLeft:
    case kKeyUp:
      if (shift) return pins_changed(menu_move_pin(menu, -1, now));
      menu_step(menu, -1, now);
      return {};
    case kKeyTab: menu_step(menu, shift ? -1 : 1, now); return {};
    default: return {};
  }
}

}  // namespace

std::span<const MenuSection> menu_sections() { return kSections; }

const MenuItem& menu_item(MenuItemRef ref) {
  const int s = std::clamp(ref.section, 0, kMenuSectionCount - 1);
  const auto items = kSections[s].items;
  const auto i = static_cast<std::size_t>(std::clamp(ref.item, 0, static_cast<int>(items.size()) - 1));
  return items[i];
}

std::optional<MenuItemRef> menu_item_by_label(std::string_view label) {
  for (int s = 0; s < kMenuSectionCount; ++s)
    for (std::size_t i = 0; i < kSections[s].items.size(); ++i)
      if (kSections[s].items[i].label == label) return MenuItemRef{s, static_cast<int>(i)};
  return std::nullopt;
}

const MenuTheme& menu_theme(int index) { return kThemes[std::clamp(index, 0, 3)]; }

double menu_section_angle(int section) { return radians(-90.0 + kSectionStepDeg * section); }

double menu_item_angle(int level, int i, int n) {
  const double base = level < 0 ? radians(-90.0) : menu_section_angle(level);
  return base + (i - (n - 1) / 2.0) * kItemStepRad;
}

MenuHover wheel_hit(double dx, double dy, double m, int level, int items) {
  if (!(m > 0.0)) return {};
  const double x = dx / m, y = dy / m;
  const double r = std::hypot(x, y);
  if (!std::isfinite(r)) return {};
  if (r < kHubRadius) return {MenuHoverKind::centre, -1};
  if (r > kOuterRingOuter) return {MenuHoverKind::outside, -1};
  const double theta = std::atan2(y, x);
  if (r <= kSectionRingOuter) {
    int best = 0;
    double nearest = 10.0;
    for (int k = 0; k < kMenuSectionCount; ++k) {
      const double apart = angle_apart(theta, menu_section_angle(k));
      if (apart < nearest) {
        nearest = apart;
        best = k;
      }
    }
    return {MenuHoverKind::section, best};
  }
  for (int i = 0; i < items; ++i)
    if (angle_apart(theta, menu_item_angle(level, i, items)) <= kItemReachRad)
      return {MenuHoverKind::item, i};
  return {};
}

MenuHover panel_hit(double dx, double dy, double m, int items) {
  if (!(m > 0.0)) return {};
  const double px = dx / m + kPanelWidth / 2.0, py = dy / m + kPanelHeight / 2.0;
  if (!std::isfinite(px) || !std::isfinite(py)) return {};
  if (px < 0.0 || px > kPanelWidth || py < 0.0 || py > kPanelHeight)
    return {MenuHoverKind::outside, -1};
  if (py < kPanelHeader) return {MenuHoverKind::centre, -1};
  const int row = static_cast<int>(std::floor((py - kPanelHeader) / kPanelRow));
  if (px < kPanelLeftColumn)
    return row < kMenuSectionCount ? MenuHover{MenuHoverKind::section, row}
                                   : MenuHover{MenuHoverKind::empty, -1};
  return row < items ? MenuHover{MenuHoverKind::item, row} : MenuHover{MenuHoverKind::empty, -1};
}

double menu_ease(double t) {
  const double u = std::clamp(t, 0.0, 1.0) - 1.0;
  return 1.0 + 2.9 * u * u * u + 1.9 * u * u;
}

void menu_open(MenuState& menu, MenuOpening opening, double now) {
  const bool can_add = menu.can_add, can_remove = menu.can_remove;
  menu = MenuState{};
  menu.can_add = can_add;
  menu.can_remove = can_remove;
  menu.open = true;
  menu.anchor_x = opening.anchor_x;
  menu.anchor_y = opening.anchor_y;
  menu.scale = opening.scale > 0.0 && std::isfinite(opening.scale) ? opening.scale : 1.0;
  menu.style = opening.style;
  menu.opened_at = menu.level_at = menu.hover_at = menu.animated_at = now;
  // Pins come from the settings file: only known labels count, once each, at most six.
  for (std::string& label : opening.pins) {
    if (menu.pins.size() == kMenuMaxPins) break;
    if (!menu_item_by_label(label) || menu_pinned(menu, label)) continue;
    menu.pins.push_back(std::move(label));
  }
  menu.targets = std::move(opening.targets);
}

std::vector<MenuItemRef> menu_ring_items(const MenuState& menu) {
  std::vector<MenuItemRef> out;
  if (menu.level >= 0 && menu.level < kMenuSectionCount) {
    const auto n = static_cast<int>(kSections[menu.level].items.size());
    for (int i = 0; i < n; ++i) out.push_back({menu.level, i});
    return out;
  }
  for (const std::string& label : menu.pins)
    if (auto ref = menu_item_by_label(label)) out.push_back(*ref);
  return out;
}

std::optional<MenuItemRef> menu_hovered_item(const MenuState& menu) {
  if (menu.hover.kind != MenuHoverKind::item || menu.hover.index < 0) return std::nullopt;
  const std::vector<MenuItemRef> ring = menu_ring_items(menu);
  const auto i = static_cast<std::size_t>(menu.hover.index);
  if (i >= ring.size()) return std::nullopt;
  return ring[i];
}

bool menu_item_enabled(const MenuState& menu, const MenuItem& item) {
  switch (item.action.tag) {
    case MenuTag::add:
    case MenuTag::add_ten: return menu.can_add;
    case MenuTag::remove: return menu.can_remove;
    default: return true;
  }
}

bool menu_pinned(const MenuState& menu, std::string_view label) {
  return std::find(menu.pins.begin(), menu.pins.end(), label) != menu.pins.end();
}

MenuHover menu_hit(const MenuState& menu, double x, double y) {
  const double dx = x - menu.anchor_x, dy = y - menu.anchor_y;
  if (menu.style.panel) {
    const int items =
        menu.level >= 0 ? static_cast<int>(kSections[std::min(menu.level, 4)].items.size()) : 0;
    return panel_hit(dx, dy, menu.scale, items);
  }
  return wheel_hit(dx, dy, menu.scale, menu.level, static_cast<int>(menu_ring_items(menu).size()));
}

void menu_pointer(MenuState& menu, double x, double y, double now) {
  if (!menu.open || !std::isfinite(x) || !std::isfinite(y)) return;
  const std::pair<double, double> p{x, y};
  if (menu.last_pointer && *menu.last_pointer == p) return;
  const bool first = !menu.last_pointer;
  menu.last_pointer = p;
  // The position the menu opened under is no choice yet; keyboard use keeps its hover.
  if (first) return;
  menu.focus_ring = false;
  const MenuHover hit = menu_hit(menu, x, y);
  set_hover(menu, hit, now);
  // The panel opens the section under the pointer, so the items beside it are live and the
  // pointer can go over to them.
  if (menu.style.panel && hit.kind == MenuHoverKind::section && menu.level != hit.index) {
    enter_level(menu, hit.index, now);
    set_hover(menu, hit, now);
  }
}

MenuOutcome menu_event(MenuState& menu, const InputEvent& e, double now) {
  if (!menu.open) return {};
  switch (e.kind) {
    case kMenuLeftDown: {
      hit_at_pointer(menu, now);
      return activate(menu, now, false);
    }
    case kMenuRightDown: return back(menu, now);
    case kMenuRightUp:
      // The release of the right-click that opened the menu chooses nothing.
      if (now - menu.opened_at < kRightUpGrace) return {};
      hit_at_pointer(menu, now);
      return menu.hover.kind == MenuHoverKind::item ? perform_if_enabled(menu) : MenuOutcome{};
    case kMenuMiddleDown:
      hit_at_pointer(menu, now);
      return pins_changed(menu_toggle_pin(menu, now));
    case kMenuWheel: menu_step(menu, e.value < 0 ? 1 : -1, now); return {};
    case kMenuKey: return key(menu, e.value, now);
    case kMenuActivation:
      if (e.value != 0) {
        menu.activated = true;
        return {};
      }
      return menu.activated ? closing() : MenuOutcome{};
    default: return {};
  }
}

void menu_step(MenuState& menu, int step, double now) {
  menu.focus_ring = true;
  const int n = static_cast<int>(menu_ring_items(menu).size());
  if (menu.level >= 0) {
    if (n == 0) return;
    int index = step > 0 ? 0 : n - 1;
    if (menu.hover.kind == MenuHoverKind::item && menu.hover.index >= 0)
      index = ((menu.hover.index + step) % n + n) % n;
    set_hover(menu, {MenuHoverKind::item, index}, now);
    return;
  }
  // The panel shows no pins, so its keys walk the sections alone.
  const int ring = kMenuSectionCount + (menu.style.panel ? 0 : n);
  int position = -1;
  if (menu.hover.kind == MenuHoverKind::section) position = menu.hover.index;
  else if (menu.hover.kind == MenuHoverKind::item) position = kMenuSectionCount + menu.hover.index;
  if (position < 0 || position >= ring) position = step > 0 ? 0 : kMenuSectionCount - 1;
  else position = ((position + step) % ring + ring) % ring;
  if (position < kMenuSectionCount) set_hover(menu, {MenuHoverKind::section, position}, now);
  else set_hover(menu, {MenuHoverKind::item, position - kMenuSectionCount}, now);
}

bool menu_toggle_pin(MenuState& menu, double now) {
  const std::optional<MenuItemRef> ref = menu_hovered_item(menu);
  if (!ref) return false;
  const std::string label(menu_item(*ref).label);
  const auto at = std::find(menu.pins.begin(), menu.pins.end(), label);
  if (at != menu.pins.end()) {
    menu.pins.erase(at);
    if (menu.level < 0) {
      // The hover stays on the ring of pins, which just got shorter.
      if (menu.pins.empty()) set_hover(menu, {}, now);
      else
        set_hover(menu,
                  {MenuHoverKind::item,
                   std::min(menu.hover.index, static_cast<int>(menu.pins.size()) - 1)},
                  now);
    }
    return true;
  }
  if (menu.pins.size() >= kMenuMaxPins) return false;
  menu.pins.push_back(label);
  return true;
}

bool menu_move_pin(MenuState& menu, int step, double now) {
  if (menu.level >= 0 || menu.hover.kind != MenuHoverKind::item) return false;
  const int i = menu.hover.index;
  const int j = i + (step > 0 ? 1 : -1);
  const auto n = static_cast<int>(menu.pins.size());
  if (i < 0 || i >= n || j < 0 || j >= n) return false;
  std::swap(menu.pins[static_cast<std::size_t>(i)], menu.pins[static_cast<std::size_t>(j)]);
  set_hover(menu, {MenuHoverKind::item, j}, now);
  menu.focus_ring = true;
  return true;
}

void menu_animate(MenuState& menu, double now) {
  const double dt = std::clamp(now - menu.animated_at, 0.0, 0.1);
  menu.animated_at = now;
  const auto k = static_cast<float>(1.0 - std::exp(-dt * kHoverRate * std::max(0.1, menu.style.speed)));
  for (int s = 0; s < kMenuSectionCount; ++s) {
    const bool on = menu.hover.kind == MenuHoverKind::section && menu.hover.index == s;
    float& v = menu.section_hover[static_cast<std::size_t>(s)];
    v += ((on ? 1.0f : 0.0f) - v) * k;
  }
  for (std::size_t i = 0; i < menu.item_hover.size(); ++i) {
    const bool on = menu.hover.kind == MenuHoverKind::item && menu.hover.index == static_cast<int>(i);
    float& v = menu.item_hover[i];
    v += ((on ? 1.0f : 0.0f) - v) * k;
  }
}

MenuWindow menu_window(double anchor_x, double anchor_y, double k, bool panel,
                       const std::vector<ScreenRect>& work_areas, const ScreenRect& screen) {
  if (!(k > 0.0) || !std::isfinite(k)) k = 1.0;
  if (!std::isfinite(anchor_x)) anchor_x = screen.left;
  if (!std::isfinite(anchor_y)) anchor_y = screen.top;
  const double w = std::round((panel ? kPanelWidth : 2.0 * kWheelHalf) * k);
  const double h = std::round((panel ? kPanelHeight : 2.0 * kWheelHalf) * k);
  // The work area under the anchor, else the nearest one, else the whole screen.
  ScreenRect area = screen;
  double nearest = std::numeric_limits<double>::infinity();
  for (const ScreenRect& a : work_areas) {
    const double ox = std::max({a.left - anchor_x, 0.0, anchor_x - a.right});
    const double oy = std::max({a.top - anchor_y, 0.0, anchor_y - a.bottom});
    const double d = ox * ox + oy * oy;
    if (d < nearest) {
      nearest = d;
      area = a;
    }
  }
  const auto fit = [](double c, double lo, double hi, double half) {
    if (hi - lo < 2.0 * half) return (lo + hi) / 2.0;
    return std::clamp(c, lo + half, hi - half);
  };
  const double cx = fit(anchor_x, area.left, area.right, w / 2.0);
  const double cy = fit(anchor_y, area.top + kMenuTopRoom * k, area.bottom, h / 2.0);
  MenuWindow out;
  const auto left = static_cast<std::int32_t>(std::lround(cx - w / 2.0));
  const auto top = static_cast<std::int32_t>(std::lround(cy - h / 2.0));
  out.rect = {left, top, left + static_cast<std::int32_t>(w), top + static_cast<std::int32_t>(h)};
  out.centre_x = left + w / 2.0;
  out.centre_y = top + h / 2.0;
  out.shape.ellipse = !panel;
  out.shape.corner = panel ? static_cast<std::int32_t>(std::lround(kPanelCorner * k)) : 0;
  return out;
}

MenuGuide menu_guide(MenuTag tag, double x, double y, double f, double m) {
  using K = MenuGuide::Kind;
  switch (tag) {
    case MenuTag::heart:
    case MenuTag::star: return {K::box, x - 60.0 * m, y - 300.0 * m, x + 60.0 * m, y - 190.0 * m};
    case MenuTag::ledge: return {K::bar, x - 100.0 * m, y - 110.0 * m, x + 100.0 * m, y - 110.0 * m};
    case MenuTag::fire: return {K::point, x + 60.0 * m * f, y, 0.0, 0.0};
    case MenuTag::rain: return {K::point, x, y - 260.0 * m, 0.0, 0.0};
    case MenuTag::bomb: return {K::point, x + 60.0 * m * f, y - 200.0 * m, 0.0, 0.0};
    default: return {};
  }
}

namespace {

double channel_light(std::uint32_t byte) {
  const double c = static_cast<double>(byte & 0xFF) / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(std::uint32_t rgb) {
  return 0.2126 * channel_light(rgb >> 16) + 0.7152 * channel_light(rgb >> 8) +
         0.0722 * channel_light(rgb);
}

}  // namespace

double menu_contrast(std::uint32_t a, std::uint32_t b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::uint32_t menu_readable(std::uint32_t colour, std::uint32_t background, double ratio) {
  colour &= 0xFFFFFF;
  if (menu_contrast(colour, background) >= ratio) return colour;
  const std::uint32_t far =
      menu_contrast(0x000000, background) >= menu_contrast(0xFFFFFF, background) ? 0x000000 : 0xFFFFFF;
  for (int step = 1; step <= 20; ++step) {
    const double t = step / 20.0;
    std::uint32_t out = 0;
    for (int shift = 16; shift >= 0; shift -= 8) {
      const double c = (colour >> shift) & 0xFF, f = (far >> shift) & 0xFF;
      out |= static_cast<std::uint32_t>(std::lround(c + (f - c) * t)) << shift;
    }
    if (menu_contrast(out, background) >= ratio) return out;
  }
  return far;
}

std::vector<std::int16_t> menu_click_wave(bool choose, int rate) {
  // A short, quiet tick: a decaying sine, higher for a choice than for opening.
  const double seconds = choose ? 0.045 : 0.035;
  const double hz = choose ? 1750.0 : 1150.0;
  const int r = std::clamp(rate, 8000, 96000);
  const auto n = static_cast<std::size_t>(seconds * r);
  std::vector<std::int16_t> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / r;
    const double envelope = std::exp(-t * 90.0) * std::min(1.0, t * 2000.0);
    out[i] = static_cast<std::int16_t>(std::lround(
        5000.0 * envelope * std::sin(2.0 * std::numbers::pi * hz * t)));
  }
  return out;
}

}  // namespace perchkin
