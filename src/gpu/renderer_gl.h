// The GPU pass in OpenGL 3.3 core: shadows, glow and sprites drawn instanced from an RGBA32F
// texture of instance records, over and under two 2D layers, into a framebuffer object that
// keeps its pixels between frames (so only dirty rectangles are cleared and redrawn). It needs
// a current context and knows nothing of windows: the X11 presenter blits its result to the
// overlay, the tests read it back.
#pragma once

#include "base/status.h"
#include "gpu/instance.h"
#include "gpu/raster_cpu.h"
#include "region/tile_grid.h"
#include "sprites/frames.h"

#include <cstdint>
#include <memory>
#include <span>

namespace perchkin {

class GlPass {
 public:
  GlPass();
  ~GlPass();
  GlPass(const GlPass&) = delete;
  GlPass& operator=(const GlPass&) = delete;

  // Compiles the shaders and builds the textures; the context must be current and stay so.
  Status init(const SpriteTextures& textures);
  // Makes the target `width` x `height` (at least 1 x 1); its pixels become transparent.
  Status resize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }

  // Rectangles are target pixels, y down, clipped to the target.
  void clear(std::span<const PixelRect> rects);
  // Composites premultiplied BGRA memory (the 2D layer, target-sized, `stride` bytes a row)
  // over the target inside the rectangles, uploading only those.
  void composite_layer(const std::uint8_t* bgra, int stride, std::span<const PixelRect> rects);
  // The same where the target is transparent (just cleared): the pixels are copied in, which
  // costs an upload and no drawing.
  void copy_layer(const std::uint8_t* bgra, int stride, std::span<const PixelRect> rects);
  // Shadows, glow (when frame.glow > 0) and sprites, limited to the rectangles, in that order
  // and each in list order (later ones on top).
  void draw_instances(const Frame& frame, std::span<const BuddyInstance> instances,
                      std::span<const PixelRect> rects);

  // The target as premultiplied RGBA, top row first.
  RgbaImage read_back();
  // The framebuffer object the target lives in (for a blit to the window).
  unsigned framebuffer() const;
  // The first GL error since the last call, as text; success when none.
  Status check(const char* what);

 private:
  struct Objects;
  std::unique_ptr<Objects> gl_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace perchkin
