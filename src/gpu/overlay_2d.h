// The two 2D passes around the GPU pass: pass one draws what lies behind the buddies (drawings,
// typed text, hazards, particles, rings, burst pixels), pass two what lies in front (wear, dizzy
// stars, the pencil, bubbles, menu marks, the menu, selection marks, the selection box). Both
// draw in overlay pixels through any Canvas; the caller sets the transform to the buffer's
// origin (a translation by minus the buffer's top-left) before each pass, and gets it back.
//
// Also here: the text formats the overlay and the menu share, the bubble measurement the world
// tick runs when a buddy's speech changes, and the text layout service the scene measures typed
// drawings with.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "gpu/canvas.h"
#include "gpu/frame_plan.h"
#include "gpu/instance.h"
#include "gpu/renderer.h"
#include "scene/text_layout.h"
#include "settings/settings.h"
#include "sprites/wear.h"

namespace perchkin {

// The five text formats, sizes times the scale s.
TextFormat bubble_format(double s);  // "Segoe UI" 13.5 s, 400, leading/top
TextFormat symbol_format(double s);  // "Segoe UI Symbol" 18 s, 700, centred
TextFormat label_format(double s);   // "Segoe UI" 16 s, 700, centred
TextFormat shout_format(double s);   // "Impact" 48 s, 400, centred
TextFormat small_format(double s);   // "Segoe UI" 11 s, 600, centred
// Typed text drawings: "Segoe Print" bold at the drawing's size.
TextFormat drawing_format(double size);

// Bubbles shown at once; the older ones wait.
inline constexpr std::size_t kMaxBubbles = 14;
inline constexpr double kTypingRate = 45.0;  // characters a second
inline constexpr double kPopSeconds = 0.22;
// Bubble text size when measuring fails.
inline constexpr double kFallbackBubbleWidth = 80.0, kFallbackBubbleHeight = 20.0;

// Measures the bubble of every buddy whose speech changed since the last call (its
// bubble_serial moved) and starts it at `now`; a buddy whose bubble time has passed loses its
// bubble. The text is laid out in the bubble format, at most 240 s wide.
void update_bubbles(RenderEntries& entries, const Crew& crew, Canvas& canvas, double s,
                    double now);

// Where one bubble is drawn this frame, overlay pixels, before the pop-in scale.
struct BubbleShape {
  std::uint32_t buddy_id = 0;
  CanvasRect box;
  CanvasPoint tail[3];  // base left, tip, base right
  float pop = 1.0f;     // scale about the tip (the overshooting pop-in)
  double age = 0.0;     // seconds since the bubble started
  std::size_t shown = 0;  // characters typed so far; 0 before the text appears
};
// The bubbles this frame draws, oldest first (the newest on top), at most kMaxBubbles.
std::vector<BubbleShape> visible_bubbles(const FrameInput& in);
// Their dirty boxes: each bubble's rectangle with its tail, grown by 24 s.
void bubble_dirty_boxes(const FrameInput& in, std::vector<BoxF>& out);

// Pass one and two. Pass one leaves out the first `skip_drawings` of the drawing list, which
// the caller has drawn already. Pass two draws wear on `instances` (the GPU pass's list, in its
// order); the overload without it builds them from the crew.
void draw_pass_one(Canvas& canvas, const FrameInput& in, std::size_t skip_drawings = 0);
void draw_pass_two(Canvas& canvas, const FrameInput& in,
                   std::span<const BuddyInstance> instances);
void draw_pass_two(Canvas& canvas, const FrameInput& in);

// The hat and glasses on one instance, as pass two places them (the Studio's preview shares it).
// A custom image, when given, is worn instead of the built-in one of its kind.
void draw_buddy_wear(Canvas& canvas, const BuddyInstance& instance, const LookSettings& look,
                     const CanvasBitmap* custom_hat, const CanvasBitmap* custom_glasses);

// The selection box as the second pass ends with it: the dragged rectangle (none while the
// user has not pressed yet) and the hint beside the pointer, all in overlay pixels.
struct SelectionView {
  std::optional<CanvasRect> box;
  CanvasPoint cursor;
  float width = 0.0f, height = 0.0f;  // the overlay's size, which the hint stays inside
};
inline constexpr std::string_view kSelectionHint = "Drag a box around buddies. Esc cancels.";
void draw_selection_box(Canvas& canvas, const SelectionView& view, double s);

// How many drawings at the front of the drawing list are finished: they stay as they are until
// removed, so a backend may keep them drawn from frame to frame.
std::size_t finished_prefix(const Scene& scene);
// Strokes the drawings [first, last) of the drawing list, as pass one does.
void draw_drawings(Canvas& canvas, const Scene& scene, std::size_t first, std::size_t last);

// The pixel-map routines: each run of one letter is one filled rectangle. `origin` is the
// map's top-left; cells are cell_w x cell_h.
void draw_wear_map(Canvas& canvas, const PixelMap& map, CanvasPoint origin, float cell_w,
                   float cell_h);
// Centred on `centre`, every non-'.' cell in `colour`.
void draw_single_map(Canvas& canvas, const PixelMap& map, CanvasPoint centre, float cell,
                     CanvasColor colour);

// Typed text drawings measured by a Canvas's font engine ("Segoe Print" bold), when graphics
// exist. The canvas must outlive it.
class CanvasTextLayout final : public TextLayout {
 public:
  explicit CanvasTextLayout(Canvas& canvas) : canvas_(&canvas) {}
  std::optional<TextBox> layout(std::string_view text, double size) override;

 private:
  Canvas* canvas_;
};

}  // namespace perchkin
