#pragma once

#include <memory>

#include "gpu/frame_layers_cairo.h"
#include "gpu/presenter.h"
#include "sprites/frames.h"
#include "win/session_x11.h"

namespace perchkin {

// OpenGL on the overlay window, unless it draws on the processor (then the software presenter
// does the same for less); the line on standard error says which. `textures` and `layers`
// outlive the presenter.
Result<std::unique_ptr<Presenter>> start_glx_presenter(Display* display, Window window,
                                                       const SpriteTextures& textures,
                                                       FrameLayers& layers);

}  // namespace perchkin
