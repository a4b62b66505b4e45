// The software presenter on the Wayland overlay: the reference rasterizer draws the buddies into
// memory of its own, and each output's surface is shown from shared-memory buffers that get
// only the pixels they lack.
#include "gpu/presenter_shm_wayland.h"

#include "gpu/band_drawer.h"
#include "gpu/opaque_shape.h"
#include "gpu/raster_cpu.h"
#include "gpu/zero_pages_x11.h"
#include "region/tile_grid.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace perchkin {

// Three buffers: one shown, one the compositor may still read, one to draw.
constexpr std::size_t kMostBuffers = 3;
// Beyond this many rectangles a buffer is owed their bounding box instead.
constexpr std::size_t kMostOwed = 32;

struct WaylandOutputBuffers::Buffer {
  wl_buffer* buffer = nullptr;
  std::uint8_t* data = nullptr;
  std::size_t bytes = 0;
  int width = 0, height = 0;
  bool busy = false;  // attached and not yet released by the compositor
  bool owed_whole = true;
  std::vector<PixelRect> owed;  // output pixels this buffer lacks

  ~Buffer() {
    if (buffer != nullptr) wl_buffer_destroy(buffer);
    if (data != nullptr) munmap(data, bytes);
  }
  void owe(const PixelRect& r) {
    if (owed_whole) return;
    if (owed.size() >= kMostOwed) {
      PixelRect box = owed.front();
      for (const PixelRect& q : owed) box = {std::min(box.left, q.left), std::min(box.top, q.top),
                                             std::max(box.right, q.right), std::max(box.bottom, q.bottom)};
      owed.assign(1, box);
    }
    owed.push_back(r);
  }
};

struct WaylandOutputBuffers::Surface {
  std::uint32_t global = 0, serial = 0;
  const WaylandOutput* output = nullptr;
  std::vector<std::unique_ptr<Buffer>> buffers;
  std::vector<PixelRect> pending;  // damage not yet committed
  bool whole = true;
};

namespace {

const wl_buffer_listener kRelease = {
    [](void* d, wl_buffer*) { static_cast<WaylandOutputBuffers::Buffer*>(d)->busy = false; },
};

std::unique_ptr<WaylandOutputBuffers::Buffer> make_buffer(wl_shm* shm, int w, int h) {
  auto b = std::make_unique<WaylandOutputBuffers::Buffer>();
  b->width = w;
  b->height = h;
  b->bytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4;
  const int fd = memfd_create("perchkin-overlay", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  if (ftruncate(fd, static_cast<off_t>(b->bytes)) != 0) {
    close(fd);
    return nullptr;
  }
  void* data = mmap(nullptr, b->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  b->data = static_cast<std::uint8_t*>(data);
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(b->bytes));
  b->buffer = wl_shm_pool_create_buffer(pool, 0, w, h, w * 4, WL_SHM_FORMAT_ARGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  wl_buffer_add_listener(b->buffer, &kRelease, b.get());
  return b;
}

}  // namespace

WaylandOutputBuffers::WaylandOutputBuffers(WaylandSession& session) : session_(session) {}
WaylandOutputBuffers::~WaylandOutputBuffers() = default;

void WaylandOutputBuffers::source(const std::uint8_t* pixels, int width, int height,
                                  PixelRect place, double left, double top) {
  pixels_ = pixels;
  width_ = width;
  height_ = height;
  place_ = place;
  left_ = left;
  top_ = top;
}

WaylandOutputBuffers::Surface& WaylandOutputBuffers::surface_for(WaylandOutput& o) {
  // Surfaces of outputs gone or made again are forgotten with their buffers.
  std::erase_if(surfaces_, [&](const std::unique_ptr<Surface>& s) {
    const auto& outs = session_.outputs();
    return std::none_of(outs.begin(), outs.end(), [&](const auto& q) {
      return q.get() == s->output && q->global == s->global && q->surface_serial == s->serial &&
             q->surface != nullptr;
    });
  });
  for (auto& s : surfaces_)
    if (s->output == &o) return *s;
  auto s = std::make_unique<Surface>();
  s->global = o.global;
  s->serial = o.surface_serial;
  s->output = &o;
  surfaces_.push_back(std::move(s));
  return *surfaces_.back();
}

void WaylandOutputBuffers::present(std::span<const PixelRect> rects, bool whole) {
  for (auto& op : session_.outputs()) {
    WaylandOutput& o = *op;
    if (o.surface == nullptr || !o.configured) continue;
    Surface& s = surface_for(o);
    const std::int32_t scale = session_.scale();
    const int w = o.surface_width * scale, h = o.surface_height * scale;
    if (whole) {
      s.whole = true;
      s.pending.clear();
      for (auto& b : s.buffers) b->owed_whole = true, b->owed.clear();
    } else if (!s.whole) {
      // Overlay pixels to this output's: the overlay starts at the desktop's (left, top).
      const auto dx = static_cast<std::int32_t>(left_) - o.x * scale;
      const auto dy = static_cast<std::int32_t>(top_) - o.y * scale;
      for (const PixelRect& r : rects) {
        const PixelRect q = clip_to({r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}, w, h);
        if (is_empty(q)) continue;
        // An output that asks for no frames (powered off, hidden) gathers damage until it
        // does: past a few rectangles it takes all of it then.
        if (s.pending.size() >= kMostOwed) {
          s.whole = true;
          s.pending.clear();
        }
        if (!s.whole) s.pending.push_back(q);
        for (auto& b : s.buffers) b->owe(q);
      }
    }
    if (o.frame == nullptr) commit(o, s);
  }
  wl_display_flush(session_.display());
}

void WaylandOutputBuffers::flush() {
  bool any = false;
  for (auto& op : session_.outputs()) {
    WaylandOutput& o = *op;
    if (o.surface == nullptr || !o.configured || o.frame != nullptr) continue;
    Surface& s = surface_for(o);
    if (!s.whole && s.pending.empty()) continue;
    commit(o, s);
    any = true;
  }
  if (any) wl_display_flush(session_.display());
}

void WaylandOutputBuffers::commit(WaylandOutput& o, Surface& s) {
  const std::int32_t scale = session_.scale();
  const int w = std::max(1, o.surface_width * scale), h = std::max(1, o.surface_height * scale);
  std::erase_if(s.buffers, [&](const auto& b) { return b->width != w || b->height != h; });
  Buffer* chosen = nullptr;
  for (auto& b : s.buffers)
    if (!b->busy) chosen = b.get();
  if (chosen == nullptr) {
    if (s.buffers.size() >= kMostBuffers) return;  // every buffer is still the compositor's
    auto made = make_buffer(session_.shm(), w, h);
    if (!made) return;
    s.buffers.push_back(std::move(made));
    chosen = s.buffers.back().get();
  }
  // The output's pixels from the presenter's: transparent outside them.
  const auto dx = o.x * scale - static_cast<std::int32_t>(left_) - place_.left;
  const auto dy = o.y * scale - static_cast<std::int32_t>(top_) - place_.top;
  const auto copy = [&](const PixelRect& r0) {
    const PixelRect r = clip_to(r0, w, h);
    for (int y = r.top; y < r.bottom; ++y) {
      std::uint8_t* out = chosen->data + (static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                                          static_cast<std::size_t>(r.left)) * 4;
      const int sy = y + dy;
      const int sx0 = std::clamp(r.left + dx, 0, width_), sx1 = std::clamp(r.right + dx, 0, width_);
      if (pixels_ == nullptr || sy < 0 || sy >= height_ || sx0 >= sx1) {
        std::memset(out, 0, static_cast<std::size_t>(r.right - r.left) * 4);
        continue;
      }
      const int before = sx0 - (r.left + dx), after = (r.right + dx) - sx1;
      if (before > 0) std::memset(out, 0, static_cast<std::size_t>(before) * 4);
      std::memcpy(out + static_cast<std::size_t>(before) * 4,
                  pixels_ + (static_cast<std::size_t>(sy) * static_cast<std::size_t>(width_) +
                             static_cast<std::size_t>(sx0)) * 4,
                  static_cast<std::size_t>(sx1 - sx0) * 4);
      if (after > 0)
        std::memset(out + static_cast<std::size_t>(r.right - r.left - after) * 4, 0,
                    static_cast<std::size_t>(after) * 4);
    }
  };
  if (chosen->owed_whole) copy({0, 0, w, h});
  else
    for (const PixelRect& r : chosen->owed) copy(r);
  chosen->owed_whole = false;
  chosen->owed.clear();

  wl_surface_set_buffer_scale(o.surface, scale);
  wl_surface_attach(o.surface, chosen->buffer, 0, 0);
  if (s.whole) wl_surface_damage_buffer(o.surface, 0, 0, w, h);
  else
    for (const PixelRect& r : s.pending)
      wl_surface_damage_buffer(o.surface, r.left, r.top, r.right - r.left, r.bottom - r.top);
  session_.request_frame(o);
  wl_surface_commit(o.surface);
  chosen->busy = true;
  s.pending.clear();
  s.whole = false;
}

namespace {

class WaylandShmPresenter final : public LayeredPresenter {
 public:
  WaylandShmPresenter(WaylandOutputBuffers& buffers, const SpriteTextures& textures,
                      FrameLayers& layers)
      : LayeredPresenter(layers), buffers_(buffers), textures_(&textures) {}
  ~WaylandShmPresenter() override {
    drawer_.finish();
    buffers_.source(nullptr, 0, 0, {}, 0.0, 0.0);
  }

  Status resize_buffer(int w, int h) override {
    drawer_.finish();
    bodies_drawn_ = false;
    width_ = std::max(1, w);
    height_ = std::max(1, h);
    heap_.reset(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4);
    pixels_ = heap_.data();
    if (pixels_ == nullptr) return Status::fail("cannot allocate the overlay's pixels");
    written_ = new_grid(width_, height_);
    covered_.release();
    return Status::success();
  }
  // Tiles never written since the resize are still transparent and are left alone.
  void clear(std::span<const PixelRect> rects) override {
    drawer_.finish();
    for (const PixelRect& r0 : rects) {
      const PixelRect r = clip_to(r0, width_, height_);
      if (is_empty(r)) continue;
      const int last = (r.right - 1) / kTileSize;
      for (int trow = r.top / kTileSize; trow <= (r.bottom - 1) / kTileSize; ++trow) {
        const int y0 = std::max(r.top, trow * kTileSize);
        const int y1 = std::min(r.bottom, (trow + 1) * kTileSize);
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
            if (bodies_drawn_) put_open(y, x0, x1, nullptr);
            else std::memset(row(y) + static_cast<std::size_t>(x0) * 4, 0, static_cast<std::size_t>(x1 - x0) * 4);
          }
        }
      }
    }
  }
  void composite(const std::uint8_t* bgra, int stride, std::span<const PixelRect> rects) override {
    drawer_.finish();
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
    drawer_.finish();
    wrote(rects);
    for (const PixelRect& r0 : rects) {
      const PixelRect r = clip_to(r0, width_, height_);
      if (is_empty(r)) continue;
      for (int y = r.top; y < r.bottom; ++y) {
        const std::uint8_t* src = bgra + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
        if (bodies_drawn_) put_open(y, r.left, r.right, src);
        else
          std::memcpy(row(y) + static_cast<std::size_t>(r.left) * 4, src + static_cast<std::size_t>(r.left) * 4,
                      static_cast<std::size_t>(r.right - r.left) * 4);
      }
    }
  }
  bool bodies_first(const Frame& frame, std::span<const BuddyInstance> list,
                    std::span<const PixelRect> rects) override {
    drawer_.finish();
    bodies_drawn_ = false;
    if (!drawer_.shares(list.size())) return false;
    wrote(frame, list);
    drawer_.start(BandDrawer::Part::bodies, target(), frame, list, *textures_, rects);
    bodies_drawn_ = true;
    return true;
  }
  void instances(const Frame& frame, std::span<const BuddyInstance> list,
                 std::span<const PixelRect> rects) override {
    drawer_.finish();
    wrote(frame, list);
    drawer_.start(bodies_drawn_ ? BandDrawer::Part::under_bodies : BandDrawer::Part::all, target(),
                  frame, list, *textures_, rects);
  }
  void instances_done() override { drawer_.finish(); }
  Status present(const FrameDraw& f) override {
    drawer_.finish();
    bodies_drawn_ = false;
    const PixelRect& b = f.buffer;
    buffers_.source(pixels_, width_, height_, b, f.in->overlay.left, f.in->overlay.top);
    overlay_rects_.clear();
    for (const PixelRect& r : f.rects)
      overlay_rects_.push_back({r.left + b.left, r.top + b.top, r.right + b.left, r.bottom + b.top});
    buffers_.present(overlay_rects_, f.whole());
    return Status::success();
  }
  void opaque(const PixelRect& r0, int dx, int dy, std::vector<PixelRect>& out) override {
    drawer_.finish();
    const PixelRect r = clip_to(r0, width_, height_);
    if (!is_empty(r)) opaque_rectangles(pixels_, static_cast<std::size_t>(width_) * 4, r, dx, dy, out);
  }

 private:
  void wrote(std::span<const PixelRect> rects) {
    for (const PixelRect& r : rects)
      mark(written_, static_cast<float>(r.left), static_cast<float>(r.top),
           static_cast<float>(r.right - 1), static_cast<float>(r.bottom - 1));
  }
  void wrote(const Frame& frame, std::span<const BuddyInstance> list) {
    for (const BuddyInstance& in : list) {
      const ReachBox box = instance_reach(in, frame);
      mark(written_, static_cast<float>(box.left), static_cast<float>(box.top),
           static_cast<float>(box.right), static_cast<float>(box.bottom));
    }
  }
  std::uint8_t* row(int y) {
    return pixels_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) * 4;
  }
  PixelTarget target() {
    if (covered_.data() == nullptr)
      covered_.reset(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    return {pixels_, width_, height_, static_cast<std::size_t>(width_) * 4, true, covered_.data()};
  }
  // Pixels [x0, x1) of row y that no body covers become those of `src`, or transparent.
  void put_open(int y, int x0, int x1, const std::uint8_t* src) {
    const std::uint8_t* hide = covered_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    std::uint8_t* out = row(y);
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

  WaylandOutputBuffers& buffers_;
  const SpriteTextures* textures_;
  ZeroPages heap_;
  std::uint8_t* pixels_ = nullptr;
  int width_ = 1, height_ = 1;
  ZeroPages covered_;
  TileGrid written_;
  bool bodies_drawn_ = false;
  std::vector<PixelRect> overlay_rects_;
  BandDrawer drawer_;
};

}  // namespace

Result<std::unique_ptr<Presenter>> start_wayland_shm_presenter(WaylandOutputBuffers& buffers,
                                                               const SpriteTextures& textures,
                                                               FrameLayers& layers) {
  std::fprintf(stderr, "perchkin: drawing with the Wayland shared-memory presenter\n");
  return Result<std::unique_ptr<Presenter>>::success(
      std::make_unique<WaylandShmPresenter>(buffers, textures, layers));
}

}  // namespace perchkin
