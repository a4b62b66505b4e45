#pragma once

#include <memory>
#include <span>
#include <vector>

#include "gpu/frame_layers_cairo.h"
#include "gpu/presenter.h"
#include "sprites/frames.h"
#include "win/session_wayland.h"

namespace perchkin {

// The overlay's shared-memory buffers on each output. A frame's redrawn rectangles are copied
// from the presenter's pixels into a buffer the compositor has released, together with what
// that buffer missed since it was last shown, and nothing else; an output whose last frame
// the compositor has not yet asked for keeps its damage until it does (flush).
class WaylandOutputBuffers {
 public:
  explicit WaylandOutputBuffers(WaylandSession& session);
  ~WaylandOutputBuffers();
  WaylandOutputBuffers(const WaylandOutputBuffers&) = delete;
  WaylandOutputBuffers& operator=(const WaylandOutputBuffers&) = delete;

  // The presenter's pixels: `width` x `height`, BGRA premultiplied, placed at `place` on the
  // overlay whose top-left is desktop (`left`, `top`). Null: no pixels (all transparent).
  void source(const std::uint8_t* pixels, int width, int height, PixelRect place, double left,
              double top);
  // Overlay rectangles to show; `whole`: every pixel of every output.
  void present(std::span<const PixelRect> rects, bool whole);
  // Commits what waits on outputs the compositor has asked for a frame since.
  void flush();

  struct Buffer;
  struct Surface;

 private:
  Surface& surface_for(WaylandOutput& o);
  void commit(WaylandOutput& o, Surface& s);

  WaylandSession& session_;
  std::vector<std::unique_ptr<Surface>> surfaces_;
  const std::uint8_t* pixels_ = nullptr;
  int width_ = 0, height_ = 0;
  PixelRect place_{};
  double left_ = 0.0, top_ = 0.0;
};

// The software presenter on the Wayland overlay: the reference rasterizer into memory, shown
// through `buffers`. `textures`, `layers` and `buffers` outlive the presenter.
Result<std::unique_ptr<Presenter>> start_wayland_shm_presenter(WaylandOutputBuffers& buffers,
                                                               const SpriteTextures& textures,
                                                               FrameLayers& layers);

}  // namespace perchkin
