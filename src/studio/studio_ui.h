// The Studio's controls: a small immediate-mode toolkit that lays rows out top to bottom in the
// page's column, draws them and answers the pointer in the same call. Internal to the Studio.
#pragma once

#include "studio/studio.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace perchkin {

// How a number row shows and takes its value.
enum class NumberUnit : std::uint8_t {
  percent,  // 1.0 shows as "100%"; typed numbers are percent
  whole,    // whole numbers
  decimal,  // one decimal place
};

// One number row: its label, the setting it edits and its normal (slider) range. Anything
// outside that range needs the user's confirmation, and is then held to the load rules' range.
struct NumberRow {
  std::string_view label;
  double& (*field)(Settings&) = nullptr;
  double min = 0.0, max = 1.0;
  NumberUnit unit = NumberUnit::percent;
};

// The field keyboard characters go to.
enum class FieldKind : std::uint8_t { none, number, phrase, moment };

struct StudioState::Detail {
  // The field being typed into.
  FieldKind field = FieldKind::none;
  NumberRow number;          // when field == number
  std::size_t moment = 0;     // when field == moment
  std::string text;
  bool fresh = false;         // still showing the value it opened with, all of it selected
  CanvasRect field_rect;      // where it was last drawn

  // The confirmation panel: for a typed number outside its normal range, before resetting
  // everything, before deleting one of the user's images (its name in ask_name).
  enum class Ask : std::uint8_t { number, reset, delete_hat, delete_glasses };
  bool confirming = false;
  Ask ask = Ask::number;
  std::string ask_name;
  NumberRow confirm_row;
  double confirm_value = 0.0;

  // The slider being dragged, by its label.
  std::string drag;
  // The colour row whose palette is open, by its label.
  std::string palette;

  // The keyboard focus: which of the page's focus stops has it (in drawing order), shown once a
  // key moved it and hidden by a pointer press; and how many stops the last frame had.
  int focus = -1;
  bool focus_shown = false;
  int focus_stops = 0;

  // The page's height last frame, for clamping the scroll.
  float content_height = 0.0f;
  int laid_out_page = -1;

  // The preview, rendered again only when the look changes.
  struct Preview;
  std::shared_ptr<Preview> preview;
};

// Colours of the Studio's own dark theme, 0xRRGGBB.
namespace studio_theme {
inline constexpr std::uint32_t kWindow = 0x1A1B20;
inline constexpr std::uint32_t kNav = 0x131418;
inline constexpr std::uint32_t kNavHover = 0x1E2026;
inline constexpr std::uint32_t kNavSelected = 0x262830;
inline constexpr std::uint32_t kTile = 0x23252C;
inline constexpr std::uint32_t kTileHover = 0x292C34;
inline constexpr std::uint32_t kBorder = 0x30333C;
inline constexpr std::uint32_t kText = 0xECEDF0;
inline constexpr std::uint32_t kText2 = 0xA3A7B1;
inline constexpr std::uint32_t kText3 = 0x6C707B;
inline constexpr std::uint32_t kAccent = 0xE07A55;
inline constexpr std::uint32_t kAccentHover = 0xEA8C69;
inline constexpr std::uint32_t kControl = 0x343741;
inline constexpr std::uint32_t kControlHover = 0x3E424D;
inline constexpr std::uint32_t kField = 0x17181C;
inline constexpr std::uint32_t kDanger = 0xE5605A;
}  // namespace studio_theme

enum class ButtonStyle : std::uint8_t { normal, accent, danger };

// One frame of one page: the column it lays out in and the pointer it answers.
class StudioUi {
 public:
  StudioUi(Canvas& canvas, const StudioInput& input, StudioState& state, Settings& settings,
           const StudioContext& ctx, StudioFrameResult& result);

  Canvas& canvas() { return canvas_; }
  Settings& settings() { return settings_; }
  const StudioContext& ctx() const { return ctx_; }
  StudioState::Detail& detail() { return *state_.detail; }
  const StudioInput& input() const { return input_; }
  float s() const { return s_; }
  float px(float v) const { return v * s_; }
  // Limits follow the running mode as well as the setting being switched on right now.
  bool unleashed() const { return ctx_.unleashed || settings_.unleashed; }

  // Layout: the column (scaled pixels) and the cursor.
  void begin_column(float left, float top, float width, const CanvasRect& view);
  float left() const { return left_; }
  float width() const { return width_; }
  float cursor() const { return y_; }
  const CanvasRect& view() const { return view_; }
  void advance(float dy) { y_ += dy; }
  void set_blocked(bool blocked) { blocked_ = blocked; }

  // Pointer.
  bool inside(const CanvasRect& r) const;
  bool hot(const CanvasRect& r) const;      // under the pointer and the page answers
  bool clicked(const CanvasRect& r) const;  // pressed on it this frame

  // Text.
  TextFormat font(float size, int weight, TextAlign h = TextAlign::leading,
                  TextAlign v = TextAlign::leading) const;
  TextSize measure(std::string_view text, const TextFormat& format, float max_width = 1e6f);
  TextSize text(std::string_view text, const TextFormat& format, CanvasPoint at,
                float max_width, std::uint32_t rgb, float max_height = 1e6f);
  // One line that fits `max_width`: the start with an ellipsis, or (while typing) the end.
  std::string fit_head(std::string_view text, const TextFormat& format, float max_width);
  std::string fit_tail(std::string_view text, const TextFormat& format, float max_width);
  void changed() { result_.settings_changed = true; }
  void request(StudioRequest r) { result_.requests.push_back(std::move(r)); }

  // Controls. Each lays itself out at the cursor and moves it down.
  void heading(std::string_view text);
  bool toggle(std::string_view label, std::string_view hint, bool& value);
  // The chosen index when it changed this frame; -1 otherwise. An empty label gives the
  // segments the whole row.
  int choice(std::string_view label, std::span<const std::string_view> options, int selected);
  bool number(const NumberRow& row);
  // `muted` rows still work but show that the colour is not in use right now.
  bool colour(std::string_view label, std::uint32_t& rgb, bool muted = false);
  // The index of the button pressed this frame, or -1.
  // `current` marks one of them as the one in effect.
  int buttons(std::span<const std::string_view> labels, ButtonStyle style = ButtonStyle::normal,
              int current = -1);
  int buttons(std::initializer_list<std::string_view> labels,
              ButtonStyle style = ButtonStyle::normal, int current = -1) {
    return buttons(std::span<const std::string_view>(labels.begin(), labels.size()), style,
                   current);
  }
  void paragraph(std::string_view text, std::uint32_t rgb = studio_theme::kText2);
  // A one-line text entry in a tile: `value` is shown when not typing, `placeholder` when
  // that is empty too. True when clicked into this frame.
  bool entry(std::string_view label, FieldKind kind, std::size_t moment, std::string_view value,
             std::string_view placeholder);

  // Starts typing into a field; drops any other.
  void focus(FieldKind kind, std::string initial);
  // Opens the confirmation panel for a question other than a number's.
  void ask(StudioState::Detail::Ask kind, std::string name = {});

  // The keyboard focus. A focusable control calls focus_stop with its rectangle once it is
  // drawn: true when it has the focus (its ring is drawn then). take_key hands the focused
  // control this frame's action key (Enter, Space or an arrow), once.
  bool focus_stop(const CanvasRect& r);
  std::optional<StudioKey> take_key(bool focused);
  void set_key(std::optional<StudioKey> key) { key_ = key; }
  int stops() const { return stops_; }
  const std::optional<CanvasRect>& focus_rect() const { return focus_rect_; }

  // Draw helpers shared by the pages.
  void tile(const CanvasRect& r, bool hover);
  bool button_at(const CanvasRect& r, std::string_view label, ButtonStyle style);

 private:
  Canvas& canvas_;
  const StudioInput& input_;
  StudioState& state_;
  Settings& settings_;
  const StudioContext& ctx_;
  StudioFrameResult& result_;
  float s_ = 1.0f;
  float left_ = 0.0f, width_ = 0.0f, y_ = 0.0f;
  CanvasRect view_;
  bool blocked_ = false;
  int stops_ = 0;
  std::optional<StudioKey> key_;
  std::optional<CanvasRect> focus_rect_;
};

// Number display and entry in a row's unit.
std::string studio_number_text(double value, NumberUnit unit);
// Parses what the user typed ("250", "250%", "1,000", "-3", "−3"); none when it is not a finite
// number. The result is in the setting's own unit (percent rows divide by 100).
std::optional<double> studio_parse_number(std::string_view typed, NumberUnit unit);

// The pages.
void studio_page_look(StudioUi& ui);
void studio_page_personality(StudioUi& ui);
void studio_page_world(StudioUi& ui);
void studio_page_menu(StudioUi& ui);
void studio_page_general(StudioUi& ui);
void studio_page_about(StudioUi& ui);
void studio_page_speech(StudioUi& ui);

// The Look page's preview: one buddy in the current look, in `box`.
void studio_draw_preview(StudioUi& ui, const CanvasRect& box);

// Page names, symbols and descriptions in page order.
struct StudioPageInfo {
  std::string_view name, symbol, description;
};
const StudioPageInfo& studio_page_info(int page);

}  // namespace perchkin
