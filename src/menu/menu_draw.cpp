// The menu on the overlay: the wheel's bubbles, ring, hub, connector and guides, or the panel's
// rows, each with its opening animation.
#include "menu/menu.h"

#include "gpu/overlay_2d.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <utility>

namespace perchkin {

namespace {

float f(double v) { return static_cast<float>(v); }

CanvasColor with_alpha(std::uint32_t rgb, double a) {
  return canvas_rgb(rgb, f(std::clamp(a, 0.0, 1.0)));
}

// a towards b by t.
std::uint32_t mix(std::uint32_t a, std::uint32_t b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  std::uint32_t out = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
    out |= static_cast<std::uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
  }
  return out;
}

// Progress of an animation that starts `delay` after `since` and lasts `duration`, with the
// speed setting applied to the elapsed time.
double progress(const MenuState& menu, double now, double since, double delay, double duration) {
  const double elapsed = (now - since) * std::max(0.05, menu.style.speed) - delay;
  return std::clamp(elapsed / duration, 0.0, 1.0);
}

std::uint32_t section_colour(const MenuState& menu, int section) {
  if (!menu.style.rainbow) return menu.style.accent & 0xFFFFFF;
  return menu_sections()[static_cast<std::size_t>(std::clamp(section, 0, kMenuSectionCount - 1))]
      .colour;
}

// Text centred on (x, y).
void text_at(Canvas& canvas, std::string_view text, const TextFormat& format, double x, double y,
             CanvasColor colour, double box_w, double box_h) {
  if (text.empty() || colour.a <= 0.0f) return;
  const auto layout = canvas.layout_text(text, format, f(box_w), f(box_h));
  if (layout) canvas.draw_text(*layout, {f(x - box_w / 2.0), f(y - box_h / 2.0)}, colour);
}

// Text whose box starts at x, centred on y.
void text_from(Canvas& canvas, std::string_view text, TextFormat format, double x, double y,
               CanvasColor colour, double box_w, double box_h) {
  if (text.empty() || colour.a <= 0.0f) return;
  format.horizontal = TextAlign::leading;
  const auto layout = canvas.layout_text(text, format, f(box_w), f(box_h));
  if (layout) canvas.draw_text(*layout, {f(x), f(y - box_h / 2.0)}, colour);
}

// The pins' colour on the wheel; when the sections wear the same yellow (an accent near it with
// rainbow off) the pins take the theme's text colour so they still read as pins.
std::uint32_t pin_colour(const MenuState& menu, const MenuTheme& theme) {
  if (menu.style.rainbow) return kMenuMarkRgb;
  int apart = 0;
  for (int shift = 16; shift >= 0; shift -= 8)
    apart = std::max(apart, std::abs(static_cast<int>((menu.style.accent >> shift) & 0xFF) -
                                     static_cast<int>((kMenuMarkRgb >> shift) & 0xFF)));
  return apart < 56 ? theme.text : kMenuMarkRgb;
}

// An item's symbol centred on (x, y). Hide all's dotted circle is drawn as eight dots of its
// own: the fonts' glyph is a faint speck beside the other symbols.
void symbol_at(Canvas& canvas, std::string_view symbol, const TextFormat& format, double x, double y,
               CanvasColor colour, double box_w, double box_h, double m) {
  if (symbol != "\u25CC") {
    text_at(canvas, symbol, format, x, y, colour, box_w, box_h);
    return;
  }
  for (int i = 0; i < 8; ++i) {
    const double angle = i * std::numbers::pi / 4.0;
    canvas.fill_ellipse({f(x + 7.5 * m * std::cos(angle)), f(y + 7.5 * m * std::sin(angle))}, f(1.8 * m),
                        f(1.8 * m), colour);
  }
}

double open_opacity(const MenuState& menu, double now) {
  return std::clamp(menu.style.opacity, 0.0, 1.0) * progress(menu, now, menu.opened_at, 0.0, 0.1);
}

std::string hint_text(const MenuState& menu) {
  if (const auto ref = menu_hovered_item(menu)) {
    const MenuItem& item = menu_item(*ref);
    return std::string(item.hint) +
           (menu_pinned(menu, item.label) ? "   ·   P to unpin" : "   ·   P to pin");
  }
  if (menu.hover.kind == MenuHoverKind::section)
    return std::string(menu_sections()[static_cast<std::size_t>(menu.hover.index)].name);
  if (menu.level < 0) return "Hover a section";
  return {};
}

void draw_connector(Canvas& canvas, const MenuState& menu, const MenuTargetView& target,
                    double opacity) {
  const double m = menu.scale;
  const CanvasColor c = with_alpha(kMenuConnectorRgb, 0.65 * opacity);
  const CanvasPoint body{f(target.feet_x), f(target.body_y)};
  canvas.line({f(menu.anchor_x), f(menu.anchor_y)}, body, c, f(2.0 * m));
  canvas.fill_ellipse(body, f(4.0 * m), f(4.0 * m), c);
}

void draw_guide(Canvas& canvas, const MenuState& menu, const MenuTargetView& target, double now) {
  const auto ref = menu_hovered_item(menu);
  if (!ref) return;
  const double m = menu.scale;
  const MenuGuide g =
      menu_guide(menu_item(*ref).action.tag, target.feet_x, target.feet_y, target.facing, m);
  const double alpha = 0.55 + 0.35 * std::sin(7.0 * (now - menu.hover_at));
  const CanvasColor c = with_alpha(kMenuMarkRgb, alpha);
  switch (g.kind) {
    case MenuGuide::Kind::box:
      canvas.stroke_rect({f(g.x0), f(g.y0), f(g.x1), f(g.y1)}, c, f(2.0 * m));
      break;
    case MenuGuide::Kind::bar:
      canvas.line({f(g.x0), f(g.y0)}, {f(g.x1), f(g.y1)}, c, f(5.0 * m));
      break;
    case MenuGuide::Kind::point:
      canvas.fill_ellipse({f(g.x0), f(g.y0)}, f(6.0 * m), f(6.0 * m), c);
      canvas.stroke_ellipse({f(g.x0), f(g.y0)}, f(12.0 * m), f(12.0 * m), c, f(2.0 * m));
      break;
    case MenuGuide::Kind::none: break;
  }
}

// The hint line's centre `below` the anchor, or `above` it when below would leave the overlay.
void draw_hint(Canvas& canvas, const MenuState& menu, const MenuTheme& theme, double below,
               double above, double bottom, double opacity) {
  const std::string hint = hint_text(menu);
  if (hint.empty()) return;
  const double m = menu.scale;
  const TextFormat format = small_format(m);
  const double w = 360.0 * m, h = 22.0 * m;
  const double y = menu.anchor_y + below + h / 2.0 > bottom ? menu.anchor_y - above : menu.anchor_y + below;
  const auto layout = canvas.layout_text(hint, format, f(w), f(h));
  if (!layout) return;
  const double tw = std::min(w, static_cast<double>(layout->size().width)) + 20.0 * m;
  canvas.fill_rounded_rect({f(menu.anchor_x - tw / 2.0), f(y - h / 2.0), f(menu.anchor_x + tw / 2.0),
                            f(y + h / 2.0)},
                           f(h / 2.0), with_alpha(theme.background, opacity));
  canvas.draw_text(*layout, {f(menu.anchor_x - w / 2.0), f(y - h / 2.0)},
                   with_alpha(theme.text, opacity));
}

// How far the settled wheel's shapes reach above and below its centre, in menu units: the hub,
// the section bubbles (hovered size) and whatever sits on the outer ring now.
std::pair<double, double> wheel_reach(const MenuState& menu) {
  double up = kHubDrawn, down = kHubDrawn;
  const auto reach = [&](double angle, double distance, double radius) {
    const double y = std::sin(angle) * distance;
    up = std::max(up, radius - y);
    down = std::max(down, radius + y);
  };
  for (int k = 0; k < kMenuSectionCount; ++k)
    reach(menu_section_angle(k), kSectionDistance, kSectionBubble * 1.12);
  const auto n = static_cast<int>(menu_ring_items(menu).size());
  for (int i = 0; i < n; ++i) reach(menu_item_angle(menu.level, i, n), kItemDistance, kItemBubble * 1.15);
  return {up, down};
}

void draw_wheel(Canvas& canvas, const MenuState& menu, const MenuTargetView& target, double now) {
  const MenuTheme& theme = menu_theme(menu.style.theme);
  const double m = menu.scale;
  const double opacity = open_opacity(menu, now);
  const double ax = menu.anchor_x, ay = menu.anchor_y;
  if (target.single) draw_connector(canvas, menu, target, opacity);
  draw_guide(canvas, menu, target, now);

  const TextFormat symbol = symbol_format(m);
  const TextFormat small = small_format(m);
  const auto sections = menu_sections();
  for (int k = 0; k < kMenuSectionCount; ++k) {
    const double fade = progress(menu, now, menu.opened_at, 0.025 * k, 0.1);
    const double grow = menu_ease(progress(menu, now, menu.opened_at, 0.025 * k, 0.22));
    const auto hover = static_cast<double>(menu.section_hover[static_cast<std::size_t>(k)]);
    const bool open = menu.level == k;
    const double dim = menu.level >= 0 && !open ? 0.55 : 1.0;
    const double a = opacity * fade * dim;
    const double angle = menu_section_angle(k);
    const double d = kSectionDistance * m * grow;
    const double cx = ax + std::cos(angle) * d, cy = ay + std::sin(angle) * d;
    const double r = kSectionBubble * m * (1.0 + 0.12 * std::max(hover, open ? 1.0 : 0.0));
    const std::uint32_t colour = mix(section_colour(menu, k), theme.text, 0.25 * hover);
    canvas.fill_ellipse({f(cx), f(cy)}, f(r), f(r), with_alpha(colour, a));
    if (menu.focus_ring && menu.hover == MenuHover{MenuHoverKind::section, k})
      canvas.stroke_ellipse({f(cx), f(cy)}, f(r + 3.0 * m), f(r + 3.0 * m),
                            with_alpha(theme.text, a), f(2.0 * m));
    const auto& s = sections[static_cast<std::size_t>(k)];
    // White on dark bubbles, dark on light ones (light accents), readable as text either way.
    const std::uint32_t ink = menu_readable(0xFFFFFF, colour, 4.5);
    text_at(canvas, s.symbol, symbol, cx, cy - 6.0 * m, with_alpha(ink, a), 2.0 * r, 24.0 * m);
    text_at(canvas, s.name, small, cx, cy + 13.0 * m, with_alpha(ink, a), 2.0 * r, 16.0 * m);
  }

  const std::vector<MenuItemRef> ring = menu_ring_items(menu);
  const auto n = static_cast<int>(ring.size());
  for (int i = 0; i < n; ++i) {
    const MenuItemRef ref = ring[static_cast<std::size_t>(i)];
    const MenuItem& item = menu_item(ref);
    const double fade = progress(menu, now, menu.level_at, 0.018 * i, 0.09);
    const double grow = menu_ease(progress(menu, now, menu.level_at, 0.018 * i, 0.2));
    const double hover = static_cast<std::size_t>(i) < menu.item_hover.size()
                             ? static_cast<double>(menu.item_hover[static_cast<std::size_t>(i)])
                             : 0.0;
    const double a = opacity * fade * (menu_item_enabled(menu, item) ? 1.0 : 0.35);
    const double angle = menu_item_angle(menu.level, i, n);
    const double d = kItemDistance * m * grow;
    const double cx = ax + std::cos(angle) * d, cy = ay + std::sin(angle) * d;
    const double r = kItemBubble * m * (1.0 + 0.15 * hover);
    const std::uint32_t base = menu.level < 0 ? pin_colour(menu, theme) : section_colour(menu, ref.section);
    const std::uint32_t fill = mix(base, theme.text, 0.25 * hover);
    canvas.fill_ellipse({f(cx), f(cy)}, f(r), f(r), with_alpha(fill, a));
    if (menu.focus_ring && menu.hover == MenuHover{MenuHoverKind::item, i})
      canvas.stroke_ellipse({f(cx), f(cy)}, f(r + 3.0 * m), f(r + 3.0 * m),
                            with_alpha(theme.text, a), f(2.0 * m));
    const std::uint32_t ink = menu_readable(menu.level < 0 ? 0x211F1C : 0xFFFFFF, fill, 3.0);
    symbol_at(canvas, item.symbol, symbol, cx, cy, with_alpha(ink, a), 2.0 * r, 2.0 * r, m);
    if (menu.level >= 0 && menu_pinned(menu, item.label)) {
      const double px = cx + 0.7 * r, py = cy - 0.7 * r;
      canvas.fill_ellipse({f(px), f(py)}, f(4.0 * m), f(4.0 * m),
                          with_alpha(menu_readable(kMenuMarkRgb, fill, 3.0), a));
    }
  }

  const bool hub_hovered = menu.hover.kind == MenuHoverKind::centre;
  const double hub = kHubDrawn * m * (hub_hovered ? 1.06 : 1.0);
  canvas.fill_ellipse({f(ax), f(ay)}, f(hub), f(hub), with_alpha(theme.background, opacity));
  canvas.stroke_ellipse({f(ax), f(ay)}, f(hub), f(hub),
                        with_alpha(hub_hovered ? theme.text : theme.dim, 0.6 * opacity), f(1.5 * m));
  text_at(canvas, menu.level < 0 ? "✕ Close" : "‹ Back", small, ax, ay,
          with_alpha(hub_hovered ? theme.text : theme.dim, opacity), 2.0 * hub, 20.0 * m);

  // The hint sits just beyond what is drawn, below the wheel or, near the bottom, above it.
  const auto [up, down] = wheel_reach(menu);
  draw_hint(canvas, menu, theme, (down + 22.0) * m, (up + 22.0) * m, target.overlay_bottom, opacity);
}

void draw_panel(Canvas& canvas, const MenuState& menu, const MenuTargetView& target, double now) {
  const MenuTheme& theme = menu_theme(menu.style.theme);
  const double m = menu.scale;
  const double opacity = open_opacity(menu, now);
  const double ax = menu.anchor_x, ay = menu.anchor_y;
  const double left = ax - kPanelWidth / 2.0 * m, top = ay - kPanelHeight / 2.0 * m;

  // The panel grows about its centre.
  const CanvasTransform base = canvas.transform();
  const double g = std::max(0.01, menu_ease(progress(menu, now, menu.opened_at, 0.0, 0.22)));
  const CanvasTransform grow{f(g), 0.0f, 0.0f, f(g), f(ax - g * ax), f(ay - g * ay)};
  canvas.set_transform(canvas_multiply(grow, base));

  canvas.fill_rounded_rect({f(left), f(top), f(left + kPanelWidth * m), f(top + kPanelHeight * m)},
                           f(kPanelCorner * m), with_alpha(theme.background, opacity));
  const TextFormat label = label_format(m);
  const TextFormat symbol = symbol_format(m);
  const TextFormat small = small_format(m);

  // The header: back or close, and how many buddies the menu acts on.
  const bool header_hovered = menu.hover.kind == MenuHoverKind::centre;
  if (header_hovered)
    canvas.fill_rounded_rect({f(left), f(top), f(left + kPanelWidth * m), f(top + kPanelHeader * m)},
                             f(kPanelCorner * m), with_alpha(theme.text, 0.08 * opacity));
  text_from(canvas, menu.level < 0 ? "✕ Close" : "‹ Back", small, left + 16.0 * m,
            top + kPanelHeader / 2.0 * m, with_alpha(header_hovered ? theme.text : theme.dim, opacity),
            120.0 * m, kPanelHeader * m);
  if (menu.targets.size() > 1)
    text_at(canvas, std::to_string(menu.targets.size()) + " buddies", small,
            left + (kPanelWidth - 70.0) * m, top + kPanelHeader / 2.0 * m,
            with_alpha(theme.dim, opacity), 120.0 * m, kPanelHeader * m);
  canvas.line({f(left + 12.0 * m), f(top + kPanelHeader * m)},
              {f(left + (kPanelWidth - 12.0) * m), f(top + kPanelHeader * m)},
              with_alpha(theme.dim, 0.3 * opacity), f(1.0 * m));

  const auto sections = menu_sections();
  for (int row = 0; row < kMenuSectionCount; ++row) {
    const double fade = progress(menu, now, menu.opened_at, 0.02 * row, 0.1);
    const double slide = (1.0 - menu_ease(progress(menu, now, menu.opened_at, 0.02 * row, 0.2))) * 12.0 * m;
    const double a = opacity * fade;
    const double y0 = top + (kPanelHeader + kPanelRow * row) * m;
    const double cy = y0 + kPanelRow / 2.0 * m;
    const auto hover = static_cast<double>(menu.section_hover[static_cast<std::size_t>(row)]);
    const bool open = menu.level == row;
    const std::uint32_t colour = section_colour(menu, row);
    const double tint = open ? 0.55 : hover > 0.02 ? 0.35 * hover : 0.0;
    if (tint > 0.0)
      canvas.fill_rounded_rect({f(left + 6.0 * m + slide), f(y0 + 2.0 * m),
                                f(left + (kPanelLeftColumn - 4.0) * m + slide), f(y0 + (kPanelRow - 2.0) * m)},
                               f(8.0 * m), with_alpha(colour, a * tint));
    const std::uint32_t row_bg = mix(theme.background, colour, tint);
    // An accent close to the theme's background tints nothing visible: outline the row instead.
    if (tint > 0.0 && menu_contrast(row_bg, theme.background) < 1.3)
      canvas.stroke_rounded_rect({f(left + 6.0 * m + slide), f(y0 + 2.0 * m),
                                  f(left + (kPanelLeftColumn - 4.0) * m + slide), f(y0 + (kPanelRow - 2.0) * m)},
                                 f(8.0 * m), with_alpha(theme.dim, a * std::min(1.0, 2.0 * tint)), f(1.0 * m));
    if (menu.focus_ring && menu.hover == MenuHover{MenuHoverKind::section, row})
      canvas.stroke_rounded_rect({f(left + 6.0 * m), f(y0 + 2.0 * m), f(left + (kPanelLeftColumn - 4.0) * m),
                                  f(y0 + (kPanelRow - 2.0) * m)},
                                 f(8.0 * m), with_alpha(theme.text, a), f(1.5 * m));
    const auto& s = sections[static_cast<std::size_t>(row)];
    text_at(canvas, s.symbol, symbol, left + 30.0 * m + slide, cy,
            with_alpha(menu_readable(colour, row_bg, 3.0), a), 40.0 * m, kPanelRow * m);
    text_at(canvas, s.name, label, left + 96.0 * m + slide, cy,
            with_alpha(menu_readable(theme.text, row_bg, 4.5), a), 110.0 * m, kPanelRow * m);
  }

  // The right column: the open section's items (the pointer opens what it hovers); at the top
  // level the section the keys stand on, which Enter opens, or the invitation.
  const double column = left + kPanelLeftColumn * m;
  int shown = menu.level;
  if (shown < 0 && menu.hover.kind == MenuHoverKind::section) shown = menu.hover.index;
  if (shown < 0) {
    text_at(canvas, "Hover a section", small, column + (kPanelWidth - kPanelLeftColumn) / 2.0 * m,
            top + (kPanelHeader + 2.5 * kPanelRow) * m, with_alpha(theme.dim, opacity),
            (kPanelWidth - kPanelLeftColumn) * m, kPanelRow * m);
  } else {
    const auto items = sections[static_cast<std::size_t>(shown)].items;
    const std::uint32_t colour = section_colour(menu, shown);
    const double since = menu.level >= 0 ? menu.level_at : menu.hover_at;
    for (std::size_t row = 0; row < items.size(); ++row) {
      const MenuItem& item = items[row];
      const double fade = progress(menu, now, since, 0.016 * static_cast<double>(row), 0.09);
      const double slide =
          (1.0 - menu_ease(progress(menu, now, since, 0.016 * static_cast<double>(row), 0.18))) * 16.0 * m;
      const double a = opacity * fade * (menu_item_enabled(menu, item) ? 1.0 : 0.35);
      const double y0 = top + (kPanelHeader + kPanelRow * static_cast<double>(row)) * m;
      const double cy = y0 + kPanelRow / 2.0 * m;
      const bool hovered = menu.level >= 0 && menu.hover == MenuHover{MenuHoverKind::item, static_cast<int>(row)};
      const double hover =
          menu.level >= 0 ? static_cast<double>(menu.item_hover[std::min(row, menu.item_hover.size() - 1)]) : 0.0;
      const CanvasRect band{f(column + 4.0 * m + slide), f(y0 + 2.0 * m),
                            f(left + (kPanelWidth - 6.0) * m + slide), f(y0 + (kPanelRow - 2.0) * m)};
      const double tint = hover > 0.02 ? 0.4 * hover : 0.0;
      if (tint > 0.0) canvas.fill_rounded_rect(band, f(8.0 * m), with_alpha(colour, a * tint));
      const std::uint32_t row_bg = mix(theme.background, colour, tint);
      if (tint > 0.0 && menu_contrast(row_bg, theme.background) < 1.3)
        canvas.stroke_rounded_rect(band, f(8.0 * m), with_alpha(theme.dim, a * std::min(1.0, 2.0 * tint)), f(1.0 * m));
      if (hovered && menu.focus_ring)
        canvas.stroke_rounded_rect(band, f(8.0 * m), with_alpha(theme.text, a), f(1.5 * m));
      symbol_at(canvas, item.symbol, symbol, column + 24.0 * m + slide, cy,
                with_alpha(menu_readable(colour, row_bg, 3.0), a), 36.0 * m, kPanelRow * m, m);
      text_from(canvas, item.label, label, column + 46.0 * m + slide, cy,
                with_alpha(menu_readable(theme.text, row_bg, 4.5), a), 130.0 * m, kPanelRow * m);
      if (menu_pinned(menu, item.label))
        canvas.fill_ellipse({f(left + (kPanelWidth - 18.0) * m + slide), f(cy)}, f(4.0 * m), f(4.0 * m),
                            with_alpha(menu_readable(kMenuMarkRgb, row_bg, 3.0), a));
    }
  }
  canvas.set_transform(base);
  // The hint goes just under the panel, where no row can cover it.
  draw_hint(canvas, menu, theme, (kPanelHeight / 2.0 + 18.0) * m, (kPanelHeight / 2.0 + 18.0) * m,
            target.overlay_bottom, opacity);
}

}  // namespace

void draw_menu(Canvas& canvas, const MenuState& menu, const MenuTargetView& target, double now) {
  if (!menu.open) return;
  if (menu.style.panel) draw_panel(canvas, menu, target, now);
  else draw_wheel(canvas, menu, target, now);
}

}  // namespace perchkin
