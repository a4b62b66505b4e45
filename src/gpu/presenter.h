// What a desktop supplies to show frames: a buffer it draws into and puts on the overlay. The
// frame driver (gpu/frame_driver.h) decides everything else and calls these in a fixed order:
// resize (when the buffer's size changed), begin, layer(below), buddies (when there are any),
// layer(above), present.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "base/status.h"
#include "gpu/frame_damage.h"
#include "gpu/frame_prepare.h"

namespace perchkin {

// One drawn frame, the same at every step of it.
struct FrameDraw {
  const FrameInput* in = nullptr;
  PixelRect buffer;                   // the buffer's place on the overlay
  std::span<const PixelRect> rects;   // buffer pixels redrawn: inside the buffer, apart
  // Frames since the buffer's pixels outside `rects` were drawn; 0: nothing there is kept, the
  // rectangles are the whole buffer and the window around the buffer is redone too.
  int age = 0;
  const Frame* constants = nullptr;
  std::span<const BuddyInstance> instances;  // the buddies; empty: no buddies' pass
  std::size_t capacity = kInitialInstanceCapacity;  // instances a GPU buffer is made for
  int present_interval = 1;  // display refreshes a present waits for (0 on a new overlay size)
  PixelSize window;                          // the overlay's size
  bool whole() const { return age == 0; }
};

// The 2D passes: behind the buddies (drawings, hazards, particles) and over them (wear,
// bubbles, the menu, the selection).
enum class Layer { below, above };

class Presenter {
 public:
  virtual ~Presenter() = default;
  // The buffer is now `width` x `height` (at least 1 x 1); what it held is gone.
  virtual Status resize(int width, int height) = 0;
  virtual Status begin(const FrameDraw& f) = 0;
  virtual Status layer(const FrameDraw& f, Layer which) = 0;
  virtual Status buddies(const FrameDraw& f) = 0;
  // Shows the frame's rectangles (all of the window when whole) on the overlay.
  virtual Status present(const FrameDraw& f) = 0;

  // What the buffer holds when a frame begins: 1, the last frame (only what changed is
  // redrawn); 2, the frame before it (a flip chain of two buffers); 0, nothing usable.
  virtual int kept_age() const { return 1; }
  // Presenting waits for the display, so frames need no other pacing.
  virtual bool present_waits() const { return false; }
  // Dirty rectangles worth keeping apart: beyond this each costs more than its pixels save.
  virtual std::size_t most_rects() const { return kMaxDamageRects; }
  // The device or context was lost (a GPU reset, a driver update): this presenter draws
  // nothing any more and must be replaced.
  virtual bool lost() { return false; }
  // Appends the opaque pixels of the buffer rectangle `r` of the drawn frame, offset by
  // (dx, dy): the window's shape while no compositor blends it.
  virtual void opaque(const PixelRect& r, int dx, int dy, std::vector<PixelRect>& out) {
    (void)r, (void)dx, (void)dy, (void)out;
  }
};

// Makes a presenter on the overlay window, or says why it cannot.
using PresenterMaker = std::function<Result<std::unique_ptr<Presenter>>()>;

}  // namespace perchkin
