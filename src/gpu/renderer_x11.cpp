// The X11 renderer: picks the presenter, watches for a compositor and cuts the window to its
// opaque pixels while there is none; the frame driver does the rest.
#include "gpu/renderer_x11.h"

#include "base/pace.h"
#include "gpu/frame_driver.h"
#include "gpu/presenter_glx.h"
#include "gpu/presenter_shm_x11.h"

#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <cstdio>
#include <string>
#include <vector>

namespace perchkin {

namespace {

// The window's shape follows the opaque pixels of each frame about to be presented, while it
// is cut to them.
class WindowShape {
 public:
  WindowShape(X11Session& session, Window window) : session_(session), window_(window) {}
  bool active = false;

  // The redrawn rectangles are cut out and their opaque pixels put back, or the whole shape
  // set anew.
  void follow(Presenter& presenter, const FrameDraw& f, int buffer_w, int buffer_h) {
    Display* d = session_.display();
    const PixelRect& buffer = f.buffer;
    shape_.clear();
    const auto to_x = [](const PixelRect& r) {
      return XRectangle{static_cast<short>(r.left), static_cast<short>(r.top),
                        static_cast<unsigned short>(r.right - r.left),
                        static_cast<unsigned short>(r.bottom - r.top)};
    };
    if (f.whole()) {
      presenter.opaque({0, 0, buffer_w, buffer_h}, buffer.left, buffer.top, shape_);
    } else {
      std::vector<XRectangle> cut;
      for (const PixelRect& r : f.rects)
        cut.push_back(to_x({r.left + buffer.left, r.top + buffer.top, r.right + buffer.left,
                            r.bottom + buffer.top}));
      XShapeCombineRectangles(d, window_, ShapeBounding, 0, 0, cut.data(),
                              static_cast<int>(cut.size()), ShapeSubtract, Unsorted);
      for (const PixelRect& r : f.rects) presenter.opaque(r, buffer.left, buffer.top, shape_);
    }
    xshape_.clear();
    for (const PixelRect& r : shape_) xshape_.push_back(to_x(r));
    XShapeCombineRectangles(d, window_, ShapeBounding, 0, 0, xshape_.data(),
                            static_cast<int>(xshape_.size()), f.whole() ? ShapeSet : ShapeUnion,
                            Unsorted);
  }

 private:
  X11Session& session_;
  Window window_;
  std::vector<PixelRect> shape_;
  std::vector<XRectangle> xshape_;
};

// A presenter whose window is cut to the frame's opaque pixels before each present while the
// shape is active.
class ShapedPresenter final : public Presenter {
 public:
  ShapedPresenter(std::unique_ptr<Presenter> inner, WindowShape& shape)
      : inner_(std::move(inner)), shape_(shape) {}
  Status resize(int w, int h) override {
    width_ = w, height_ = h;
    return inner_->resize(w, h);
  }
  Status begin(const FrameDraw& f) override { return inner_->begin(f); }
  Status layer(const FrameDraw& f, Layer which) override { return inner_->layer(f, which); }
  Status buddies(const FrameDraw& f) override { return inner_->buddies(f); }
  // The shape first: the server paints the parts it newly shows with the window's background,
  // and the present then puts the frame over them.
  Status present(const FrameDraw& f) override {
    if (shape_.active) shape_.follow(*inner_, f, width_, height_);
    return inner_->present(f);
  }
  int kept_age() const override { return inner_->kept_age(); }
  bool present_waits() const override { return inner_->present_waits(); }
  std::size_t most_rects() const override { return inner_->most_rects(); }
  bool lost() override { return inner_->lost(); }
  void opaque(const PixelRect& r, int dx, int dy, std::vector<PixelRect>& out) override {
    inner_->opaque(r, dx, dy, out);
  }

 private:
  std::unique_ptr<Presenter> inner_;
  WindowShape& shape_;
  int width_ = 1, height_ = 1;
};

Result<std::unique_ptr<Presenter>> shaped(Result<std::unique_ptr<Presenter>> made,
                                          WindowShape& shape) {
  if (!made.ok()) return made;
  return Result<std::unique_ptr<Presenter>>::success(
      std::make_unique<ShapedPresenter>(std::move(*made.value), shape));
}

class X11Renderer final : public Renderer {
 public:
  X11Renderer(std::shared_ptr<X11Session> session, PresenterMaker opengl, PresenterMaker software)
      : session_(std::move(session)), make_opengl_(std::move(opengl)),
        make_software_(std::move(software)) {}

  Status start(std::uintptr_t window, const ScreenRect& overlay, bool software) override {
    textures_ = build_sprite_textures();
    (void)overlay;
    window_ = static_cast<Window>(window);
    if (session_) {
      const std::string selection = "_NET_WM_CM_S" + std::to_string(session_->screen_number());
      compositor_selection_ = XInternAtom(session_->display(), selection.c_str(), False);
      int shape_event = 0, shape_error = 0;
      has_shape_ = XShapeQueryExtension(session_->display(), &shape_event, &shape_error) != 0;
      shape_ = std::make_unique<WindowShape>(*session_, window_);
    }
    // The real OpenGL presenter is tried in a child process first; stand-ins are not.
    const bool probe = session_ && !make_opengl_;
    if (!make_opengl_)
      make_opengl_ = [this] {
        return shaped(start_glx_presenter(session_->display(), window_, textures_, layers_), *shape_);
      };
    if (!make_software_)
      make_software_ = [this] {
        return shaped(start_shm_presenter(*session_, window_, textures_, layers_), *shape_);
      };
    std::unique_ptr<Presenter> first;
    if (!software && (!probe || probe_glx(session_->display(), window_, textures_, layers_).ok()))
      if (auto gl = make_opengl_(); gl.ok()) first = std::move(*gl.value);
    if (!first) {
      auto soft = make_software_();
      if (!soft.ok()) return Status::fail(soft.error);
      first = std::move(*soft.value);
    }
    // A lost context takes the presenter's objects and this frame with it. OpenGL is started
    // again, up to three times in a row; then the software presenter draws on.
    PresenterRecovery recovery;
    recovery.restart = [this]() -> Result<std::unique_ptr<Presenter>> {
      std::fprintf(stderr, "perchkin: the OpenGL context was lost; starting OpenGL again\n");
      if (auto gl = make_opengl_(); gl.ok()) return gl;
      return software_after_loss();
    };
    recovery.fallback = [this] {
      std::fprintf(stderr,
                   "perchkin: the OpenGL context was lost %d times in a row; drawing with the "
                   "software presenter from now on\n",
                   PresenterRecovery{}.most_restarts + 1);
      return software_after_loss();
    };
    driver_.use(std::move(first), std::move(recovery));
    watch_compositor();
    return Status::success();
  }

  void resize(const ScreenRect&) override {}

  Result<FrameResult> frame(const FrameInput& in) override {
    if (!driver_.ready() || in.crew == nullptr || in.entries == nullptr ||
        in.settings == nullptr || in.scene == nullptr || in.effects == nullptr)
      return Result<FrameResult>::success(FrameResult{});
    watch_compositor();
    return driver_.frame(in);
  }

  Canvas& canvas() override { return layers_.canvas(); }

 private:
  Result<std::unique_ptr<Presenter>> software_after_loss() {
    auto soft = make_software_();
    if (!soft.ok()) return Result<std::unique_ptr<Presenter>>::fail("the OpenGL context was lost: " + soft.error);
    return soft;
  }

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
    if (composited == composited_ && shaped == shape_->active) return;
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
    } else if (shape_->active) {
      XSetWindowBackground(d, window_, 0);
      XShapeCombineMask(d, window_, ShapeBounding, 0, 0, None, ShapeSet);
    }
    composited_ = composited;
    shape_->active = shaped;
    checked_compositor_ = true;
    // Every pixel again, with the new way of showing them.
    driver_.redraw_whole();
  }

  std::shared_ptr<X11Session> session_;
  PresenterMaker make_opengl_, make_software_;
  Window window_ = None;
  Atom compositor_selection_ = None;
  bool has_shape_ = false;
  bool composited_ = true;  // the last look found a compositor
  bool checked_compositor_ = false;
  double next_compositor_check_ = 0.0;
  std::unique_ptr<WindowShape> shape_;
  SpriteTextures textures_;
  FrameLayers layers_;
  // Last: its presenters draw with the layers and textures above.
  FrameDriver driver_;
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
