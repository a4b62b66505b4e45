// The renderer on the X11 overlay: OpenGL through GLX when a 32-bit ARGB framebuffer config
// exists, else (and with --software) the software presenter, which draws with the reference
// rasterizer and puts the image on the same window. Says on standard error which one runs.
#pragma once

#include "gpu/frame_damage.h"
#include "gpu/frame_layers_cairo.h"
#include "gpu/renderer.h"
#include "win/session_x11.h"

#include <functional>
#include <memory>
#include <vector>

namespace perchkin {

// How the drawn buffer reaches the window: a frame target, sized like the buffer, that shows
// the given rectangles of itself on the window.
class Presenter : public FrameTarget {
 public:
  virtual Status resize(int w, int h) = 0;
  // Shows the rectangles (buffer pixels) with the buffer at `buffer` on the window (overlay
  // pixels); `whole`: the buffer moved or changed size, so all of the window is redone.
  virtual Status present(const PixelRect& buffer, std::span<const PixelRect> rects, bool whole,
                         int window_w, int window_h) = 0;
  // Dirty rectangles worth keeping apart: beyond this each costs more than its pixels save.
  virtual std::size_t most_rects() const { return kMaxDamageRects; }
  // The OpenGL context was lost (a GPU reset, a driver update): this presenter draws nothing
  // any more and must be replaced.
  virtual bool lost() { return false; }
  // Appends the opaque pixels of the buffer rectangle `r` of the drawn frame, offset by
  // (dx, dy): the window's shape while no compositor blends it.
  virtual void opaque(const PixelRect& r, int dx, int dy, std::vector<PixelRect>& out) {
    (void)r, (void)dx, (void)dy, (void)out;
  }
};

std::unique_ptr<Renderer> make_x11_renderer(std::shared_ptr<X11Session> session);

// Makes a presenter on the overlay window; for tests, which stand in for OpenGL.
using PresenterMaker = std::function<Result<std::unique_ptr<Presenter>>()>;
std::unique_ptr<Renderer> make_x11_renderer(std::shared_ptr<X11Session> session,
                                            PresenterMaker opengl, PresenterMaker software);

}  // namespace perchkin
