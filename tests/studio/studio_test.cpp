// The Studio's pages on a recording canvas, driven by scripted input records: a test finds
// where a label was drawn and clicks there, as a user would.
#include "studio/studio.h"

#include "crowd/rng.h"
#include "gpu/canvas.h"
#include "settings/settings.h"
#include "wear/wear_store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace perchkin {
namespace {

constexpr float kViewTop = 110.0f, kViewBottom = 650.0f, kNavRight = 232.0f;

struct Rect {
  float left, top, right, bottom;
};

class Studio {
 public:
  RecordingCanvas canvas;
  StudioState state;
  Settings settings;
  StudioContext ctx;
  StudioInput in;
  std::vector<StudioRequest> requests;
  bool changed = false;
  bool animating = false;

  Studio() { in.x = in.y = -1.0f; }

  void frame() {
    canvas.calls.clear();
    StudioFrameResult r = studio_frame(canvas, state, in, settings, ctx);
    requests.insert(requests.end(), r.requests.begin(), r.requests.end());
    changed = changed || r.settings_changed;
    animating = r.animating;
    in.consume();
  }

  // Where the nth drawing of `label` (from 0) has its box's top-left, in the last frame.
  std::optional<Rect> text_box(std::string_view label, int nth = 0) const {
    const std::string head = "text \"" + std::string(label) + "\" ";
    for (std::size_t i = 0; i < canvas.calls.size(); ++i) {
      const std::string& c = canvas.calls[i];
      if (c.rfind(head, 0) != 0) continue;
      if (nth-- > 0) continue;
      float x = 0, y = 0;
      if (std::sscanf(c.c_str() + head.size(), "%f,%f", &x, &y) != 2) return std::nullopt;
      return Rect{x, y, x, y};
    }
    return std::nullopt;
  }
  bool shows(std::string_view label) const { return text_box(label).has_value(); }

  // The call index of the first drawing of `label`.
  std::optional<std::size_t> call_of(std::string_view label, int nth = 0) const {
    const std::string head = "text \"" + std::string(label) + "\" ";
    for (std::size_t i = 0; i < canvas.calls.size(); ++i)
      if (canvas.calls[i].rfind(head, 0) == 0 && nth-- == 0) return i;
    return std::nullopt;
  }

  // The first text drawn after `label` (a number row's value).
  std::optional<Rect> text_after(std::string_view label, int nth = 0) const {
    auto i = call_of(label, nth);
    if (!i) return std::nullopt;
    for (std::size_t k = *i + 1; k < canvas.calls.size(); ++k) {
      const std::string& c = canvas.calls[k];
      if (c.rfind("text \"", 0) != 0) continue;
      const auto end = c.find("\" ", 6);
      float x = 0, y = 0;
      if (std::sscanf(c.c_str() + end + 2, "%f,%f", &x, &y) != 2) return std::nullopt;
      return Rect{x, y, x, y};
    }
    return std::nullopt;
  }
  std::string text_after_label(std::string_view label) const {
    auto i = call_of(label);
    if (!i) return "";
    for (std::size_t k = *i + 1; k < canvas.calls.size(); ++k) {
      const std::string& c = canvas.calls[k];
      if (c.rfind("text \"", 0) == 0) return c.substr(6, c.find("\" ", 6) - 6);
    }
    return "";
  }

  // The first rounded rectangle after `label` whose height is `height` (a slider's track is
  // 4 high, a palette swatch 26).
  std::optional<Rect> rounded_after(std::string_view label, float height) const {
    auto i = call_of(label);
    if (!i) return std::nullopt;
    for (std::size_t k = *i + 1; k < canvas.calls.size(); ++k) {
      Rect r{};
      if (std::sscanf(canvas.calls[k].c_str(), "fill_rounded_rect %f,%f,%f,%f", &r.left, &r.top,
                      &r.right, &r.bottom) == 4 &&
          std::abs((r.bottom - r.top) - height) < 0.01f)
        return r;
    }
    return std::nullopt;
  }

  // Scrolls until the label is inside the page's view.
  std::optional<Rect> reveal(std::string_view label, int nth = 0) {
    for (int i = 0; i < 40; ++i) {
      frame();
      auto box = text_box(label, nth);
      if (!box) return std::nullopt;
      if (box->left < kNavRight) return box;  // the navigation column does not scroll
      if (box->top < kViewTop) {
        in.wheel = 1.0f;
      } else if (box->top > kViewBottom - 30.0f) {
        in.wheel = -1.0f;
      } else {
        return box;
      }
    }
    return std::nullopt;
  }

  void press_at(float x, float y) {
    in.x = x;
    in.y = y;
    in.pressed = in.held = true;
    frame();
  }
  void release() {
    in.held = false;
    in.released = true;
    frame();
  }
  void click_at(float x, float y) {
    press_at(x, y);
    release();
  }
  // Clicks just inside the box the label was drawn in.
  bool click(std::string_view label, int nth = 0) {
    auto box = reveal(label, nth);
    if (!box) return false;
    click_at(box->left + 3.0f, box->top + 3.0f);
    return true;
  }
  // Clicks a number row's value and types into it.
  bool type_number(std::string_view label, std::u32string keys, int nth = 0) {
    if (!reveal(label, nth)) return false;
    auto value = text_after(label, nth);
    if (!value) return false;
    click_at(value->left + 3.0f, value->top + 3.0f);
    type(std::move(keys));
    return true;
  }
  void type(std::u32string keys) {
    in.typed.assign(keys.begin(), keys.end());
    frame();
  }
  void open(int page) {
    studio_open_page(state, page);
    frame();
  }
  // A key as a window gives it: Tab, Enter and Space come as typed characters too.
  void press(StudioKey key) {
    in.keys = {key};
    if (key == StudioKey::enter) in.typed = {kStudioEnter};
    if (key == StudioKey::space) in.typed = {U' '};
    if (key == StudioKey::tab || key == StudioKey::back_tab) in.typed = {U'\t'};
    frame();
  }
  bool has_request(StudioRequest::Kind kind, std::size_t count = 0) const {
    for (const auto& r : requests)
      if (r.kind == kind && r.count == count) return true;
    return false;
  }
};

const std::u32string kEnter(1, kStudioEnter);
const std::u32string kEscape(1, kStudioEscape);

TEST(StudioPages, NavigationShowsEveryPageWithItsDescription) {
  Studio st;
  st.frame();
  EXPECT_EQ(st.state.page, kStudioLook);
  const char* names[] = {"Look", "Personality", "World", "Menu", "General", "About", "Speech"};
  const char* descriptions[] = {"Colors, patterns and accessories for your crew.",
                                "How they behave.",
                                "Physics, size and what they're allowed to do.",
                                "Pick your right-click menu and make it yours.",
                                "Everyday options.",
                                "Controls, privacy and version.",
                                "Write what your crew says, and when."};
  for (int p = 0; p < kStudioPages; ++p) {
    ASSERT_TRUE(st.click(names[p])) << names[p];
    EXPECT_EQ(st.state.page, p) << names[p];
    EXPECT_TRUE(st.shows(descriptions[p]));
  }
  EXPECT_FALSE(st.changed);
  // The symbols are drawn in their own font.
  bool symbol_font = false;
  for (const auto& c : st.canvas.calls)
    if (c.rfind("layout \"\u270E\" Segoe UI Symbol 16 ", 0) == 0) symbol_font = true;
  EXPECT_TRUE(symbol_font);
}

TEST(StudioPages, AnIdleFrameAsksForNoOther) {
  Studio st;
  for (int p = 0; p < kStudioPages; ++p) {
    st.open(p);
    st.frame();
    EXPECT_FALSE(st.animating) << p;
    EXPECT_FALSE(st.changed) << p;
  }
}

TEST(StudioPages, TextSizesFollowTheDisplayScale) {
  Studio st;
  st.ctx.scale = 2.0;
  st.frame();
  bool title = false;
  for (const auto& c : st.canvas.calls)
    if (c.rfind("layout \"Look\" Segoe UI 48 ", 0) == 0) title = true;
  EXPECT_TRUE(title);
}

TEST(StudioControls, TogglesChoicesAndColoursChangeTheirSettings) {
  Studio st;
  st.open(kStudioWorld);
  ASSERT_TRUE(st.click("Bump into each other"));
  EXPECT_FALSE(st.settings.world.collide);
  EXPECT_TRUE(st.changed);
  ASSERT_TRUE(st.click("Bump into each other"));
  EXPECT_TRUE(st.settings.world.collide);

  st.open(kStudioLook);
  ASSERT_TRUE(st.click("Stripes"));
  EXPECT_EQ(st.settings.look.pattern, 2);
  ASSERT_TRUE(st.click("Crown"));
  EXPECT_EQ(st.settings.look.hat, 3);
  // Size and height act only on the user's own images, so a built-in hat shows neither.
  st.frame();
  EXPECT_FALSE(st.shows("Hat size"));
  EXPECT_FALSE(st.shows("Hat height"));
  st.settings.custom_hat = "cap.png";
  st.frame();
  EXPECT_TRUE(st.shows("Hat size"));
  EXPECT_TRUE(st.shows("Hat height"));
  EXPECT_FALSE(st.shows("Glasses size"));
  ASSERT_TRUE(st.click("Sparkles"));
  EXPECT_EQ(st.settings.look.trail, 1);
  EXPECT_FALSE(st.shows("Glow strength"));
  ASSERT_TRUE(st.click("Glow"));
  EXPECT_TRUE(st.settings.look.glow);
  st.frame();
  EXPECT_TRUE(st.shows("Glow strength"));

  // The colour row opens a palette; a swatch sets the colour and closes it.
  const std::uint32_t before = st.settings.look.color2;
  ASSERT_TRUE(st.click("Second color"));
  auto swatch = st.rounded_after("Second color", 24.0f);
  ASSERT_TRUE(swatch);
  st.click_at(swatch->left + 32.0f + 5.0f, swatch->top + 5.0f);  // the second swatch
  EXPECT_NE(st.settings.look.color2, before);
  EXPECT_LT(st.settings.look.color2, 1u << 24);
  EXPECT_FALSE(st.rounded_after("Second color", 24.0f));

  st.open(kStudioMenu);
  ASSERT_TRUE(st.click("Dropdown panel"));
  EXPECT_TRUE(st.settings.menu.list);
  ASSERT_TRUE(st.click("Candy"));
  EXPECT_EQ(st.settings.menu.theme, 2);
  ASSERT_TRUE(st.click("Rainbow sections"));
  EXPECT_FALSE(st.settings.menu.rainbow);

  st.open(kStudioSpeech);
  ASSERT_TRUE(st.click("Built-in"));
  EXPECT_EQ(st.settings.speech_mode, 2);
  EXPECT_TRUE(st.shows("Your list is kept, but only the built-in lines are used."));
  ASSERT_TRUE(st.click("Robot voice"));
  EXPECT_TRUE(st.settings.voice);
}

TEST(StudioControls, SlidersStayInsideTheirRange) {
  Studio st;
  st.open(kStudioWorld);
  ASSERT_TRUE(st.reveal("Gravity"));
  auto track = st.rounded_after("Gravity", 4.0f);
  ASSERT_TRUE(track);
  const float y = (track->top + track->bottom) / 2;
  st.press_at(track->left, y);
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, -1.0);
  // Dragging past either end holds at the end; the value follows until release.
  st.in.x = track->right + 300.0f;
  st.frame();
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 3.0);
  st.in.x = (track->left + track->right) / 2;
  st.frame();
  EXPECT_NEAR(st.settings.world.gravity, 1.0, 0.011);
  // Leaving the window mid-drag keeps the value.
  st.in.x = st.in.y = -1.0f;
  st.frame();
  EXPECT_NEAR(st.settings.world.gravity, 1.0, 0.011);
  st.release();
  st.in.x = track->left;
  st.frame();
  EXPECT_NEAR(st.settings.world.gravity, 1.0, 0.011);
  EXPECT_TRUE(st.changed);

  // Whole-number rows take whole numbers.
  ASSERT_TRUE(st.reveal("Buddy size"));
  track = st.rounded_after("Buddy size", 4.0f);
  ASSERT_TRUE(track);
  st.click_at(track->left + (track->right - track->left) * 0.33f, (track->top + track->bottom) / 2);
  EXPECT_EQ(st.settings.size, std::round(st.settings.size));
  EXPECT_GE(st.settings.size, 1.0);
  EXPECT_LE(st.settings.size, 12.0);
}

TEST(StudioControls, TraitSlidersReachTheUnleashedLimit) {
  Studio st;
  st.open(kStudioPersonality);
  auto track = st.rounded_after("Energy", 4.0f);
  ASSERT_TRUE(track);
  st.click_at(track->right, (track->top + track->bottom) / 2);
  EXPECT_DOUBLE_EQ(st.settings.world.energy, 3.0);
  st.ctx.unleashed = true;
  st.frame();
  track = st.rounded_after("Energy", 4.0f);
  st.click_at(track->right, (track->top + track->bottom) / 2);
  EXPECT_DOUBLE_EQ(st.settings.world.energy, 12.0);
}

TEST(StudioTyping, ANumberInsideTheRangeIsTakenInTheRowsUnit) {
  Studio st;
  st.open(kStudioWorld);
  ASSERT_TRUE(st.type_number("Gravity", U"250" + kEnter));
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 2.5);
  EXPECT_EQ(st.text_after_label("Gravity"), "250%");
  ASSERT_TRUE(st.type_number("Max speed", U"1,500" + kEnter));
  EXPECT_DOUBLE_EQ(st.settings.world.max_speed, 1500.0);
  // Backspace edits; the field starts with the current value.
  ASSERT_TRUE(st.type_number("Bounce", std::u32string(3, kStudioBackspace) + U"50" + kEnter));
  EXPECT_DOUBLE_EQ(st.settings.world.bounce, 0.5);
  EXPECT_TRUE(st.changed);
}

TEST(StudioTyping, OutOfRangeAsksFirstAndUseItAnywayClampsToTheHardRange) {
  Studio st;
  st.open(kStudioWorld);
  ASSERT_TRUE(st.type_number("Gravity", U"500" + kEnter));
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 1.0);
  EXPECT_TRUE(st.shows("Outside the normal range"));
  EXPECT_TRUE(st.shows("Gravity will be set to 500%. The normal range is -100% to 300%."));
  EXPECT_TRUE(st.shows("Buddies may fly off, jitter or act strangely. You can always use Reset."));
  ASSERT_TRUE(st.click("Use it anyway"));
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 5.0);
  EXPECT_FALSE(st.shows("Outside the normal range"));

  ASSERT_TRUE(st.type_number("Gravity", U"9000" + kEnter));
  ASSERT_TRUE(st.click("Use it anyway"));
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 50.0);

  // Sizes beyond the limit stop at it, and typed sizes are whole.
  ASSERT_TRUE(st.type_number("Buddy size", U"40" + kEnter));
  ASSERT_TRUE(st.click("Use it anyway"));
  EXPECT_DOUBLE_EQ(st.settings.size, 12.0);
  ASSERT_TRUE(st.type_number("Buddy size", U"4.5" + kEnter));
  EXPECT_DOUBLE_EQ(st.settings.size, 5.0);
}

TEST(StudioTyping, UnleashedConfirmationUsesTheUnleashedRange) {
  Studio st;
  st.ctx.unleashed = true;
  st.open(kStudioPersonality);
  ASSERT_TRUE(st.type_number("Chaos", U"400" + kEnter, 1));  // the row, not the preset
  EXPECT_TRUE(st.shows("Chaos will be set to 400%. The normal range is 0% to 100%."));
  ASSERT_TRUE(st.click("Use it anyway"));
  EXPECT_DOUBLE_EQ(st.settings.world.chaos, 4.0);
}

TEST(StudioTyping, CancelAndBadNumbersKeepTheOldValue) {
  Studio st;
  st.settings.world.gravity = 1.5;
  st.open(kStudioWorld);
  ASSERT_TRUE(st.type_number("Gravity", U"500" + kEnter));
  ASSERT_TRUE(st.click("Cancel"));
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 1.5);
  EXPECT_FALSE(st.shows("Outside the normal range"));

  for (std::u32string bad : {U"abc", U"", U"1e999", U"nan", U"12abc"}) {
    ASSERT_TRUE(st.type_number("Gravity", bad + kEnter));
    EXPECT_DOUBLE_EQ(st.settings.world.gravity, 1.5);
    EXPECT_FALSE(st.shows("Outside the normal range"));
  }
  // Escape drops what was typed.
  ASSERT_TRUE(st.type_number("Gravity", U"0" + kEscape));
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 1.5);
  EXPECT_FALSE(st.changed);
}

TEST(StudioTyping, AClickElsewhereConfirmsTheField) {
  Studio st;
  st.open(kStudioWorld);
  ASSERT_TRUE(st.type_number("Friction", U"\b\b\b20"));
  EXPECT_DOUBLE_EQ(st.settings.world.friction, 1.0);
  st.click_at(500.0f, 40.0f);  // the page's header
  EXPECT_DOUBLE_EQ(st.settings.world.friction, 0.2);
}

TEST(StudioTyping, TheConfirmationPanelBlocksEverythingButItsButtons) {
  Studio st;
  st.open(kStudioWorld);
  ASSERT_TRUE(st.type_number("Gravity", U"500" + kEnter));
  ASSERT_TRUE(st.shows("Outside the normal range"));
  auto toggle = st.text_box("Bump into each other");
  auto nav = st.text_box("Speech");
  ASSERT_TRUE(toggle && nav);
  st.click_at(toggle->left + 3, toggle->top + 3);
  st.click_at(nav->left + 3, nav->top + 3);
  st.in.wheel = -3.0f;
  st.type(U"7");
  EXPECT_TRUE(st.settings.world.collide);
  EXPECT_EQ(st.state.page, kStudioWorld);
  EXPECT_EQ(st.state.scroll, 0.0f);
  EXPECT_TRUE(st.shows("Outside the normal range"));
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 1.0);
}

TEST(StudioTyping, OpeningAPageDropsTypingAndConfirmation) {
  Studio st;
  st.open(kStudioWorld);
  ASSERT_TRUE(st.type_number("Gravity", U"500" + kEnter));
  ASSERT_TRUE(st.shows("Outside the normal range"));
  st.open(kStudioPersonality);
  EXPECT_EQ(st.state.page, kStudioPersonality);
  EXPECT_FALSE(st.shows("Outside the normal range"));
  ASSERT_TRUE(st.type_number("Energy", U"2"));
  st.open(kStudioPersonality);
  st.type(kEnter);
  EXPECT_DOUBLE_EQ(st.settings.world.energy, 1.0);
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 1.0);
  studio_open_page(st.state, 99);
  EXPECT_EQ(st.state.page, kStudioSpeech);
}

TEST(StudioResets, PhysicsResetPresetsMenuAndEverything) {
  Studio st;
  st.settings.size = 12.0;
  st.settings.world.collide = false;
  st.settings.world.naps = false;
  st.settings.world.gravity = -3.0;
  st.settings.world.max_speed = 40000.0;
  st.settings.world.energy = 2.0;
  st.open(kStudioWorld);
  ASSERT_TRUE(st.click("Reset physics and behaviors"));
  EXPECT_DOUBLE_EQ(st.settings.size, 9.0);
  EXPECT_TRUE(st.settings.world.collide);
  EXPECT_TRUE(st.settings.world.naps);
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 1.0);
  EXPECT_DOUBLE_EQ(st.settings.world.max_speed, 900.0);
  EXPECT_DOUBLE_EQ(st.settings.world.energy, 2.0);  // traits are not physics

  st.open(kStudioPersonality);
  ASSERT_TRUE(st.click("Party"));
  const WorldSettings& w = st.settings.world;
  EXPECT_EQ((std::array{w.energy, w.chatter, w.curiosity, w.sleepy, w.playful, w.chaos}),
            (std::array{2.2, 1.8, 1.6, 0.4, 2.5, 0.6}));
  ASSERT_TRUE(st.click("Chaos"));
  EXPECT_EQ((std::array{w.energy, w.chatter, w.curiosity, w.sleepy, w.playful, w.chaos}),
            (std::array{2.5, 2.0, 2.0, 0.25, 3.0, 1.0}));
  ASSERT_TRUE(st.click("Calm"));
  EXPECT_EQ((std::array{w.energy, w.chatter, w.curiosity, w.sleepy, w.playful, w.chaos}),
            (std::array{0.5, 0.4, 0.5, 1.8, 0.4, 0.0}));
  ASSERT_TRUE(st.click("Default"));
  EXPECT_EQ((std::array{w.energy, w.chatter, w.curiosity, w.sleepy, w.playful, w.chaos}),
            (std::array{1.0, 1.0, 1.0, 1.0, 1.0, 0.0}));

  st.settings.menu.theme = 3;
  st.settings.menu.size = 1.3;
  st.settings.pins = {"dance"};
  st.open(kStudioMenu);
  ASSERT_TRUE(st.click("Reset menu"));
  EXPECT_EQ(st.settings.menu, MenuSettings{});
  EXPECT_EQ(st.settings.pins.size(), 1u);

  st.settings.phrases = {"hi"};
  st.open(kStudioGeneral);
  // It asks first: Cancel keeps everything, the panel's own button resets.
  ASSERT_TRUE(st.click("Reset everything to defaults"));
  EXPECT_TRUE(st.shows("Reset everything?"));
  ASSERT_TRUE(st.click("Cancel"));
  EXPECT_EQ(st.settings.phrases.size(), 1u);
  EXPECT_FALSE(st.has_request(StudioRequest::Kind::reset_everything));
  ASSERT_TRUE(st.click("Reset everything to defaults"));
  ASSERT_TRUE(st.click("Reset everything"));
  EXPECT_EQ(st.settings, Settings{});
  EXPECT_TRUE(st.has_request(StudioRequest::Kind::reset_everything));
}

TEST(StudioRequests, ButtonsAskTheProgram) {
  Studio st;
  st.open(kStudioWorld);
  st.ctx.crew_size = 3;
  st.frame();
  EXPECT_TRUE(st.shows("Crew: 3"));
  EXPECT_TRUE(st.shows("+50"));
  EXPECT_FALSE(st.shows("+1,000"));
  ASSERT_TRUE(st.click("+10"));
  EXPECT_TRUE(st.has_request(StudioRequest::Kind::add_buddies, 10));
  ASSERT_TRUE(st.click("Remove all"));
  EXPECT_TRUE(st.has_request(StudioRequest::Kind::remove_all));

  st.ctx.unleashed = true;
  st.frame();
  EXPECT_FALSE(st.shows("+50"));
  ASSERT_TRUE(st.click("+100"));
  ASSERT_TRUE(st.click("+1,000"));
  EXPECT_TRUE(st.has_request(StudioRequest::Kind::add_buddies, 100));
  EXPECT_TRUE(st.has_request(StudioRequest::Kind::add_buddies, 1000));

  st.open(kStudioMenu);
  ASSERT_TRUE(st.click("Try it now"));
  EXPECT_TRUE(st.has_request(StudioRequest::Kind::try_menu));
  st.open(kStudioSpeech);
  ASSERT_TRUE(st.click("Test voice"));
  EXPECT_TRUE(st.has_request(StudioRequest::Kind::test_voice));
  st.open(kStudioLook);
  ASSERT_TRUE(st.click("Import"));
  EXPECT_TRUE(st.has_request(StudioRequest::Kind::import_hat));
  ASSERT_TRUE(st.click("Import", 1));
  EXPECT_TRUE(st.has_request(StudioRequest::Kind::import_glasses));
  EXPECT_FALSE(st.changed);
}

TEST(StudioSpeech, TheExplanationFollowsTheModeAndTheList) {
  Studio st;
  st.open(kStudioSpeech);
  EXPECT_TRUE(st.shows("Your lines mixed in with the built-in ones."));
  ASSERT_TRUE(st.click("Only my lines"));
  EXPECT_EQ(st.settings.speech_mode, 1);
  EXPECT_TRUE(st.shows("Add a line below. Until then they only say your action lines."));
  ASSERT_TRUE(st.click("Type a line and press Enter"));
  st.type(U"  hello there  " + kEnter);
  EXPECT_EQ(st.settings.phrases, std::vector<std::string>{"hello there"});
  EXPECT_TRUE(st.shows("They will only ever say your lines."));
  // The field stays open for the next line; blank lines are not added.
  st.type(U"   " + kEnter);
  EXPECT_EQ(st.settings.phrases.size(), 1u);
  st.type(U"second" + kEnter);
  EXPECT_EQ(st.settings.phrases.size(), 2u);
  // Each line has its remove button, drawn right after it.
  auto cross = st.text_after("hello there");
  ASSERT_TRUE(cross);
  st.click_at(cross->left + 3, cross->top + 3);
  EXPECT_EQ(st.settings.phrases, std::vector<std::string>{"second"});
}

TEST(StudioSpeech, LinesAreHeldToTheirLimits) {
  Studio st;
  st.open(kStudioSpeech);
  ASSERT_TRUE(st.click("Type a line and press Enter"));
  st.type(std::u32string(100, U'\u00E9') + kEnter);
  ASSERT_EQ(st.settings.phrases.size(), 1u);
  std::string eighty;
  for (int i = 0; i < 80; ++i) eighty += "\u00E9";
  EXPECT_EQ(st.settings.phrases[0], eighty);
  st.settings.phrases.assign(kMaxPhrases, "x");
  st.type(U"one more" + kEnter);
  EXPECT_EQ(st.settings.phrases.size(), kMaxPhrases);
  // A full list leaves the text in the field, not lost.
  EXPECT_TRUE(st.shows("one more"));
  st.settings.phrases.pop_back();
  st.type(kEnter);
  EXPECT_EQ(st.settings.phrases.back(), "one more");
  // The field stays open under the long list, scrolled into view.
  st.frame();
  int fields = 0;
  for (const std::string& c : st.canvas.calls) {
    Rect r{};
    if (std::sscanf(c.c_str(), "stroke_rounded_rect %f,%f,%f,%f", &r.left, &r.top, &r.right, &r.bottom) != 4 ||
        c.find("#E07A55 w1.5") == std::string::npos)
      continue;
    ++fields;
    EXPECT_GE(r.top, kViewTop);
    EXPECT_LE(r.bottom, 660.0f);
  }
  EXPECT_EQ(fields, 1);
  // A line without text is listed as such.
  st.settings.phrases = {"  "};
  st.frame();
  EXPECT_TRUE(st.shows("Empty line"));
}

TEST(StudioSpeech, MomentEntriesSetTheirLines) {
  Studio st;
  st.settings.lines[2] = "Wheee";
  st.open(kStudioSpeech);
  for (const char* m : {"Fall asleep", "Wake up", "Get picked up", "Get thrown", "Get poked",
                        "Get petted", "Crash"})
    EXPECT_TRUE(st.reveal(m)) << m;
  EXPECT_EQ(st.text_after_label("Get picked up"), "Wheee");
  EXPECT_EQ(st.text_after_label("Crash"), "Usual reaction");
  ASSERT_TRUE(st.click("Usual reaction", 5));  // Crash's entry
  st.type(U"  Ouch!  " + kEnter);
  EXPECT_EQ(st.settings.lines[6], "Ouch!");
  // Emptying an entry brings the usual reaction back.
  ASSERT_TRUE(st.click("Wheee"));
  st.type(std::u32string(5, kStudioBackspace) + kEnter);
  EXPECT_EQ(st.settings.lines[2], "");
  EXPECT_EQ(st.settings.lines[7], "");  // dance is not listed
}

TEST(StudioScroll, TheWheelScrollsWithinThePage) {
  Studio st;
  st.open(kStudioSpeech);
  st.in.wheel = -100.0f;
  st.frame();
  st.frame();
  const float bottom = st.state.scroll;
  EXPECT_GT(bottom, 0.0f);
  EXPECT_TRUE(st.shows("Crash"));
  st.in.wheel = -5.0f;
  st.frame();
  EXPECT_EQ(st.state.scroll, bottom);
  st.in.wheel = 100.0f;
  st.frame();
  EXPECT_EQ(st.state.scroll, 0.0f);
  // A short page does not scroll at all.
  st.open(kStudioPersonality);
  st.in.wheel = -10.0f;
  st.frame();
  st.frame();
  EXPECT_EQ(st.state.scroll, 0.0f);
}

TEST(StudioPages, AboutAndGeneralTexts) {
  Studio st;
  st.open(kStudioAbout);
  EXPECT_TRUE(st.shows("v0.10.0"));
  EXPECT_TRUE(st.shows("Hotkeys (Ctrl+Alt+Shift)"));
  EXPECT_TRUE(st.shows("No telemetry, no accounts and no network use beyond a local port on your "
                       "own PC. Typing detection never sees which keys you press."));
  st.open(kStudioGeneral);
  EXPECT_TRUE(st.shows("Any number of buddies, giant sizes, extreme physics. Your PC may struggle"));
  ASSERT_TRUE(st.click("Unleashed mode"));
  EXPECT_TRUE(st.settings.unleashed);
  // The setting alone lifts the limits at once.
  st.open(kStudioWorld);
  EXPECT_TRUE(st.shows("+1,000"));
}

TEST(StudioPreview, TheLookPageDrawsTheBuddy) {
  Studio st;
  st.frame();
  bool bitmap = false;
  for (const auto& c : st.canvas.calls)
    if (c.rfind("bitmap 192x144 ", 0) == 0) bitmap = true;
  EXPECT_TRUE(bitmap);
}

TEST(StudioTyping, EscapeAnswersTheConfirmationWithCancel) {
  Studio st;
  st.open(kStudioWorld);
  ASSERT_TRUE(st.type_number("Bounce", U"900" + kEnter));
  ASSERT_TRUE(st.shows("Outside the normal range"));
  st.type(kEscape);
  EXPECT_FALSE(st.shows("Outside the normal range"));
  EXPECT_DOUBLE_EQ(st.settings.world.bounce, 1.0);
}

TEST(StudioLook, TheUsersOwnImagesAreWornAndDeleted) {
  Studio st;
  WearImages wear;
  for (const char* name : {"1-cap.png", "2-bow.png"}) {
    auto image = std::make_shared<WearImage>();
    image->name = name;
    image->bitmap.width = image->bitmap.height = 4;
    image->bitmap.bgra.assign(64, 255);
    wear.hats.push_back(image);
  }
  st.ctx.wear = &wear;
  st.settings.look.hat = 2;
  st.open(kStudioLook);
  // The thumbnails are the page's first two bitmaps.
  std::vector<Rect> thumbs;
  for (const auto& c : st.canvas.calls) {
    Rect r{};
    if (std::sscanf(c.c_str(), "bitmap 4x4 %f,%f,%f,%f", &r.left, &r.top, &r.right, &r.bottom) == 4)
      thumbs.push_back(r);
  }
  ASSERT_EQ(thumbs.size(), 2u);
  st.click_at(thumbs[1].left + 2, thumbs[1].bottom - 2);
  EXPECT_EQ(st.settings.custom_hat, "2-bow.png");
  EXPECT_EQ(st.settings.look.hat, 0);
  EXPECT_TRUE(st.changed);
  // The preview wears it: a bitmap of its size beside the thumbnails.
  int drawn = 0;
  for (const auto& c : st.canvas.calls) drawn += c.rfind("bitmap 4x4 ", 0) == 0;
  EXPECT_EQ(drawn, 3);
  // The corner cross (the cell's top-right) asks whether to delete the file, then asks the
  // program to.
  st.click_at(thumbs[0].right + 2, thumbs[0].top - 2);
  EXPECT_TRUE(st.requests.empty());
  EXPECT_TRUE(st.shows("Delete this image?"));
  ASSERT_TRUE(st.click("Delete"));
  ASSERT_EQ(st.requests.size(), 1u);
  EXPECT_EQ(st.requests[0].kind, StudioRequest::Kind::delete_hat);
  EXPECT_EQ(st.requests[0].name, "1-cap.png");
  // A built-in hat takes the image off again.
  ASSERT_TRUE(st.click("Beanie"));
  EXPECT_EQ(st.settings.look.hat, 4);
  EXPECT_EQ(st.settings.custom_hat, "");
}

TEST(StudioSpeech, LongLinesStayOnOneLine) {
  Studio st;
  st.settings.phrases = {std::string(80, 'w')};
  st.settings.lines[0] = std::string(80, 'z');
  st.open(kStudioSpeech);
  st.in.wheel = -100.0f;
  st.frame();
  st.frame();
  bool phrase = false, moment = false;
  for (const auto& c : st.canvas.calls) {
    if (c.rfind("text \"www", 0) == 0) phrase = c.find("\u2026\"") != std::string::npos;
    if (c.rfind("text \"zzz", 0) == 0) moment = c.find("\u2026\"") != std::string::npos;
  }
  EXPECT_TRUE(phrase);
  EXPECT_TRUE(moment);
}

TEST(StudioRobustness, RandomInputKeepsEverySettingInsideItsRange) {
  // Clicks, drags, wheels and keys anywhere, on every page: whatever the pages do, each value
  // stays where loading the saved file would leave it.
  for (std::uint64_t seed : {1u, 2u}) {
    Studio st;
    st.ctx.unleashed = seed == 2;
    Xorshift64 rng(seed);
    const char32_t keys[] = {U'5', U'0', U'-', U'.', U'%', U'x', kStudioEnter, kStudioEscape,
                             kStudioBackspace, U'9', U'\u00E9'};
    for (int i = 0; i < 300; ++i) {
      if (rng.uniform() < 0.02) studio_open_page(st.state, static_cast<int>(rng.next() % 8));
      st.in.x = static_cast<float>(rng.uniform() * kStudioWidth);
      st.in.y = static_cast<float>(rng.uniform() * kStudioHeight);
      const double r = rng.uniform();
      if (r < 0.3) {
        st.in.pressed = st.in.held = true;
      } else if (r < 0.45) {
        st.in.held = false;
        st.in.released = true;
      } else if (r < 0.55) {
        st.in.wheel = static_cast<float>(rng.uniform() * 6.0 - 3.0);
      } else if (r < 0.8) {
        for (int k = 0; k < 4; ++k) st.in.typed.push_back(keys[rng.next() % std::size(keys)]);
      }
      st.frame();
      const bool unleashed = st.ctx.unleashed || st.settings.unleashed;
      ASSERT_EQ(st.settings, clamped_settings(st.settings, unleashed)) << seed << " " << i;
      ASSERT_GE(st.state.scroll, 0.0f);
    }
  }
}

// The keyboard alone: Tab and Shift+Tab walk the page's controls in reading order, the focused
// one draws a ring and takes Space or Enter (toggles, buttons) and the arrows (choices, sliders,
// colours); Enter types into a number and answers the out-of-range panel, Escape cancels it.
TEST(StudioKeyboard, TabWalksThePageAndKeysChangeTheFocusedControl) {
  Studio st;
  st.open(kStudioMenu);
  st.press(StudioKey::tab);  // "Menu type"
  st.press(StudioKey::right);
  EXPECT_TRUE(st.settings.menu.list);
  EXPECT_GT(st.canvas.calls.size(), 0u);
  st.press(StudioKey::tab);  // "Theme"
  st.press(StudioKey::tab);  // "Rainbow sections"
  st.press(StudioKey::space);
  EXPECT_FALSE(st.settings.menu.rainbow);
  st.press(StudioKey::tab);  // "Accent color"
  st.press(StudioKey::tab);  // "Size"
  st.press(StudioKey::right);
  EXPECT_NEAR(st.settings.menu.size, 1.03, 1e-9);
  st.press(StudioKey::back_tab);  // back to the accent
  const std::uint32_t accent = st.settings.menu.accent;
  st.press(StudioKey::right);
  EXPECT_NE(st.settings.menu.accent, accent);
  // Back past the first control to the last, "Reset menu", which Enter presses.
  for (int i = 0; i < 4; ++i) st.press(StudioKey::back_tab);
  st.press(StudioKey::enter);
  EXPECT_EQ(st.settings.menu, MenuSettings{});
  // A pointer press hides the ring and the keys act on nothing until Tab comes again.
  st.settings.menu.rainbow = false;
  st.click_at(5.0f, 5.0f);
  st.press(StudioKey::enter);
  EXPECT_FALSE(st.settings.menu.rainbow);

  st.open(kStudioWorld);
  for (int i = 0; i < 6; ++i) st.press(StudioKey::tab);  // +1, +10, +50, Remove all, size, Gravity
  st.press(StudioKey::enter);
  st.type(U"500" + kEnter);
  ASSERT_TRUE(st.shows("Outside the normal range"));
  st.press(StudioKey::enter);
  EXPECT_FALSE(st.shows("Outside the normal range"));
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 5.0);
  st.press(StudioKey::enter);
  st.type(U"900" + kEnter);
  ASSERT_TRUE(st.shows("Outside the normal range"));
  st.type(kEscape);
  EXPECT_FALSE(st.shows("Outside the normal range"));
  EXPECT_DOUBLE_EQ(st.settings.world.gravity, 5.0);
  EXPECT_FALSE(st.has_request(StudioRequest::Kind::add_buddies, 1));
}

}  // namespace
}  // namespace perchkin
