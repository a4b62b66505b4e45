// Perchkin Studio: the settings window's contents, an immediate-mode interface rebuilt every
// frame from the settings and the input record, drawn through a Canvas. The window around it
// (one per desktop, see studio_window.h) fills the input record and presents the canvas; this
// file knows nothing of windows.
#pragma once

#include "gpu/canvas.h"
#include "settings/settings.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace perchkin {

struct WearImages;

inline constexpr int kStudioPages = 7;
// Look, Personality, World, Menu, General, About, Speech.
enum StudioPage : int {
  kStudioLook = 0,
  kStudioPersonality = 1,
  kStudioWorld = 2,
  kStudioMenu = 3,
  kStudioGeneral = 4,
  kStudioAbout = 5,
  kStudioSpeech = 6,
};

// The client area in pixels before the display scale.
inline constexpr int kStudioWidth = 920;
inline constexpr int kStudioHeight = 660;

// Typed characters use the control codes a Windows WM_CHAR gives, so both windows feed the same
// stream: backspace 8, tab 9, enter 13, escape 27.
inline constexpr char32_t kStudioBackspace = 8;
inline constexpr char32_t kStudioEnter = 13;
inline constexpr char32_t kStudioEscape = 27;

// Keys that move the keyboard focus between the controls and act on the focused one; they come
// beside the typed characters (Tab, Enter and Space arrive as both).
enum class StudioKey : std::uint8_t { tab, back_tab, left, right, up, down, enter, space };

// Filled by the window, read by the frame. Positions are client pixels (scaled).
struct StudioInput {
  float x = -1.0f, y = -1.0f;  // the pointer; negative when it is outside the window
  bool held = false;           // left button
  bool pressed = false;        // went down since the last frame
  bool released = false;       // went up since the last frame
  float wheel = 0.0f;          // notches (wheel units / 120), positive away from the user
  std::vector<char32_t> typed; // Unicode scalar values in order; surrogate halves never enter
  std::vector<StudioKey> keys;  // in order
  bool close_requested = false;
  bool needs_redraw = true;    // set by every change above; cleared by the frame

  // What one frame consumes: the edges, the wheel and the typed characters.
  void consume() {
    pressed = released = false;
    wheel = 0.0f;
    typed.clear();
    keys.clear();
    needs_redraw = false;
  }
};

// What the pages need to know beyond the settings.
struct StudioContext {
  double scale = 1.0;          // the display scale
  std::size_t crew_size = 0;
  bool unleashed = false;      // the running mode (--unleashed or the setting)
  const WearImages* wear = nullptr;  // the user's hats and glasses; null when none are loaded
  std::string settings_notice;  // a settings file kept aside, or a save that failed
};

// Work a page asks of the program; the settings changes themselves are made in place.
struct StudioRequest {
  enum class Kind : std::uint8_t {
    add_buddies,     // count
    remove_all,      // every buddy but one
    try_menu,        // open the action menu
    test_voice,      // speak the sample line
    import_hat,      // start the file chooser
    import_glasses,
    reset_everything, // every setting back to its default (already done to the settings)
    delete_hat,      // name: the user's hat image to delete (its file too)
    delete_glasses,  // name
  };
  Kind kind = Kind::add_buddies;
  std::size_t count = 0;
  std::string name;
};

// The Studio's own state between frames: page, scroll, the field being typed into, the
// confirmation panel, the slider being dragged.
struct StudioState {
  int page = kStudioLook;
  float scroll = 0.0f;
  // Internal to the pages (typing, confirmation, drag capture, hover); the window does not
  // look inside.
  struct Detail;
  std::shared_ptr<Detail> detail;
};

struct StudioFrameResult {
  bool settings_changed = false;  // apply to the crew now, save 500 ms after the last change
  std::vector<StudioRequest> requests;
  bool animating = false;         // wants another frame soon even without input (e.g. a caret)
};

// Opening on a page: selects it and drops any typing, confirmation or drag in progress.
void studio_open_page(StudioState& state, int page);

// Runs one frame: reads the input, changes `settings` in place, draws the whole client area
// (kStudioWidth x kStudioHeight times ctx.scale) on the canvas. Does not clear the input record
// (the caller calls input.consume() after presenting).
StudioFrameResult studio_frame(Canvas& canvas, StudioState& state, const StudioInput& input,
                               Settings& settings, const StudioContext& ctx);

}  // namespace perchkin
