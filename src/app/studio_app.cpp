#include "app/studio_app.h"

#include "app/actions.h"
#include "app/menu_app.h"
#include "app/platform.h"

#include <array>
#include <cstdio>
#include <numeric>
#include <vector>

namespace perchkin {

namespace {

constexpr std::array<std::string_view, kStudioPages> kPageNames = {
    "look", "personality", "world", "menu", "general", "about", "speech"};

// Frames the pages ask for without input (a blinking caret) come at most this often.
constexpr double kAnimationFrame = 1.0 / 30.0;

double loop_now(const App& app) {
  return app.platform.clock ? app.platform.clock->now() : app.sim_clock;
}

std::string page_names_text() {
  std::string text;
  for (std::string_view name : kPageNames) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

// The page the "page" argument names: absent is nothing; anything unusable fails.
Result<std::optional<int>> page_arg(const json& args) {
  const json* page = json_member(args, "page");
  if (page == nullptr || page->is_null()) return std::optional<int>{};
  if (page->is_number_integer()) {
    const auto n = page->get<std::int64_t>();
    if (n >= 0 && n < kStudioPages) return std::optional<int>{static_cast<int>(n)};
  } else if (page->is_string()) {
    for (int i = 0; i < kStudioPages; ++i)
      if (page->get_ref<const std::string&>() == kPageNames[static_cast<std::size_t>(i)])
        return std::optional<int>{i};
  }
  return Result<std::optional<int>>::fail("page must be 0 to 6 or one of: " + page_names_text());
}

Status open_on(App& app, std::optional<int> page) {
  StudioWindow* window = app.platform.studio_window;
  // The headless companion has no window system to open it on.
  if (window == nullptr) return Status::fail("no Studio window in this build");
  const bool was_open = window->is_open();
  if (Status s = window->open(app.display_scale); !s.ok()) return s;
  if (!was_open) {
    app.ui.studio = StudioState{};
    app.ui.studio_input = StudioInput{};
    app.ui.studio_animate_at.reset();
  }
  if (page || !was_open) studio_open_page(app.ui.studio, page.value_or(kStudioLook));
  app.ui.studio_input.needs_redraw = true;
  return Status::success();
}

void carry_out(App& app, const StudioRequest& request) {
  switch (request.kind) {
    case StudioRequest::Kind::add_buddies:
      // The crew limit stops the row of "+" buttons like any other way of adding.
      if (Status s = add_buddies(app, request.count, std::nullopt); !s.ok())
        report_failure("Studio", s.error);
      app.world.crew.rebuild_snapshot();
      break;
    case StudioRequest::Kind::remove_all:
      // The last buddy stays.
      app.world.crew.truncate(std::min<std::size_t>(app.world.crew.buddies.size(), 1));
      app.world.crew.rebuild_snapshot();
      break;
    case StudioRequest::Kind::try_menu: open_menu_at_cursor(app); break;
    case StudioRequest::Kind::test_voice:
      if (app.platform.voice) app.platform.voice->test_voice(app.settings.voice_volume);
      break;
    case StudioRequest::Kind::import_hat: choose_wear_image(app, WearKind::hat); break;
    case StudioRequest::Kind::import_glasses: choose_wear_image(app, WearKind::glasses); break;
    case StudioRequest::Kind::delete_hat:
      (void)delete_wear_image(app, WearKind::hat, request.name);
      break;
    case StudioRequest::Kind::delete_glasses:
      (void)delete_wear_image(app, WearKind::glasses, request.name);
      break;
    case StudioRequest::Kind::reset_everything: break;  // the settings change says it all
  }
}

// The changed settings reach the crew now; the loop saves them half a second later.
void settings_changed(App& app, double size_before) {
  apply_settings(app);
  if (app.settings.size != size_before && !app.world.crew.buddies.empty()) {
    // "Buddy size" resizes the crew on screen, not only the buddies still to come.
    std::vector<std::size_t> all(app.world.crew.buddies.size());
    std::iota(all.begin(), all.end(), std::size_t{0});
    app.world.crew.resize(all, app.settings.size);
  }
  app.world.crew.rebuild_snapshot();
  app.settings_dirty_at = loop_now(app);
  // The look may have changed: the overlay draws its next frame in full.
  app.redraw_wanted = true;
}

}  // namespace

CommandReply studio_command(App& app, const json& args) {
  const Result<std::optional<int>> page = page_arg(args);
  if (!page.ok()) return {false, page.error};
  if (Status s = open_on(app, *page); !s.ok())
    return {false, std::string(kStudioOpenFailed) + s.error};
  return {true, "studio open"};
}

void open_studio(App& app, int page) {
  const Status s = open_on(app, page);
  if (s.ok()) return;
  const std::string text = std::string(kStudioOpenFailed) + s.error;
  // Without a window system there is nobody to show a box to: the console hears of it.
  if (app.platform.studio_window == nullptr) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    return;
  }
  show_message_box(text);
}

void studio_step(App& app) {
  StudioWindow* window = app.platform.studio_window;
  if (window == nullptr || !window->is_open()) {
    app.ui.cursor_over_studio = false;
    return;
  }
  StudioInput& input = app.ui.studio_input;
  window->pump(input);
  app.ui.cursor_over_studio = window->pointer_over();
  if (input.close_requested) {
    close_studio(app);
    return;
  }
  const double now = loop_now(app);
  // Buddies come and go without the Studio's doing; its crew count follows.
  if (app.world.crew.buddies.size() != app.ui.studio_crew_shown) input.needs_redraw = true;
  const bool animate = app.ui.studio_animate_at && now >= *app.ui.studio_animate_at;
  if (!input.needs_redraw && !animate) return;

  StudioContext ctx;
  ctx.scale = app.display_scale;
  ctx.crew_size = app.world.crew.buddies.size();
  ctx.unleashed = app.unleashed || app.settings.unleashed;
  ctx.wear = &app.wear.images;
  ctx.settings_notice = app.settings_save_error.empty()
                            ? app.settings_load_notice
                            : "Your changes are not saved: " + app.settings_save_error +
                                  ". Perchkin tries again with the next change and when it quits.";
  const double size_before = app.settings.size;
  StudioFrameResult result;
  bool ran = false;
  const Status shown = window->present([&](Canvas& canvas) {
    result = studio_frame(canvas, app.ui.studio, input, app.settings, ctx);
    ran = true;
  });
  app.ui.studio_crew_shown = ctx.crew_size;
  if (!ran) {
    // Nothing was drawn and nothing read: the input waits for the window's next message.
    input.needs_redraw = false;
    return;
  }
  input.consume();
  if (!shown.ok()) input.needs_redraw = false;
  app.ui.studio_animate_at.reset();
  if (result.animating) app.ui.studio_animate_at = now + kAnimationFrame;
  apply_studio_result(app, result, size_before);
}

void apply_studio_result(App& app, const StudioFrameResult& result, double size_before) {
  if (result.settings_changed) settings_changed(app, size_before);
  for (const StudioRequest& request : result.requests) carry_out(app, request);
}

void close_studio(App& app) {
  if (app.platform.studio_window != nullptr) app.platform.studio_window->close();
  app.ui.cursor_over_studio = false;
  app.ui.studio = StudioState{};
  app.ui.studio_input = StudioInput{};
  app.ui.studio_animate_at.reset();
  if (settings_unsaved(app)) save_app_settings(app);
}

}  // namespace perchkin
