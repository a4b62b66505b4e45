#include "studio/studio_window.h"

namespace perchkin {

void studio_pointer_moved(StudioInput& input, float x, float y) {
  if (input.x == x && input.y == y) return;
  input.x = x;
  input.y = y;
  input.needs_redraw = true;
}

void studio_pointer_left(StudioInput& input) { studio_pointer_moved(input, -1.0f, -1.0f); }

void studio_button(StudioInput& input, bool down) {
  if (down) {
    if (input.held) return;
    input.held = true;
    input.pressed = true;
  } else {
    if (!input.held) return;
    input.held = false;
    input.released = true;
  }
  input.needs_redraw = true;
}

void studio_wheel(StudioInput& input, float notches) {
  if (notches == 0.0f) return;
  input.wheel += notches;
  input.needs_redraw = true;
}

void studio_typed(StudioInput& input, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return;
  if (input.typed.size() >= kStudioMaxTyped) return;
  input.typed.push_back(c);
  input.needs_redraw = true;
}

void studio_key(StudioInput& input, StudioKey key) {
  if (input.keys.size() >= kStudioMaxTyped) return;
  input.keys.push_back(key);
  input.needs_redraw = true;
}

void queue_studio_event(std::vector<StudioEvent>& queue, const StudioEvent& event) {
  using Kind = StudioEvent::Kind;
  if (event.kind == Kind::move && !queue.empty() && queue.back().kind == Kind::move) {
    queue.back() = event;
    return;
  }
  if (queue.size() >= kStudioMaxEvents && event.kind != Kind::close) return;
  queue.push_back(event);
}

void apply_studio_events(std::vector<StudioEvent>& queue, StudioInput& input) {
  for (const StudioEvent& e : queue) {
    switch (e.kind) {
      case StudioEvent::Kind::move: studio_pointer_moved(input, e.x, e.y); break;
      case StudioEvent::Kind::leave: studio_pointer_left(input); break;
      case StudioEvent::Kind::button: studio_button(input, e.down); break;
      case StudioEvent::Kind::wheel: studio_wheel(input, e.notches); break;
      case StudioEvent::Kind::typed: studio_typed(input, e.c); break;
      case StudioEvent::Kind::key: studio_key(input, e.key); break;
      case StudioEvent::Kind::close:
        input.close_requested = true;
        input.needs_redraw = true;
        break;
      case StudioEvent::Kind::expose: input.needs_redraw = true; break;
    }
  }
  queue.clear();
}

char32_t Utf16Joiner::push(char16_t unit) {
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    high_ = unit;  // an earlier high half without its partner is dropped
    return 0;
  }
  if (unit >= 0xDC00 && unit <= 0xDFFF) {
    const char16_t high = high_;
    high_ = 0;
    if (high == 0) return 0;
    return 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) +
           (static_cast<char32_t>(unit) - 0xDC00);
  }
  high_ = 0;
  return unit;
}

Status FakeStudioWindow::open(double s) {
  if (open_) {
    ++raised;
    return Status::success();
  }
  if (!fail_open.empty()) return Status::fail(fail_open);
  open_ = true;
  scale = s;
  ++created;
  queued.push_back({StudioEvent::Kind::expose});
  return Status::success();
}

void FakeStudioWindow::close() {
  if (!open_) return;
  open_ = false;
  over = false;
  queued.clear();
  ++closed;
}

void FakeStudioWindow::pump(StudioInput& input) {
  if (open_) apply_studio_events(queued, input);
}

Status FakeStudioWindow::present(const std::function<void(Canvas&)>& draw) {
  if (!open_) return Status::fail("the window is closed");
  last_frame.calls.clear();
  draw(last_frame);
  ++frames;
  return Status::success();
}

void FakeStudioWindow::click(float x, float y) {
  move(x, y);
  StudioEvent down{StudioEvent::Kind::button};
  down.down = true;
  queued.push_back(down);
  queued.push_back({StudioEvent::Kind::button});
}

void FakeStudioWindow::type(std::u32string_view text) {
  for (char32_t c : text) {
    StudioEvent e{StudioEvent::Kind::typed};
    e.c = c;
    queued.push_back(e);
  }
}

}  // namespace perchkin
