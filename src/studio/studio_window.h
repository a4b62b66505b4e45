// The Studio's own window: at most one, opened on demand, which turns the window system's input
// into the StudioInput record and shows the frames the pages draw. One implementation per
// desktop (studio_window_x11.cpp, studio_window_win32.cpp) and a fake for tests; the headless
// companion has none.
#pragma once

#include "base/status.h"
#include "gpu/canvas.h"
#include "studio/studio.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace perchkin {

class StudioWindow {
 public:
  virtual ~StudioWindow() = default;
  // Creates and shows the window, its client area kStudioWidth x kStudioHeight times `scale`,
  // where the system places it; when it is open already, brings it to the front instead. The
  // error is the reason shown after "Could not open Perchkin Studio: ".
  virtual Status open(double scale) = 0;
  // Hides and destroys the window; nothing when it is closed.
  virtual void close() = 0;
  virtual bool is_open() const = 0;
  // Moves what happened to the window since the last call into `input`. Every change sets
  // needs_redraw, and so does a window whose pixels were lost (shown, uncovered).
  virtual void pump(StudioInput& input) = 0;
  // Whether the pointer is over the window where no other window covers it.
  virtual bool pointer_over() = 0;
  // Draws one frame: `draw` paints the whole client area on the canvas, which is then shown at
  // once, without flicker. A failure leaves the window as it was.
  virtual Status present(const std::function<void(Canvas&)>& draw) = 0;
};

// What happened to a window, queued by its window procedure until the next pump().
struct StudioEvent {
  enum class Kind : std::uint8_t { move, leave, button, wheel, typed, close, expose, key };
  Kind kind = Kind::expose;
  float x = 0.0f, y = 0.0f;  // move
  bool down = false;         // button (the left one)
  float notches = 0.0f;      // wheel
  char32_t c = 0;            // typed
  StudioKey key = StudioKey::tab;
};

// Queues an event: a move right after a move replaces it, and a queue nobody drains stops
// growing at kStudioMaxEvents (only the close request still gets in).
void queue_studio_event(std::vector<StudioEvent>& queue, const StudioEvent& event);
inline constexpr std::size_t kStudioMaxEvents = 1024;
// Applies the queued events to the record in order and empties the queue.
void apply_studio_events(std::vector<StudioEvent>& queue, StudioInput& input);

// The input record's changes, each setting needs_redraw when it changes something.
void studio_pointer_moved(StudioInput& input, float x, float y);
// The pointer left the window (its position becomes negative).
void studio_pointer_left(StudioInput& input);
void studio_button(StudioInput& input, bool down);
void studio_wheel(StudioInput& input, float notches);
// Queues a typed character. Surrogate halves and values beyond U+10FFFF are dropped, and so is
// everything past kStudioMaxTyped characters waiting for one frame.
void studio_typed(StudioInput& input, char32_t c);
inline constexpr std::size_t kStudioMaxTyped = 256;
// Queues a focus key, as many as typed characters at most.
void studio_key(StudioInput& input, StudioKey key);

// Windows hands typed text over as UTF-16 units, one message each: a high surrogate waits for
// the low one that follows it; a half without its partner is dropped.
class Utf16Joiner {
 public:
  // The scalar value `unit` completes, or 0 when there is none yet (or it was a lone half).
  char32_t push(char16_t unit);

 private:
  char16_t high_ = 0;
};

// For tests: a window that lives in memory. The test queues what the user does; pump() hands
// it out; frames are drawn on a recording canvas.
class FakeStudioWindow final : public StudioWindow {
 public:
  int created = 0;  // windows made
  int raised = 0;   // open() while open
  int closed = 0;
  int frames = 0;
  double scale = 0.0;
  std::string fail_open;  // non-empty: open() fails with this reason
  bool over = false;
  std::vector<StudioEvent> queued;
  RecordingCanvas last_frame;

  Status open(double s) override;
  void close() override;
  bool is_open() const override { return open_; }
  void pump(StudioInput& input) override;
  bool pointer_over() override { return open_ && over; }
  Status present(const std::function<void(Canvas&)>& draw) override;

  // What a user does, handed out by the next pump().
  void move(float x, float y) { queued.push_back({StudioEvent::Kind::move, x, y}); }
  void click(float x, float y);
  void type(std::u32string_view text);
  void press(StudioKey key) {
    StudioEvent e{StudioEvent::Kind::key};
    e.key = key;
    queued.push_back(e);
  }
  void request_close() { queued.push_back({StudioEvent::Kind::close}); }

 private:
  bool open_ = false;
};

}  // namespace perchkin
