// The Studio's frame: navigation, scrolling, the keyboard's field, the confirmation panel, and
// the controls the pages are built from.
#include "studio/studio.h"

#include "base/text.h"
#include "studio/studio_ui.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace perchkin {

namespace th = studio_theme;

namespace {

// Layout in unscaled pixels.
constexpr float kNavWidth = 232.0f;
constexpr float kHeaderHeight = 104.0f;
constexpr float kPad = 32.0f;
constexpr float kRowGap = 4.0f;
constexpr float kTileRadius = 6.0f;
constexpr float kWheelStep = 56.0f;
constexpr std::size_t kNumberChars = 24;

constexpr std::array<StudioPageInfo, kStudioPages> kPages = {{
    {"Look", "\u2726", "Colors, patterns and accessories for your crew."},
    {"Personality", "\u263A", "How they behave."},
    {"World", "\u2699", "Physics, size and what they're allowed to do."},
    {"Menu", "\u25C9", "Pick your right-click menu and make it yours."},
    {"General", "\u2630", "Everyday options."},
    {"About", "?", "Controls, privacy and version."},
    {"Speech", "\u270E", "Write what your crew says, and when."},
}};

constexpr std::array<std::uint32_t, 16> kPalette = {
    0xD77757, 0xE94F37, 0xF28C28, 0xFFD23F, 0x9BC53D, 0x3BB273, 0x2EC4B6, 0x4EA8DE,
    0x1E6FD9, 0x6C5CE7, 0xA55EEA, 0xE36397, 0xF5F0E8, 0x9E9E9E, 0x4A4A4A, 0x1C1C1C};

CanvasColor col(std::uint32_t rgb, float a = 1.0f) { return canvas_rgb(rgb, a); }

bool contains(const CanvasRect& r, float x, float y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Groups thousands with commas: 50000 -> "50,000".
std::string grouped(std::string digits) {
  const bool negative = !digits.empty() && digits[0] == '-';
  std::string body = negative ? digits.substr(1) : digits;
  const auto dot = body.find('.');
  std::string whole = body.substr(0, dot), rest = dot == std::string::npos ? "" : body.substr(dot);
  for (int i = static_cast<int>(whole.size()) - 3; i > 0; i -= 3)
    whole.insert(static_cast<std::size_t>(i), ",");
  return (negative ? "-" : "") + whole + rest;
}

std::string trimmed_decimal(double v) {
  // One decimal, without a trailing ".0".
  std::string t = one_decimal(v);
  if (t.size() > 2 && t.compare(t.size() - 2, 2, ".0") == 0) t.resize(t.size() - 2);
  if (t == "-0") t = "0";
  return t;
}

void pop_char(std::string& text) {
  std::vector<char32_t> chars = decode_utf8(text);
  if (chars.empty()) return;
  chars.pop_back();
  text.clear();
  for (char32_t c : chars) append_utf8(text, c);
}

}  // namespace

const StudioPageInfo& studio_page_info(int page) {
  return kPages[static_cast<std::size_t>(std::clamp(page, 0, kStudioPages - 1))];
}

std::string studio_number_text(double value, NumberUnit unit) {
  if (!std::isfinite(value)) return "0";
  switch (unit) {
    case NumberUnit::percent: return grouped(trimmed_decimal(value * 100.0)) + "%";
    case NumberUnit::whole: return grouped(rounded_int_text(value));
    case NumberUnit::decimal: return grouped(trimmed_decimal(value));
  }
  return "0";
}

std::optional<double> studio_parse_number(std::string_view typed, NumberUnit unit) {
  std::string t;
  for (char32_t c : decode_utf8(trim(typed))) {
    if (c == U',' || c == U' ') continue;
    if (c == U'\u2212') c = U'-';  // the typographic minus
    append_utf8(t, c);
  }
  if (!t.empty() && t.back() == '%') t.pop_back();
  if (!t.empty() && t.front() == '+') t.erase(0, 1);
  if (t.empty()) return std::nullopt;
  std::optional<double> v = parse_double(t);
  if (!v || !std::isfinite(*v)) return std::nullopt;
  return unit == NumberUnit::percent ? *v / 100.0 : *v;
}

// ---------------------------------------------------------------------------------------------
// Controls

StudioUi::StudioUi(Canvas& canvas, const StudioInput& input, StudioState& state,
                   Settings& settings, const StudioContext& ctx, StudioFrameResult& result)
    : canvas_(canvas), input_(input), state_(state), settings_(settings), ctx_(ctx),
      result_(result),
      s_(static_cast<float>(std::isfinite(ctx.scale) && ctx.scale > 0.0 ? ctx.scale : 1.0)) {}

void StudioUi::begin_column(float left, float top, float width, const CanvasRect& view) {
  left_ = left;
  y_ = top;
  width_ = width;
  view_ = view;
}

bool StudioUi::inside(const CanvasRect& r) const { return contains(r, input_.x, input_.y); }

bool StudioUi::hot(const CanvasRect& r) const {
  return !blocked_ && inside(view_) && inside(r);
}

bool StudioUi::clicked(const CanvasRect& r) const { return input_.pressed && hot(r); }

TextFormat StudioUi::font(float size, int weight, TextAlign h, TextAlign v) const {
  TextFormat f;
  f.family = "Segoe UI";
  f.size = size * s_;
  f.weight = weight;
  f.horizontal = h;
  f.vertical = v;
  return f;
}

TextSize StudioUi::measure(std::string_view text, const TextFormat& format, float max_width) {
  auto layout = canvas_.layout_text(text, format, max_width, 1e6f);
  return layout ? layout->size() : TextSize{};
}

TextSize StudioUi::text(std::string_view text, const TextFormat& format, CanvasPoint at,
                        float max_width, std::uint32_t rgb, float max_height) {
  auto layout = canvas_.layout_text(text, format, max_width, max_height);
  if (!layout) return {};
  canvas_.draw_text(*layout, at, col(rgb));
  return layout->size();
}

std::string StudioUi::fit_head(std::string_view full, const TextFormat& format, float max_width) {
  if (measure(full, format).width <= max_width) return std::string(full);
  std::vector<char32_t> chars = decode_utf8(full);
  // Halving first keeps a long line to a handful of measurements.
  std::size_t lo = 0, hi = chars.size();
  while (lo < hi) {
    const std::size_t mid = (lo + hi + 1) / 2;
    std::string t;
    for (std::size_t i = 0; i < mid; ++i) append_utf8(t, chars[i]);
    t += "\u2026";
    if (measure(t, format).width <= max_width) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  std::string t;
  for (std::size_t i = 0; i < lo; ++i) append_utf8(t, chars[i]);
  return trim(t) + "\u2026";
}

std::string StudioUi::fit_tail(std::string_view full, const TextFormat& format, float max_width) {
  if (measure(full, format).width <= max_width) return std::string(full);
  std::vector<char32_t> chars = decode_utf8(full);
  std::size_t lo = 0, hi = chars.size();  // how many characters to keep from the end
  while (lo < hi) {
    const std::size_t mid = (lo + hi + 1) / 2;
    std::string t;
    for (std::size_t i = chars.size() - mid; i < chars.size(); ++i) append_utf8(t, chars[i]);
    if (measure(t, format).width <= max_width) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  std::string t;
  for (std::size_t i = chars.size() - lo; i < chars.size(); ++i) append_utf8(t, chars[i]);
  return t;
}

bool StudioUi::focus_stop(const CanvasRect& r) {
  const int index = stops_++;
  const StudioState::Detail& d = detail();
  if (!d.focus_shown || d.focus != index || blocked_) return false;
  canvas_.stroke_rounded_rect({r.left - px(3.0f), r.top - px(3.0f), r.right + px(3.0f), r.bottom + px(3.0f)},
                              px(8.0f), col(th::kAccentHover), px(2.0f));
  focus_rect_ = r;
  return true;
}

std::optional<StudioKey> StudioUi::take_key(bool focused) {
  if (!focused || !key_) return std::nullopt;
  const std::optional<StudioKey> k = key_;
  key_.reset();
  return k;
}

void StudioUi::ask(StudioState::Detail::Ask kind, std::string name) {
  StudioState::Detail& d = detail();
  d.confirming = true;
  d.ask = kind;
  d.ask_name = std::move(name);
  d.drag.clear();
}

void StudioUi::tile(const CanvasRect& r, bool hover) {
  canvas_.fill_rounded_rect(r, px(kTileRadius), col(hover ? th::kTileHover : th::kTile));
}

void StudioUi::heading(std::string_view label) {
  y_ += px(18.0f);
  const TextSize size =
      text(label, font(16.0f, 600), {left_ + px(2.0f), y_}, width_, th::kText);
  y_ += std::max(size.height, px(20.0f)) + px(10.0f);
}

bool StudioUi::toggle(std::string_view label, std::string_view hint, bool& value) {
  const float h = px(hint.empty() ? 48.0f : 62.0f);
  const CanvasRect r{left_, y_, left_ + width_, y_ + h};
  const bool over = hot(r);
  tile(r, over);
  const float pad = px(16.0f);
  const float switch_w = px(40.0f), switch_h = px(20.0f);
  const float text_w = width_ - 2 * pad - switch_w - px(16.0f);
  if (hint.empty()) {
    text(label, font(14.0f, 400), {left_ + pad, y_ + px(14.0f)}, text_w, th::kText);
  } else {
    text(label, font(14.0f, 400), {left_ + pad, y_ + px(11.0f)}, text_w, th::kText);
    text(hint, font(11.5f, 600), {left_ + pad, y_ + px(33.0f)}, text_w, th::kText2);
  }
  bool changed_now = false;
  const std::optional<StudioKey> k = take_key(focus_stop(r));
  if (clicked(r) || k == StudioKey::enter || k == StudioKey::space) {
    value = !value;
    changed_now = true;
    changed();
  }
  const float sx = left_ + width_ - pad - switch_w, sy = y_ + (h - switch_h) / 2;
  const CanvasRect track{sx, sy, sx + switch_w, sy + switch_h};
  if (value) {
    canvas_.fill_rounded_rect(track, switch_h / 2, col(over ? th::kAccentHover : th::kAccent));
    canvas_.fill_ellipse({track.right - switch_h / 2, sy + switch_h / 2}, px(7.0f), px(7.0f),
                         col(0xFFFFFF));
  } else {
    canvas_.stroke_rounded_rect(track, switch_h / 2, col(th::kText2), px(1.5f));
    canvas_.fill_ellipse({track.left + switch_h / 2, sy + switch_h / 2}, px(5.5f), px(5.5f),
                         col(th::kText2));
  }
  y_ += h + px(kRowGap);
  return changed_now;
}

int StudioUi::choice(std::string_view label, std::span<const std::string_view> options,
                     int selected) {
  const float h = px(52.0f);
  const CanvasRect r{left_, y_, left_ + width_, y_ + h};
  tile(r, false);
  const float pad = px(16.0f);
  const TextFormat seg_font = font(13.0f, 600, TextAlign::centre, TextAlign::centre);
  std::vector<float> widths;
  float total = 0.0f;
  for (std::string_view o : options) {
    widths.push_back(measure(o, seg_font).width + px(26.0f));
    total += widths.back();
  }
  // Segments share out whatever room the label leaves, up to a comfortable width each.
  float x;
  if (label.empty()) {
    x = left_ + pad;
  } else {
    text(label, font(14.0f, 400), {left_ + pad, y_ + px(16.0f)}, width_ / 3, th::kText);
    x = left_ + width_ - pad - total;
  }
  const float sh = px(32.0f), sy = y_ + (h - sh) / 2;
  const CanvasRect group{x - px(3.0f), sy - px(3.0f), x + total + px(3.0f), sy + sh + px(3.0f)};
  canvas_.fill_rounded_rect(group, px(7.0f), col(th::kField));
  int picked = -1;
  for (std::size_t i = 0; i < options.size(); ++i) {
    const CanvasRect seg{x, sy, x + widths[i], sy + sh};
    const bool on = static_cast<int>(i) == selected;
    const bool over = hot(seg);
    if (on) {
      canvas_.fill_rounded_rect(seg, px(5.0f), col(th::kAccent));
    } else if (over) {
      canvas_.fill_rounded_rect(seg, px(5.0f), col(th::kControl));
    }
    text(options[i], seg_font, {seg.left, seg.top}, widths[i],
         on ? 0xFFFFFF : (over ? th::kText : th::kText2), sh);
    if (clicked(seg) && !on) picked = static_cast<int>(i);
    x += widths[i];
  }
  // The arrows step along the segments.
  const int n = static_cast<int>(options.size());
  if (const auto k = take_key(focus_stop(group))) {
    if ((k == StudioKey::left || k == StudioKey::up) && selected > 0) picked = selected - 1;
    if ((k == StudioKey::right || k == StudioKey::down) && selected + 1 < n) picked = std::max(0, selected + 1);
  }
  y_ += h + px(kRowGap);
  if (picked >= 0) changed();
  return picked;
}

bool StudioUi::number(const NumberRow& row) {
  StudioState::Detail& d = detail();
  const float h = px(52.0f);
  const CanvasRect r{left_, y_, left_ + width_, y_ + h};
  tile(r, false);
  const float pad = px(16.0f);
  text(row.label, font(14.0f, 400), {left_ + pad, y_ + px(16.0f)}, px(150.0f), th::kText);

  double& value = row.field(settings_);
  bool changed_now = false;
  const float value_w = px(84.0f);
  const CanvasRect value_box{left_ + width_ - pad - value_w, y_ + px(10.0f), left_ + width_ - pad,
                             y_ + h - px(10.0f)};
  const float track_left = left_ + pad + px(160.0f);
  const float track_right = value_box.left - px(24.0f);
  const float cy = y_ + h / 2;
  const CanvasRect grab{track_left - px(8.0f), y_ + px(8.0f), track_right + px(8.0f),
                        y_ + h - px(8.0f)};
  const bool dragging = d.drag == row.label;
  const bool typing = d.field == FieldKind::number && d.number.label == row.label;

  const auto from_pointer = [&] {
    const double t = std::clamp(
        static_cast<double>((input_.x - track_left) / std::max(1.0f, track_right - track_left)),
        0.0, 1.0);
    double v = row.min + t * (row.max - row.min);
    switch (row.unit) {
      case NumberUnit::percent: v = round_half_away(v * 100.0) / 100.0; break;
      case NumberUnit::whole: v = round_half_away(v); break;
      case NumberUnit::decimal: v = round_half_away(v * 10.0) / 10.0; break;
    }
    v = std::clamp(v, row.min, row.max);
    if (v != value) {
      value = v;
      changed_now = true;
    }
  };
  if (clicked(grab)) {
    d.drag = std::string(row.label);
    from_pointer();
  } else if (dragging) {
    if (input_.held && !detail().confirming) {
      // A window that reports "outside" as (-1, -1) during the drag keeps the last value.
      if (input_.x >= 0.0f || input_.y >= 0.0f) from_pointer();
    } else {
      d.drag.clear();
    }
  }

  // The arrows move the slider a twentieth of its range; Enter types a number.
  const std::optional<StudioKey> k = take_key(focus_stop(r));
  if (k == StudioKey::left || k == StudioKey::down || k == StudioKey::right || k == StudioKey::up) {
    double step = (row.max - row.min) / 20.0;
    switch (row.unit) {
      case NumberUnit::percent: step = std::max(0.01, round_half_away(step * 100.0) / 100.0); break;
      case NumberUnit::whole: step = std::max(1.0, round_half_away(step)); break;
      case NumberUnit::decimal: step = std::max(0.1, round_half_away(step * 10.0) / 10.0); break;
    }
    const double sign = k == StudioKey::left || k == StudioKey::down ? -1.0 : 1.0;
    const double v = std::clamp(value + sign * step, row.min, row.max);
    if (v != value) {
      value = v;
      changed_now = true;
    }
  }

  // The track, its filled part and the knob.
  const double t = row.max > row.min
                       ? std::clamp((value - row.min) / (row.max - row.min), 0.0, 1.0)
                       : 0.0;
  const float kx = track_left + static_cast<float>(t) * (track_right - track_left);
  canvas_.fill_rounded_rect({track_left, cy - px(2.0f), track_right, cy + px(2.0f)}, px(2.0f),
                            col(th::kControl));
  canvas_.fill_rounded_rect({track_left, cy - px(2.0f), kx, cy + px(2.0f)}, px(2.0f),
                            col(th::kAccent));
  const bool knob_hot = hot(grab) || d.drag == row.label;
  canvas_.fill_ellipse({kx, cy}, px(knob_hot ? 9.0f : 8.0f), px(knob_hot ? 9.0f : 8.0f),
                       col(0xFFFFFF));
  canvas_.fill_ellipse({kx, cy}, px(4.0f), px(4.0f), col(th::kAccent));

  // The value, which becomes a text field on a click.
  if ((clicked(value_box) || k == StudioKey::enter) && !typing) {
    d.drag.clear();
    std::string initial = studio_number_text(value, row.unit);
    if (row.unit == NumberUnit::percent && !initial.empty()) initial.pop_back();
    focus(FieldKind::number, std::move(initial));
    d.number = row;
  }
  const bool typing_now = d.field == FieldKind::number && d.number.label == row.label;
  const TextFormat vf = font(13.0f, 600, TextAlign::trailing, TextAlign::centre);
  if (typing_now) {
    d.field_rect = value_box;
    canvas_.fill_rounded_rect(value_box, px(5.0f), col(th::kField));
    canvas_.stroke_rounded_rect(value_box, px(5.0f), col(th::kAccent), px(1.5f));
    const float inner_right = value_box.right - px(8.0f);
    const float inner = value_box.right - value_box.left - px(16.0f);
    // The caret sits after the digits, in a gap of its own before any percent sign.
    const bool percent = row.unit == NumberUnit::percent;
    const float pct = percent ? measure("%", vf).width + px(4.0f) : 0.0f;
    const float digits_right = inner_right - pct;
    const std::string digits = fit_tail(d.text, vf, inner - pct);
    if (d.fresh && !digits.empty()) {
      // The value it opened with is selected: the first key replaces it.
      const float dw = measure(digits, vf).width;
      canvas_.fill_rect({digits_right - dw - px(1.0f), value_box.top + px(7.0f),
                         digits_right + px(1.0f), value_box.bottom - px(7.0f)},
                        col(th::kAccent, 0.35f));
    }
    text(digits, vf, {value_box.left + px(4.0f), value_box.top}, digits_right - value_box.left - px(4.0f),
         th::kText, value_box.bottom - value_box.top);
    if (percent)
      text("%", vf, {value_box.left + px(4.0f), value_box.top}, inner + px(4.0f), th::kText,
           value_box.bottom - value_box.top);
    const float caret_x = digits_right + px(2.0f);
    canvas_.line({caret_x, value_box.top + px(7.0f)}, {caret_x, value_box.bottom - px(7.0f)},
                 col(th::kAccent), px(1.5f));
  } else {
    const bool over = hot(value_box);
    canvas_.fill_rounded_rect(value_box, px(5.0f), col(over ? th::kControl : th::kField));
    text(studio_number_text(value, row.unit), vf, {value_box.left + px(8.0f), value_box.top},
         value_box.right - value_box.left - px(16.0f), th::kText, value_box.bottom - value_box.top);
  }
  y_ += h + px(kRowGap);
  if (changed_now) changed();
  return changed_now;
}

bool StudioUi::colour(std::string_view label, std::uint32_t& rgb, bool muted) {
  StudioState::Detail& d = detail();
  const bool open = d.palette == label;
  const float pad = px(16.0f);
  const float h = px(52.0f);
  const float swatch = px(24.0f), gap = px(8.0f);
  const auto per_row = static_cast<std::size_t>(
      std::max(1.0f, std::floor((width_ - 2 * pad + gap) / (swatch + gap))));
  const std::size_t rows = (kPalette.size() + per_row - 1) / per_row;
  const float total = open ? h + static_cast<float>(rows) * (swatch + gap) + px(6.0f) : h;
  const CanvasRect r{left_, y_, left_ + width_, y_ + total};
  const CanvasRect head{left_, y_, left_ + width_, y_ + h};
  tile(r, hot(head));
  text(label, font(14.0f, 400), {left_ + pad, y_ + px(16.0f)}, width_ / 2,
       muted ? th::kText3 : th::kText);
  const CanvasRect sw{left_ + width_ - pad - px(44.0f), y_ + px(13.0f), left_ + width_ - pad,
                      y_ + h - px(13.0f)};
  canvas_.fill_rounded_rect(sw, px(5.0f), col(rgb, muted ? 0.35f : 1.0f));
  canvas_.stroke_rounded_rect(sw, px(5.0f), col(0xFFFFFF, 0.25f), px(1.0f));
  char hex[8];
  std::snprintf(hex, sizeof hex, "#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
  text(hex, font(13.0f, 600, TextAlign::trailing, TextAlign::centre),
       {sw.left - px(112.0f), sw.top}, px(100.0f), th::kText2, sw.bottom - sw.top);
  bool changed_now = false;
  // Enter or Space opens and closes the palette; the arrows step through its colours.
  const std::optional<StudioKey> k = take_key(focus_stop(head));
  if (k == StudioKey::left || k == StudioKey::right || k == StudioKey::up || k == StudioKey::down) {
    const auto at = std::find(kPalette.begin(), kPalette.end(), rgb & 0xFFFFFF);
    const auto n = static_cast<std::ptrdiff_t>(kPalette.size());
    std::ptrdiff_t i = at == kPalette.end() ? 0 : at - kPalette.begin();
    if (at != kPalette.end()) i = (i + (k == StudioKey::left || k == StudioKey::up ? n - 1 : 1)) % n;
    rgb = kPalette[static_cast<std::size_t>(i)];
    changed_now = true;
    changed();
  }
  if (clicked(head) || k == StudioKey::enter || k == StudioKey::space) {
    if (open) {
      d.palette.clear();
    } else {
      d.palette = std::string(label);
    }
  }
  if (open) {
    float x = left_ + pad, yy = y_ + h;
    for (std::size_t i = 0; i < kPalette.size(); ++i) {
      if (i > 0 && i % per_row == 0) {
        x = left_ + pad;
        yy += swatch + gap;
      }
      const CanvasRect cell{x, yy, x + swatch, yy + swatch};
      canvas_.fill_rounded_rect(cell, px(12.0f), col(kPalette[i]));
      if (kPalette[i] == rgb) {
        canvas_.stroke_ellipse({x + swatch / 2, yy + swatch / 2}, swatch / 2 + px(3.0f),
                               swatch / 2 + px(3.0f), col(0xFFFFFF), px(2.0f));
      } else if (hot(cell)) {
        canvas_.stroke_ellipse({x + swatch / 2, yy + swatch / 2}, swatch / 2 + px(2.0f),
                               swatch / 2 + px(2.0f), col(th::kText2), px(1.5f));
      }
      if (clicked(cell)) {
        if (rgb != kPalette[i]) {
          rgb = kPalette[i];
          changed_now = true;
          changed();
        }
        d.palette.clear();
      }
      x += swatch + gap;
    }
  }
  y_ += total + px(kRowGap);
  return changed_now;
}

bool StudioUi::button_at(const CanvasRect& r, std::string_view label, ButtonStyle style) {
  const bool over = hot(r);
  std::uint32_t fill = over ? th::kControlHover : th::kControl;
  std::uint32_t ink = th::kText;
  if (style == ButtonStyle::accent) {
    fill = over ? th::kAccentHover : th::kAccent;
    ink = 0xFFFFFF;
  } else if (style == ButtonStyle::danger) {
    ink = th::kDanger;
  }
  canvas_.fill_rounded_rect(r, px(6.0f), col(fill));
  text(label, font(13.0f, 600, TextAlign::centre, TextAlign::centre), {r.left, r.top},
       r.right - r.left, ink, r.bottom - r.top);
  const std::optional<StudioKey> k = take_key(focus_stop(r));
  return clicked(r) || k == StudioKey::enter || k == StudioKey::space;
}

int StudioUi::buttons(std::span<const std::string_view> labels, ButtonStyle style,
                      int current) {
  const float h = px(34.0f), gap = px(8.0f);
  const TextFormat bf = font(13.0f, 600);
  float x = left_;
  int pressed = -1;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const float w = std::max(px(64.0f), measure(labels[i], bf).width + px(32.0f));
    if (x > left_ && x + w > left_ + width_) {
      x = left_;
      y_ += h + gap;
    }
    const ButtonStyle look = static_cast<int>(i) == current ? ButtonStyle::accent : style;
    if (button_at({x, y_, x + w, y_ + h}, labels[i], look)) pressed = static_cast<int>(i);
    x += w + gap;
  }
  y_ += h + px(kRowGap) + px(6.0f);
  return pressed;
}

void StudioUi::paragraph(std::string_view body, std::uint32_t rgb) {
  const TextSize size = text(body, font(14.0f, 400), {left_ + px(2.0f), y_}, width_ - px(4.0f), rgb);
  y_ += size.height + px(10.0f);
}

void StudioUi::focus(FieldKind kind, std::string initial) {
  StudioState::Detail& d = detail();
  d.field = kind;
  d.fresh = !initial.empty();
  d.text = std::move(initial);
  d.field_rect = {};
}

bool StudioUi::entry(std::string_view label, FieldKind kind, std::size_t moment,
                     std::string_view value, std::string_view placeholder) {
  StudioState::Detail& d = detail();
  const float pad = px(16.0f);
  const float h = px(52.0f);
  const CanvasRect r{left_, y_, left_ + width_, y_ + h};
  tile(r, false);
  float box_left = left_ + pad;
  if (!label.empty()) {
    text(label, font(14.0f, 400), {left_ + pad, y_ + px(16.0f)}, px(150.0f), th::kText);
    box_left = left_ + pad + px(160.0f);
  }
  const CanvasRect box{box_left, y_ + px(9.0f), left_ + width_ - pad, y_ + h - px(9.0f)};
  const bool focused = d.field == kind && (kind != FieldKind::moment || d.moment == moment);
  bool started = false;
  const std::optional<StudioKey> k = take_key(focus_stop(box));
  if (!focused && (clicked(box) || k == StudioKey::enter || k == StudioKey::space)) {
    focus(kind, std::string(value));
    d.moment = moment;
    started = true;
  }
  const bool now = d.field == kind && (kind != FieldKind::moment || d.moment == moment);
  canvas_.fill_rounded_rect(box, px(5.0f), col(th::kField));
  canvas_.stroke_rounded_rect(box, px(5.0f), col(now ? th::kAccent : th::kBorder),
                              now ? px(1.5f) : px(1.0f));
  const TextFormat ef = font(14.0f, 400, TextAlign::leading, TextAlign::centre);
  const float inner = box.right - box.left - px(24.0f);
  if (now) d.field_rect = box;
  // While typing, the end of the text stays in view beside the caret.
  const std::string shown = now ? fit_tail(d.text, ef, inner) : fit_head(value, ef, inner);
  if (now && d.fresh && !shown.empty()) {
    canvas_.fill_rect({box.left + px(9.0f), box.top + px(8.0f),
                       box.left + px(11.0f) + measure(shown, ef).width, box.bottom - px(8.0f)},
                      col(th::kAccent, 0.35f));
  }
  if (shown.empty()) {
    text(placeholder, ef, {box.left + px(10.0f), box.top}, inner, th::kText3,
         box.bottom - box.top);
  } else {
    text(shown, ef, {box.left + px(10.0f), box.top}, inner + px(4.0f), th::kText,
         box.bottom - box.top);
  }
  if (now) {
    const float caret =
        box.left + px(10.0f) + (shown.empty() ? 0.0f : measure(shown, ef).width) + px(1.0f);
    canvas_.line({caret, box.top + px(8.0f)}, {caret, box.bottom - px(8.0f)}, col(th::kAccent),
                 px(1.5f));
  }
  y_ += h + px(kRowGap);
  return started;
}

// ---------------------------------------------------------------------------------------------
// The frame

namespace {

// Applies a typed value to its setting, held to the load rules' range. True when it changed.
bool apply_number(const NumberRow& row, double v, Settings& settings, bool unleashed) {
  double& field = row.field(settings);
  const double old = field;
  field = v;
  Settings clamped = clamped_settings(settings, unleashed);
  field = row.field(clamped);
  return field != old;
}

// Ends typing: a number is checked against its row's range, a line is stored.
void commit_field(StudioUi& ui) {
  StudioState::Detail& d = ui.detail();
  Settings& settings = ui.settings();
  const FieldKind kind = d.field;
  d.field = FieldKind::none;
  std::string typed = std::move(d.text);
  d.text.clear();
  switch (kind) {
    case FieldKind::none: break;
    case FieldKind::number: {
      const std::optional<double> v = studio_parse_number(typed, d.number.unit);
      if (!v) break;  // not a number: the old value stays
      if (*v >= d.number.min && *v <= d.number.max) {
        if (apply_number(d.number, *v, settings, ui.unleashed())) ui.changed();
      } else {
        d.confirming = true;
        d.confirm_row = d.number;
        d.confirm_value = *v;
      }
      break;
    }
    case FieldKind::phrase: {
      std::string line = first_chars(trim(typed), kPhraseChars);
      if (line.empty()) break;
      if (settings.phrases.size() >= kMaxPhrases) {
        // The list is full: the text stays in the field rather than vanish unsaved.
        d.field = FieldKind::phrase;
        d.text = std::move(typed);
        break;
      }
      settings.phrases.push_back(std::move(line));
      ui.changed();
      break;
    }
    case FieldKind::moment: {
      if (d.moment >= settings.lines.size()) break;
      std::string line = first_chars(trim(typed), kPhraseChars);
      if (settings.lines[d.moment] != line) {
        settings.lines[d.moment] = std::move(line);
        ui.changed();
      }
      break;
    }
  }
}

std::size_t field_limit(FieldKind kind) {
  return kind == FieldKind::number ? kNumberChars : kPhraseChars;
}

// The panel's answer: its own action, or nothing on Cancel.
void answer_confirmation(StudioUi& ui, bool accepted) {
  StudioState::Detail& d = ui.detail();
  d.confirming = false;
  if (!accepted) return;
  using Ask = StudioState::Detail::Ask;
  switch (d.ask) {
    case Ask::number:
      if (apply_number(d.confirm_row, d.confirm_value, ui.settings(), ui.unleashed())) ui.changed();
      break;
    case Ask::reset:
      ui.settings() = Settings{};
      ui.changed();
      ui.request({StudioRequest::Kind::reset_everything, 0, ""});
      break;
    case Ask::delete_hat:
    case Ask::delete_glasses:
      ui.request({d.ask == Ask::delete_hat ? StudioRequest::Kind::delete_hat
                                           : StudioRequest::Kind::delete_glasses,
                  0, d.ask_name});
      break;
  }
}

void handle_keys(StudioUi& ui, const StudioInput& in) {
  StudioState::Detail& d = ui.detail();
  for (char32_t c : in.typed) {
    if (d.confirming) {
      // Enter takes the panel's own action, Escape cancels.
      if (c == kStudioEscape || c == kStudioEnter) answer_confirmation(ui, c == kStudioEnter);
      continue;
    }
    if (d.field == FieldKind::none) continue;
    if (c == kStudioEnter) {
      const bool phrase = d.field == FieldKind::phrase;
      commit_field(ui);
      // The Enter that committed opens the panel at most; it does not answer it too.
      if (d.confirming) break;
      // The lines entry stays open for the next line.
      if (phrase) d.field = FieldKind::phrase;
    } else if (c == kStudioEscape) {
      d.field = FieldKind::none;
      d.text.clear();
    } else if (c == kStudioBackspace) {
      if (d.fresh) {
        d.text.clear();
      } else {
        pop_char(d.text);
      }
      d.fresh = false;
    } else if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) && c <= 0x10FFFF &&
               !(c >= 0xD800 && c <= 0xDFFF)) {
      // The first key replaces the value the field opened with, as a selection would.
      if (d.fresh) d.text.clear();
      d.fresh = false;
      if (char_count(d.text) < field_limit(d.field)) append_utf8(d.text, c);
    }
  }
}

void draw_nav(StudioUi& ui, StudioState& state, bool blocked) {
  Canvas& c = ui.canvas();
  const StudioInput& in = ui.input();
  const float s = ui.s();
  c.fill_rect({0, 0, kNavWidth * s, kStudioHeight * s}, col(th::kNav));
  // The app's mark: a small crab-coloured badge beside the name.
  c.fill_rounded_rect({20 * s, 24 * s, 44 * s, 48 * s}, 6 * s, col(th::kAccent));
  ui.text("\u2726", ui.font(13.0f, 600, TextAlign::centre, TextAlign::centre), {20 * s, 24 * s},
          24 * s, 0xFFFFFF, 24 * s);
  ui.text("Perchkin Studio", ui.font(16.0f, 600, TextAlign::leading, TextAlign::centre),
          {54 * s, 24 * s}, 170 * s, th::kText, 24 * s);

  TextFormat symbol = ui.font(16.0f, 400, TextAlign::centre, TextAlign::centre);
  symbol.family = "Segoe UI Symbol";
  float y = 76 * s;
  const float item_h = 66 * s;
  for (int p = 0; p < kStudioPages; ++p) {
    const StudioPageInfo& info = kPages[static_cast<std::size_t>(p)];
    const CanvasRect r{10 * s, y, (kNavWidth - 10) * s, y + item_h - 4 * s};
    const bool selected = state.page == p;
    const bool over = !blocked && contains(r, in.x, in.y);
    if (selected || over) {
      c.fill_rounded_rect(r, 8 * s, col(selected ? th::kNavSelected : th::kNavHover));
    }
    if (selected) {
      c.fill_rounded_rect({r.left, y + 18 * s, r.left + 3 * s, y + item_h - 22 * s}, 1.5f * s,
                          col(th::kAccent));
    }
    const CanvasRect badge{r.left + 12 * s, y + 12 * s, r.left + 40 * s, y + 40 * s};
    c.fill_rounded_rect(badge, 8 * s, col(selected ? th::kAccent : th::kTile));
    ui.text(info.symbol, symbol, {badge.left, badge.top}, badge.right - badge.left,
            selected ? 0xFFFFFF : th::kText2, badge.bottom - badge.top);
    ui.text(info.name, ui.font(13.0f, 600), {r.left + 52 * s, y + 9 * s}, 156 * s,
            selected ? th::kText : th::kText2);
    ui.text(info.description, ui.font(10.0f, 400), {r.left + 52 * s, y + 28 * s}, 156 * s,
            th::kText3, 30 * s);
    if (over && in.pressed && state.page != p) {
      state.page = p;
      state.scroll = 0.0f;
      ui.detail().focus = -1;
      ui.detail().palette.clear();
      ui.detail().drag.clear();
    }
    y += item_h;
  }
}

void draw_confirmation(StudioUi& ui, StudioState& state) {
  StudioState::Detail& d = ui.detail();
  Canvas& c = ui.canvas();
  const float s = ui.s();
  const float w = kStudioWidth * s, h = kStudioHeight * s;
  c.fill_rect({0, 0, w, h}, col(0x000000, 0.55f));
  const float pw = 460 * s;
  const float pad = 24 * s;
  using Ask = StudioState::Detail::Ask;
  const NumberRow& row = d.confirm_row;
  std::string_view title = "Outside the normal range", action = "Use it anyway";
  std::string message;
  std::string_view warning;
  ButtonStyle style = ButtonStyle::accent;
  switch (d.ask) {
    case Ask::number:
      message = std::string(row.label) + " will be set to " + studio_number_text(d.confirm_value, row.unit) +
                ". The normal range is " + studio_number_text(row.min, row.unit) + " to " +
                studio_number_text(row.max, row.unit) + ".";
      warning = "Buddies may fly off, jitter or act strangely. You can always use Reset.";
      break;
    case Ask::reset:
      title = "Reset everything?";
      action = "Reset everything";
      message = "Every setting goes back to its default, your own lines, the lines for each moment, "
                "the pinned menu items and the chosen hat and glasses included.";
      warning = "This cannot be undone.";
      style = ButtonStyle::danger;
      break;
    case Ask::delete_hat:
    case Ask::delete_glasses:
      title = "Delete this image?";
      action = "Delete";
      message = "\u201C" + d.ask_name + "\u201D will be removed from " +
                (d.ask == Ask::delete_hat ? "your hats" : "your glasses") + " and its copy deleted.";
      warning = "The file you imported it from stays where it is.";
      style = ButtonStyle::danger;
      break;
  }
  const TextFormat body = ui.font(14.0f, 400);
  const float text_w = pw - 2 * pad;
  const float mh = ui.measure(message, body, text_w).height;
  const float wh = ui.measure(warning, body, text_w).height;
  const float ph = pad + 26 * s + 12 * s + mh + 8 * s + wh + 24 * s + 36 * s + pad;
  const float left = (w - pw) / 2, top = (h - ph) / 2;
  c.fill_rounded_rect({left - 1 * s, top - 1 * s, left + pw + 1 * s, top + ph + 1 * s}, 11 * s,
                      col(th::kBorder));
  c.fill_rounded_rect({left, top, left + pw, top + ph}, 10 * s, col(th::kTile));
  float y = top + pad;
  ui.text(title, ui.font(16.0f, 600), {left + pad, y}, text_w, th::kText);
  y += 26 * s + 12 * s;
  ui.text(message, body, {left + pad, y}, text_w, th::kText);
  y += mh + 8 * s;
  ui.text(warning, body, {left + pad, y}, text_w, th::kText2);
  y += wh + 24 * s;
  // The panel's own buttons answer even though the page does not.
  ui.set_blocked(false);
  const TextFormat bf = ui.font(13.0f, 600);
  const float use_w = ui.measure(action, bf).width + 32 * s;
  const float cancel_w = std::max(80 * s, ui.measure("Cancel", bf).width + 32 * s);
  const float by = y;
  const CanvasRect use{left + pw - pad - use_w, by, left + pw - pad, by + 36 * s};
  const CanvasRect cancel{use.left - 8 * s - cancel_w, by, use.left - 8 * s, by + 36 * s};
  // The view for hit tests is the whole window here.
  ui.begin_column(left, y, pw, {0, 0, w, h});
  const bool cancelled = ui.button_at(cancel, "Cancel", ButtonStyle::normal);
  const bool accepted = ui.button_at(use, action, style);
  if (accepted || cancelled) answer_confirmation(ui, accepted);
  (void)state;
}

}  // namespace

void studio_open_page(StudioState& state, int page) {
  state.page = std::clamp(page, 0, kStudioPages - 1);
  state.scroll = 0.0f;
  if (!state.detail) state.detail = std::make_shared<StudioState::Detail>();
  StudioState::Detail& d = *state.detail;
  d.field = FieldKind::none;
  d.text.clear();
  d.confirming = false;
  d.drag.clear();
  d.palette.clear();
  d.focus = -1;
  d.focus_shown = false;
}

StudioFrameResult studio_frame(Canvas& canvas, StudioState& state, const StudioInput& input,
                               Settings& settings, const StudioContext& ctx) {
  StudioFrameResult result;
  if (!state.detail) state.detail = std::make_shared<StudioState::Detail>();
  state.page = std::clamp(state.page, 0, kStudioPages - 1);
  StudioState::Detail& d = *state.detail;
  StudioUi ui(canvas, input, state, settings, ctx, result);
  const float s = ui.s();
  const float w = kStudioWidth * s, h = kStudioHeight * s;

  const bool typing_at_start = d.field != FieldKind::none;
  const bool confirming_at_start = d.confirming;
  handle_keys(ui, input);
  // Tab and Shift+Tab walk the page's controls (leaving a field as a click elsewhere would);
  // the first other key acts on the focused one.
  std::optional<StudioKey> action;
  for (StudioKey k : input.keys) {
    if (confirming_at_start || d.confirming) break;
    if (k == StudioKey::tab || k == StudioKey::back_tab) {
      if (d.field != FieldKind::none) commit_field(ui);
      if (d.confirming || d.focus_stops <= 0) continue;
      const int n = d.focus_stops;
      if (!d.focus_shown || d.focus < 0 || d.focus >= n)
        d.focus = k == StudioKey::tab ? 0 : n - 1;
      else
        d.focus = (d.focus + (k == StudioKey::tab ? 1 : n - 1)) % n;
      d.focus_shown = true;
      d.palette.clear();
    } else if (!typing_at_start && !action && d.focus_shown) {
      action = k;
    }
  }
  if (input.pressed) d.focus_shown = false;
  ui.set_key(action);
  // A press anywhere but the field being typed into confirms it.
  if (input.pressed && !d.confirming && d.field != FieldKind::none &&
      !contains(d.field_rect, input.x, input.y)) {
    commit_field(ui);
  }
  if (d.drag.size() && !input.held && !input.pressed) d.drag.clear();

  const CanvasRect view{kNavWidth * s, kHeaderHeight * s, w, h};
  const float view_h = view.bottom - view.top;
  if (input.wheel != 0.0f && !d.confirming && std::isfinite(input.wheel)) {
    state.scroll -= input.wheel * kWheelStep * s;
  }
  const float max_scroll = d.laid_out_page == state.page
                               ? std::max(0.0f, d.content_height - view_h)
                               : 0.0f;
  if (!std::isfinite(state.scroll)) state.scroll = 0.0f;
  state.scroll = std::clamp(state.scroll, 0.0f, max_scroll);

  canvas.set_transform({});
  canvas.fill_rect({0, 0, w, h}, col(th::kWindow));
  const bool blocked = d.confirming;
  draw_nav(ui, state, blocked);
  canvas.fill_rect({kNavWidth * s - 1 * s, 0, kNavWidth * s, h}, col(th::kBorder));

  // The page's title and description stay put; the rest scrolls beneath them.
  const StudioPageInfo& info = kPages[static_cast<std::size_t>(state.page)];
  const float left = (kNavWidth + kPad) * s;
  const float width = (kStudioWidth - kNavWidth - 2 * kPad) * s;
  ui.text(info.name, ui.font(24.0f, 600), {left, 26 * s}, width, th::kText);
  ui.text(info.description, ui.font(14.0f, 400), {left, 62 * s}, width, th::kText2);

  canvas.push_clip(view);
  const float top = view.top - state.scroll;
  ui.begin_column(left, top + 4 * s, width, view);
  ui.set_blocked(blocked);
  switch (state.page) {
    case kStudioLook: studio_page_look(ui); break;
    case kStudioPersonality: studio_page_personality(ui); break;
    case kStudioWorld: studio_page_world(ui); break;
    case kStudioMenu: studio_page_menu(ui); break;
    case kStudioGeneral: studio_page_general(ui); break;
    case kStudioAbout: studio_page_about(ui); break;
    case kStudioSpeech: studio_page_speech(ui); break;
    default: break;
  }
  const float content = ui.cursor() - top + 24 * s;
  canvas.pop_clip();
  d.focus_stops = ui.stops();
  if (d.focus >= d.focus_stops) d.focus = d.focus_stops - 1;
  // What the keys reach stays in view: the focused control, and a field kept open after Enter.
  if (!input.keys.empty() || !input.typed.empty()) {
    std::optional<CanvasRect> keep = ui.focus_rect();
    if (d.field != FieldKind::none && d.field_rect.bottom > d.field_rect.top) keep = d.field_rect;
    if (keep) {
      const float margin = 12 * s;
      if (keep->bottom + margin > view.bottom) state.scroll += keep->bottom + margin - view.bottom;
      else if (keep->top - margin < view.top) state.scroll -= view.top - (keep->top - margin);
      if (keep->bottom + margin > view.bottom || keep->top - margin < view.top) result.animating = true;
    }
  }
  // A soft edge where the content slides under the header.
  canvas.fill_rect({kNavWidth * s, view.top - 1 * s, w, view.top}, col(th::kBorder, 0.6f));

  const bool height_moved = d.laid_out_page != state.page || content != d.content_height;
  d.content_height = content;
  d.laid_out_page = state.page;
  const float new_max = std::max(0.0f, content - view_h);
  if (state.scroll > new_max) {
    state.scroll = new_max;
    result.animating = true;  // drawn once more at the clamped scroll
  }
  (void)height_moved;
  if (new_max > 0.0f) {
    const float track = view_h - 16 * s;
    const float thumb = std::max(32 * s, track * view_h / content);
    const float ty = view.top + 8 * s + (track - thumb) * (state.scroll / new_max);
    canvas.fill_rounded_rect({w - 8 * s, ty, w - 4 * s, ty + thumb}, 2 * s,
                             col(th::kText3, 0.7f));
  }

  if (d.confirming) draw_confirmation(ui, state);
  return result;
}

}  // namespace perchkin
