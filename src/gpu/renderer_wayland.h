#pragma once

#include "gpu/renderer.h"
#include "win/session_wayland.h"

#include <memory>

namespace perchkin {

// The renderer on the Wayland overlay: the software presenter, shown on each output's surface.
std::unique_ptr<Renderer> make_wayland_renderer(std::shared_ptr<WaylandSession> session);

}  // namespace perchkin
