// The drawing of one frame on this desktop, whatever presents it: the first 2D pass is drawn by
// Cairo into a layer of premultiplied BGRA memory and replaces the target's pixels where it
// holds any (the rest of the dirty rectangles is cleared), the GPU pass draws the buddies, and
// the second 2D pass is composited over them. Each pass runs once over all dirty rectangles
// (one clip made of them), and a layer reaches the target only where its 128-pixel tiles hold
// something, so a changed bubble uploads its own few tiles and not the whole dirty area. Only
// the tiles a pass's shapes reach are searched for pixels.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "gpu/canvas_cairo.h"
#include "gpu/instance.h"
#include "gpu/presenter.h"
#include "gpu/renderer.h"
#include "gpu/zero_pages_x11.h"
#include "region/tile_grid.h"

namespace perchkin {

// What a frame is drawn into: the OpenGL pass's target, or the software presenter's memory.
// Rectangles are buffer pixels, clipped to the buffer.
class FrameTarget {
 public:
  virtual ~FrameTarget() = default;
  virtual void clear(std::span<const PixelRect> rects) = 0;
  // Premultiplied BGRA the buffer's size, `stride` bytes a row, drawn "over" inside `rects`.
  virtual void composite(const std::uint8_t* bgra, int stride,
                         std::span<const PixelRect> rects) = 0;
  // The layer's pixels replace the target's inside `rects` (as a clear, then "over" would).
  virtual void composite_over_clear(const std::uint8_t* bgra, int stride,
                                    std::span<const PixelRect> rects) {
    clear(rects);
    composite(bgra, stride, rects);
  }
  // A target may start on the buddies' bodies (opaque, so what lies under them cannot show)
  // before the first 2D layer is made; then it returns true, its clear() and
  // composite_over_clear() leave the pixels under bodies as they are, and instances() draws
  // only what lies under the bodies. The arguments stay alive until instances_done().
  virtual bool bodies_first(const Frame&, std::span<const BuddyInstance>, std::span<const PixelRect>) {
    return false;
  }
  // The buddies inside `rects`. A target may go on drawing them after returning, until
  // instances_done(); meanwhile nothing else is written to it and the arguments stay alive.
  virtual void instances(const Frame& frame, std::span<const BuddyInstance> list,
                         std::span<const PixelRect> rects) = 0;
  virtual void instances_done() {}
};

// One 2D layer: its memory, and which of its tiles may hold drawn pixels (the rest are zero).
// Its pages take memory only where something was drawn since the last resize.
class LayerImage {
 public:
  void resize(int width, int height);
  // No memory at all until the next resize.
  void release();
  bool held() const { return pixels_.data() != nullptr; }
  std::uint8_t* data() { return pixels_.data(); }
  const std::uint8_t* data() const { return pixels_.data(); }
  int width() const { return width_; }
  int height() const { return height_; }
  int stride() const { return width_ * 4; }

  // Zeroes the occupied tiles inside `rects`, before they are drawn again.
  void clear(std::span<const PixelRect> rects);
  // Makes the layer inside `rects` what `base` (an image this size) holds, or empty without
  // one, before a pass draws there again. `base_key` names the base's content (0: none): only
  // the boxes drawn since the layer last matched that content are copied or cleared.
  void restore(std::span<const PixelRect> rects, const LayerImage* base, std::uint64_t base_key);
  // Boxes a pass drew in (pixels of this layer, clipped to it): restored before the next one.
  void drew(std::span<const PixelRect> boxes);
  // After drawing inside `rects`: notes the tiles there that hold a pixel and returns their
  // parts inside `rects`, as row runs merged down the rows. With `reached`, only the tiles it
  // marks are searched (the others hold nothing drawn since the clear), and those `base` holds
  // pixels in count as drawn unsearched. With `rest`, the parts of `rects` left out go there.
  std::vector<PixelRect> occupied(std::span<const PixelRect> rects,
                                  const TileGrid* reached = nullptr,
                                  const LayerImage* base = nullptr,
                                  std::vector<PixelRect>* rest = nullptr);

 private:
  bool tile_has_pixels(int column, int row, const PixelRect& within) const;
  bool same_size(const LayerImage& other) const {
    return other.width_ == width_ && other.height_ == height_;
  }

  int width_ = 0, height_ = 0;
  ZeroPages pixels_;
  TileGrid tiles_;  // 1: the tile may hold drawn pixels
  // Outside these boxes the layer holds what its base named `base_key_` holds.
  std::vector<PixelRect> stale_;
  std::uint64_t base_key_ = 0;
};

class FrameLayers {
 public:
  // The buffer's size in pixels; the layers become empty.
  void resize(int width, int height);
  // The canvas both passes draw with; without a frame it measures text.
  CairoCanvas& canvas() { return canvas_; }

  // One frame inside `rects`: clear, pass one, the GPU pass (when `gpu_pass`), pass two. The
  // buffer's top-left sits at (`buffer.left`, `buffer.top`) on the overlay.
  void draw(FrameTarget& target, const FrameInput& in, std::span<const BuddyInstance> instances,
            bool gpu_pass, const Frame& constants, const PixelRect& buffer,
            std::span<const PixelRect> rects);
  // The same in its steps: the clear and pass one, then (after the target was given the
  // buddies, when there are any) pass two. `instances` and `rects` stay alive in between.
  void below(FrameTarget& target, const FrameInput& in, std::span<const BuddyInstance> instances,
             const Frame& constants, const PixelRect& buffer, std::span<const PixelRect> rects);
  void above(FrameTarget& target, const FrameInput& in, std::span<const BuddyInstance> instances,
             const PixelRect& buffer, std::span<const PixelRect> rects);

  // 2D pixels the last frame handed to the target (both layers).
  std::int64_t composited_pixels() const { return composited_; }

 private:
  // Draws one pass into `layer` and returns where it holds pixels (and in `rest` the other
  // parts of `rects`).
  std::vector<PixelRect> draw_layer(LayerImage& layer, const FrameInput& in,
                                    std::span<const BuddyInstance> instances, bool first,
                                    const PixelRect& buffer, std::span<const PixelRect> rects,
                                    std::vector<PixelRect>* rest);

  // The finished drawings at the front of the drawing list, stroked once into an image of their
  // own and copied into pass one's layer each frame until they change: strokes with round
  // joins are the dearest thing pass one draws, and finished drawings never move. The image
  // is held only while there are such drawings.
  std::size_t cached_drawings(const FrameInput& in, const PixelRect& buffer);
  void count(std::span<const PixelRect> composited);

  CairoCanvas canvas_;
  LayerImage below_, above_;
  LayerImage drawings_;
  int width_ = 1, height_ = 1;  // the buffer's
  TileGrid reached_;  // the tiles the pass being drawn reached
  std::vector<PixelRect> boxes_;  // and the boxes of its shapes
  std::uint64_t drawings_key_ = 0;
  std::uint64_t drawings_serial_ = 0;  // grows each time the kept drawings are drawn again
  bool drawings_valid_ = false;
  std::vector<CanvasRect> clip_;
  std::int64_t composited_ = 0;
};

// A presenter on this desktop: the frame layers draw the 2D passes and hand them, with the
// buddies, to the FrameTarget calls of the presenter.
class LayeredPresenter : public Presenter, public FrameTarget {
 public:
  explicit LayeredPresenter(FrameLayers& layers) : layers_(layers) {}
  Status resize(int width, int height) final {
    if (Status s = resize_buffer(width, height); !s.ok()) return s;
    layers_.resize(width, height);
    return Status::success();
  }
  // The clears are part of pass one: where it holds pixels they replace the buffer's.
  Status begin(const FrameDraw&) override { return Status::success(); }
  Status layer(const FrameDraw& f, Layer which) final {
    if (which == Layer::below) layers_.below(*this, *f.in, f.instances, *f.constants, f.buffer, f.rects);
    else layers_.above(*this, *f.in, f.instances, f.buffer, f.rects);
    return Status::success();
  }
  Status buddies(const FrameDraw& f) final {
    instances(*f.constants, f.instances, f.rects);
    return Status::success();
  }

 protected:
  virtual Status resize_buffer(int width, int height) = 0;

 private:
  FrameLayers& layers_;
};

}  // namespace perchkin
