// The software presenter on the X11 overlay: the reference rasterizer draws the buddies
// straight into the image the window is shown from.
#include "gpu/presenter_shm_x11.h"

#include "gpu/band_drawer.h"
#include "gpu/opaque_shape.h"
#include "gpu/raster_cpu.h"
#include "gpu/zero_pages_x11.h"
#include "region/tile_grid.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace perchkin {

namespace {

// The reference rasterizer into memory shared with the X server (MIT-SHM) where it can be, so
// putting a rectangle on the window copies nothing through the socket; else XPutImage.
class ShmPresenter final : public LayeredPresenter {
 public:
  ShmPresenter(X11Session& session, Window w, FrameLayers& layers)
      : LayeredPresenter(layers), session_(session), window_(w) {}
  ~ShmPresenter() override {
    release();
    if (gc_ != nullptr) XFreeGC(display(), gc_);
  }

  Status start(const SpriteTextures& textures) {
    textures_ = &textures;
    XWindowAttributes attrs{};
    if (!XGetWindowAttributes(display(), window_, &attrs))
      return Status::fail("cannot read the overlay window");
    if (attrs.depth != 32) return Status::fail("the overlay window is not 32-bit ARGB");
    visual_ = attrs.visual;
    gc_ = XCreateGC(display(), window_, 0, nullptr);
    if (gc_ == nullptr) return Status::fail("cannot draw on the overlay window");
    try_shm_ = XShmQueryExtension(display()) != 0;
    if (try_shm_) session_.watch_shm_completions(XShmGetEventBase(display()) + ShmCompletion);
    return Status::success();
  }
  bool shared_memory() const { return shm_image_ != nullptr || try_shm_; }

  Status resize_buffer(int w, int h) override {
    drawer_.finish();
    bodies_drawn_ = false;
    release();
    width_ = std::max(1, w);
    height_ = std::max(1, h);
    const std::size_t bytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4;
    written_ = new_grid(width_, height_);
    covered_.release();
    if (try_shm_ && attach_shm(bytes)) return Status::success();
    try_shm_ = false;  // a remote or refusing server: plain images from now on
    heap_.reset(bytes);
    pixels_ = heap_.data();
    return Status::success();
  }
  // Tiles never written since the resize are still transparent: they are left alone, which
  // keeps their pages out of memory.
  void clear(std::span<const PixelRect> rects) override {
    writing();
    for (const PixelRect& r0 : rects) {
      const PixelRect r = clip_to(r0, width_, height_);
      if (is_empty(r)) continue;
      const int last = (r.right - 1) / kTileSize;
      for (int trow = r.top / kTileSize; trow <= (r.bottom - 1) / kTileSize; ++trow) {
        const int y0 = std::max(r.top, trow * kTileSize);
        const int y1 = std::min(r.bottom, (trow + 1) * kTileSize);
        // Runs of written tiles, each cleared row by row at once.
        for (int col = r.left / kTileSize; col <= last;) {
          if (!is_marked(written_, col, trow)) {
            ++col;
            continue;
          }
          int end = col + 1;
          while (end <= last && is_marked(written_, end, trow)) ++end;
          const int x0 = std::max(r.left, col * kTileSize);
          const int x1 = std::min(r.right, end * kTileSize);
          col = end;
          for (int y = y0; y < y1; ++y) {
            if (bodies_drawn_) {
              put_open(y, x0, x1, nullptr);
              continue;
            }
            std::memset(row(y) + static_cast<std::size_t>(x0) * 4, 0,
                        static_cast<std::size_t>(x1 - x0) * 4);
          }
        }
      }
    }
  }
  void composite(const std::uint8_t* bgra, int stride, std::span<const PixelRect> rects) override {
    writing();
    wrote(rects);
    for (const PixelRect& r0 : rects) {
      const PixelRect r = clip_to(r0, width_, height_);
      for (int y = r.top; y < r.bottom; ++y) {
        const std::uint8_t* src = bgra + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) +
                                  static_cast<std::size_t>(r.left) * 4;
        std::uint8_t* dst = row(y) + static_cast<std::size_t>(r.left) * 4;
        for (int x = r.left; x < r.right; ++x, src += 4, dst += 4) {
          if (src[3] == 0 && (src[0] | src[1] | src[2]) == 0) continue;
          const unsigned keep = 255u - src[3];
          for (int k = 0; k < 4; ++k)
            dst[k] = static_cast<std::uint8_t>(std::min(255u, src[k] + (dst[k] * keep + 127u) / 255u));
        }
      }
    }
  }
  void composite_over_clear(const std::uint8_t* bgra, int stride,
                            std::span<const PixelRect> rects) override {
    writing();
    wrote(rects);
    for (const PixelRect& r0 : rects) {
      const PixelRect r = clip_to(r0, width_, height_);
      if (!!is_empty(r)) continue;
      for (int y = r.top; y < r.bottom; ++y) {
        const std::uint8_t* src = bgra + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
        if (bodies_drawn_) {
          put_open(y, r.left, r.right, src);
          continue;
        }
        std::memcpy(row(y) + static_cast<std::size_t>(r.left) * 4, src + static_cast<std::size_t>(r.left) * 4,
                    static_cast<std::size_t>(r.right - r.left) * 4);
      }
    }
  }
  // The helper starts on the bodies while the frame's thread draws pass one.
  bool bodies_first(const Frame& frame, std::span<const BuddyInstance> list,
                    std::span<const PixelRect> rects) override {
    writing();
    bodies_drawn_ = false;
    if (!drawer_.shares(list.size())) return false;
    wrote(frame, list);
    drawer_.start(BandDrawer::Part::bodies, target(), frame, list, *textures_, rects);
    bodies_drawn_ = true;
    return true;
  }
  // Straight into the window's memory, in its byte order (BGRA); each buddy is placed once
  // and drawn in the rectangles it reaches.
  void instances(const Frame& frame, std::span<const BuddyInstance> list,
                 std::span<const PixelRect> rects) override {
    writing();
    wrote(frame, list);
    drawer_.start(bodies_drawn_ ? BandDrawer::Part::under_bodies : BandDrawer::Part::all, target(),
                  frame, list, *textures_, rects);
  }
  void instances_done() override { drawer_.finish(); }
  Status present(const FrameDraw& f) override {
    const PixelRect& buffer = f.buffer;
    const bool whole = f.whole();
    drawer_.finish();
    bodies_drawn_ = false;
    if (whole) XClearWindow(display(), window_);
    XImage* img = shm_image_;
    if (img == nullptr) {
      img = XCreateImage(display(), visual_, 32, ZPixmap, 0, reinterpret_cast<char*>(pixels_),
                         static_cast<unsigned>(width_), static_cast<unsigned>(height_), 32, width_ * 4);
      if (img == nullptr) return Status::fail("cannot make an image for the overlay");
    }
    const PixelRect all{0, 0, width_, height_};
    puts_.clear();
    for (const PixelRect& r0 : whole ? std::span<const PixelRect>(&all, 1) : f.rects)
      if (const PixelRect r = clip_to(r0, width_, height_); !is_empty(r)) puts_.push_back(r);
    for (std::size_t i = 0; i < puts_.size(); ++i) {
      const PixelRect& r = puts_[i];
      const auto w = static_cast<unsigned>(r.right - r.left), h = static_cast<unsigned>(r.bottom - r.top);
      if (shm_image_ != nullptr) {
        // The server reads the puts in order: the last one's completion covers them all.
        const bool last = i + 1 == puts_.size();
        if (last) put_serial_ = NextRequest(display());
        XShmPutImage(display(), window_, gc_, img, r.left, r.top, buffer.left + r.left,
                     buffer.top + r.top, w, h, last ? True : False);
      } else {
        XPutImage(display(), window_, gc_, img, r.left, r.top, buffer.left + r.left,
                  buffer.top + r.top, w, h);
      }
    }
    if (img != shm_image_) {
      img->data = nullptr;  // the memory is ours
      XDestroyImage(img);
    }
    // The server must have read the memory before the next frame draws into it; it does so
    // while this thread waits for the next frame and runs the world, and writing() waits for
    // it only when its completion event has not come by then.
    XFlush(display());
    unread_ = shm_image_ != nullptr && !puts_.empty();
    return Status::success();
  }
  void opaque(const PixelRect& r0, int dx, int dy, std::vector<PixelRect>& out) override {
    drawer_.finish();
    const PixelRect r = clip_to(r0, width_, height_);
    if (!is_empty(r))
      opaque_rectangles(pixels_, static_cast<std::size_t>(width_) * 4, r, dx, dy, out);
  }

 private:
  Display* display() const { return session_.display(); }
  // Before the shared memory is written: the server has read the last frame from it.
  void writing() {
    drawer_.finish();
    if (!unread_) return;
    if (session_.shm_completed() < put_serial_) XSync(display(), False);
    unread_ = false;
  }
  void wrote(std::span<const PixelRect> rects) {
    for (const PixelRect& r : rects)
      mark(written_, static_cast<float>(r.left), static_cast<float>(r.top),
           static_cast<float>(r.right - 1), static_cast<float>(r.bottom - 1));
  }
  void wrote(const Frame& frame, std::span<const BuddyInstance> list) {
    for (const BuddyInstance& in : list) {
      const ReachBox b = instance_reach(in, frame);
      mark(written_, static_cast<float>(b.left), static_cast<float>(b.top),
           static_cast<float>(b.right), static_cast<float>(b.bottom));
    }
  }
  std::uint8_t* row(int y) {
    return pixels_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) * 4;
  }
  // The buddies' target: this memory, blue first, with the mask of where bodies are.
  PixelTarget target() {
    if (covered_.data() == nullptr)
      covered_.reset(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    return {pixels_, width_, height_, static_cast<std::size_t>(width_) * 4, true, covered_.data()};
  }
  // Pixels [x0, x1) of row y that no body covers become those of `src` (a row of the layer),
  // or transparent without one.
  void put_open(int y, int x0, int x1, const std::uint8_t* src) {
    const std::uint8_t* hide = covered_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    std::uint8_t* out = row(y);
    // Selects rather than branches, which the bodies' ragged edges would defeat.
    for (int x = x0; x < x1; ++x) {
      const auto at = static_cast<std::size_t>(x) * 4;
      std::uint32_t was, put = 0;
      std::memcpy(&was, out + at, 4);
      if (src != nullptr) std::memcpy(&put, src + at, 4);
      const std::uint32_t keep = 0u - static_cast<std::uint32_t>(hide[x] != 0);
      was = (was & keep) | (put & ~keep);
      std::memcpy(out + at, &was, 4);
    }
  }

  bool attach_shm(std::size_t bytes) {
    shm_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shm_.shmid < 0) return false;
    void* memory = shmat(shm_.shmid, nullptr, 0);
    if (memory == reinterpret_cast<void*>(-1)) {
      shmctl(shm_.shmid, IPC_RMID, nullptr);
      return false;
    }
    shm_.shmaddr = static_cast<char*>(memory);
    shm_.readOnly = False;
    XImage* img = XShmCreateImage(display(), visual_, 32, ZPixmap, shm_.shmaddr, &shm_,
                                  static_cast<unsigned>(width_), static_cast<unsigned>(height_));
    bool attached = false;
    if (img != nullptr && img->bytes_per_line == width_ * 4)
      attached = session_.without_errors([&] { XShmAttach(display(), &shm_); });
    // Marked for removal now: it goes away once both sides have detached, even after a crash.
    shmctl(shm_.shmid, IPC_RMID, nullptr);
    if (!attached) {
      if (img != nullptr) {
        img->data = nullptr;
        XDestroyImage(img);
      }
      shmdt(shm_.shmaddr);
      shm_ = {};
      return false;
    }
    shm_image_ = img;
    // A new segment is zeroed already; writing zeros would make all of it resident.
    pixels_ = reinterpret_cast<std::uint8_t*>(shm_.shmaddr);
    return true;
  }

  void release() {
    if (shm_image_ != nullptr) {
      XShmDetach(display(), &shm_);
      XSync(display(), False);
      unread_ = false;
      shm_image_->data = nullptr;
      XDestroyImage(shm_image_);
      shmdt(shm_.shmaddr);
      shm_image_ = nullptr;
      shm_ = {};
    }
    heap_.release();
    pixels_ = nullptr;
  }

  X11Session& session_;
  Window window_;
  Visual* visual_ = nullptr;
  GC gc_ = nullptr;
  const SpriteTextures* textures_ = nullptr;
  bool try_shm_ = false;
  bool unread_ = false;  // put on the window, perhaps not read by the server yet
  unsigned long put_serial_ = 0;  // the request number of the frame's last put
  std::vector<PixelRect> puts_;
  XShmSegmentInfo shm_{};
  XImage* shm_image_ = nullptr;
  ZeroPages heap_;
  std::uint8_t* pixels_ = nullptr;
  int width_ = 1, height_ = 1;
  ZeroPages covered_;  // where a body was drawn this frame, one byte a pixel
  TileGrid written_;   // tiles that may hold pixels other than transparent ones
  bool bodies_drawn_ = false;  // this frame's bodies went first: covered_ is theirs
  BandDrawer drawer_;
};

}  // namespace

Result<std::unique_ptr<Presenter>> start_shm_presenter(X11Session& session, Window window,
                                                       const SpriteTextures& textures,
                                                       FrameLayers& layers) {
  auto soft = std::make_unique<ShmPresenter>(session, window, layers);
  if (Status s = soft->start(textures); !s.ok())
    return Result<std::unique_ptr<Presenter>>::fail(s.error);
  std::fprintf(stderr, "perchkin: drawing with the software presenter%s\n",
               soft->shared_memory() ? " (shared memory)" : "");
  return Result<std::unique_ptr<Presenter>>::success(std::move(soft));
}

}  // namespace perchkin
