// Where a frame changed, for a target that keeps its pixels between frames (the X11 overlay's
// framebuffer object or shared image). The frame plan marks every buddy and every moving thing
// in 128-pixel tiles, and the whole overlay while finished drawings, typed text or hazards
// exist, which a target that forgets its pixels needs. One that keeps them needs only what may
// differ from the last drawn frame: buddies whose instance changed (where they were and where
// they are), the things that move by themselves (particles, rings, bursts, bubbles, hazards,
// text being typed, lines in flight, dizzy stars, pencils), each at its own size and at finer
// steps than a tile, plus what the last frame drew of those. A change to the finished drawings,
// the look or the worn images redraws everything once.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "gpu/frame_prepare.h"

namespace perchkin {

// Changes whenever a finished drawing, a typed text or an in-flight drawing is added, removed
// or changed.
std::uint64_t drawing_signature(const Scene& scene);

// Boxes (overlay pixels) of what this frame draws that may differ from the last drawn frame,
// whose instances are `previous`. Nullopt while the menu or a selection box is up: they
// redraw the whole overlay.
std::optional<std::vector<BoxF>> damage_boxes(const FrameInput& in, const PreparedFrame& frame,
                                              std::span<const BuddyInstance> previous);

// Damage is marked in cells of this many pixels; where that would give too many rectangles
// the cells are doubled up to a tile.
inline constexpr int kDamageCell = 16;
// More rectangles than the eight of the plan are cheap here (each is a scissor box), and the
// eight-rectangle reduction merges far-apart tiles into boxes of mostly clean pixels.
inline constexpr std::size_t kMaxDamageRects = 48;

// Row runs of the cells the boxes touch, merged down the rows, in overlay pixels clipped to
// `width` x `height`; at most `most` (coarser cells, or the plan's reduction to eight, when
// finer ones give more).
std::vector<PixelRect> damage_rects(std::span<const BoxF> boxes, int width, int height,
                                    std::size_t most = kMaxDamageRects);

// Rectangles that cover `rects` and do not overlap: the reduction to a few rectangles joins
// far-apart ones into boxes that may overlap others, and a target that blends or draws per
// rectangle must not touch a pixel twice. Overlapping ones are joined into their bounding box
// (never more rectangles: each costs a target like the GL one a wait); rectangles already
// apart come back as they are, in order.
std::vector<PixelRect> without_overlaps(std::span<const PixelRect> rects);

// Kept by the backend from frame to frame.
struct DamageState {
  std::optional<std::vector<BoxF>> previous;  // the last drawn frame's boxes
  std::uint64_t signature = 0;
  LookSettings look;
  std::uint64_t hat = 0, glasses = 0;  // ids of the worn images, 0 for none
};

// Replaces the plan's clears (buffer pixels) by this frame's and the last frame's damage when
// that is allowed, and remembers this frame for the next. Call after prepare_frame on a frame
// that is drawn, before finish_prepared (`state` still holds the last frame's instances).
// `most`: the rectangles a target takes before each costs more than the pixels it saves.
void narrow_clears(DamageState& damage, const FrameInput& in, const FrameState& state,
                   PreparedFrame& frame, std::size_t most = kMaxDamageRects);

}  // namespace perchkin
