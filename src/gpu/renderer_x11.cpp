// One frame: plan it (gpu/frame_prepare.h), draw it inside the dirty rectangles of the buffer
// (gpu/frame_layers_cairo.h) and show those rectangles on the window. The buffer is the part of
// the overlay where something is drawn; outside it the window stays transparent.
#include "gpu/renderer_x11.h"

#include "base/pace.h"
#include "gpu/frame_damage.h"
#include "gpu/frame_layers_cairo.h"
#include "gpu/frame_prepare.h"
#include "gpu/opaque_shape.h"
#include "gpu/raster_cpu.h"
#include "gpu/renderer_gl.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/shape.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace perchkin {

namespace {

// Frames are paced to this period when the swap does not wait for the display itself.
constexpr double kFramePeriod = 1.0 / 60.0;

// PERCHKIN_OPENGL=1 keeps OpenGL where it rasterizes on the processor (to test that path).
bool keep_opengl() {
  const char* v = std::getenv("PERCHKIN_OPENGL");
  return v != nullptr && std::strcmp(v, "1") == 0;
}

// A second thread for the buddies' pass: the dirty rectangles are cut into bands of rows and
// both threads take the next band until none is left, so when the helper waits for a core
// the caller simply draws more of them. Bands cover disjoint rows, so each pixel is drawn
// exactly as by one thread.
class BandDrawer {
 public:
  BandDrawer() {
    if (std::thread::hardware_concurrency() >= 2) helper_ = std::thread([this] { serve(); });
  }
  ~BandDrawer() {
    if (!helper_.joinable()) return;
    finish();
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    helper_.join();
  }
  BandDrawer(const BandDrawer&) = delete;
  BandDrawer& operator=(const BandDrawer&) = delete;

  enum class Part { all, bodies, under_bodies };

  // Whether a crew this size is shared with the helper.
  bool shares(std::size_t buddies) const { return helper_.joinable() && buddies >= kLeastShared; }

  // Draws, or starts drawing with the helper, that part of the buddies' pass; finish()
  // completes it. The list and textures must stay alive until then.
  void start(Part part, const PixelTarget& target, const Frame& frame,
             std::span<const BuddyInstance> list, const SpriteTextures& textures,
             std::span<const PixelRect> rects) {
    finish();
    if (!shares(list.size())) {
      draw(part, target, frame, list, textures, rects);
      return;
    }
    const std::vector<int> edges = row_bands(frame, list, rects, target.height, kBands);
    bands_.assign(kBands, {});
    for (int k = 0; k < kBands; ++k)
      for (const PixelRect& r : rects) {
        const PixelRect piece{r.left, std::max(r.top, edges[static_cast<std::size_t>(k)]), r.right,
                              std::min(r.bottom, edges[static_cast<std::size_t>(k) + 1])};
        if (piece.left < piece.right && piece.top < piece.bottom)
          bands_[static_cast<std::size_t>(k)].push_back(piece);
      }
    target_ = target;
    frame_ = frame;
    job_ = [this, part, list, &textures] {
      for (int k = next_.fetch_add(1); k < kBands; k = next_.fetch_add(1))
        if (!bands_[static_cast<std::size_t>(k)].empty())
          draw(part, target_, frame_, list, textures, bands_[static_cast<std::size_t>(k)]);
    };
    next_.store(0);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
      ++round_;
    }
    wake_.notify_one();
  }

  // The bands nobody has taken yet are drawn here; a helper that has not started by then
  // never will this round, and one drawing a band is waited for.
  void finish() {
    if (!job_) return;
    job_();
    std::unique_lock<std::mutex> lock(mutex_);
    open_ = false;
    done_.wait(lock, [&] { return !helping_; });
    job_ = nullptr;
  }

 private:
  static void draw(Part part, const PixelTarget& target, const Frame& frame,
                   std::span<const BuddyInstance> list, const SpriteTextures& textures,
                   std::span<const PixelRect> rects) {
    if (part == Part::bodies) (void)draw_bodies(target, frame, list, textures, rects);
    else if (part == Part::under_bodies) draw_under_bodies(target, frame, list, textures, rects);
    else draw_instances(target, frame, list, textures, rects);
  }

  // Below this many buddies the helper costs more processor time than the wall time it
  // saves matters (200 buddies: about 6 ms a frame alone, 7-8 ms with the helper).
  static constexpr std::size_t kLeastShared = 400;
  static constexpr int kBands = 6;

  void serve() {
    std::uint64_t seen = 0;
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || (open_ && round_ != seen); });
      if (stop_) return;
      seen = round_;
      helping_ = true;
      lock.unlock();
      job_();
      lock.lock();
      helping_ = false;
      done_.notify_one();
    }
  }

  std::thread helper_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  bool stop_ = false, open_ = false, helping_ = false;
  std::uint64_t round_ = 0;
  std::atomic<int> next_{0};
  std::function<void()> job_;  // set while a frame's bands are being drawn
  std::vector<std::vector<PixelRect>> bands_;
  PixelTarget target_;
  Frame frame_;
};

using CopySubBuffer = void (*)(Display*, GLXDrawable, int, int, int, int);

class GlxPresenter final : public Presenter {
 public:
  GlxPresenter(Display* d, Window w) : display_(d), window_(w) {}
  ~GlxPresenter() override {
    if (context_ != nullptr) {
      glXMakeCurrent(display_, None, nullptr);
      // The GL objects die with the context.
      pass_.reset();
      glXDestroyContext(display_, context_);
    }
  }

  Status start(const SpriteTextures& textures) {
    XWindowAttributes attrs{};
    if (!XGetWindowAttributes(display_, window_, &attrs))
      return Status::fail("cannot read the overlay window");
    const VisualID visual = XVisualIDFromVisual(attrs.visual);
    const int fb_attrs[] = {GLX_X_RENDERABLE, True, GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
                            GLX_RENDER_TYPE, GLX_RGBA_BIT, GLX_DOUBLEBUFFER, True, GLX_RED_SIZE, 8,
                            GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, GLX_ALPHA_SIZE, 8, None};
    int count = 0;
    GLXFBConfig* configs =
        glXChooseFBConfig(display_, DefaultScreen(display_), fb_attrs, &count);
    GLXFBConfig chosen = nullptr;
    for (int i = 0; i < count && chosen == nullptr; ++i) {
      int id = 0;
      glXGetFBConfigAttrib(display_, configs[i], GLX_VISUAL_ID, &id);
      if (static_cast<VisualID>(id) == visual) chosen = configs[i];
    }
    if (configs != nullptr) XFree(configs);
    if (chosen == nullptr) return Status::fail("no OpenGL framebuffer config for the 32-bit ARGB window");

    using CreateContext = GLXContext (*)(Display*, GLXFBConfig, GLXContext, Bool, const int*);
    auto create = reinterpret_cast<CreateContext>(
        glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXCreateContextAttribsARB")));
    if (create == nullptr) return Status::fail("GLX cannot make OpenGL 3.3 core contexts");
    const char* extensions = glXQueryExtensionsString(display_, DefaultScreen(display_));
    const auto has = [&](const char* name) {
      return extensions != nullptr && std::strstr(extensions, name) != nullptr;
    };
    XSync(display_, False);
    // Where the driver offers it, a context that learns of GPU resets: a reset then shows as
    // a lost context, which is started again, instead of frames silently drawing nothing.
    if (has("GLX_ARB_create_context_robustness")) {
      const int robust_attrs[] = {GLX_CONTEXT_MAJOR_VERSION_ARB, 3, GLX_CONTEXT_MINOR_VERSION_ARB,
                                  3, GLX_CONTEXT_PROFILE_MASK_ARB, GLX_CONTEXT_CORE_PROFILE_BIT_ARB,
                                  GLX_CONTEXT_FLAGS_ARB, GLX_CONTEXT_ROBUST_ACCESS_BIT_ARB,
                                  GLX_CONTEXT_RESET_NOTIFICATION_STRATEGY_ARB,
                                  GLX_LOSE_CONTEXT_ON_RESET_ARB, None};
      context_ = create(display_, chosen, nullptr, True, robust_attrs);
      XSync(display_, False);
      if (context_ != nullptr)
        reset_status_ = reinterpret_cast<ResetStatus>(
            glXGetProcAddress(reinterpret_cast<const GLubyte*>("glGetGraphicsResetStatusARB")));
    }
    if (context_ == nullptr) {
      const int ctx_attrs[] = {GLX_CONTEXT_MAJOR_VERSION_ARB, 3, GLX_CONTEXT_MINOR_VERSION_ARB, 3,
                               GLX_CONTEXT_PROFILE_MASK_ARB, GLX_CONTEXT_CORE_PROFILE_BIT_ARB, None};
      context_ = create(display_, chosen, nullptr, True, ctx_attrs);
      XSync(display_, False);
    }
    if (context_ == nullptr) return Status::fail("no OpenGL 3.3 core context");
    if (!glXMakeCurrent(display_, window_, context_)) return Status::fail("cannot use the OpenGL context");
    // The loop paces drawn frames itself (present() waits for the next 1/60 s), which on a
    // virtual or software display costs less than a swap interval that may be ignored.
    using SwapInterval = void (*)(Display*, GLXDrawable, int);
    if (auto set = reinterpret_cast<SwapInterval>(
            glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT"))))
      set(display_, window_, 0);
    // Where the driver can copy part of the back buffer to the window, only the changed
    // rectangles are sent; the back buffer then keeps its pixels from frame to frame.
    if (has("GLX_MESA_copy_sub_buffer"))
      copy_sub_buffer_ = reinterpret_cast<CopySubBuffer>(
          glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA")));
    pass_ = std::make_unique<GlPass>();
    if (Status s = pass_->init(textures); !s.ok()) return s;
    const char* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    renderer_name_ = name != nullptr ? name : "unknown";
    if (copy_sub_buffer_ != nullptr) renderer_name_ += ", changed rectangles only";
    return Status::success();
  }
  const std::string& name() const { return renderer_name_; }
  // Mesa's rasterizers on the processor: the software presenter draws the same frames with
  // one thread and without the driver's copies.
  bool rasterizes_on_cpu() const {
    return renderer_name_.find("llvmpipe") != std::string::npos ||
           renderer_name_.find("softpipe") != std::string::npos;
  }
  // Every rectangle is a scissored clear, draws and a copy to the window, each a wait for the
  // driver's threads on a software rasterizer: a few large ones cost less than many small.
  std::size_t most_rects() const override { return kMaxClearRects; }

  Status resize(int w, int h) override { return pass_->resize(w, h); }
  bool lost() override {
    if (!lost_ && reset_status_ != nullptr && reset_status_() != GL_NO_ERROR) lost_ = true;
    return lost_;
  }
  void clear(std::span<const PixelRect> rects) override { pass_->clear(rects); }
  void composite(const std::uint8_t* bgra, int stride, std::span<const PixelRect> rects) override {
    pass_->composite_layer(bgra, stride, rects);
  }
  void composite_over_clear(const std::uint8_t* bgra, int stride,
                            std::span<const PixelRect> rects) override {
    pass_->copy_layer(bgra, stride, rects);
  }
  void instances(const Frame& frame, std::span<const BuddyInstance> list,
                 std::span<const PixelRect> rects) override {
    pass_->draw_instances(frame, list, rects);
  }
  Status present(const PixelRect& buffer, std::span<const PixelRect> rects, bool whole,
                 int window_w, int window_h) override {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, pass_->framebuffer());
    glViewport(0, 0, window_w, window_h);
    glDisable(GL_SCISSOR_TEST);
    const int bw = pass_->width(), bh = pass_->height();
    // Buffer rectangle (y down) to window coordinates (y up).
    const auto blit = [&](const PixelRect& r) {
      glBlitFramebuffer(r.left, bh - r.bottom, r.right, bh - r.top, buffer.left + r.left,
                        window_h - buffer.top - r.bottom, buffer.left + r.right,
                        window_h - buffer.top - r.top, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    };
    const bool partial = copy_sub_buffer_ != nullptr && !whole;
    if (!partial) {
      // Outside the buffer the window is transparent.
      glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
      glClear(GL_COLOR_BUFFER_BIT);
      blit({0, 0, bw, bh});
    } else {
      for (const PixelRect& r0 : rects)
        if (const PixelRect r = clip_to(r0, bw, bh); !is_empty(r)) blit(r);
    }
    if (Status s = pass_->check("drawing the frame"); !s.ok()) return s;
    if (copy_sub_buffer_ == nullptr) {
      glXSwapBuffers(display_, window_);
    } else if (!partial) {
      copy_sub_buffer_(display_, window_, 0, 0, window_w, window_h);
    } else {
      for (const PixelRect& r0 : rects)
        if (const PixelRect r = clip_to(r0, bw, bh); !is_empty(r))
          copy_sub_buffer_(display_, window_, buffer.left + r.left, window_h - buffer.top - r.bottom,
                           r.right - r.left, r.bottom - r.top);
    }
    return Status::success();
  }
  void opaque(const PixelRect& r0, int dx, int dy, std::vector<PixelRect>& out) override {
    const int bw = pass_->width(), bh = pass_->height();
    const PixelRect r = clip_to(r0, bw, bh);
    if (is_empty(r)) return;
    const int w = r.right - r.left, h = r.bottom - r.top;
    const std::size_t stride = static_cast<std::size_t>(w) * 4;
    read_.resize(stride * static_cast<std::size_t>(h));
    flipped_.resize(read_.size());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, pass_->framebuffer());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(r.left, bh - r.bottom, w, h, GL_BGRA, GL_UNSIGNED_BYTE, read_.data());
    // OpenGL's rows run upwards.
    for (int y = 0; y < h; ++y)
      std::memcpy(flipped_.data() + static_cast<std::size_t>(y) * stride,
                  read_.data() + static_cast<std::size_t>(h - 1 - y) * stride, stride);
    opaque_rectangles(flipped_.data(), stride, {0, 0, w, h}, dx + r.left, dy + r.top, out);
  }

 private:
  Display* display_;
  Window window_;
  std::vector<std::uint8_t> read_, flipped_;
  GLXContext context_ = nullptr;
  CopySubBuffer copy_sub_buffer_ = nullptr;
  using ResetStatus = GLenum (*)();
  ResetStatus reset_status_ = nullptr;  // with a context that learns of resets
  bool lost_ = false;
  std::unique_ptr<GlPass> pass_;
  std::string renderer_name_;
};

// The reference rasterizer into memory shared with the X server (MIT-SHM) where it can be, so
// putting a rectangle on the window copies nothing through the socket; else XPutImage.
class SoftwarePresenter final : public Presenter {
 public:
  SoftwarePresenter(X11Session& session, Window w) : session_(session), window_(w) {}
  ~SoftwarePresenter() override {
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
    return Status::success();
  }
  bool shared_memory() const { return shm_image_ != nullptr || try_shm_; }

  Status resize(int w, int h) override {
    drawer_.finish();
    bodies_drawn_ = false;
    release();
    width_ = std::max(1, w);
    height_ = std::max(1, h);
    const std::size_t bytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4;
    if (try_shm_ && attach_shm(bytes)) return Status::success();
    try_shm_ = false;  // a remote or refusing server: plain images from now on
    heap_.assign(bytes, 0);
    pixels_ = heap_.data();
    return Status::success();
  }
  void clear(std::span<const PixelRect> rects) override {
    writing();
    for (const PixelRect& r0 : rects) {
      const PixelRect r = clip_to(r0, width_, height_);
      for (int y = r.top; y < r.bottom; ++y) {
        if (bodies_drawn_) {
          put_open(y, r.left, r.right, nullptr);
          continue;
        }
        std::memset(row(y) + static_cast<std::size_t>(r.left) * 4, 0,
                    static_cast<std::size_t>(r.right - r.left) * 4);
      }
    }
  }
  void composite(const std::uint8_t* bgra, int stride, std::span<const PixelRect> rects) override {
    writing();
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
    for (const PixelRect& r0 : rects) {
      const PixelRect r = clip_to(r0, width_, height_);
      if (is_empty(r)) continue;
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
    drawer_.start(BandDrawer::Part::bodies, target(), frame, list, *textures_, rects);
    bodies_drawn_ = true;
    return true;
  }
  // Straight into the window's memory, in its byte order (BGRA); each buddy is placed once
  // and drawn in the rectangles it reaches.
  void instances(const Frame& frame, std::span<const BuddyInstance> list,
                 std::span<const PixelRect> rects) override {
    writing();
    drawer_.start(bodies_drawn_ ? BandDrawer::Part::under_bodies : BandDrawer::Part::all, target(),
                  frame, list, *textures_, rects);
  }
  void instances_done() override { drawer_.finish(); }
  Status present(const PixelRect& buffer, std::span<const PixelRect> rects, bool whole, int,
                 int) override {
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
    for (const PixelRect& r0 : whole ? std::span<const PixelRect>(&all, 1) : rects) {
      const PixelRect r = clip_to(r0, width_, height_);
      if (is_empty(r)) continue;
      const auto w = static_cast<unsigned>(r.right - r.left), h = static_cast<unsigned>(r.bottom - r.top);
      if (shm_image_ != nullptr)
        XShmPutImage(display(), window_, gc_, img, r.left, r.top, buffer.left + r.left,
                     buffer.top + r.top, w, h, False);
      else
        XPutImage(display(), window_, gc_, img, r.left, r.top, buffer.left + r.left,
                  buffer.top + r.top, w, h);
    }
    if (img != shm_image_) {
      img->data = nullptr;  // the memory is ours
      XDestroyImage(img);
    }
    // The server must have read the memory before the next frame draws into it; it does so
    // while this thread waits for the next frame and runs the world, and writing() waits for
    // it only then.
    XFlush(display());
    unread_ = shm_image_ != nullptr;
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
    XSync(display(), False);
    unread_ = false;
  }
  std::uint8_t* row(int y) {
    return pixels_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) * 4;
  }
  // The buddies' target: this memory, blue first, with the mask of where bodies are.
  PixelTarget target() {
    covered_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
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
    pixels_ = reinterpret_cast<std::uint8_t*>(shm_.shmaddr);
    std::memset(pixels_, 0, bytes);
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
    heap_.clear();
    pixels_ = nullptr;
  }

  X11Session& session_;
  Window window_;
  Visual* visual_ = nullptr;
  GC gc_ = nullptr;
  const SpriteTextures* textures_ = nullptr;
  bool try_shm_ = false;
  bool unread_ = false;  // put on the window, perhaps not read by the server yet
  XShmSegmentInfo shm_{};
  XImage* shm_image_ = nullptr;
  std::vector<std::uint8_t> heap_;
  std::uint8_t* pixels_ = nullptr;
  int width_ = 1, height_ = 1;
  std::vector<std::uint8_t> covered_;  // where a body was drawn this frame, one byte a pixel
  bool bodies_drawn_ = false;  // this frame's bodies went first: covered_ is theirs
  BandDrawer drawer_;
};

class X11Renderer final : public Renderer {
 public:
  X11Renderer(std::shared_ptr<X11Session> session, PresenterMaker opengl, PresenterMaker software)
      : session_(std::move(session)), make_opengl_(std::move(opengl)),
        make_software_(std::move(software)) {}

  Status start(std::uintptr_t window, const ScreenRect& overlay, bool software) override {
    textures_ = build_sprite_textures();
    overlay_ = overlay;
    window_ = static_cast<Window>(window);
    if (session_) {
      const std::string selection = "_NET_WM_CM_S" + std::to_string(session_->screen_number());
      compositor_selection_ = XInternAtom(session_->display(), selection.c_str(), False);
      int shape_event = 0, shape_error = 0;
      has_shape_ = XShapeQueryExtension(session_->display(), &shape_event, &shape_error) != 0;
    }
    if (!make_opengl_) make_opengl_ = [this] { return start_opengl(); };
    if (!make_software_) make_software_ = [this] { return start_software(); };
    if (!software) {
      auto gl = make_opengl_();
      if (gl.ok()) {
        presenter_ = std::move(*gl.value);
        watch_compositor();
        return Status::success();
      }
    }
    auto soft = make_software_();
    if (!soft.ok()) return Status::fail(soft.error);
    presenter_ = std::move(*soft.value);
    watch_compositor();
    return Status::success();
  }

  void resize(const ScreenRect& overlay) override { overlay_ = overlay; }

  // OpenGL on the overlay, unless it draws on the processor (then the software presenter does
  // the same for less); the line on standard error says which.
  Result<std::unique_ptr<Presenter>> start_opengl() {
    auto gl = std::make_unique<GlxPresenter>(session_->display(), window_);
    const Status s = gl->start(textures_);
    if (s.ok() && (!gl->rasterizes_on_cpu() || keep_opengl())) {
      std::fprintf(stderr, "perchkin: drawing with OpenGL (%s)\n", gl->name().c_str());
      return Result<std::unique_ptr<Presenter>>::success(std::move(gl));
    }
    if (s.ok()) {
      // Measured with 1,000 buddies on llvmpipe: the presenter took about a quarter of the
      // processor time a frame that OpenGL did (200: a quarter too); the pixels are the same.
      std::fprintf(stderr,
                   "perchkin: OpenGL draws on the processor here (%s); the software presenter "
                   "does the same for less (PERCHKIN_OPENGL=1 keeps OpenGL)\n",
                   gl->name().c_str());
      return Result<std::unique_ptr<Presenter>>::fail("OpenGL draws on the processor");
    }
    std::fprintf(stderr, "perchkin: OpenGL cannot start (%s); using the software presenter\n",
                 s.error.c_str());
    return Result<std::unique_ptr<Presenter>>::fail(s.error);
  }

  Result<std::unique_ptr<Presenter>> start_software() {
    auto soft = std::make_unique<SoftwarePresenter>(*session_, window_);
    if (Status s = soft->start(textures_); !s.ok())
      return Result<std::unique_ptr<Presenter>>::fail(s.error);
    std::fprintf(stderr, "perchkin: drawing with the software presenter%s\n",
                 soft->shared_memory() ? " (shared memory)" : "");
    return Result<std::unique_ptr<Presenter>>::success(std::move(soft));
  }

  // A lost context takes the presenter's objects and this frame with it. OpenGL is started
  // again, up to three times in a row; then the software presenter draws on. Either way the
  // next frame draws everything afresh.
  Result<FrameResult> recover() {
    presenter_.reset();
    std::unique_ptr<Presenter> next;
    if (++restarts_ <= kMostRestarts) {
      std::fprintf(stderr, "perchkin: the OpenGL context was lost; starting OpenGL again\n");
      if (auto gl = make_opengl_(); gl.ok()) next = std::move(*gl.value);
    } else {
      std::fprintf(stderr,
                   "perchkin: the OpenGL context was lost %d times in a row; drawing with the "
                   "software presenter from now on\n",
                   kMostRestarts + 1);
    }
    if (!next) {
      auto soft = make_software_();
      if (!soft.ok()) return Result<FrameResult>::fail("the OpenGL context was lost: " + soft.error);
      next = std::move(*soft.value);
    }
    presenter_ = std::move(next);
    buffer_w_ = buffer_h_ = 0;
    last_buffer_ = PixelRect{};
    damage_ = DamageState{};
    state_.previous_grid.reset();
    state_.buffer.reset();
    state_.forced_redraw = true;
    return Result<FrameResult>::success(FrameResult{});
  }

  Result<FrameResult> frame(const FrameInput& in) override {
    if (!presenter_ || in.crew == nullptr || in.entries == nullptr || in.settings == nullptr ||
        in.scene == nullptr || in.effects == nullptr)
      return Result<FrameResult>::success(FrameResult{});
    watch_compositor();
    prepare_frame(state_, in, prepared_);
    const FramePlan& plan = prepared_.plan;
    if (!plan.draw) return Result<FrameResult>::success(FrameResult{});
    // The target keeps its pixels: only what changed since the last drawn frame is redrawn.
    narrow_clears(damage_, in, state_, prepared_, presenter_->most_rects());
    const PixelSize window = overlay_size(overlay_);

    const PixelSize size = buffer_size(plan.buffer);
    const bool resized = size.width != buffer_w_ || size.height != buffer_h_;
    if (resized) {
      if (Status s = presenter_->resize(size.width, size.height); !s.ok())
        return presenter_->lost() ? recover() : Result<FrameResult>(s);
      layers_.resize(size.width, size.height);
      buffer_w_ = size.width;
      buffer_h_ = size.height;
    }
    const bool whole = resized || plan.clear_all || plan.buffer_changed ||
                       !(plan.buffer == last_buffer_) || redraw_whole_;
    redraw_whole_ = false;
    last_buffer_ = plan.buffer;
    rects_.clear();
    if (whole) {
      rects_.push_back({0, 0, buffer_w_, buffer_h_});
    } else {
      for (const PixelRect& r : plan.clears)
        if (PixelRect c = clip_to(r, buffer_w_, buffer_h_); !is_empty(c)) rects_.push_back(c);
      // Each pixel is blended once: the layers and shadows are drawn "over" per rectangle.
      rects_ = without_overlaps(rects_);
    }

    layers_.draw(*presenter_, in, prepared_.instances, plan.gpu_pass, plan.constants, plan.buffer,
                 rects_);

    // The shape first: the server paints the parts it newly shows with the window's background,
    // and the present then puts the frame over them.
    if (shaped_) reshape(plan.buffer, whole);
    const double before = monotonic_seconds();
    const Status shown = presenter_->present(plan.buffer, rects_, whole, window.width, window.height);
    if (presenter_->lost()) return recover();
    if (!shown.ok()) return shown;
    restarts_ = 0;
    // Pace drawn frames to the display rate; the wait counts as time spent presenting.
    next_deadline_ = next_frame_deadline(next_deadline_, before, kFramePeriod);
    sleep_until(next_deadline_);
    FrameResult result;
    result.drawn = true;
    result.present_ms = (monotonic_seconds() - before) * 1000.0;
    finish_prepared(state_, prepared_);
    return Result<FrameResult>::success(result);
  }

  Canvas& canvas() override { return layers_.canvas(); }

 private:
  // Without a compositor the window's pixels are shown as they are, alpha ignored: a sheet of
  // black over the desktop. The overlay is then cut to its opaque pixels (the X Shape
  // extension), as desktop pets did before compositors; it goes back to the transparent overlay
  // when a compositor starts. The compositor's selection is looked at twice a second.
  void watch_compositor() {
    if (!session_) return;  // stand-in presenters in tests
    const double now = monotonic_seconds();
    if (now < next_compositor_check_) return;
    next_compositor_check_ = now + 0.5;
    Display* d = session_->display();
    const bool composited = compositor_selection_ != None &&
                            XGetSelectionOwner(d, compositor_selection_) != None;
    const bool shaped = !composited && has_shape_;
    if (composited == composited_ && shaped == shaped_) return;
    if (!composited && !has_shape_)
      std::fprintf(stderr,
                   "perchkin: no compositor is running and the X server has no Shape extension, "
                   "so the overlay cannot be transparent; start one (for example picom)\n");
    else if (!composited)
      std::fprintf(stderr,
                   "perchkin: no compositor is running; the overlay is cut to the buddies' shapes "
                   "until one starts (no shadows or soft edges meanwhile)\n");
    else if (checked_compositor_)
      std::fprintf(stderr, "perchkin: a compositor is running again; the overlay is transparent\n");
    if (shaped) {
      // No background: a part the shape newly shows keeps the frame's pixels instead of being
      // painted black by the server after they were put.
      XSetWindowBackgroundPixmap(d, window_, None);
      XShapeCombineRectangles(d, window_, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    } else if (shaped_) {
      XSetWindowBackground(d, window_, 0);
      XShapeCombineMask(d, window_, ShapeBounding, 0, 0, None, ShapeSet);
    }
    composited_ = composited;
    shaped_ = shaped;
    checked_compositor_ = true;
    // Every pixel again, with the new way of showing them.
    state_.forced_redraw = true;
    redraw_whole_ = true;
  }

  // The window's shape follows the opaque pixels of the frame about to be presented: the
  // redrawn rectangles are cut out and their opaque pixels put back, or the whole shape set anew.
  void reshape(const PixelRect& buffer, bool whole) {
    Display* d = session_->display();
    shape_.clear();
    const auto to_x = [](const PixelRect& r) {
      return XRectangle{static_cast<short>(r.left), static_cast<short>(r.top),
                        static_cast<unsigned short>(r.right - r.left),
                        static_cast<unsigned short>(r.bottom - r.top)};
    };
    if (whole) {
      presenter_->opaque({0, 0, buffer_w_, buffer_h_}, buffer.left, buffer.top, shape_);
    } else {
      std::vector<XRectangle> cut;
      for (const PixelRect& r : rects_)
        cut.push_back(to_x({r.left + buffer.left, r.top + buffer.top, r.right + buffer.left,
                            r.bottom + buffer.top}));
      XShapeCombineRectangles(d, window_, ShapeBounding, 0, 0, cut.data(),
                              static_cast<int>(cut.size()), ShapeSubtract, Unsorted);
      for (const PixelRect& r : rects_) presenter_->opaque(r, buffer.left, buffer.top, shape_);
    }
    xshape_.clear();
    for (const PixelRect& r : shape_) xshape_.push_back(to_x(r));
    XShapeCombineRectangles(d, window_, ShapeBounding, 0, 0, xshape_.data(),
                            static_cast<int>(xshape_.size()), whole ? ShapeSet : ShapeUnion,
                            Unsorted);
  }

  static constexpr int kMostRestarts = 3;

  std::shared_ptr<X11Session> session_;
  PresenterMaker make_opengl_, make_software_;
  Window window_ = None;
  int restarts_ = 0;  // OpenGL started again since the last frame shown
  Atom compositor_selection_ = None;
  bool has_shape_ = false;
  bool composited_ = true;   // the last look found a compositor
  bool shaped_ = false;      // the window is cut to its opaque pixels
  bool checked_compositor_ = false;
  bool redraw_whole_ = false;
  double next_compositor_check_ = 0.0;
  std::vector<PixelRect> shape_;
  std::vector<XRectangle> xshape_;
  SpriteTextures textures_;
  ScreenRect overlay_;
  std::unique_ptr<Presenter> presenter_;
  FrameLayers layers_;
  FrameState state_;
  PreparedFrame prepared_;
  DamageState damage_;
  std::vector<PixelRect> rects_;
  int buffer_w_ = 0, buffer_h_ = 0;
  PixelRect last_buffer_;
  double next_deadline_ = 0.0;
};

}  // namespace

std::unique_ptr<Renderer> make_x11_renderer(std::shared_ptr<X11Session> session) {
  return std::make_unique<X11Renderer>(std::move(session), nullptr, nullptr);
}

std::unique_ptr<Renderer> make_x11_renderer(std::shared_ptr<X11Session> session,
                                            PresenterMaker opengl, PresenterMaker software) {
  return std::make_unique<X11Renderer>(std::move(session), std::move(opengl),
                                       std::move(software));
}

}  // namespace perchkin
