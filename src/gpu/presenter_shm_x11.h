#pragma once

#include <memory>

#include "gpu/frame_layers_cairo.h"
#include "gpu/presenter.h"
#include "sprites/frames.h"
#include "win/session_x11.h"

namespace perchkin {

// The software presenter on the overlay window: the reference rasterizer into memory shared
// with the X server where it can be, else plain images. `session`, `textures` and `layers`
// outlive the presenter.
Result<std::unique_ptr<Presenter>> start_shm_presenter(X11Session& session, Window window,
                                                       const SpriteTextures& textures,
                                                       FrameLayers& layers);

}  // namespace perchkin
