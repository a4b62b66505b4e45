// The seven Studio pages: which controls, in which order, editing which settings.
#include "base/text.h"
#include "studio/studio_ui.h"
#include "wear/wear_store.h"

#include <algorithm>
#include <array>
#include <string>

namespace perchkin {

namespace th = studio_theme;

namespace {

constexpr std::string_view kVersion = "v0.10.0";

// The number rows' settings.
double& f_hat_size(Settings& s) { return s.look.hat_size; }
double& f_hat_lift(Settings& s) { return s.look.hat_lift; }
double& f_glasses_size(Settings& s) { return s.look.glasses_size; }
double& f_glasses_lift(Settings& s) { return s.look.glasses_lift; }
double& f_glow_power(Settings& s) { return s.look.glow_power; }
double& f_energy(Settings& s) { return s.world.energy; }
double& f_chatter(Settings& s) { return s.world.chatter; }
double& f_curiosity(Settings& s) { return s.world.curiosity; }
double& f_sleepy(Settings& s) { return s.world.sleepy; }
double& f_playful(Settings& s) { return s.world.playful; }
double& f_chaos(Settings& s) { return s.world.chaos; }
double& f_size(Settings& s) { return s.size; }
double& f_gravity(Settings& s) { return s.world.gravity; }
double& f_speed(Settings& s) { return s.world.speed; }
double& f_bounce(Settings& s) { return s.world.bounce; }
double& f_friction(Settings& s) { return s.world.friction; }
double& f_max_speed(Settings& s) { return s.world.max_speed; }
double& f_menu_size(Settings& s) { return s.menu.size; }
double& f_menu_opacity(Settings& s) { return s.menu.opacity; }
double& f_menu_speed(Settings& s) { return s.menu.speed; }
double& f_voice_volume(Settings& s) { return s.voice_volume; }

// The user's own images of one kind: a thumbnail each (a click wears it, the cross deletes
// it) and the import button.
void wear_gallery(StudioUi& ui, std::string_view label, WearKind kind) {
  Settings& settings = ui.settings();
  std::string& selected = kind == WearKind::hat ? settings.custom_hat : settings.custom_glasses;
  std::uint8_t& builtin = kind == WearKind::hat ? settings.look.hat : settings.look.glasses;
  static const std::vector<std::shared_ptr<const WearImage>> kNone;
  const auto& images = ui.ctx().wear ? ui.ctx().wear->list(kind) : kNone;

  const float pad = ui.px(16.0f), thumb = ui.px(48.0f), gap = ui.px(8.0f);
  const float import_w = ui.px(84.0f);
  const float room = ui.width() - 2 * pad - import_w - gap;
  const auto per_row = static_cast<std::size_t>(std::max(1.0f, std::floor((room + gap) / (thumb + gap))));
  const std::size_t rows = images.empty() ? 0 : (images.size() + per_row - 1) / per_row;
  const float head = ui.px(44.0f);
  const float h = head + (rows ? static_cast<float>(rows) * (thumb + gap) + ui.px(6.0f) : 0.0f);
  const float left = ui.left(), top = ui.cursor();
  ui.tile({left, top, left + ui.width(), top + h}, false);
  ui.text(label, ui.font(14.0f, 400), {left + pad, top + ui.px(13.0f)}, ui.px(200.0f), th::kText);
  if (images.empty()) {
    ui.text("None yet", ui.font(11.5f, 600), {left + pad + ui.px(110.0f), top + ui.px(15.0f)},
            ui.px(200.0f), th::kText3);
  }
  const CanvasRect import{left + ui.width() - pad - import_w, top + ui.px(7.0f),
                          left + ui.width() - pad, top + ui.px(37.0f)};
  if (ui.button_at(import, "Import", ButtonStyle::normal)) {
    ui.request({kind == WearKind::hat ? StudioRequest::Kind::import_hat
                                      : StudioRequest::Kind::import_glasses,
                0, ""});
  }
  float x = left + pad, y = top + head;
  for (std::size_t i = 0; i < images.size(); ++i) {
    if (i > 0 && i % per_row == 0) {
      x = left + pad;
      y += thumb + gap;
    }
    const WearImage& image = *images[i];
    const CanvasRect cell{x, y, x + thumb, y + thumb};
    const bool on = selected == image.name;
    ui.canvas().fill_rounded_rect(cell, ui.px(6.0f), canvas_rgb(th::kField));
    if (image.bitmap.width > 0 && image.bitmap.height > 0) {
      const float inner = thumb - ui.px(10.0f);
      const float aspect = static_cast<float>(image.bitmap.width) / static_cast<float>(image.bitmap.height);
      const float bw = aspect >= 1.0f ? inner : inner * aspect;
      const float bh = aspect >= 1.0f ? inner / aspect : inner;
      const float cx = x + thumb / 2, cy = y + thumb / 2;
      ui.canvas().draw_bitmap(image.bitmap, {cx - bw / 2, cy - bh / 2, cx + bw / 2, cy + bh / 2},
                              1.0f, image.bitmap.width >= 65);
    }
    if (on) {
      ui.canvas().stroke_rounded_rect(cell, ui.px(6.0f), canvas_rgb(th::kAccent), ui.px(2.0f));
    } else if (ui.hot(cell)) {
      ui.canvas().stroke_rounded_rect(cell, ui.px(6.0f), canvas_rgb(th::kText3), ui.px(1.0f));
    }
    // The cross in the corner deletes; anywhere else wears it.
    const CanvasRect cross{cell.right - ui.px(16.0f), cell.top, cell.right, cell.top + ui.px(16.0f)};
    if (ui.hot(cell)) {
      ui.canvas().fill_ellipse({cross.left + ui.px(8.0f), cross.top + ui.px(8.0f)}, ui.px(7.0f),
                               ui.px(7.0f), canvas_rgb(ui.hot(cross) ? th::kDanger : th::kControl));
      ui.text("\u00D7", ui.font(11.5f, 600, TextAlign::centre, TextAlign::centre),
              {cross.left, cross.top}, cross.right - cross.left, 0xFFFFFF,
              cross.bottom - cross.top);
    }
    // Enter or Space on a focused thumbnail wears it.
    const std::optional<StudioKey> k = ui.take_key(ui.focus_stop(cell));
    if (ui.clicked(cross)) {
      ui.ask(kind == WearKind::hat ? StudioState::Detail::Ask::delete_hat
                                   : StudioState::Detail::Ask::delete_glasses,
             image.name);
    } else if ((ui.clicked(cell) || k == StudioKey::enter || k == StudioKey::space) && !on) {
      selected = image.name;
      builtin = 0;
      ui.changed();
    }
    x += thumb + gap;
  }
  ui.advance(h + ui.px(4.0f));
}

// The built-in choices of a kind; choosing one takes off the user's own image.
void builtin_choice(StudioUi& ui, WearKind kind) {
  Settings& settings = ui.settings();
  static constexpr std::array<std::string_view, 5> kHats = {"None", "Party", "Top hat", "Crown",
                                                             "Beanie"};
  static constexpr std::array<std::string_view, 3> kGlasses = {"None", "Shades", "Nerd"};
  std::string& custom = kind == WearKind::hat ? settings.custom_hat : settings.custom_glasses;
  std::uint8_t& value = kind == WearKind::hat ? settings.look.hat : settings.look.glasses;
  const std::span<const std::string_view> options =
      kind == WearKind::hat ? std::span<const std::string_view>(kHats)
                            : std::span<const std::string_view>(kGlasses);
  const int shown = custom.empty() ? value : -1;
  const int picked = ui.choice("", options, shown);
  if (picked >= 0) {
    value = static_cast<std::uint8_t>(picked);
    custom.clear();
  }
}

}  // namespace

void studio_page_look(StudioUi& ui) {
  Settings& s = ui.settings();
  LookSettings& look = s.look;
  // The preview stays in view at the right while the controls scroll.
  const float preview_w = ui.px(200.0f);
  const float column = ui.width() - preview_w - ui.px(20.0f);
  const float left = ui.left(), full = ui.width();
  const CanvasRect view = ui.view();
  ui.begin_column(left, ui.cursor(), column, view);

  ui.heading("Color");
  ui.toggle("One look for everyone", "Off keeps each buddy's own color", look.custom);
  // Each buddy keeps its own colour unless one look is chosen for everyone.
  ui.colour("Main color", look.color, !look.custom);
  ui.colour("Second color", look.color2, !look.custom);
  static constexpr std::array<std::string_view, 4> kPatterns = {"Solid", "Gradient", "Stripes",
                                                                "Spots"};
  if (int p = ui.choice("Pattern", kPatterns, look.pattern); p >= 0)
    look.pattern = static_cast<std::uint8_t>(p);

  ui.heading("Hats");
  builtin_choice(ui, WearKind::hat);
  wear_gallery(ui, "Your hats", WearKind::hat);
  // Size and height move only the user's own images; the built-in wear is drawn to its map.
  if (!s.custom_hat.empty()) {
    ui.number({"Hat size", f_hat_size, 0.3, 3.0, NumberUnit::percent});
    ui.number({"Hat height", f_hat_lift, -6.0, 6.0, NumberUnit::decimal});
  }

  ui.heading("Glasses");
  builtin_choice(ui, WearKind::glasses);
  wear_gallery(ui, "Your glasses", WearKind::glasses);
  if (!s.custom_glasses.empty()) {
    ui.number({"Glasses size", f_glasses_size, 0.3, 3.0, NumberUnit::percent});
    ui.number({"Glasses height", f_glasses_lift, -6.0, 6.0, NumberUnit::decimal});
  }

  ui.heading("Effects");
  static constexpr std::array<std::string_view, 3> kTrails = {"None", "Sparkles", "Hearts"};
  if (int t = ui.choice("Trail", kTrails, look.trail); t >= 0)
    look.trail = static_cast<std::uint8_t>(t);
  ui.toggle("Glow", "Soft light that follows their shape", look.glow);
  if (look.glow) ui.number({"Glow strength", f_glow_power, 0.2, 2.5, NumberUnit::percent});

  const float end = ui.cursor();
  const float px_left = left + full - preview_w;
  const float top = view.top + ui.px(4.0f) + ui.px(18.0f);
  studio_draw_preview(ui, {px_left, top, px_left + preview_w, top + ui.px(250.0f)});
  ui.begin_column(left, end, full, view);
}

void studio_page_personality(StudioUi& ui) {
  WorldSettings& w = ui.settings().world;
  ui.heading("Quick presets");
  struct Preset {
    double energy, chatter, curiosity, sleepy, playful, chaos;
  };
  static constexpr std::array<Preset, 4> kPresets = {{
      {0.5, 0.4, 0.5, 1.8, 0.4, 0.0},
      {1.0, 1.0, 1.0, 1.0, 1.0, 0.0},
      {2.2, 1.8, 1.6, 0.4, 2.5, 0.6},
      {2.5, 2.0, 2.0, 0.25, 3.0, 1.0},
  }};
  int current = -1;
  for (std::size_t i = 0; i < kPresets.size(); ++i) {
    const Preset& q = kPresets[i];
    if (w.energy == q.energy && w.chatter == q.chatter && w.curiosity == q.curiosity &&
        w.sleepy == q.sleepy && w.playful == q.playful && w.chaos == q.chaos)
      current = static_cast<int>(i);
  }
  if (int p = ui.buttons({"Calm", "Default", "Party", "Chaos"}, ButtonStyle::normal, current);
      p >= 0) {
    const Preset& q = kPresets[static_cast<std::size_t>(p)];
    w.energy = q.energy;
    w.chatter = q.chatter;
    w.curiosity = q.curiosity;
    w.sleepy = q.sleepy;
    w.playful = q.playful;
    w.chaos = q.chaos;
    ui.changed();
  }
  ui.heading("Traits");
  const double limit = settings_limits(ui.unleashed()).trait;
  ui.number({"Energy", f_energy, 0.25, limit, NumberUnit::percent});
  ui.number({"Chattiness", f_chatter, 0.2, limit, NumberUnit::percent});
  ui.number({"Curiosity", f_curiosity, 0.0, limit, NumberUnit::percent});
  ui.number({"Sleepiness", f_sleepy, 0.25, limit, NumberUnit::percent});
  ui.number({"Playfulness", f_playful, 0.2, limit, NumberUnit::percent});
  ui.number({"Chaos", f_chaos, 0.0, 1.0, NumberUnit::percent});
}

void studio_page_world(StudioUi& ui) {
  Settings& s = ui.settings();
  WorldSettings& w = s.world;
  // The crew: its size and the buttons that change it.
  {
    const float left = ui.left(), top = ui.cursor() + ui.px(8.0f), pad = ui.px(16.0f);
    const float h = ui.px(60.0f);
    ui.tile({left, top, left + ui.width(), top + h}, false);
    ui.text("Crew: " + std::to_string(ui.ctx().crew_size),
            ui.font(16.0f, 600, TextAlign::leading, TextAlign::centre), {left + pad, top},
            ui.px(160.0f), th::kText, h);
    struct Step {
      std::string_view label;
      std::size_t count;
    };
    static constexpr std::array<Step, 3> kNormal = {{{"+1", 1}, {"+10", 10}, {"+50", 50}}};
    static constexpr std::array<Step, 4> kUnleashed = {
        {{"+1", 1}, {"+10", 10}, {"+100", 100}, {"+1,000", 1000}}};
    const std::span<const Step> steps = ui.unleashed() ? std::span<const Step>(kUnleashed)
                                                       : std::span<const Step>(kNormal);
    const TextFormat bf = ui.font(13.0f, 600);
    const float bh = ui.px(34.0f), gap = ui.px(8.0f), by = top + (h - bh) / 2;
    const float remove_w = ui.measure("Remove all", bf).width + ui.px(32.0f);
    // Laid out from the right, drawn from the left, so the keyboard meets them in reading order.
    const float remove_x = left + ui.width() - pad - remove_w;
    float x = remove_x - gap * 2;
    std::array<float, 4> lefts{}, widths{};
    for (std::size_t i = steps.size(); i-- > 0;) {
      widths[i] = std::max(ui.px(48.0f), ui.measure(steps[i].label, bf).width + ui.px(24.0f));
      x -= widths[i];
      lefts[i] = x;
      x -= gap;
    }
    for (std::size_t i = 0; i < steps.size(); ++i)
      if (ui.button_at({lefts[i], by, lefts[i] + widths[i], by + bh}, steps[i].label, ButtonStyle::normal))
        ui.request({StudioRequest::Kind::add_buddies, steps[i].count, ""});
    if (ui.button_at({remove_x, by, remove_x + remove_w, by + bh}, "Remove all", ButtonStyle::danger))
      ui.request({StudioRequest::Kind::remove_all, 0, ""});
    ui.advance(h + ui.px(12.0f));
  }

  ui.heading("Physics");
  ui.number({"Buddy size", f_size, 1.0, settings_limits(ui.unleashed()).size, NumberUnit::whole});
  ui.number({"Gravity", f_gravity, -1.0, 3.0, NumberUnit::percent});
  ui.number({"Walk speed", f_speed, 0.25, 3.0, NumberUnit::percent});
  ui.number({"Bounce", f_bounce, 0.0, 2.0, NumberUnit::percent});
  ui.number({"Friction", f_friction, 0.0, 3.0, NumberUnit::percent});
  ui.number({"Max speed", f_max_speed, 200.0, 3000.0, NumberUnit::whole});
  ui.advance(ui.px(6.0f));
  ui.paragraph(
      "Click a number to type your own. Below 0% gravity pulls up, and friction speeds them up.");

  ui.heading("Behaviors");
  ui.toggle("Bump into each other", "Off lets them walk through each other", w.collide);
  ui.toggle("Climb onto windows", "Hop up onto the top of your apps", w.climb);
  ui.toggle("Hang out together", "Chats, dance-offs, high fives and tag", w.social);
  ui.toggle("Take naps", "Fall asleep when you step away", w.naps);
  ui.advance(ui.px(10.0f));
  if (ui.buttons({"Reset physics and behaviors"}) == 0) {
    w.gravity = w.speed = w.bounce = w.friction = 1.0;
    w.max_speed = 900.0;
    s.size = 9.0;
    w.collide = w.climb = w.social = w.naps = true;
    ui.changed();
  }
}

void studio_page_menu(StudioUi& ui) {
  MenuSettings& m = ui.settings().menu;
  ui.heading("Style");
  static constexpr std::array<std::string_view, 2> kTypes = {"Radial wheel", "Dropdown panel"};
  if (int t = ui.choice("Menu type", kTypes, m.list ? 1 : 0); t >= 0) m.list = t == 1;
  static constexpr std::array<std::string_view, 4> kThemes = {"Midnight", "Ocean", "Candy",
                                                              "Paper"};
  if (int t = ui.choice("Theme", kThemes, m.theme); t >= 0) m.theme = static_cast<std::uint8_t>(t);
  ui.toggle("Rainbow sections", "Off uses your accent color everywhere", m.rainbow);
  ui.colour("Accent color", m.accent);

  ui.heading("Feel");
  ui.number({"Size", f_menu_size, 0.85, 1.35, NumberUnit::percent});
  ui.number({"Opacity", f_menu_opacity, 0.6, 1.0, NumberUnit::percent});
  ui.number({"Animation speed", f_menu_speed, 0.5, 2.0, NumberUnit::percent});
  ui.advance(ui.px(12.0f));
  const float top = ui.cursor();
  if (ui.buttons({"Try it now"}, ButtonStyle::accent) == 0)
    ui.request({StudioRequest::Kind::try_menu, 0, ""});
  // "Reset menu" sits beside it.
  const float after = ui.cursor();
  const TextFormat bf = ui.font(13.0f, 600);
  const float x = ui.left() + ui.measure("Try it now", bf).width + ui.px(32.0f) + ui.px(8.0f);
  const float w = ui.measure("Reset menu", bf).width + ui.px(32.0f);
  if (ui.button_at({x, top, x + w, top + ui.px(34.0f)}, "Reset menu", ButtonStyle::normal)) {
    m = MenuSettings{};
    ui.changed();
  }
  ui.begin_column(ui.left(), after, ui.width(), ui.view());
}

void studio_page_general(StudioUi& ui) {
  Settings& s = ui.settings();
  if (!ui.ctx().settings_notice.empty()) {
    ui.heading("Settings file");
    ui.paragraph(ui.ctx().settings_notice, th::kDanger);
  }
  ui.heading("Options");
  ui.toggle("Chatty", "Speech bubbles on their own", s.chatty);
  ui.toggle("Type along when I type", "Only detects that a key was pressed, never which",
            s.type_along);
  ui.toggle("Pause buddies while menu is open", "Off keeps them moving behind the menu",
            s.pause_menu);
  ui.toggle("Menu sounds", "Small clicks when using the menu", s.sounds);
  ui.advance(ui.px(12.0f));
  ui.toggle("Unleashed mode", "Remove all limits", s.unleashed);
  ui.advance(ui.px(4.0f));
  ui.paragraph("Any number of buddies, giant sizes, extreme physics. Your PC may struggle");
  ui.paragraph("If it gets too heavy, press Ctrl+Alt+Shift+R to remove every buddy.");

  ui.heading("Reset");
  // It wipes the user's own lines and pins too, so it asks first.
  if (ui.buttons({"Reset everything to defaults"}, ButtonStyle::danger) == 0)
    ui.ask(StudioState::Detail::Ask::reset);
}

void studio_page_about(StudioUi& ui) {
  ui.heading("Controls");
  ui.paragraph(
      "Drag to carry, flick to throw, click to poke, double-click for a backflip, scroll to "
      "resize, right-click for the menu.",
      th::kText);
  ui.paragraph("In the menu: P or middle-click pins a favourite, Shift+arrows reorders pins, Esc "
               "goes back.",
               th::kText);
  ui.heading("Hotkeys (Ctrl+Alt+Shift)");
  ui.paragraph(
      // No-break spaces keep each key with its words when the line wraps.
      "B\u00A0menu   \u00B7   H\u00A0hide\u00A0or\u00A0show   \u00B7   S\u00A0summon\u00A0everyone   \u00B7   "
      "C\u00A0clear   \u00B7   G\u00A0select\u00A0a\u00A0group   \u00B7   R\u00A0remove\u00A0all",
      th::kText);
  ui.heading("Privacy");
  ui.paragraph("No telemetry, no accounts and no network use beyond a local port on your own PC. "
               "Typing detection never sees which keys you press.",
               th::kText);
  ui.advance(ui.px(14.0f));
  ui.paragraph("Perchkin is basically Nippo living on your desktop. It's an unofficial, fan-made "
               "project, not made by or affiliated with Shellcorp.");
  ui.text(kVersion, ui.font(11.5f, 600), {ui.left() + ui.px(2.0f), ui.cursor()}, ui.width(),
          th::kText3);
  ui.advance(ui.px(20.0f));
}

void studio_page_speech(StudioUi& ui) {
  Settings& s = ui.settings();
  ui.heading("What they say");
  static constexpr std::array<std::string_view, 3> kModes = {"Mix both", "Only my lines",
                                                             "Built-in"};
  if (int m = ui.choice("", kModes, s.speech_mode); m >= 0)
    s.speech_mode = static_cast<std::uint8_t>(m);
  const bool has_lines = std::any_of(s.phrases.begin(), s.phrases.end(),
                                     [](const std::string& p) { return !trim(p).empty(); });
  std::string_view explain;
  switch (s.speech_mode) {
    case 1:
      explain = has_lines ? "They will only ever say your lines."
                          : "Add a line below. Until then they only say your action lines.";
      break;
    case 2: explain = "Your list is kept, but only the built-in lines are used."; break;
    default: explain = "Your lines mixed in with the built-in ones."; break;
  }
  ui.advance(ui.px(4.0f));
  ui.paragraph(explain);
  ui.toggle("Robot voice", "Nippo reads speech bubbles out loud", s.voice);
  ui.toggle("Talk over each other", "Off lets only one speak at a time", s.voice_overlap);
  ui.number({"Voice volume", f_voice_volume, 0.0, 1.0, NumberUnit::percent});
  ui.advance(ui.px(6.0f));
  if (ui.buttons({"Test voice"}) == 0) ui.request({StudioRequest::Kind::test_voice, 0, ""});

  ui.heading("My lines");
  const float pad = ui.px(16.0f);
  std::size_t remove = s.phrases.size();
  for (std::size_t i = 0; i < s.phrases.size(); ++i) {
    const float top = ui.cursor(), h = ui.px(40.0f), left = ui.left();
    const CanvasRect r{left, top, left + ui.width(), top + h};
    ui.tile(r, ui.hot(r));
    const bool empty = trim(s.phrases[i]).empty();
    const TextFormat lf = ui.font(14.0f, 400, TextAlign::leading, TextAlign::centre);
    const float room = ui.width() - 2 * pad - ui.px(40.0f);
    ui.text(empty ? std::string("Empty line") : ui.fit_head(s.phrases[i], lf, room), lf,
            {left + pad, top}, room + ui.px(4.0f), empty ? th::kText3 : th::kText, h);
    const CanvasRect x{r.right - pad - ui.px(28.0f), top + ui.px(6.0f), r.right - pad,
                       top + h - ui.px(6.0f)};
    const bool over = ui.hot(x);
    if (over) ui.canvas().fill_rounded_rect(x, ui.px(5.0f), canvas_rgb(th::kControl));
    ui.text("\u00D7", ui.font(16.0f, 600, TextAlign::centre, TextAlign::centre), {x.left, x.top},
            x.right - x.left, over ? th::kDanger : th::kText2, x.bottom - x.top);
    if (ui.clicked(x)) remove = i;
    ui.advance(h + ui.px(4.0f));
  }
  if (remove < s.phrases.size()) {
    s.phrases.erase(s.phrases.begin() + static_cast<std::ptrdiff_t>(remove));
    ui.changed();
  }
  ui.entry("", FieldKind::phrase, 0, "", "Type a line and press Enter");

  ui.heading("When they...");
  ui.paragraph("Always say this at that moment. Leave blank for their usual reaction.");
  static constexpr std::array<std::string_view, 7> kMoments = {
      "Fall asleep", "Wake up", "Get picked up", "Get thrown", "Get poked", "Get petted", "Crash"};
  for (std::size_t i = 0; i < kMoments.size(); ++i)
    ui.entry(kMoments[i], FieldKind::moment, i, s.lines[i], "Usual reaction");
}

}  // namespace perchkin
