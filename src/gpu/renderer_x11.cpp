// One frame: plan it (gpu/frame_plan.h), then for each dirty rectangle of the buffer clear it,
// draw the first 2D pass, the GPU pass and the second 2D pass, and present. The buffer is the
// part of the overlay where something is drawn; outside it the window stays transparent.
#include "gpu/renderer_x11.h"

#include "gpu/frame_plan.h"
#include "gpu/instances.h"
#include "gpu/overlay_2d.h"
#include "gpu/raster_cpu.h"
#include "gpu/renderer_gl.h"

#if __has_include("gpu/canvas_cairo.h")
#include "gpu/canvas_cairo.h"
#define PERCHKIN_HAVE_CAIRO_CANVAS 1
#endif

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace perchkin {

namespace {

// Frames are paced to this period when the swap does not wait for the display itself.
constexpr double kFramePeriod = 1.0 / 60.0;

double monotonic_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void sleep_until(double deadline) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(std::floor(deadline));
  ts.tv_nsec = static_cast<long>((deadline - std::floor(deadline)) * 1e9);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
  }
}

// The 2D layer: premultiplied BGRA memory the size of the buffer, and the canvas drawing into it.
class Layer {
 public:
  bool has_content = false;  // some pixel may be drawn; false: all transparent

  void resize(int w, int h) {
    has_content = false;
    width_ = w;
    height_ = h;
    pixels_.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4, 0);
  }
  std::uint8_t* data() { return pixels_.data(); }
  int stride() const { return width_ * 4; }

  void clear(const PixelRect& r) {
    for (int y = r.top; y < r.bottom; ++y)
      std::memset(pixels_.data() + (static_cast<std::size_t>(y) * width_ + r.left) * 4, 0,
                  static_cast<std::size_t>(r.right - r.left) * 4);
  }

 private:
  int width_ = 0, height_ = 0;
  std::vector<std::uint8_t> pixels_;
};

// The 2D canvas that draws into layer memory. Until the Cairo canvas exists in this build, text
// is estimated and nothing is drawn.
class LayerCanvas {
 public:
#ifdef PERCHKIN_HAVE_CAIRO_CANVAS
  Canvas& canvas() { return cairo_; }
  void target(std::uint8_t* p, int w, int h, int stride) { cairo_.target(p, w, h, stride); }
  void finish() {
    cairo_.flush();
    cairo_.release_target();
  }

 private:
  CairoCanvas cairo_;
#else
  Canvas& canvas() { return recording_; }
  void target(std::uint8_t*, int, int, int) {}
  void finish() { recording_.calls.clear(); }

 private:
  RecordingCanvas recording_;
#endif
};

// Passes every call on and notes whether anything was drawn, so a layer that stays empty is
// neither cleared, uploaded nor composited.
class TouchCanvas final : public Canvas {
 public:
  explicit TouchCanvas(Canvas& inner) : inner_(inner) {}
  bool touched = false;

  void set_transform(const CanvasTransform& t) override { inner_.set_transform(t); }
  CanvasTransform transform() const override { return inner_.transform(); }
  void push_clip(const CanvasRect& r) override { inner_.push_clip(r); }
  void pop_clip() override { inner_.pop_clip(); }
  void fill_rect(const CanvasRect& r, CanvasColor c) override { mark(), inner_.fill_rect(r, c); }
  void stroke_rect(const CanvasRect& r, CanvasColor c, float w) override {
    mark(), inner_.stroke_rect(r, c, w);
  }
  void fill_rounded_rect(const CanvasRect& r, float radius, CanvasColor c) override {
    mark(), inner_.fill_rounded_rect(r, radius, c);
  }
  void stroke_rounded_rect(const CanvasRect& r, float radius, CanvasColor c, float w) override {
    mark(), inner_.stroke_rounded_rect(r, radius, c, w);
  }
  void fill_ellipse(CanvasPoint p, float rx, float ry, CanvasColor c) override {
    mark(), inner_.fill_ellipse(p, rx, ry, c);
  }
  void stroke_ellipse(CanvasPoint p, float rx, float ry, CanvasColor c, float w) override {
    mark(), inner_.stroke_ellipse(p, rx, ry, c, w);
  }
  void line(CanvasPoint a, CanvasPoint b, CanvasColor c, float w) override {
    mark(), inner_.line(a, b, c, w);
  }
  void polyline(const std::vector<CanvasPoint>& p, CanvasColor c, float w) override {
    mark(), inner_.polyline(p, c, w);
  }
  void fill_path(const CanvasPath& p, CanvasColor c) override { mark(), inner_.fill_path(p, c); }
  void stroke_path(const CanvasPath& p, CanvasColor c, float w) override {
    mark(), inner_.stroke_path(p, c, w);
  }
  std::unique_ptr<CanvasText> layout_text(std::string_view text, const TextFormat& f, float w,
                                          float h) override {
    return inner_.layout_text(text, f, w, h);
  }
  void draw_text(const CanvasText& t, CanvasPoint o, CanvasColor c) override {
    mark(), inner_.draw_text(t, o, c);
  }
  void draw_bitmap(const CanvasBitmap& b, const CanvasRect& d, float o, bool smooth) override {
    mark(), inner_.draw_bitmap(b, d, o, smooth);
  }

 private:
  void mark() { touched = true; }
  Canvas& inner_;
};

PixelRect clip_to(const PixelRect& r, int w, int h) {
  return {std::max(0, r.left), std::max(0, r.top), std::min(w, r.right), std::min(h, r.bottom)};
}

bool empty(const PixelRect& r) { return r.left >= r.right || r.top >= r.bottom; }

// How the drawn buffer reaches the window.
class Presenter {
 public:
  virtual ~Presenter() = default;
  virtual Status resize(int w, int h) = 0;
  // Draws one layer of the frame inside `rects` (buffer pixels).
  virtual void clear(std::span<const PixelRect> rects) = 0;
  virtual void layer(Layer& layer, std::span<const PixelRect> rects) = 0;
  virtual void instances(const Frame& frame, std::span<const BuddyInstance> list,
                         std::span<const PixelRect> rects) = 0;
  // Shows the buffer at `buffer` on the window (overlay pixels); `whole` when the buffer moved
  // or changed size, so the window outside it must be cleared.
  virtual Status present(const PixelRect& buffer, std::span<const PixelRect> rects, bool whole,
                         int window_w, int window_h) = 0;
};

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
    const int ctx_attrs[] = {GLX_CONTEXT_MAJOR_VERSION_ARB, 3, GLX_CONTEXT_MINOR_VERSION_ARB, 3,
                             GLX_CONTEXT_PROFILE_MASK_ARB, GLX_CONTEXT_CORE_PROFILE_BIT_ARB, None};
    XSync(display_, False);
    context_ = create(display_, chosen, nullptr, True, ctx_attrs);
    XSync(display_, False);
    if (context_ == nullptr) return Status::fail("no OpenGL 3.3 core context");
    if (!glXMakeCurrent(display_, window_, context_)) return Status::fail("cannot use the OpenGL context");
    // The loop paces drawn frames itself (present() waits for the next 1/60 s), which on a
    // virtual or software display costs less than a swap interval that may be ignored.
    using SwapInterval = void (*)(Display*, GLXDrawable, int);
    if (auto set = reinterpret_cast<SwapInterval>(
            glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT"))))
      set(display_, window_, 0);
    pass_ = std::make_unique<GlPass>();
    if (Status s = pass_->init(textures); !s.ok()) return s;
    const char* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    renderer_name_ = name != nullptr ? name : "unknown";
    return Status::success();
  }
  const std::string& name() const { return renderer_name_; }

  Status resize(int w, int h) override { return pass_->resize(w, h); }
  void clear(std::span<const PixelRect> rects) override { pass_->clear(rects); }
  void layer(Layer& layer, std::span<const PixelRect> rects) override {
    pass_->composite_layer(layer.data(), layer.stride(), rects);
  }
  void instances(const Frame& frame, std::span<const BuddyInstance> list,
                 std::span<const PixelRect> rects) override {
    pass_->draw_instances(frame, list, rects);
  }
  Status present(const PixelRect& buffer, std::span<const PixelRect>, bool, int window_w,
                 int window_h) override {
    // The window's back buffer holds nothing worth keeping: clear it and copy the buffer in.
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, pass_->framebuffer());
    glViewport(0, 0, window_w, window_h);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const int bw = pass_->width(), bh = pass_->height();
    glBlitFramebuffer(0, 0, bw, bh, buffer.left, window_h - buffer.top - bh, buffer.left + bw,
                      window_h - buffer.top, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    if (Status s = pass_->check("drawing the frame"); !s.ok()) return s;
    glXSwapBuffers(display_, window_);
    return Status::success();
  }

 private:
  Display* display_;
  Window window_;
  GLXContext context_ = nullptr;
  std::unique_ptr<GlPass> pass_;
  std::string renderer_name_;
};

// The reference rasterizer into memory, put on the window with XPutImage.
class SoftwarePresenter final : public Presenter {
 public:
  SoftwarePresenter(Display* d, Window w) : display_(d), window_(w) {}
  ~SoftwarePresenter() override {
    if (gc_ != nullptr) XFreeGC(display_, gc_);
  }

  Status start(const SpriteTextures& textures) {
    textures_ = &textures;
    XWindowAttributes attrs{};
    if (!XGetWindowAttributes(display_, window_, &attrs))
      return Status::fail("cannot read the overlay window");
    if (attrs.depth != 32) return Status::fail("the overlay window is not 32-bit ARGB");
    visual_ = attrs.visual;
    gc_ = XCreateGC(display_, window_, 0, nullptr);
    return gc_ != nullptr ? Status::success() : Status::fail("cannot draw on the overlay window");
  }

  Status resize(int w, int h) override {
    image_ = make_image(w, h);
    return Status::success();
  }
  void clear(std::span<const PixelRect> rects) override {
    for (const PixelRect& r : rects) fill_rect(r, nullptr);
  }
  // The first layer is drawn straight into the image by the caller; this one is composited.
  void layer(Layer& layer, std::span<const PixelRect> rects) override {
    for (const PixelRect& r0 : rects) {
      const PixelRect r = clip_to(r0, image_.width, image_.height);
      for (int y = r.top; y < r.bottom; ++y) {
        const std::uint8_t* src = layer.data() + (static_cast<std::size_t>(y) * image_.width + r.left) * 4;
        std::uint8_t* dst = image_.pixels.data() + (static_cast<std::size_t>(y) * image_.width + r.left) * 4;
        for (int x = r.left; x < r.right; ++x, src += 4, dst += 4) {
          const unsigned keep = 255u - src[3];
          for (int k = 0; k < 4; ++k)
            dst[k] = static_cast<std::uint8_t>(std::min(255u, src[k] + (dst[k] * keep + 127u) / 255u));
        }
      }
    }
  }
  // The image is BGRA (the window's byte order); the rasterizer draws RGBA, so each rectangle
  // is drawn in a copy with red and blue swapped, then swapped back.
  void instances(const Frame& frame, std::span<const BuddyInstance> list,
                 std::span<const PixelRect> rects) override {
    for (const PixelRect& r0 : rects) {
      const PixelRect r = clip_to(r0, image_.width, image_.height);
      if (empty(r)) continue;
      RgbaImage part = make_image(r.right - r.left, r.bottom - r.top);
      copy_swapped(part, r, true);
      Frame f = frame;
      f.screen = {static_cast<float>(part.width), static_cast<float>(part.height)};
      f.origin = {frame.origin.x + static_cast<float>(r.left), frame.origin.y + static_cast<float>(r.top)};
      draw_instances(part, f, list, *textures_);
      copy_swapped(part, r, false);
    }
  }
  Status present(const PixelRect& buffer, std::span<const PixelRect> rects, bool whole, int,
                 int) override {
    if (whole) XClearWindow(display_, window_);
    XImage* img = XCreateImage(display_, visual_, 32, ZPixmap, 0,
                               reinterpret_cast<char*>(image_.pixels.data()),
                               static_cast<unsigned>(image_.width), static_cast<unsigned>(image_.height), 32,
                               image_.width * 4);
    if (img == nullptr) return Status::fail("cannot make an image for the overlay");
    const PixelRect all{0, 0, image_.width, image_.height};
    for (const PixelRect& r0 : whole ? std::span<const PixelRect>(&all, 1) : rects) {
      const PixelRect r = clip_to(r0, image_.width, image_.height);
      if (empty(r)) continue;
      XPutImage(display_, window_, gc_, img, r.left, r.top, buffer.left + r.left, buffer.top + r.top,
                static_cast<unsigned>(r.right - r.left), static_cast<unsigned>(r.bottom - r.top));
    }
    img->data = nullptr;  // the memory is ours
    XDestroyImage(img);
    XSync(display_, False);
    return Status::success();
  }

  RgbaImage& image() { return image_; }

 private:
  void fill_rect(const PixelRect& r0, const std::uint8_t*) {
    const PixelRect r = clip_to(r0, image_.width, image_.height);
    for (int y = r.top; y < r.bottom; ++y)
      std::memset(image_.pixels.data() + (static_cast<std::size_t>(y) * image_.width + r.left) * 4, 0,
                  static_cast<std::size_t>(std::max(0, r.right - r.left)) * 4);
  }
  void copy_swapped(RgbaImage& part, const PixelRect& r, bool into_part) {
    for (int y = 0; y < part.height; ++y) {
      std::uint8_t* a = part.pixels.data() + static_cast<std::size_t>(y) * part.width * 4;
      std::uint8_t* b = image_.pixels.data() + (static_cast<std::size_t>(y + r.top) * image_.width + r.left) * 4;
      for (int x = 0; x < part.width; ++x, a += 4, b += 4) {
        const std::uint8_t* s = into_part ? b : a;
        std::uint8_t* d = into_part ? a : b;
        const std::uint8_t px[4] = {s[2], s[1], s[0], s[3]};
        std::memcpy(d, px, 4);
      }
    }
  }

  Display* display_;
  Window window_;
  Visual* visual_ = nullptr;
  GC gc_ = nullptr;
  const SpriteTextures* textures_ = nullptr;
  RgbaImage image_;
};

class X11Renderer final : public Renderer {
 public:
  explicit X11Renderer(std::shared_ptr<X11Session> session) : session_(std::move(session)) {}

  Status start(std::uintptr_t window, const ScreenRect& overlay, bool software) override {
    textures_ = build_sprite_textures();
    overlay_ = overlay;
    const auto w = static_cast<Window>(window);
    Display* d = session_->display();
    if (!software) {
      auto gl = std::make_unique<GlxPresenter>(d, w);
      const Status s = gl->start(textures_);
      if (s.ok()) {
        std::fprintf(stderr, "perchkin: drawing with OpenGL (%s)\n", gl->name().c_str());
        presenter_ = std::move(gl);
        return Status::success();
      }
      std::fprintf(stderr, "perchkin: OpenGL cannot start (%s); using the software presenter\n",
                   s.error.c_str());
    }
    auto soft = std::make_unique<SoftwarePresenter>(d, w);
    if (Status s = soft->start(textures_); !s.ok()) return s;
    presenter_ = std::move(soft);
    std::fprintf(stderr, "perchkin: drawing with the software presenter\n");
    return Status::success();
  }

  void resize(const ScreenRect& overlay) override { overlay_ = overlay; }

  Result<FrameResult> frame(const FrameInput& in) override {
    if (!presenter_ || in.crew == nullptr || in.entries == nullptr || in.settings == nullptr ||
        in.scene == nullptr || in.effects == nullptr)
      return Result<FrameResult>::success(FrameResult{});
    const int ow = std::max(1, static_cast<int>(std::lround(overlay_.right - overlay_.left)));
    const int oh = std::max(1, static_cast<int>(std::lround(overlay_.bottom - overlay_.top)));
    const LookSettings& look = in.settings->look;

    InstanceParams params;
    params.alpha = in.alpha;
    params.overlay_left = in.overlay.left;
    params.overlay_top = in.overlay.top;
    params.look = look;
    build_instances(instances_, *in.crew, *in.entries, params);

    SceneActivity activity = scene_activity(*in.crew, *in.entries, *in.scene, *in.effects, in.clock);
    activity.menu_open = static_cast<bool>(in.draw_menu);
    activity.selection = static_cast<bool>(in.draw_selection);
    MarkInput mark_in;
    mark_in.overlay_width = ow;
    mark_in.overlay_height = oh;
    mark_in.overlay_left = in.overlay.left;
    mark_in.overlay_top = in.overlay.top;
    mark_in.box_cells = instance_box_cells(look, !in.settings->custom_hat.empty(),
                                           !in.settings->custom_glasses.empty());
    // Bubble boxes are not measured here yet: a visible bubble redraws the whole overlay.
    const BoxF everything{0.0, 0.0, static_cast<double>(ow), static_cast<double>(oh)};
    if (activity.bubbles) mark_in.extra_boxes = {&everything, 1};
    TileGrid marks = mark_frame(mark_in, instances_, *in.crew, *in.entries, *in.effects, activity);
    if (in.forced) state_.forced_redraw = true;

    const FramePlan plan = plan_frame(state_, instances_, marks, activity, look);
    if (!plan.draw) return Result<FrameResult>::success(FrameResult{});

    const int bw = std::max(1, plan.buffer.right - plan.buffer.left);
    const int bh = std::max(1, plan.buffer.bottom - plan.buffer.top);
    const bool resized = bw != buffer_w_ || bh != buffer_h_;
    if (resized) {
      if (Status s = presenter_->resize(bw, bh); !s.ok()) return s;
      below_.resize(bw, bh);
      above_.resize(bw, bh);
      buffer_w_ = bw;
      buffer_h_ = bh;
    }
    const bool whole = resized || plan.clear_all || plan.buffer_changed || !(plan.buffer == last_buffer_);
    last_buffer_ = plan.buffer;
    const PixelRect all{0, 0, bw, bh};
    std::vector<PixelRect> rects;
    if (whole) {
      rects.push_back(all);
    } else {
      for (const PixelRect& r : plan.clears)
        if (PixelRect c = clip_to(r, bw, bh); !empty(c)) rects.push_back(c);
    }

    presenter_->clear(rects);
    draw_layer(below_, rects, plan.buffer, in, true);
    if (plan.gpu_pass) presenter_->instances(plan.constants, instances_, rects);
    draw_layer(above_, rects, plan.buffer, in, false);

    const double before = monotonic_seconds();
    if (Status s = presenter_->present(plan.buffer, rects, whole, ow, oh); !s.ok()) return s;
    // Pace drawn frames to the display rate; the wait counts as time spent presenting.
    next_deadline_ = std::max(next_deadline_ + kFramePeriod, before);
    if (next_deadline_ > before + kFramePeriod) next_deadline_ = before + kFramePeriod;
    sleep_until(next_deadline_);
    FrameResult result;
    result.drawn = true;
    result.present_ms = (monotonic_seconds() - before) * 1000.0;
    finish_frame(state_, plan, instances_, std::move(marks));
    return Result<FrameResult>::success(result);
  }

  Canvas& canvas() override { return canvas_.canvas(); }

 private:
  void draw_layer(Layer& layer, std::span<const PixelRect> rects, const PixelRect& buffer,
                  const FrameInput& in, bool first) {
    canvas_.target(layer.data(), buffer_w_, buffer_h_, layer.stride());
    TouchCanvas c(canvas_.canvas());
    for (const PixelRect& r : rects) {
      if (layer.has_content) layer.clear(r);
      // The passes draw in overlay pixels; the buffer's top-left is at `buffer` on the overlay.
      c.set_transform(canvas_translate(static_cast<float>(-buffer.left), static_cast<float>(-buffer.top)));
      c.push_clip({static_cast<float>(buffer.left + r.left), static_cast<float>(buffer.top + r.top),
                   static_cast<float>(buffer.left + r.right), static_cast<float>(buffer.top + r.bottom)});
      if (first) draw_pass_one(c, in);
      else draw_pass_two(c, in);
      c.pop_clip();
    }
    canvas_.finish();
    if (!c.touched && !layer.has_content) return;
    presenter_->layer(layer, rects);
    // Cleared everywhere and nothing new: the layer is empty again.
    const bool everything = rects.size() == 1 && rects[0] == PixelRect{0, 0, buffer_w_, buffer_h_};
    layer.has_content = c.touched || !everything;
  }

  std::shared_ptr<X11Session> session_;
  SpriteTextures textures_;
  ScreenRect overlay_;
  std::unique_ptr<Presenter> presenter_;
  LayerCanvas canvas_;
  Layer below_, above_;
  FrameState state_;
  std::vector<BuddyInstance> instances_;
  int buffer_w_ = 0, buffer_h_ = 0;
  PixelRect last_buffer_;
  double next_deadline_ = 0.0;
};

}  // namespace

std::unique_ptr<Renderer> make_x11_renderer(std::shared_ptr<X11Session> session) {
  return std::make_unique<X11Renderer>(std::move(session));
}

}  // namespace perchkin
