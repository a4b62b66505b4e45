// The two 2D passes around the GPU pass: pass one draws what lies behind the buddies (drawings,
// hazards, particles, rings, burst pixels), pass two what lies in front (wear, dizzy stars, the
// pencil, bubbles, selection marks, then the menu and the selection box). Both draw in overlay
// pixels through any Canvas; the caller sets the transform to the buffer's origin.
#pragma once

#include "gpu/canvas.h"
#include "gpu/renderer.h"

namespace perchkin {

void draw_pass_one(Canvas& canvas, const FrameInput& in);
void draw_pass_two(Canvas& canvas, const FrameInput& in);

}  // namespace perchkin
