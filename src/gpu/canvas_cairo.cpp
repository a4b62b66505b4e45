// Cairo and Pango behind the Canvas. Cairo enters a sticky error state on bad input (a singular
// matrix, an invalid stride), so every input is checked first and a context that failed anyway
// is rebuilt rather than left to swallow the rest of the frame.
#include "gpu/canvas_cairo.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <list>
#include <numbers>
#include <string>
#include <unordered_map>
#include <vector>

namespace perchkin {

namespace {

constexpr int kMaxSide = 16384;
// Longer texts are cut: nothing on the overlay needs more, and layout time grows with length.
constexpr std::size_t kMaxTextBytes = 4096;
// Beyond this a coordinate is off any screen; Cairo's fixed-point would overflow.
constexpr float kMaxCoordinate = 1.0e6f;

bool finite(float v) { return std::isfinite(v) && std::fabs(v) < kMaxCoordinate; }
bool finite(CanvasPoint p) { return finite(p.x) && finite(p.y); }
bool finite(const CanvasRect& r) {
  return finite(r.left) && finite(r.top) && finite(r.right) && finite(r.bottom);
}
bool usable_width(float w) { return std::isfinite(w) && w > 0.0f && w < kMaxCoordinate; }

double D(float v) { return static_cast<double>(v); }
void move_to(cairo_t* cr, CanvasPoint p) { cairo_move_to(cr, D(p.x), D(p.y)); }
void line_to(cairo_t* cr, CanvasPoint p) { cairo_line_to(cr, D(p.x), D(p.y)); }
void rectangle(cairo_t* cr, const CanvasRect& r) {
  cairo_rectangle(cr, D(r.left), D(r.top), D(r.right) - D(r.left), D(r.bottom) - D(r.top));
}

double channel(float v) { return std::isfinite(v) ? std::clamp(static_cast<double>(v), 0.0, 1.0) : 0.0; }

struct Family {
  std::string_view name;
  std::string_view list;
};
// The program names Windows fonts; these are the closest families a Debian desktop installs
// (fonts-noto-core, fonts-dejavu-core, fonts-comic-neue, fonts-urw-base35), best first.
constexpr Family kFamilies[] = {
    {"Segoe UI", "Segoe UI,Noto Sans,DejaVu Sans,sans-serif"},
    {"Segoe UI Symbol",
     "Segoe UI Symbol,Noto Sans Symbols,Noto Sans Symbols2,DejaVu Sans,Symbola,sans-serif"},
    {"Segoe Print", "Segoe Print,Comic Neue,Comic Sans MS,Noto Sans,DejaVu Sans,sans-serif"},
    {"Impact",
     "Impact,Nimbus Sans Narrow,DejaVu Sans Condensed,Liberation Sans Narrow,Noto Sans,sans-serif"},
};

// One laid-out text, shared by the layout cache and every CanvasText handed out for it.
struct LaidText {
  PangoLayout* layout = nullptr;
  TextSize size;
  float dx = 0.0f, dy = 0.0f;  // where the layout's own origin sits inside the text's box
  // The layout rasterised once as coverage, for drawing at whole-pixel steps from the position
  // it was made for: `frac` is the fractional part of the layout origin's device position, and
  // the mask's top-left lies at (ink_x, ink_y) from that position's whole-pixel part.
  cairo_surface_t* mask = nullptr;
  bool mask_failed = false;
  double frac_x = 0.0, frac_y = 0.0;
  int ink_x = 0, ink_y = 0;

  LaidText() = default;
  LaidText(const LaidText&) = delete;
  LaidText& operator=(const LaidText&) = delete;
  ~LaidText() {
    if (mask) cairo_surface_destroy(mask);
    if (layout) g_object_unref(layout);
  }
};

class CairoText final : public CanvasText {
 public:
  explicit CairoText(std::shared_ptr<LaidText> laid) : laid_(std::move(laid)) {}
  TextSize size() const override { return laid_->size; }
  LaidText& laid() const { return *laid_; }

 private:
  std::shared_ptr<LaidText> laid_;
};

// Larger masks are not kept: text that big is rare and would hold much memory.
constexpr int kMaxMaskPixels = 256 * 256;

// Rasterises the layout's ink as coverage with its origin at (frac_x, frac_y) past a whole
// pixel. False when the text has no ink or is too large to keep.
bool make_mask(LaidText& t, double frac_x, double frac_y) {
  PangoRectangle ink;
  pango_layout_get_pixel_extents(t.layout, &ink, nullptr);
  if (ink.width <= 0 || ink.height <= 0) return false;
  // One spare pixel on each side for the fractional origin and antialiasing.
  const int w = ink.width + 2, h = ink.height + 2;
  if (static_cast<long long>(w) * h > kMaxMaskPixels) return false;
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(mask);
    return false;
  }
  cairo_t* cr = cairo_create(mask);
  cairo_move_to(cr, 1.0 - ink.x + frac_x, 1.0 - ink.y + frac_y);
  cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 1.0);
  pango_cairo_show_layout(cr, t.layout);
  const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  if (!ok) {
    cairo_surface_destroy(mask);
    return false;
  }
  cairo_surface_flush(mask);
  t.mask = mask;
  t.frac_x = frac_x;
  t.frac_y = frac_y;
  t.ink_x = ink.x - 1;
  t.ink_y = ink.y - 1;
  return true;
}

// The same text in the same format and box lays out the same way: particles, bubbles and menu
// labels ask for the same few texts every frame. Least recently used entries go first.
class LayoutCache {
 public:
  static constexpr std::size_t kCapacity = 256;

  std::shared_ptr<LaidText> find(const std::string& key) {
    const auto it = index_.find(key);
    if (it == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second);
    return it->second->second;
  }
  void add(std::string key, std::shared_ptr<LaidText> laid) {
    if (index_.size() >= kCapacity) {
      index_.erase(order_.back().first);
      order_.pop_back();
    }
    order_.emplace_front(std::move(key), std::move(laid));
    index_[order_.front().first] = order_.begin();
  }

 private:
  using Entry = std::pair<std::string, std::shared_ptr<LaidText>>;
  std::list<Entry> order_;
  std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

template <typename T>
void append_bytes(std::string& key, const T& v) {
  key.append(reinterpret_cast<const char*>(&v), sizeof v);
}

void rounded_rect_path(cairo_t* cr, const CanvasRect& r, float radius) {
  const double left = D(r.left), top = D(r.top), right = D(r.right), bottom = D(r.bottom);
  const double w = right - left, h = bottom - top;
  const double rad = std::clamp(static_cast<double>(radius), 0.0, std::max(0.0, std::min(w, h) / 2.0));
  const double pi = std::numbers::pi;
  cairo_new_sub_path(cr);
  cairo_arc(cr, right - rad, top + rad, rad, -pi / 2, 0);
  cairo_arc(cr, right - rad, bottom - rad, rad, 0, pi / 2);
  cairo_arc(cr, left + rad, bottom - rad, rad, pi / 2, pi);
  cairo_arc(cr, left + rad, top + rad, rad, pi, 3 * pi / 2);
  cairo_close_path(cr);
}

bool path_is_finite(const CanvasPath& path) {
  std::size_t needed = 0;
  for (CanvasPath::Op op : path.ops) {
    if (op == CanvasPath::Op::move || op == CanvasPath::Op::line) needed += 1;
    if (op == CanvasPath::Op::cubic) needed += 3;
  }
  if (needed > path.points.size()) return false;
  return std::all_of(path.points.begin(), path.points.end(),
                     [](CanvasPoint p) { return finite(p); });
}

void build_path(cairo_t* cr, const CanvasPath& path) {
  cairo_new_path(cr);
  std::size_t k = 0;
  for (CanvasPath::Op op : path.ops) {
    switch (op) {
      case CanvasPath::Op::move:
        move_to(cr, path.points[k]);
        k += 1;
        break;
      case CanvasPath::Op::line:
        line_to(cr, path.points[k]);
        k += 1;
        break;
      case CanvasPath::Op::cubic:
        cairo_curve_to(cr, D(path.points[k].x), D(path.points[k].y), D(path.points[k + 1].x),
                       D(path.points[k + 1].y), D(path.points[k + 2].x), D(path.points[k + 2].y));
        k += 3;
        break;
      case CanvasPath::Op::close: cairo_close_path(cr); break;
    }
  }
}

}  // namespace

// Fontconfig keeps a few allocations of its font caches to the end of the process without a
// reachable pointer; under LeakSanitizer that would fail every run that ever laid out text.
#if defined(__SANITIZE_ADDRESS__)
#define PERCHKIN_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PERCHKIN_LSAN 1
#endif
#endif
#ifdef PERCHKIN_LSAN
extern "C" const char* __lsan_default_suppressions();
// Weak, so a test program may give its own list; this one also covers the GL driver and Xlib,
// which keep allocations they never free.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libGLX_mesa\nleak:libEGL_mesa\nleak:swrast_dri\n"
         "leak:libgallium\nleak:libLLVM\nleak:libglapi\nleak:libX11\nleak:libxcb\nleak:libdrm\n";
}
#endif

std::string font_families(std::string_view family) {
  for (const Family& f : kFamilies)
    if (f.name == family) return std::string(f.list);
  std::string out;
  for (char c : family)
    if (c != ',') out += c;  // a comma would start another family
  if (!out.empty()) out += ',';
  return out + "Noto Sans,DejaVu Sans,sans-serif";
}

struct CairoCanvas::Impl {
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  bool has_target = false;
  int clips = 0;
  bool singular = false;  // the transform cannot be inverted: drawing is skipped
  // Opaque rectangles of one colour drawn one after another (the runs of a pixel map, confetti)
  // are gathered into the current path and filled at once, before anything else is drawn.
  bool batch = false;
  CanvasColor batch_colour;
  PangoFontMap* font_map = nullptr;
  PangoContext* pango = nullptr;
  LayoutCache layouts;

  Impl() {
    font_map = pango_cairo_font_map_new();
    pango = pango_font_map_create_context(font_map);
    cairo_font_options_t* options = cairo_font_options_create();
    // Grey antialiasing: the overlay is composited over anything, so subpixel colour fringes
    // would show. Unhinted metrics keep measured and drawn text the same at any transform.
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    pango_cairo_context_set_font_options(pango, options);
    cairo_font_options_destroy(options);
    pango_cairo_context_set_resolution(pango, 96.0);
    pango_context_set_language(pango, pango_language_from_string("en-us"));
    attach(nullptr, 1, 1, 4);
  }

  ~Impl() {
    batch = false;  // the target's memory may be gone already
    detach();
    g_object_unref(pango);
    g_object_unref(font_map);
  }

  void detach() {
    settle();
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
    cr = nullptr;
    surface = nullptr;
    has_target = false;
    clips = 0;
  }

  // A null `pixels` attaches a private 1 x 1 surface that nothing reads.
  void attach(std::uint8_t* pixels, int width, int height, int stride) {
    detach();
    if (pixels) {
      surface = cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_ARGB32, width, height,
                                                    stride);
      has_target = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
      if (!has_target) cairo_surface_destroy(surface);
    }
    if (!has_target) surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    make_context();
  }

  void make_context() {
    if (cr) cairo_destroy(cr);
    cr = cairo_create(surface);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    clips = 0;
  }

  void apply(const CanvasTransform& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, D(t.m11), D(t.m12), D(t.m21), D(t.m22), D(t.dx), D(t.dy));
    const double det = static_cast<double>(t.m11) * static_cast<double>(t.m22) -
                       static_cast<double>(t.m12) * static_cast<double>(t.m21);
    singular = !(std::isfinite(det) && std::fabs(det) > 1e-12 && std::isfinite(t.dx) &&
                 std::isfinite(t.dy));
    if (singular) {
      cairo_identity_matrix(cr);
      return;
    }
    cairo_set_matrix(cr, &m);
  }

  void settle() {
    if (!batch) return;
    batch = false;
    fill(batch_colour);
  }

  // False when nothing should be drawn; a context in an error state is rebuilt (losing clips).
  bool ready(const CanvasTransform& t) {
    settle();
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
      make_context();
      apply(t);
    }
    return has_target && !singular;
  }

  void source(CanvasColor c) {
    cairo_set_source_rgba(cr, channel(c.r), channel(c.g), channel(c.b), channel(c.a));
  }

  void stroke(CanvasColor c, float width) {
    source(c);
    cairo_set_line_width(cr, D(width));
    cairo_stroke(cr);
  }

  void fill(CanvasColor c) {
    source(c);
    cairo_fill(cr);
  }

  bool ellipse_path(CanvasPoint centre, float rx, float ry) {
    if (!finite(centre) || !usable_width(rx) || !usable_width(ry) || rx < 1e-3f || ry < 1e-3f)
      return false;
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, D(centre.x), D(centre.y));
    cairo_scale(cr, D(rx), D(ry));
    cairo_arc(cr, 0.0, 0.0, 1.0, 0.0, 2.0 * std::numbers::pi);
    cairo_restore(cr);  // the path stays, in device space, so strokes are not distorted
    return true;
  }
};

CairoCanvas::CairoCanvas() : impl_(std::make_unique<Impl>()) {}
CairoCanvas::~CairoCanvas() = default;

void CairoCanvas::target(std::uint8_t* pixels, int width, int height, int stride) {
  const bool valid = pixels != nullptr && width >= 1 && height >= 1 && width <= kMaxSide &&
                     height <= kMaxSide && stride % 4 == 0 && stride / 4 >= width;
  impl_->attach(valid ? pixels : nullptr, width, height, stride);
  transform_ = CanvasTransform{};
  impl_->apply(transform_);
}

bool CairoCanvas::has_target() const { return impl_->has_target; }

void CairoCanvas::flush() {
  impl_->settle();
  cairo_surface_flush(impl_->surface);
}

void CairoCanvas::set_transform(const CanvasTransform& t) {
  impl_->settle();
  transform_ = t;
  impl_->apply(t);
}

void CairoCanvas::push_clip(const CanvasRect& r) {
  impl_->settle();
  cairo_t* cr = impl_->cr;
  cairo_save(cr);
  ++impl_->clips;
  cairo_new_path(cr);
  if (finite(r) && !impl_->singular) {
    rectangle(cr, r);
  } else {
    cairo_rectangle(cr, 0, 0, 0, 0);  // an unusable clip hides everything until it is popped
  }
  cairo_clip(cr);
}

void CairoCanvas::push_clip_rects(std::span<const CanvasRect> rects) {
  impl_->settle();
  cairo_t* cr = impl_->cr;
  cairo_save(cr);
  ++impl_->clips;
  cairo_new_path(cr);
  bool any = false;
  if (!impl_->singular)
    for (const CanvasRect& r : rects)
      if (finite(r)) {
        rectangle(cr, r);
        any = true;
      }
  if (!any) cairo_rectangle(cr, 0, 0, 0, 0);
  cairo_clip(cr);  // the default winding rule: overlapping rectangles add up
}

void CairoCanvas::pop_clip() {
  impl_->settle();
  if (impl_->clips == 0) return;
  --impl_->clips;
  cairo_restore(impl_->cr);
  impl_->apply(transform_);  // restore also brings back the transform of the push
}

void CairoCanvas::fill_rect(const CanvasRect& r, CanvasColor c) {
  // Nothing has changed the context since the batch's last rectangle.
  if (impl_->batch && c == impl_->batch_colour && finite(r)) {
    rectangle(impl_->cr, r);
    return;
  }
  if (!impl_->ready(transform_) || !finite(r)) return;
  cairo_new_path(impl_->cr);
  rectangle(impl_->cr, r);
  // Translucent rectangles are filled one by one, so overlaps add up as drawn.
  if (c.a >= 1.0f) {
    impl_->batch = true;
    impl_->batch_colour = c;
    return;
  }
  impl_->fill(c);
}

void CairoCanvas::stroke_rect(const CanvasRect& r, CanvasColor c, float width) {
  if (!impl_->ready(transform_) || !finite(r) || !usable_width(width)) return;
  cairo_new_path(impl_->cr);
  rectangle(impl_->cr, r);
  impl_->stroke(c, width);
}

void CairoCanvas::fill_rounded_rect(const CanvasRect& r, float radius, CanvasColor c) {
  if (!impl_->ready(transform_) || !finite(r) || !std::isfinite(radius)) return;
  cairo_new_path(impl_->cr);
  rounded_rect_path(impl_->cr, r, radius);
  impl_->fill(c);
}

void CairoCanvas::stroke_rounded_rect(const CanvasRect& r, float radius, CanvasColor c,
                                      float width) {
  if (!impl_->ready(transform_) || !finite(r) || !std::isfinite(radius) || !usable_width(width))
    return;
  cairo_new_path(impl_->cr);
  rounded_rect_path(impl_->cr, r, radius);
  impl_->stroke(c, width);
}

void CairoCanvas::fill_ellipse(CanvasPoint centre, float rx, float ry, CanvasColor c) {
  if (!impl_->ready(transform_) || !impl_->ellipse_path(centre, rx, ry)) return;
  impl_->fill(c);
}

void CairoCanvas::stroke_ellipse(CanvasPoint centre, float rx, float ry, CanvasColor c,
                                 float width) {
  if (!impl_->ready(transform_) || !usable_width(width) || !impl_->ellipse_path(centre, rx, ry))
    return;
  impl_->stroke(c, width);
}

void CairoCanvas::line(CanvasPoint a, CanvasPoint b, CanvasColor c, float width) {
  if (!impl_->ready(transform_) || !finite(a) || !finite(b) || !usable_width(width)) return;
  cairo_new_path(impl_->cr);
  move_to(impl_->cr, a);
  line_to(impl_->cr, b);
  impl_->stroke(c, width);
}

void CairoCanvas::polyline(const std::vector<CanvasPoint>& points, CanvasColor c, float width) {
  if (!impl_->ready(transform_) || points.size() < 2 || !usable_width(width)) return;
  cairo_t* cr = impl_->cr;
  cairo_new_path(cr);
  bool started = false;
  for (CanvasPoint p : points) {
    if (!finite(p)) continue;  // a bad point is left out rather than losing the whole line
    if (started) {
      line_to(cr, p);
    } else {
      move_to(cr, p);
      started = true;
    }
  }
  impl_->stroke(c, width);
}

void CairoCanvas::fill_path(const CanvasPath& path, CanvasColor c) {
  if (!impl_->ready(transform_) || !path_is_finite(path)) return;
  build_path(impl_->cr, path);
  impl_->fill(c);
}

void CairoCanvas::stroke_path(const CanvasPath& path, CanvasColor c, float width) {
  if (!impl_->ready(transform_) || !path_is_finite(path) || !usable_width(width)) return;
  build_path(impl_->cr, path);
  impl_->stroke(c, width);
}

std::unique_ptr<CanvasText> CairoCanvas::layout_text(std::string_view text,
                                                     const TextFormat& format, float max_width,
                                                     float max_height) {
  if (!(std::isfinite(format.size) && format.size > 0.0f && format.size <= 2000.0f))
    return nullptr;
  if (text.size() > kMaxTextBytes) text = text.substr(0, kMaxTextBytes);
  std::string key(text);
  key.push_back('\0');
  key += format.family;
  key.push_back('\0');
  key += format.locale;
  key.push_back('\0');
  append_bytes(key, format.size);
  append_bytes(key, format.weight);
  append_bytes(key, format.italic);
  append_bytes(key, format.horizontal);
  append_bytes(key, format.vertical);
  append_bytes(key, max_width);
  append_bytes(key, max_height);
  if (auto cached = impl_->layouts.find(key)) return std::make_unique<CairoText>(std::move(cached));

  // Pango wants valid UTF-8; a cut in the middle of a character or stray bytes become U+FFFD.
  gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  PangoLayout* layout = pango_layout_new(impl_->pango);
  pango_layout_set_text(layout, valid, -1);
  g_free(valid);

  PangoFontDescription* font = pango_font_description_new();
  const std::string families = font_families(format.family);
  pango_font_description_set_family(font, families.c_str());
  pango_font_description_set_absolute_size(font, D(format.size) * PANGO_SCALE);
  pango_font_description_set_weight(font,
                                    static_cast<PangoWeight>(std::clamp(format.weight, 100, 1000)));
  pango_font_description_set_style(font, format.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  if (format.family == "Impact") pango_font_description_set_stretch(font, PANGO_STRETCH_CONDENSED);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);

  const bool bounded = usable_width(max_width);
  if (bounded) {
    pango_layout_set_width(layout, static_cast<int>(std::lround(max_width * PANGO_SCALE)));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  }
  switch (format.horizontal) {
    case TextAlign::leading: pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT); break;
    case TextAlign::centre: pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER); break;
    case TextAlign::trailing: pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT); break;
  }

  auto laid = std::make_shared<LaidText>();
  laid->layout = layout;
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  laid->size = {static_cast<float>(logical.width) / PANGO_SCALE,
                static_cast<float>(logical.height) / PANGO_SCALE};
  // The text sits in a box max_width x max_height; vertical alignment places it in the box's
  // height, as horizontal alignment places each line in its width.
  if (usable_width(max_height)) {
    if (format.vertical == TextAlign::centre) laid->dy = (max_height - laid->size.height) / 2.0f;
    if (format.vertical == TextAlign::trailing) laid->dy = max_height - laid->size.height;
  }
  laid->dx = bounded ? 0.0f : -static_cast<float>(logical.x) / PANGO_SCALE;
  impl_->layouts.add(std::move(key), laid);
  return std::make_unique<CairoText>(std::move(laid));
}

void CairoCanvas::draw_text(const CanvasText& text, CanvasPoint origin, CanvasColor c) {
  const auto* cairo_text = dynamic_cast<const CairoText*>(&text);
  if (!cairo_text || !impl_->ready(transform_) || !finite(origin)) return;
  LaidText& laid = cairo_text->laid();
  cairo_t* cr = impl_->cr;
  cairo_new_path(cr);
  const double x = D(origin.x + laid.dx), y = D(origin.y + laid.dy);
  impl_->source(c);
  // Under a whole-pixel translation the text is the same coverage moved by whole pixels from
  // where it was first drawn, so the rasterised mask is reused instead of drawing the glyphs.
  const CanvasTransform& t = transform_;
  const bool shifted = t.m11 == 1.0f && t.m22 == 1.0f && t.m12 == 0.0f && t.m21 == 0.0f &&
                       std::floor(t.dx) == t.dx && std::floor(t.dy) == t.dy;
  if (shifted && !laid.mask_failed) {
    const double px = x + D(t.dx), py = y + D(t.dy);
    const double fx = px - std::floor(px), fy = py - std::floor(py);
    if (!laid.mask && !make_mask(laid, fx, fy)) laid.mask_failed = true;
    if (laid.mask && std::fabs(fx - laid.frac_x) < 1e-3 && std::fabs(fy - laid.frac_y) < 1e-3) {
      cairo_mask_surface(cr, laid.mask, std::floor(px) - D(t.dx) + laid.ink_x,
                         std::floor(py) - D(t.dy) + laid.ink_y);
      return;
    }
  }
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, laid.layout);
}

CanvasRect CairoCanvas::text_ink(const CanvasText& text, CanvasPoint origin) const {
  const auto* cairo_text = dynamic_cast<const CairoText*>(&text);
  if (!cairo_text) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    return {-inf, -inf, inf, inf};
  }
  const LaidText& laid = cairo_text->laid();
  if (!laid.layout) return {origin.x, origin.y, origin.x, origin.y};
  PangoRectangle ink;
  pango_layout_get_pixel_extents(laid.layout, &ink, nullptr);
  const float x = origin.x + laid.dx + static_cast<float>(ink.x),
              y = origin.y + laid.dy + static_cast<float>(ink.y);
  return {x - 1.0f, y - 1.0f, x + static_cast<float>(ink.width) + 1.0f,
          y + static_cast<float>(ink.height) + 1.0f};
}

void CairoCanvas::draw_bitmap(const CanvasBitmap& bitmap, const CanvasRect& dest, float opacity,
                              bool smooth) {
  if (!impl_->ready(transform_) || !finite(dest)) return;
  if (bitmap.width < 1 || bitmap.height < 1 || bitmap.width > kMaxSide || bitmap.height > kMaxSide)
    return;
  const auto stride = static_cast<std::size_t>(bitmap.width) * 4;
  if (bitmap.bgra.size() < stride * static_cast<std::size_t>(bitmap.height)) return;
  const double w = D(dest.right) - D(dest.left), h = D(dest.bottom) - D(dest.top);
  if (!(std::fabs(w) > 1e-3 && std::fabs(h) > 1e-3)) return;

  // Cairo only reads a source surface; the const_cast never leads to a write.
  cairo_surface_t* image = cairo_image_surface_create_for_data(
      const_cast<std::uint8_t*>(bitmap.bgra.data()), CAIRO_FORMAT_ARGB32, bitmap.width,
      bitmap.height, static_cast<int>(stride));
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return;
  }
  cairo_t* cr = impl_->cr;
  cairo_save(cr);
  cairo_new_path(cr);
  cairo_rectangle(cr, D(dest.left), D(dest.top), w, h);
  cairo_clip(cr);
  cairo_translate(cr, D(dest.left), D(dest.top));
  cairo_scale(cr, w / bitmap.width, h / bitmap.height);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_pattern_t* pattern = cairo_get_source(cr);
  cairo_pattern_set_filter(pattern, smooth ? CAIRO_FILTER_BILINEAR : CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);  // edges stay solid when smoothed
  cairo_paint_with_alpha(cr, channel(opacity));
  cairo_restore(cr);
  cairo_surface_destroy(image);
}

}  // namespace perchkin
