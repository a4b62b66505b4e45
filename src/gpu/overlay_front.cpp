// Pass two of the 2D overlay, in front of the buddies: wear, dizzy stars, the pencil, speech
// bubbles, the menu's and the selection's marks; and the bubbles' measurement and geometry.
#include <algorithm>
#include <cmath>

#include "base/text.h"
#include "gpu/instances.h"
#include "gpu/overlay_2d.h"
#include "gpu/overlay_detail.h"
#include "sprites/wear.h"

namespace perchkin {

namespace {

constexpr float kThirdTurn = 2.0943952f;
constexpr double kBubbleMaxWidth = 240.0;  // at 13.5 px text; scales with the font
constexpr double kTextDelay = 0.154;       // the text starts once the pop-in is at 70 %

// Clamps without the precondition lo <= hi: a box too wide for the room sits at lo.
double clamp_low(double v, double lo, double hi) { return std::max(lo, std::min(v, hi)); }

// Row of the head's top: lower for the sitting, typing and sleeping frames, and the squat.
int head_top_row(int frame) {
  if (frame >= 5 && frame <= 8) return 4;
  if (frame == 14) return 3;
  return 2;
}

void draw_custom_image(Canvas& canvas, const CanvasBitmap& image, float centre_x, float width,
                       float top, float cell_h, float width_cells) {
  if (image.width < 1 || image.height < 1) return;
  const float height = width_cells * static_cast<float>(image.height) /
                       static_cast<float>(image.width) * cell_h;
  // Pixel art up to 64 pixels wide stays sharp; larger images are smoothed.
  canvas.draw_bitmap(image, {centre_x - width / 2, top, centre_x + width / 2, top + height}, 1.0f,
                     image.width >= 65);
}

void draw_wear(Canvas& canvas, const CanvasBitmap* custom_hat_image,
               const CanvasBitmap* custom_glasses_image, const BuddyInstance& inst,
               const LookSettings& look, const CanvasTransform& base) {
  const PixelMap& hat = hat_map(look.hat);
  const PixelMap& glasses = glasses_map(look.glasses);
  const bool custom_hat = custom_hat_image != nullptr;
  const bool custom_glasses = custom_glasses_image != nullptr;
  if (hat.height() == 0 && glasses.height() == 0 && !custom_hat && !custom_glasses) return;

  const float u = inst.unit, sy = inst.sy;
  const float x = inst.pos.x, y = inst.pos.y;
  const float left = x - 8.0f * u, top = y - 10.0f * sy * u;
  const float cell_h = sy * u;
  const int head = head_top_row(static_cast<int>(inst.frame));
  const bool turned = inst.angle != 0.0f;
  if (turned) {
    const float degrees = inst.angle * 57.29578f;
    canvas.set_transform(
        canvas_multiply(canvas_rotate(degrees, {x, y - 5.0f * sy * u}), base));
  }
  // A worn image is `cells` cells wide and as tall as its shape says; it rests on the row
  // `row` of the head, from its bottom (`rise` 1) or its middle (0.5). A built-in one is drawn
  // cell for cell from `column`, its top on `top_row`.
  const auto wear = [&](const CanvasBitmap* image, double size, double lift, float cells_at_1,
                        float row, float rise, const PixelMap& map, double column, int top_row) {
    if (image != nullptr) {
      const auto cells = static_cast<float>(static_cast<double>(cells_at_1) * size);
      const float height = image->width > 0 ? cells * static_cast<float>(image->height) /
                                                  static_cast<float>(image->width) * cell_h
                                            : 0.0f;
      const float anchor =
          top + (static_cast<float>(head) + row - static_cast<float>(lift)) * cell_h;
      draw_custom_image(canvas, *image, x, cells * u, anchor - height * rise, cell_h, cells);
    } else if (map.height() > 0) {
      draw_wear_map(canvas, map,
                    {left + static_cast<float>(column) * u,
                     top + static_cast<float>(top_row) * cell_h},
                    u, cell_h);
    }
  };
  wear(custom_hat_image, look.hat_size, look.hat_lift, 13.0f, 0.6f, 1.0f, hat,
       hat_left_column(hat), head - hat.height());
  wear(custom_glasses_image, look.glasses_size, look.glasses_lift, 12.0f, 2.0f, 0.5f, glasses,
       kGlassesLeftColumn, head);
  if (turned) canvas.set_transform(base);
}

void draw_dizzy_and_pencil(Canvas& canvas, const FrameInput& in) {
  const float cell = std::max(1.0f, std::round(2.0f * static_cast<float>(in.ui_scale)));
  for_each_dizzy_or_drawing(in, [&](const Buddy& b, const BuddyInstance& inst, bool dizzy,
                                    bool pencil) {
    const float x = inst.pos.x, y = inst.pos.y, u = inst.unit;
    if (dizzy) {
      for (int k = 0; k < 3; ++k) {
        const float theta =
            5.0f * static_cast<float>(b.mind.clock) + static_cast<float>(k) * kThirdTurn;
        draw_single_map(canvas, star_map(),
                        {x + 7.0f * u * std::cos(theta), y - 10.0f * u + 2.0f * u * std::sin(theta)},
                        cell, canvas_rgb(kStarRgb));
      }
    }
    if (pencil) {
      const CanvasPoint hand{x + (b.motion.facing < 0 ? -7.0f : 7.0f) * u, y - 6.0f * u};
      const CanvasPoint point{static_cast<float>(b.pencil.x - in.overlay.left),
                              static_cast<float>(b.pencil.y - in.overlay.top)};
      const CanvasPoint joint{hand.x + 0.78f * (point.x - hand.x),
                              hand.y + 0.78f * (point.y - hand.y)};
      const float body = std::max(3.0f, std::round(1.1f * u));
      canvas.line(hand, joint, canvas_rgb(0xFFD23F), body);
      canvas.line(joint, point, canvas_rgb(kInkRgb), std::max(2.0f, body - 1.0f));
    }
  });
}

// The pop-in: an overshooting ease over the first 0.22 s, never below 0.05.
float pop_scale(double age) {
  const double p = std::min(1.0, std::max(0.0, age) / kPopSeconds);
  if (p >= 1.0) return 1.0f;
  const double q = p - 1.0;
  return static_cast<float>(std::max(0.05, 1.0 + 2.70158 * q * q * q + 1.70158 * q * q));
}

CanvasTransform scale_about(float e, CanvasPoint c) {
  return {e, 0.0f, 0.0f, e, c.x - e * c.x, c.y - e * c.y};
}

CanvasPath tail_path(const BubbleShape& b, float dx, float dy, bool closed) {
  CanvasPath path;
  path.move_to({b.tail[0].x + dx, b.tail[0].y + dy})
      .line_to({b.tail[1].x + dx, b.tail[1].y + dy})
      .line_to({b.tail[2].x + dx, b.tail[2].y + dy});
  if (closed) path.close();
  return path;
}

void draw_bubble(Canvas& canvas, const BubbleShape& b, const SpeechBubble& speech,
                 const TextFormat& format, double s, const CanvasTransform& base) {
  const auto sf = static_cast<float>(s);
  const float c = 11.0f * sf, pad = 9.0f * sf, shadow = 3.0f * sf;
  canvas.set_transform(canvas_multiply(scale_about(b.pop, b.tail[1]), base));
  const CanvasRect& r = b.box;
  canvas.fill_rounded_rect({r.left + shadow, r.top + shadow, r.right + shadow, r.bottom + shadow},
                           c, canvas_rgb(0x000000, 0.3f));
  canvas.fill_path(tail_path(b, shadow, shadow, true), canvas_rgb(0x000000, 0.3f));
  const float outline = std::max(1.0f, 1.5f * sf);
  canvas.fill_rounded_rect(r, c, canvas_rgb(0xFFFFFF));
  canvas.stroke_rounded_rect(r, c, canvas_rgb(kInkRgb), outline);
  // The tail's two sides, then its white fill over the box's outline where they meet.
  canvas.stroke_path(tail_path(b, 0, 0, false), canvas_rgb(kInkRgb), outline);
  canvas.fill_path(tail_path(b, 0, 0, true), canvas_rgb(0xFFFFFF));
  if (b.shown > 0) {
    const auto layout = canvas.layout_text(first_chars(speech.text, b.shown), format,
                                           static_cast<float>(speech.text_width) + 1.0f,
                                           static_cast<float>(speech.text_height) + 1.0f);
    if (layout) canvas.draw_text(*layout, {r.left + pad, r.top + pad}, canvas_rgb(kInkRgb));
  }
  canvas.set_transform(base);
}

struct Candidate {
  const Buddy* buddy;
  const RenderEntry* entry;
};

// Buddies whose bubble shows now, at most kMaxBubbles of the newest, oldest first.
std::vector<Candidate> bubble_candidates(const FrameInput& in) {
  std::vector<Candidate> out;
  if (!in.crew || !in.entries) return out;
  for (std::size_t i = 0; i < in.crew->buddies.size(); ++i) {
    const Buddy& b = in.crew->buddies[i];
    if (!(in.clock < b.speech.bubble_until)) continue;
    const RenderEntry* e = find_entry(*in.entries, b.id, i);
    if (e && e->bubble) out.push_back({&b, e});
  }
  // Newest first; equal starts keep crew order.
  std::stable_sort(out.begin(), out.end(), [](const Candidate& a, const Candidate& b) {
    return a.entry->bubble->start > b.entry->bubble->start;
  });
  if (out.size() > kMaxBubbles) out.resize(kMaxBubbles);
  std::reverse(out.begin(), out.end());
  return out;
}

BubbleShape bubble_shape(const FrameInput& in, const Buddy& b, const RenderEntry& e) {
  const double s = in.ui_scale, a = in.alpha;
  const SpeechBubble& speech = *e.bubble;
  const double pad = 9.0 * s, c = 11.0 * s, u = b.motion.unit;
  const double ax = e.prev_x + (e.x - e.prev_x) * a - in.overlay.left;
  const double ay = e.prev_y + (e.y - e.prev_y) * a - in.overlay.top;
  const double bw = speech.text_width + 2.0 * pad, bh = speech.text_height + 2.0 * pad;
  const double width = in.overlay.right - in.overlay.left;
  const double height = in.overlay.bottom - in.overlay.top;
  // Below the speaker on a ceiling, and wherever a box above the head would leave the top
  // (a buddy on a tall window): the whole text stays readable.
  const bool ceiling = b.motion.support && b.motion.support->kind == SurfaceKind::ceiling;
  const bool below = ceiling || ay - 12.0 * u - 8.0 * s - bh < 4.0;
  const double tx = ax, ty = below ? ay + 2.0 * u : ay - 12.0 * u;
  const double left = clamp_low(ax - bw / 2.0, 4.0, width - bw - 4.0);
  const double top = clamp_low(below ? ty + 8.0 * s : ty - 8.0 * s - bh, 4.0, height - bh - 4.0);
  // The tail's base lies 1 px inside the box, on the side facing the speaker.
  const double base_y = below ? top + 1.0 : top + bh - 1.0;
  const double base_x = clamp_low(tx, left + c + 6.0 * s, left + bw - c - 6.0 * s);

  BubbleShape out;
  out.buddy_id = b.id;
  out.box = {static_cast<float>(left), static_cast<float>(top), static_cast<float>(left + bw),
             static_cast<float>(top + bh)};
  out.tail[0] = {static_cast<float>(base_x - 6.0 * s), static_cast<float>(base_y)};
  out.tail[1] = {static_cast<float>(tx), static_cast<float>(ty)};
  out.tail[2] = {static_cast<float>(base_x + 6.0 * s), static_cast<float>(base_y)};
  out.age = in.clock - speech.start;
  out.pop = pop_scale(out.age);
  if (out.age >= kTextDelay) {
    const double typed = std::floor((out.age - kTextDelay) * kTypingRate) + 1.0;
    const std::size_t len = char_count(speech.text);
    out.shown = typed >= static_cast<double>(len) ? len : static_cast<std::size_t>(typed);
  }
  return out;
}

void ring_feet(Canvas& canvas, const BuddyInstance& inst, double s) {
  canvas.stroke_ellipse({inst.pos.x, inst.pos.y}, 8.0f * inst.unit, 2.2f * inst.unit,
                        canvas_rgb(kMarkRgb), std::max(1.5f, 2.0f * static_cast<float>(s)));
}

void draw_menu_marks(Canvas& canvas, const FrameInput& in) {
  if (!in.crew || !in.entries || in.menu_targets.empty()) return;
  const InstanceParams params = frame_instance_params(in);
  for (std::size_t i = 0; i < in.crew->buddies.size(); ++i) {
    const Buddy& b = in.crew->buddies[i];
    if (std::find(in.menu_targets.begin(), in.menu_targets.end(), b.id) == in.menu_targets.end())
      continue;
    if (const RenderEntry* e = find_entry(*in.entries, b.id, i))
      ring_feet(canvas, buddy_instance(b, *e, params), in.ui_scale);
  }
}

void draw_selection_marks(Canvas& canvas, const FrameInput& in) {
  if (!in.crew || !in.entries || !in.selection) return;
  const InstanceParams params = frame_instance_params(in);
  const ScreenRect& sel = *in.selection;
  const double sl = std::min(sel.left, sel.right) - in.overlay.left;
  const double sr = std::max(sel.left, sel.right) - in.overlay.left;
  const double st = std::min(sel.top, sel.bottom) - in.overlay.top;
  const double sb = std::max(sel.top, sel.bottom) - in.overlay.top;
  for (std::size_t i = 0; i < in.crew->buddies.size(); ++i) {
    const Buddy& b = in.crew->buddies[i];
    const RenderEntry* e = find_entry(*in.entries, b.id, i);
    if (!e) continue;
    const BuddyInstance inst = buddy_instance(b, *e, params);
    const auto u = static_cast<double>(inst.unit), x = static_cast<double>(inst.pos.x),
               y = static_cast<double>(inst.pos.y);
    if (x + 8.0 * u >= sl && x - 8.0 * u <= sr && y >= st && y - 10.0 * u <= sb)
      ring_feet(canvas, inst, in.ui_scale);
  }
}

}  // namespace

InstanceParams frame_instance_params(const FrameInput& in) {
  InstanceParams p;
  p.alpha = in.alpha;
  p.overlay_left = in.overlay.left;
  p.overlay_top = in.overlay.top;
  if (in.settings) p.look = in.settings->look;
  return p;
}

void update_bubbles(RenderEntries& entries, const Crew& crew, Canvas& canvas, double s,
                    double now) {
  const TextFormat format = bubble_format(s);
  const auto max_width = static_cast<float>(static_cast<double>(format.size) / 13.5 * kBubbleMaxWidth);
  for (std::size_t i = 0; i < crew.buddies.size(); ++i) {
    const Buddy& b = crew.buddies[i];
    RenderEntry* e = find_entry(entries, b.id, i);
    if (!e) continue;
    if (e->bubble_serial != b.speech.bubble_serial) {
      e->bubble_serial = b.speech.bubble_serial;
      SpeechBubble bubble;
      bubble.text = b.speech.bubble_text;
      bubble.start = now;
      bubble.text_width = kFallbackBubbleWidth;
      bubble.text_height = kFallbackBubbleHeight;
      if (const auto layout =
              canvas.layout_text(b.speech.bubble_text, format, max_width, 10000.0f)) {
        const TextSize size = layout->size();
        if (std::isfinite(size.width) && std::isfinite(size.height) && size.width >= 0.0f &&
            size.height > 0.0f) {
          bubble.text_width = std::ceil(static_cast<double>(size.width));
          bubble.text_height = std::ceil(static_cast<double>(size.height));
        }
      }
      e->bubble = std::move(bubble);
    }
    if (e->bubble && !(now < b.speech.bubble_until)) e->bubble.reset();
  }
}

std::vector<BubbleShape> visible_bubbles(const FrameInput& in) {
  std::vector<BubbleShape> out;
  for (const Candidate& c : bubble_candidates(in))
    out.push_back(bubble_shape(in, *c.buddy, *c.entry));
  return out;
}

void bubble_dirty_boxes(const FrameInput& in, std::vector<BoxF>& out) {
  const double grow = 24.0 * in.ui_scale;
  for (const BubbleShape& b : visible_bubbles(in)) {
    // The pop-in overshoots by about 10 % about the tip; the growth covers it for any bubble
    // that fits on screen, and the tip is included for the ceiling case.
    const auto f = [](float v) { return static_cast<double>(v); };
    const double left = std::min(f(b.box.left), f(b.tail[1].x));
    const double right = std::max(f(b.box.right), f(b.tail[1].x));
    const double top = std::min(f(b.box.top), f(b.tail[1].y));
    const double bottom = std::max(f(b.box.bottom), f(b.tail[1].y));
    const double over = b.pop > 1.0f ? (f(b.pop) - 1.0) * std::max(right - left, bottom - top) : 0.0;
    out.push_back({left - grow - over, top - grow - over, right + grow + over, bottom + grow + over});
  }
}

void draw_pass_two(Canvas& canvas, const FrameInput& in,
                   std::span<const BuddyInstance> instances) {
  const CanvasTransform base = canvas.transform();
  const LookSettings look = in.settings ? in.settings->look : LookSettings{};
  for (const BuddyInstance& inst : instances)
    draw_wear(canvas, in.custom_hat, in.custom_glasses, inst, look, base);
  draw_dizzy_and_pencil(canvas, in);
  if (in.crew && in.entries) {
    const TextFormat format = bubble_format(in.ui_scale);
    for (const Candidate& c : bubble_candidates(in))
      draw_bubble(canvas, bubble_shape(in, *c.buddy, *c.entry), *c.entry->bubble, format,
                  in.ui_scale, base);
  }
  draw_menu_marks(canvas, in);
  if (in.draw_menu) in.draw_menu(canvas);
  draw_selection_marks(canvas, in);
  if (in.draw_selection) in.draw_selection(canvas);
}

void draw_pass_two(Canvas& canvas, const FrameInput& in) {
  std::vector<BuddyInstance> instances;
  if (in.crew && in.entries) build_instances(instances, *in.crew, *in.entries, frame_instance_params(in));
  draw_pass_two(canvas, in, instances);
}

void draw_selection_box(Canvas& canvas, const SelectionView& view, double s) {
  const auto sf = static_cast<float>(s);
  if (view.box) {
    const CanvasRect r{std::min(view.box->left, view.box->right), std::min(view.box->top, view.box->bottom),
                       std::max(view.box->left, view.box->right), std::max(view.box->top, view.box->bottom)};
    canvas.fill_rect(r, canvas_rgb(kMarkRgb, 0.14f));
    // A dark rim under the yellow edge keeps it visible on white and yellow windows alike.
    canvas.stroke_rect(r, canvas_rgb(kInkRgb, 0.55f), std::max(2.5f, 3.5f * sf));
    canvas.stroke_rect(r, canvas_rgb(kMarkRgb), std::max(1.5f, 2.0f * sf));
  }
  // The hint follows the pointer, under it, or above it near the overlay's bottom.
  const TextFormat format = small_format(s);
  const float w = 320.0f * sf, h = 22.0f * sf, gap = 26.0f * sf;
  const auto layout = canvas.layout_text(kSelectionHint, format, w, h);
  if (!layout) return;
  const float tw = std::min(w, layout->size().width) + 20.0f * sf;
  const float cx = std::max(4.0f + tw / 2.0f, std::min(view.cursor.x, view.width - 4.0f - tw / 2.0f));
  float top = view.cursor.y + gap;
  if (top + h > view.height - 4.0f) top = view.cursor.y - gap - h;
  top = std::max(4.0f, std::min(top, view.height - 4.0f - h));
  canvas.fill_rounded_rect({cx - tw / 2.0f, top, cx + tw / 2.0f, top + h}, h / 2.0f,
                           canvas_rgb(0x13131A, 0.88f));
  canvas.draw_text(*layout, {cx - w / 2.0f, top}, canvas_rgb(0xFFFFFF));
}

void draw_buddy_wear(Canvas& canvas, const BuddyInstance& instance, const LookSettings& look,
                     const CanvasBitmap* custom_hat, const CanvasBitmap* custom_glasses) {
  draw_wear(canvas, custom_hat, custom_glasses, instance, look, canvas.transform());
}

}  // namespace perchkin
