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

// Whether this process should start OpenGL for the overlay: OpenGL is first started in a
// short-lived child process on a connection of its own, because a driver that draws on the
// processor stays mapped once loaded (llvmpipe: about 50 MB), though the software presenter
// then draws. Fails, with the reason said on standard error as start_glx_presenter says it,
// when OpenGL draws on the processor, cannot start, or the child crashes or hangs (5 s).
// Always succeeds with PERCHKIN_OPENGL=1.
Status probe_glx(Display* display, Window window, const SpriteTextures& textures,
                 FrameLayers& layers);

}  // namespace perchkin
