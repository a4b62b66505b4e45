// Until the overlay layers are drawn, both passes draw only the menu and selection hooks.
#include "gpu/overlay_2d.h"

namespace perchkin {

void draw_pass_one(Canvas&, const FrameInput&) {}

void draw_pass_two(Canvas& canvas, const FrameInput& in) {
  if (in.draw_menu) in.draw_menu(canvas);
  if (in.draw_selection) in.draw_selection(canvas);
}

}  // namespace perchkin
