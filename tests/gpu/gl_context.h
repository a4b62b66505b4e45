// An offscreen OpenGL 3.3 core context through EGL, with no X server: Mesa's surfaceless
// platform. Tests skip when none can be made.
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <string>

namespace perchkin::testing_gl {

class OffscreenContext {
 public:
  OffscreenContext() {
    auto get_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (get_display == nullptr) {
      error_ = "no eglGetPlatformDisplayEXT";
      return;
    }
    display_ = get_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr)) {
      error_ = "no surfaceless EGL display";
      display_ = EGL_NO_DISPLAY;
      return;
    }
    eglBindAPI(EGL_OPENGL_API);
    const EGLint config_attrs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE,
                                   EGL_PBUFFER_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display_, config_attrs, &config, 1, &count) || count == 0) {
      error_ = "no EGL config for OpenGL";
      return;
    }
    const EGLint context_attrs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                    EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                    EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, context_attrs);
    if (context_ == EGL_NO_CONTEXT ||
        !eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) {
      error_ = "no OpenGL 3.3 core context";
      return;
    }
    ok_ = true;
  }
  ~OffscreenContext() {
    if (display_ == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    eglTerminate(display_);
  }
  OffscreenContext(const OffscreenContext&) = delete;
  OffscreenContext& operator=(const OffscreenContext&) = delete;

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }

 private:
  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  bool ok_ = false;
  std::string error_;
};

}  // namespace perchkin::testing_gl
