// The renderer on the X11 overlay: OpenGL through GLX when a 32-bit ARGB framebuffer config
// exists, else (and with --software) the software presenter, which draws with the reference
// rasterizer and puts the image on the same window. Says on standard error which one runs.
#pragma once

#include "gpu/presenter.h"
#include "gpu/renderer.h"
#include "win/session_x11.h"

#include <memory>

namespace perchkin {

std::unique_ptr<Renderer> make_x11_renderer(std::shared_ptr<X11Session> session);

// With presenter makers on the overlay window; for tests, which stand in for OpenGL.
std::unique_ptr<Renderer> make_x11_renderer(std::shared_ptr<X11Session> session,
                                            PresenterMaker opengl, PresenterMaker software);

}  // namespace perchkin
