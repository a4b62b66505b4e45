// OpenGL through GLX: the frame is drawn into a framebuffer object the buffer's size and
// blitted to the window, all of it or only the changed rectangles.
#include "gpu/presenter_glx.h"

#include "gpu/opaque_shape.h"
#include "gpu/renderer_gl.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace perchkin {

namespace {

// PERCHKIN_OPENGL=1 keeps OpenGL where it rasterizes on the processor (to test that path).
bool keep_opengl() {
  const char* v = std::getenv("PERCHKIN_OPENGL");
  return v != nullptr && std::strcmp(v, "1") == 0;
}

using CopySubBuffer = void (*)(Display*, GLXDrawable, int, int, int, int);

class GlxPresenter final : public LayeredPresenter {
 public:
  GlxPresenter(Display* d, Window w, FrameLayers& layers)
      : LayeredPresenter(layers), display_(d), window_(w) {}
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

  Status resize_buffer(int w, int h) override { return pass_->resize(w, h); }
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
  Status present(const FrameDraw& f) override {
    const PixelRect& buffer = f.buffer;
    const int window_w = f.window.width, window_h = f.window.height;
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
    const bool partial = copy_sub_buffer_ != nullptr && !f.whole();
    if (!partial) {
      // Outside the buffer the window is transparent.
      glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
      glClear(GL_COLOR_BUFFER_BIT);
      blit({0, 0, bw, bh});
    } else {
      for (const PixelRect& r0 : f.rects)
        if (const PixelRect r = clip_to(r0, bw, bh); !is_empty(r)) blit(r);
    }
    if (Status s = pass_->check("drawing the frame"); !s.ok()) return s;
    if (copy_sub_buffer_ == nullptr) {
      glXSwapBuffers(display_, window_);
    } else if (!partial) {
      copy_sub_buffer_(display_, window_, 0, 0, window_w, window_h);
    } else {
      for (const PixelRect& r0 : f.rects)
        if (const PixelRect r = clip_to(r0, bw, bh); !is_empty(r))
          copy_sub_buffer_(display_, window_, buffer.left + r.left, window_h - buffer.top - r.bottom,
                           r.right - r.left, r.bottom - r.top);
    }
    return Status::success();
  }
  void opaque(const PixelRect& r0, int dx, int dy, std::vector<PixelRect>& out) override {
    const int bw = pass_->width(), bh = pass_->height();
    const PixelRect r = clip_to(r0, bw, bh);
    if (!!is_empty(r)) return;
    const int w = r.right - r.left;
    const std::size_t stride = static_cast<std::size_t>(w) * 4;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, pass_->framebuffer());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // A band of rows at a time: the whole buffer at once would keep two copies of it.
    constexpr int kBandRows = 64;
    for (int top = r.top; top < r.bottom; top += kBandRows) {
      const int h = std::min(kBandRows, r.bottom - top);
      read_.resize(stride * static_cast<std::size_t>(h));
      flipped_.resize(read_.size());
      glReadPixels(r.left, bh - top - h, w, h, GL_BGRA, GL_UNSIGNED_BYTE, read_.data());
      // OpenGL's rows run upwards.
      for (int y = 0; y < h; ++y)
        std::memcpy(flipped_.data() + static_cast<std::size_t>(y) * stride,
                    read_.data() + static_cast<std::size_t>(h - 1 - y) * stride, stride);
      opaque_rectangles(flipped_.data(), stride, {0, 0, w, h}, dx + r.left, dy + top, out);
    }
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

// A driver that hangs in the trial process means no usable OpenGL.
constexpr std::chrono::seconds kProbeTimeout{5};

// The lines on standard error that say why the software presenter draws instead of OpenGL.
void say_on_processor(const std::string& name) {
  // Measured with 1,000 buddies on llvmpipe: the presenter took about a quarter of the
  // processor time a frame that OpenGL did (200: a quarter too); the pixels are the same.
  std::fprintf(stderr,
               "perchkin: OpenGL draws on the processor here (%s); the software presenter "
               "does the same for less (PERCHKIN_OPENGL=1 keeps OpenGL)\n",
               name.c_str());
}
void say_cannot_start(const std::string& error) {
  std::fprintf(stderr, "perchkin: OpenGL cannot start (%s); using the software presenter\n",
               error.c_str());
}

// An unmapped 1 x 1 window with the overlay's visual, for a context like the overlay's.
Window window_like(Display* d, VisualID visual) {
  XVisualInfo wanted{};
  wanted.visualid = visual;
  int count = 0;
  XVisualInfo* found = XGetVisualInfo(d, VisualIDMask, &wanted, &count);
  if (found == nullptr) return None;
  const Window root = RootWindow(d, found->screen);
  XSetWindowAttributes attrs{};
  attrs.colormap = XCreateColormap(d, root, found->visual, AllocNone);
  const Window w = XCreateWindow(d, root, 0, 0, 1, 1, 0, found->depth, InputOutput, found->visual,
                                 CWColormap | CWBorderPixel | CWBackPixel, &attrs);
  XFree(found);
  return w;
}

// The child's answer: "gpu", "cpu" or "fail", a tab, then the renderer's name or the error.
[[noreturn]] void probe_in_child(const std::string& display_name, VisualID visual,
                                 const SpriteTextures& textures, FrameLayers& layers, int fd) {
  // A crash here is the probe's answer, not the companion's crash.
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, SIG_DFL);
  std::string answer = "fail\tcannot open the display " + display_name;
  if (Display* d = XOpenDisplay(display_name.c_str())) {
    const Window w = window_like(d, visual);
    if (w == None) {
      answer = "fail\tno window with the overlay's visual";
    } else {
      // Never drawn with and never destroyed: the process ends with _exit.
      auto* gl = new GlxPresenter(d, w, layers);
      const Status s = gl->start(textures);
      answer = !s.ok() ? "fail\t" + s.error
                       : std::string(gl->rasterizes_on_cpu() ? "cpu\t" : "gpu\t") + gl->name();
    }
  }
  for (std::size_t done = 0; done < answer.size();) {
    const ssize_t n = write(fd, answer.data() + done, answer.size() - done);
    if (n <= 0 && errno != EINTR) break;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  // No exit handlers or destructors: they belong to the companion.
  _exit(0);
}

}  // namespace

Status probe_glx(Display* display, Window window, const SpriteTextures& textures,
                 FrameLayers& layers) {
  if (keep_opengl()) return Status::success();
  XWindowAttributes attrs{};
  if (!XGetWindowAttributes(display, window, &attrs)) {
    say_cannot_start("cannot read the overlay window");
    return Status::fail("cannot read the overlay window");
  }
  const VisualID visual = XVisualIDFromVisual(attrs.visual);
  const std::string display_name = DisplayString(display);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return Status::success();  // no probe: OpenGL decides itself
  // Nothing of ours waits in Xlib's buffer for the child to inherit.
  XFlush(display);
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return Status::success();
  }
  if (pid == 0) {
    close(fds[0]);
    probe_in_child(display_name, visual, textures, layers, fds[1]);
  }
  close(fds[1]);
  std::string answer;
  bool timed_out = false;
  const auto deadline = std::chrono::steady_clock::now() + kProbeTimeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) break;      // no answer to wait for
    if (ready == 0) continue;  // the deadline is checked above
    char chunk[512];
    const ssize_t n = read(fds[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the child is done
    answer.append(chunk, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  if (timed_out) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const std::size_t tab = answer.find('\t');
  std::string error;
  if (timed_out)
    error = "a trial of it in a child process did not answer within " +
            std::to_string(kProbeTimeout.count()) + " s";
  else if (tab == std::string::npos && WIFSIGNALED(status))
    error = "a trial of it in a child process crashed with signal " +
            std::to_string(WTERMSIG(status));
  else if (tab == std::string::npos)
    error = "a trial of it in a child process gave no answer";
  if (!error.empty()) {
    say_cannot_start(error);
    return Status::fail(error);
  }
  const std::string verdict = answer.substr(0, tab), text = answer.substr(tab + 1);
  if (verdict == "gpu") return Status::success();
  if (verdict == "cpu") {
    say_on_processor(text);
    return Status::fail("OpenGL draws on the processor");
  }
  say_cannot_start(text);
  return Status::fail(text);
}

Result<std::unique_ptr<Presenter>> start_glx_presenter(Display* display, Window window,
                                                       const SpriteTextures& textures,
                                                       FrameLayers& layers) {
  auto gl = std::make_unique<GlxPresenter>(display, window, layers);
  const Status s = gl->start(textures);
  if (s.ok() && (!gl->rasterizes_on_cpu() || keep_opengl())) {
    std::fprintf(stderr, "perchkin: drawing with OpenGL (%s)\n", gl->name().c_str());
    return Result<std::unique_ptr<Presenter>>::success(std::move(gl));
  }
  if (s.ok()) {
    say_on_processor(gl->name());
    return Result<std::unique_ptr<Presenter>>::fail("OpenGL draws on the processor");
  }
  say_cannot_start(s.error);
  return Result<std::unique_ptr<Presenter>>::fail(s.error);
}

}  // namespace perchkin
