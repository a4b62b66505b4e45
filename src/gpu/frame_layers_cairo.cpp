#include "gpu/frame_layers_cairo.h"

#include <algorithm>
#include <cstring>

#include "gpu/overlay_2d.h"

namespace perchkin {

namespace {

std::size_t tile_index(const TileGrid& g, int column, int row) {
  return static_cast<std::size_t>(row) * static_cast<std::size_t>(g.columns) +
         static_cast<std::size_t>(column);
}

PixelRect tile_rect(const TileGrid& g, int column, int row) {
  return {column * kTileSize, row * kTileSize, std::min(g.width, (column + 1) * kTileSize),
          std::min(g.height, (row + 1) * kTileSize)};
}

// Passes every call on and marks the tiles each shape may reach: its bounds in layer pixels,
// with the stroke's half width and a pixel of antialiasing to spare. Only those tiles can hold
// what the pass drew, so only they are searched for pixels afterwards.
class ReachCanvas final : public Canvas {
 public:
  ReachCanvas(CairoCanvas& inner, TileGrid& reached, std::vector<PixelRect>& boxes)
      : inner_(inner), reached_(reached), boxes_(boxes), t_(inner.transform()) {}

  void set_transform(const CanvasTransform& t) override {
    t_ = t;
    inner_.set_transform(t);
  }
  CanvasTransform transform() const override { return inner_.transform(); }
  void push_clip(const CanvasRect& r) override { inner_.push_clip(r); }
  void pop_clip() override { inner_.pop_clip(); }
  void fill_rect(const CanvasRect& r, CanvasColor c) override {
    reach(r, 0.0f);
    inner_.fill_rect(r, c);
  }
  void stroke_rect(const CanvasRect& r, CanvasColor c, float w) override {
    reach(r, w / 2);
    inner_.stroke_rect(r, c, w);
  }
  void fill_rounded_rect(const CanvasRect& r, float radius, CanvasColor c) override {
    reach(r, 0.0f);
    inner_.fill_rounded_rect(r, radius, c);
  }
  void stroke_rounded_rect(const CanvasRect& r, float radius, CanvasColor c, float w) override {
    reach(r, w / 2);
    inner_.stroke_rounded_rect(r, radius, c, w);
  }
  void fill_ellipse(CanvasPoint p, float rx, float ry, CanvasColor c) override {
    reach({p.x - rx, p.y - ry, p.x + rx, p.y + ry}, 0.0f);
    inner_.fill_ellipse(p, rx, ry, c);
  }
  void stroke_ellipse(CanvasPoint p, float rx, float ry, CanvasColor c, float w) override {
    reach({p.x - rx, p.y - ry, p.x + rx, p.y + ry}, w / 2);
    inner_.stroke_ellipse(p, rx, ry, c, w);
  }
  void line(CanvasPoint a, CanvasPoint b, CanvasColor c, float w) override {
    reach({std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)}, w / 2);
    inner_.line(a, b, c, w);
  }
  void polyline(const std::vector<CanvasPoint>& p, CanvasColor c, float w) override {
    reach_points(p, w / 2);
    inner_.polyline(p, c, w);
  }
  void fill_path(const CanvasPath& p, CanvasColor c) override {
    reach_points(p.points, 0.0f);  // a cubic stays inside its control points
    inner_.fill_path(p, c);
  }
  void stroke_path(const CanvasPath& p, CanvasColor c, float w) override {
    reach_points(p.points, w / 2);
    inner_.stroke_path(p, c, w);
  }
  std::unique_ptr<CanvasText> layout_text(std::string_view text, const TextFormat& f, float w,
                                          float h) override {
    return inner_.layout_text(text, f, w, h);
  }
  void draw_text(const CanvasText& t, CanvasPoint o, CanvasColor c) override {
    reach(inner_.text_ink(t, o), 0.0f);
    inner_.draw_text(t, o, c);
  }
  void draw_bitmap(const CanvasBitmap& b, const CanvasRect& d, float o, bool smooth) override {
    reach(d, 0.0f);
    inner_.draw_bitmap(b, d, o, smooth);
  }

 private:
  // `r` (either way round) grown by `pad`, through the transform, and a pixel more.
  void reach(const CanvasRect& r, float pad) {
    const float l = std::min(r.left, r.right) - pad, t = std::min(r.top, r.bottom) - pad;
    const float rr = std::max(r.left, r.right) + pad, b = std::max(r.top, r.bottom) + pad;
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool first = true;
    for (const CanvasPoint p : {CanvasPoint{l, t}, CanvasPoint{rr, t}, CanvasPoint{l, b},
                                CanvasPoint{rr, b}}) {
      const float x = t_.m11 * p.x + t_.m21 * p.y + t_.dx, y = t_.m12 * p.x + t_.m22 * p.y + t_.dy;
      x0 = first ? x : std::min(x0, x), x1 = first ? x : std::max(x1, x);
      y0 = first ? y : std::min(y0, y), y1 = first ? y : std::max(y1, y);
      first = false;
    }
    // std::min and max drop a NaN; a non-finite corner marks every tile instead.
    const float sum = l + t + rr + b + x0 + y0 + x1 + y1;
    if (!std::isfinite(sum)) return all();
    mark(reached_, x0 - 1.0f, y0 - 1.0f, x1 + 1.0f, y1 + 1.0f);
    const auto w = static_cast<float>(reached_.width), h = static_cast<float>(reached_.height);
    const float bl = std::max(0.0f, std::floor(x0 - 1.0f)), bt = std::max(0.0f, std::floor(y0 - 1.0f));
    const float br = std::min(w, std::ceil(x1 + 1.0f)), bb = std::min(h, std::ceil(y1 + 1.0f));
    if (bl < br && bt < bb)
      add({static_cast<int>(bl), static_cast<int>(bt), static_cast<int>(br), static_cast<int>(bb)});
  }
  // The cells of a pixel map and a shape's parts come one after another: a box that overlaps
  // or touches the last one joins it when that wastes little.
  void add(const PixelRect& b) {
    if (!boxes_.empty()) {
      PixelRect& last = boxes_.back();
      const PixelRect u{std::min(last.left, b.left), std::min(last.top, b.top),
                        std::max(last.right, b.right), std::max(last.bottom, b.bottom)};
      const auto area = [](const PixelRect& r) {
        return static_cast<std::int64_t>(r.right - r.left) * (r.bottom - r.top);
      };
      if (area(u) <= area(last) + area(b) + 64) {
        last = u;
        return;
      }
    }
    boxes_.push_back(b);
  }
  void all() {
    mark_all(reached_);
    boxes_.push_back({0, 0, reached_.width, reached_.height});
  }
  void reach_points(const std::vector<CanvasPoint>& points, float pad) {
    if (points.empty()) return;
    CanvasRect box{points[0].x, points[0].y, points[0].x, points[0].y};
    bool finite = true;
    for (const CanvasPoint& p : points) {
      finite = finite && std::isfinite(p.x) && std::isfinite(p.y);
      box = {std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x),
             std::max(box.bottom, p.y)};
    }
    if (!finite) return all();
    reach(box, pad);
  }

  CairoCanvas& inner_;
  TileGrid& reached_;
  std::vector<PixelRect>& boxes_;
  CanvasTransform t_;
};

}  // namespace

void LayerImage::resize(int width, int height) {
  width_ = std::max(1, width);
  height_ = std::max(1, height);
  pixels_.reset(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4);
  tiles_ = new_grid(width_, height_);
  stale_.clear();
  base_key_ = 0;
}

void LayerImage::release() {
  pixels_.release();
  width_ = height_ = 0;
  tiles_ = {};
  stale_.clear();
  base_key_ = 0;
}

void LayerImage::clear(std::span<const PixelRect> rects) {
  for (const PixelRect& r0 : rects) {
    const PixelRect r = intersect(r0, {0, 0, width_, height_});
    if (is_empty(r)) continue;
    for (int row = r.top / kTileSize; row <= (r.bottom - 1) / kTileSize; ++row)
      for (int col = r.left / kTileSize; col <= (r.right - 1) / kTileSize; ++col) {
        if (tiles_.tiles[tile_index(tiles_, col, row)] == 0) continue;
        const PixelRect tile = tile_rect(tiles_, col, row);
        const PixelRect part = intersect(tile, r);
        for (int y = part.top; y < part.bottom; ++y)
          std::memset(pixels_.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                        static_cast<std::size_t>(part.left)) * 4,
                      0, static_cast<std::size_t>(part.right - part.left) * 4);
        // Only a tile wholly inside the rectangle is known to be empty now.
        if (part == tile) tiles_.tiles[tile_index(tiles_, col, row)] = 0;
      }
  }
}

void LayerImage::restore(std::span<const PixelRect> rects, const LayerImage* base,
                         std::uint64_t base_key) {
  if (base && !same_size(*base)) base = nullptr, base_key = 0;
  if (!base) base_key = 0;
  if (base_key != base_key_) {
    // What the layer matched is gone: all of it may differ from the new base.
    stale_.assign(1, {0, 0, width_, height_});
    base_key_ = base_key;
  }
  const PixelRect whole{0, 0, width_, height_};
  std::size_t kept = 0;
  for (const PixelRect& box : stale_) {
    bool covered = false;
    for (const PixelRect& r0 : rects) {
      const PixelRect r = intersect(r0, whole);
      const PixelRect part = intersect(box, r);
      if (is_empty(part)) continue;
      covered = covered || part == box;
      // Where neither this layer nor the base holds a pixel there is nothing to put back, and
      // writing zeros there would make untouched pages resident: runs of the other tiles only.
      const auto holds = [&](int col, int row) {
        const std::size_t i = tile_index(tiles_, col, row);
        return tiles_.tiles[i] != 0 || (base && base->tiles_.tiles[i] != 0);
      };
      const int last = (part.right - 1) / kTileSize;
      for (int row = part.top / kTileSize; row <= (part.bottom - 1) / kTileSize; ++row) {
        const int y0 = std::max(part.top, row * kTileSize);
        const int y1 = std::min(part.bottom, (row + 1) * kTileSize);
        for (int col = part.left / kTileSize; col <= last;) {
          if (!holds(col, row)) {
            ++col;
            continue;
          }
          int end = col + 1;
          while (end <= last && holds(end, row)) ++end;
          const int x0 = std::max(part.left, col * kTileSize);
          const int x1 = std::min(part.right, end * kTileSize);
          col = end;
          const auto bytes = static_cast<std::size_t>(x1 - x0) * 4;
          for (int y = y0; y < y1; ++y) {
            const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                    static_cast<std::size_t>(x0)) * 4;
            if (base) std::memcpy(pixels_.data() + at, base->pixels_.data() + at, bytes);
            else std::memset(pixels_.data() + at, 0, bytes);
          }
        }
      }
    }
    if (!covered) stale_[kept++] = box;
  }
  stale_.resize(kept);
  // Inside `rects` the tiles now hold what the base's do.
  for (const PixelRect& r0 : rects) {
    const PixelRect r = intersect(r0, whole);
    if (is_empty(r)) continue;
    for (int row = r.top / kTileSize; row <= (r.bottom - 1) / kTileSize; ++row)
      for (int col = r.left / kTileSize; col <= (r.right - 1) / kTileSize; ++col) {
        const std::size_t i = tile_index(tiles_, col, row);
        const std::uint8_t from_base = base ? base->tiles_.tiles[i] : std::uint8_t{0};
        if (intersect(tile_rect(tiles_, col, row), r) == tile_rect(tiles_, col, row))
          tiles_.tiles[i] = from_base;
        else tiles_.tiles[i] |= from_base;
      }
  }
}

void LayerImage::drew(std::span<const PixelRect> boxes) {
  // Many small boxes cost more to keep apart than the whole layer costs to restore once.
  constexpr std::size_t kMostBoxes = 4096;
  if (stale_.size() + boxes.size() > kMostBoxes) {
    stale_.assign(1, {0, 0, width_, height_});
    return;
  }
  stale_.insert(stale_.end(), boxes.begin(), boxes.end());
}

bool LayerImage::tile_has_pixels(int column, int row, const PixelRect& within) const {
  const PixelRect part = intersect(tile_rect(tiles_, column, row), within);
  const auto bytes = static_cast<std::size_t>(part.right - part.left) * 4;
  for (int y = part.top; y < part.bottom; ++y) {
    const std::uint8_t* p = pixels_.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                              static_cast<std::size_t>(part.left)) * 4;
    std::uint64_t any = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
      std::uint64_t w = 0;
      std::memcpy(&w, p + i, 8);
      any |= w;
    }
    for (; i < bytes; ++i) any |= p[i];
    if (any != 0) return true;
  }
  return false;
}

namespace {

// Appends `run` to `out`, merged with a run just above it (from `first` on) of the same columns.
void add_run(std::vector<PixelRect>& out, std::size_t first, const PixelRect& run) {
  auto above = std::find_if(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                            [&](const PixelRect& o) {
                              return o.left == run.left && o.right == run.right &&
                                     o.bottom == run.top;
                            });
  if (above != out.end()) above->bottom = run.bottom;
  else out.push_back(run);
}

}  // namespace

std::vector<PixelRect> LayerImage::occupied(std::span<const PixelRect> rects,
                                            const TileGrid* reached, const LayerImage* base,
                                            std::vector<PixelRect>* rest) {
  if (reached && (reached->columns != tiles_.columns || reached->rows != tiles_.rows))
    reached = nullptr;
  if (base && !same_size(*base)) base = nullptr;
  std::vector<PixelRect> out;
  for (const PixelRect& r0 : rects) {
    const PixelRect r = intersect(r0, {0, 0, width_, height_});
    if (is_empty(r)) continue;
    const std::size_t first = out.size();
    const std::size_t first_rest = rest ? rest->size() : 0;
    const int last = (r.right - 1) / kTileSize;
    for (int row = r.top / kTileSize; row <= (r.bottom - 1) / kTileSize; ++row) {
      int run_start = r.left / kTileSize;
      bool run_drawn = false;
      for (int col = r.left / kTileSize; col <= last + 1; ++col) {
        bool drawn = false;
        if (col <= last) {
          const std::size_t i = tile_index(tiles_, col, row);
          drawn = (base && base->tiles_.tiles[i] != 0) ||
                  ((!reached || reached->tiles[i] != 0) && tile_has_pixels(col, row, r));
          if (drawn) tiles_.tiles[i] = 1;
        }
        if (col == r.left / kTileSize) run_drawn = drawn;
        if (col <= last && drawn == run_drawn) continue;
        const PixelRect run = intersect(
            {run_start * kTileSize, row * kTileSize, col * kTileSize, (row + 1) * kTileSize}, r);
        if (run_drawn) add_run(out, first, run);
        else if (rest) add_run(*rest, first_rest, run);
        run_start = col;
        run_drawn = drawn;
      }
    }
  }
  return out;
}

void FrameLayers::resize(int width, int height) {
  below_.resize(width, height);
  above_.resize(width, height);
  width_ = below_.width(), height_ = below_.height();
  drawings_.release();
  reached_ = new_grid(width_, height_);
  drawings_valid_ = false;
}

std::size_t FrameLayers::cached_drawings(const FrameInput& in, const PixelRect& buffer) {
  if (!in.scene) return 0;
  const Scene& scene = *in.scene;
  const std::size_t count = finished_prefix(scene);
  if (count == 0) {
    if (drawings_.held()) drawings_.release();
    drawings_valid_ = false;
    return 0;
  }
  std::uint64_t key = 0x9E3779B97F4A7C15ull;
  const auto mix = [&key](std::uint64_t v) { key ^= v + 0x9E3779B97F4A7C15ull + (key << 6) + (key >> 2); };
  mix(count);
  mix(static_cast<std::uint64_t>(static_cast<std::uint32_t>(buffer.left)));
  mix(static_cast<std::uint64_t>(static_cast<std::uint32_t>(buffer.top)));
  for (std::size_t i = 0; i < count; ++i) {
    const auto it = scene.drawings.find(scene.order[i]);
    mix(scene.order[i]);
    if (it == scene.drawings.end()) continue;
    mix(it->second.version);
    mix(it->second.points.size());
  }
  if (drawings_valid_ && key == drawings_key_) return count;
  if (!drawings_.held()) drawings_.resize(width_, height_);
  const PixelRect all{0, 0, drawings_.width(), drawings_.height()};
  drawings_.clear({&all, 1});
  canvas_.target(drawings_.data(), drawings_.width(), drawings_.height(), drawings_.stride());
  canvas_.set_transform(
      canvas_translate(static_cast<float>(-buffer.left), static_cast<float>(-buffer.top)));
  draw_drawings(canvas_, scene, 0, count);
  canvas_.flush();
  canvas_.release_target();
  drawings_.occupied({&all, 1});  // notes where it holds pixels
  drawings_key_ = key;
  ++drawings_serial_;
  drawings_valid_ = true;
  return count;
}

void FrameLayers::draw(FrameTarget& target, const FrameInput& in,
                       std::span<const BuddyInstance> instances, bool gpu_pass,
                       const Frame& constants, const PixelRect& buffer,
                       std::span<const PixelRect> rects) {
  below(target, in, gpu_pass ? instances : std::span<const BuddyInstance>(), constants, buffer,
        rects);
  if (gpu_pass) target.instances(constants, instances, rects);
  above(target, in, instances, buffer, rects);
}

void FrameLayers::below(FrameTarget& target, const FrameInput& in,
                        std::span<const BuddyInstance> instances, const Frame& constants,
                        const PixelRect& buffer, std::span<const PixelRect> rects) {
  composited_ = 0;
  // Pass one is the first thing in the dirty rectangles: where it holds pixels they replace the
  // target's, and only the rest is cleared.
  std::vector<PixelRect> rest;
  // The target may draw the bodies while pass one is drawn in its own layer.
  if (!instances.empty()) target.bodies_first(constants, instances, rects);
  const std::vector<PixelRect> drawn = draw_layer(below_, in, instances, true, buffer, rects, &rest);
  if (!rest.empty()) target.clear(rest);
  if (!drawn.empty()) target.composite_over_clear(below_.data(), below_.stride(), drawn);
  count(drawn);
}

void FrameLayers::above(FrameTarget& target, const FrameInput& in,
                        std::span<const BuddyInstance> instances, const PixelRect& buffer,
                        std::span<const PixelRect> rects) {
  // Pass two is drawn in a layer of its own, so while the target may still be drawing the
  // buddies.
  const std::vector<PixelRect> drawn = draw_layer(above_, in, instances, false, buffer, rects, nullptr);
  if (!instances.empty()) target.instances_done();
  if (!drawn.empty()) target.composite(above_.data(), above_.stride(), drawn);
  count(drawn);
}

void FrameLayers::count(std::span<const PixelRect> composited) {
  for (const PixelRect& r : composited)
    composited_ += static_cast<std::int64_t>(r.right - r.left) * (r.bottom - r.top);
}

std::vector<PixelRect> FrameLayers::draw_layer(LayerImage& layer, const FrameInput& in,
                                               std::span<const BuddyInstance> instances,
                                               bool first, const PixelRect& buffer,
                                               std::span<const PixelRect> rects,
                                               std::vector<PixelRect>* rest) {
  // Before the layer is targeted: stroking the cache uses the same canvas.
  const std::size_t cached = first ? cached_drawings(in, buffer) : 0;
  const LayerImage* base = cached > 0 ? &drawings_ : nullptr;
  layer.restore(rects, base, base ? drawings_serial_ : 0);
  canvas_.target(layer.data(), layer.width(), layer.height(), layer.stride());
  // The passes draw in overlay pixels; the buffer's top-left is at `buffer` on the overlay.
  canvas_.set_transform(
      canvas_translate(static_cast<float>(-buffer.left), static_cast<float>(-buffer.top)));
  clip_.clear();
  for (const PixelRect& r : rects)
    clip_.push_back({static_cast<float>(buffer.left + r.left), static_cast<float>(buffer.top + r.top),
                     static_cast<float>(buffer.left + r.right),
                     static_cast<float>(buffer.top + r.bottom)});
  canvas_.push_clip_rects(clip_);
  std::fill(reached_.tiles.begin(), reached_.tiles.end(), std::uint8_t{0});
  boxes_.clear();
  ReachCanvas c(canvas_, reached_, boxes_);
  if (first) draw_pass_one(c, in, cached);
  else draw_pass_two(c, in, instances);
  canvas_.pop_clip();
  canvas_.flush();
  canvas_.release_target();
  layer.drew(boxes_);
  return layer.occupied(rects, &reached_, base, rest);
}

}  // namespace perchkin
