#include "gpu/frame_layers_cairo.h"

#include <algorithm>
#include <cstring>

#include "gpu/overlay_2d.h"

namespace perchkin {

namespace {

PixelRect intersect(const PixelRect& a, const PixelRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

bool empty(const PixelRect& r) { return r.left >= r.right || r.top >= r.bottom; }

std::size_t tile_index(const TileGrid& g, int column, int row) {
  return static_cast<std::size_t>(row) * static_cast<std::size_t>(g.columns) +
         static_cast<std::size_t>(column);
}

PixelRect tile_rect(const TileGrid& g, int column, int row) {
  return {column * kTileSize, row * kTileSize, std::min(g.width, (column + 1) * kTileSize),
          std::min(g.height, (row + 1) * kTileSize)};
}

// Passes every call on and notes whether anything was drawn, so a pass that drew nothing costs
// no scan of its layer.
class TouchCanvas final : public Canvas {
 public:
  explicit TouchCanvas(Canvas& inner) : inner_(inner) {}
  bool touched = false;

  void set_transform(const CanvasTransform& t) override { inner_.set_transform(t); }
  CanvasTransform transform() const override { return inner_.transform(); }
  void push_clip(const CanvasRect& r) override { inner_.push_clip(r); }
  void pop_clip() override { inner_.pop_clip(); }
  void fill_rect(const CanvasRect& r, CanvasColor c) override { touch(), inner_.fill_rect(r, c); }
  void stroke_rect(const CanvasRect& r, CanvasColor c, float w) override {
    touch(), inner_.stroke_rect(r, c, w);
  }
  void fill_rounded_rect(const CanvasRect& r, float radius, CanvasColor c) override {
    touch(), inner_.fill_rounded_rect(r, radius, c);
  }
  void stroke_rounded_rect(const CanvasRect& r, float radius, CanvasColor c, float w) override {
    touch(), inner_.stroke_rounded_rect(r, radius, c, w);
  }
  void fill_ellipse(CanvasPoint p, float rx, float ry, CanvasColor c) override {
    touch(), inner_.fill_ellipse(p, rx, ry, c);
  }
  void stroke_ellipse(CanvasPoint p, float rx, float ry, CanvasColor c, float w) override {
    touch(), inner_.stroke_ellipse(p, rx, ry, c, w);
  }
  void line(CanvasPoint a, CanvasPoint b, CanvasColor c, float w) override {
    touch(), inner_.line(a, b, c, w);
  }
  void polyline(const std::vector<CanvasPoint>& p, CanvasColor c, float w) override {
    touch(), inner_.polyline(p, c, w);
  }
  void fill_path(const CanvasPath& p, CanvasColor c) override { touch(), inner_.fill_path(p, c); }
  void stroke_path(const CanvasPath& p, CanvasColor c, float w) override {
    touch(), inner_.stroke_path(p, c, w);
  }
  std::unique_ptr<CanvasText> layout_text(std::string_view text, const TextFormat& f, float w,
                                          float h) override {
    return inner_.layout_text(text, f, w, h);
  }
  void draw_text(const CanvasText& t, CanvasPoint o, CanvasColor c) override {
    touch(), inner_.draw_text(t, o, c);
  }
  void draw_bitmap(const CanvasBitmap& b, const CanvasRect& d, float o, bool smooth) override {
    touch(), inner_.draw_bitmap(b, d, o, smooth);
  }

 private:
  void touch() { touched = true; }
  Canvas& inner_;
};

}  // namespace

void LayerImage::resize(int width, int height) {
  width_ = std::max(1, width);
  height_ = std::max(1, height);
  pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4, 0);
  tiles_ = new_grid(width_, height_);
}

void LayerImage::clear(std::span<const PixelRect> rects) {
  for (const PixelRect& r0 : rects) {
    const PixelRect r = intersect(r0, {0, 0, width_, height_});
    if (empty(r)) continue;
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

std::vector<PixelRect> LayerImage::occupied(std::span<const PixelRect> rects) {
  std::vector<PixelRect> out;
  for (const PixelRect& r0 : rects) {
    const PixelRect r = intersect(r0, {0, 0, width_, height_});
    if (empty(r)) continue;
    const std::size_t first = out.size();
    for (int row = r.top / kTileSize; row <= (r.bottom - 1) / kTileSize; ++row) {
      int run_start = -1;
      const int last = (r.right - 1) / kTileSize;
      for (int col = r.left / kTileSize; col <= last + 1; ++col) {
        const bool drawn = col <= last && tile_has_pixels(col, row, r);
        if (drawn) tiles_.tiles[tile_index(tiles_, col, row)] = 1;
        if (drawn && run_start < 0) run_start = col;
        if (!drawn && run_start >= 0) {
          const PixelRect run = intersect(
              {run_start * kTileSize, row * kTileSize, col * kTileSize, (row + 1) * kTileSize}, r);
          // Merge with the run just above when it spans the same columns.
          auto above = std::find_if(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                                    [&](const PixelRect& o) {
                                      return o.left == run.left && o.right == run.right &&
                                             o.bottom == run.top;
                                    });
          if (above != out.end()) above->bottom = run.bottom;
          else out.push_back(run);
          run_start = -1;
        }
      }
    }
  }
  return out;
}

void FrameLayers::resize(int width, int height) {
  below_.resize(width, height);
  above_.resize(width, height);
  drawings_.resize(width, height);
  drawings_valid_ = false;
}

std::size_t FrameLayers::cached_drawings(const FrameInput& in, const PixelRect& buffer) {
  if (!in.scene) return 0;
  const Scene& scene = *in.scene;
  const std::size_t count = finished_prefix(scene);
  if (count == 0) return 0;
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
  const PixelRect all{0, 0, drawings_.width(), drawings_.height()};
  drawings_.clear({&all, 1});
  canvas_.target(drawings_.data(), drawings_.width(), drawings_.height(), drawings_.stride());
  canvas_.set_transform(
      canvas_translate(static_cast<float>(-buffer.left), static_cast<float>(-buffer.top)));
  draw_drawings(canvas_, scene, 0, count);
  canvas_.flush();
  canvas_.release_target();
  drawn_tiles_ = drawings_.occupied({&all, 1});
  drawings_key_ = key;
  drawings_valid_ = true;
  return count;
}

void FrameLayers::copy_drawings(LayerImage& layer, std::span<const PixelRect> rects) {
  for (const PixelRect& tile : drawn_tiles_)
    for (const PixelRect& r : rects) {
      const PixelRect part = intersect(tile, r);
      if (empty(part)) continue;
      for (int y = part.top; y < part.bottom; ++y) {
        const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(layer.width()) +
                                static_cast<std::size_t>(part.left)) * 4;
        std::memcpy(layer.data() + at, drawings_.data() + at,
                    static_cast<std::size_t>(part.right - part.left) * 4);
      }
    }
}

void FrameLayers::draw(FrameTarget& target, const FrameInput& in,
                       std::span<const BuddyInstance> instances, bool gpu_pass,
                       const Frame& constants, const PixelRect& buffer,
                       std::span<const PixelRect> rects) {
  composited_ = 0;
  target.clear(rects);
  draw_layer(below_, target, in, instances, true, buffer, rects);
  if (gpu_pass) target.instances(constants, instances, rects);
  draw_layer(above_, target, in, instances, false, buffer, rects);
}

void FrameLayers::draw_layer(LayerImage& layer, FrameTarget& target, const FrameInput& in,
                             std::span<const BuddyInstance> instances, bool first,
                             const PixelRect& buffer, std::span<const PixelRect> rects) {
  // Before the layer is targeted: stroking the cache uses the same canvas.
  const std::size_t cached = first ? cached_drawings(in, buffer) : 0;
  layer.clear(rects);
  if (cached > 0) copy_drawings(layer, rects);
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
  TouchCanvas c(canvas_);
  if (first) draw_pass_one(c, in, cached);
  else draw_pass_two(c, in, instances);
  canvas_.pop_clip();
  canvas_.flush();
  canvas_.release_target();
  if (!c.touched && cached == 0) return;
  const std::vector<PixelRect> drawn = layer.occupied(rects);
  if (drawn.empty()) return;
  // Pass one is the first thing drawn in the cleared rectangles.
  if (first) target.composite_over_clear(layer.data(), layer.stride(), drawn);
  else target.composite(layer.data(), layer.stride(), drawn);
  for (const PixelRect& r : drawn)
    composited_ += static_cast<std::int64_t>(r.right - r.left) * (r.bottom - r.top);
}

}  // namespace perchkin
