// The Studio inside the App, with a window that lives in memory: the ways of opening it and the
// page each picks, one window at most, what its pages ask for, the settings it changes reaching
// the crew and the file, closing, and drawing only when something changed.
#include "app/studio_app.h"

#include "app/commands.h"
#include "app/menu_app.h"
#include "app_fixture.h"
#include "base/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace perchkin {
namespace {

struct StudioApp : test::AppFixture {
  FakeStudioWindow window;
  std::filesystem::path dir;

  void SetUp() override {
    start(14, 99);
    app.platform.studio_window = &window;
  }
  void TearDown() override {
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
  // Gives the App a settings file, as the real companion has.
  void with_settings_file() {
    dir = std::filesystem::path(::testing::TempDir()) /
          ("perchkin-studio-app-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    app.settings_file = dir / "settings.json";
  }
  std::string saved() const {
    std::ifstream in(app.settings_file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  CommandReply studio(const json& args = json::object()) {
    return run_command(app, "studio", args);
  }
  // One frame's share of the Studio, with the loop's clock moving on.
  void frame(double seconds = 1.0 / 60.0) {
    clock.t += seconds;
    studio_step(app);
  }
};

TEST_F(StudioApp, TheCommandOpensOneWindowAndRaisesItOnTheAskedPage) {
  CommandReply r = studio();
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.msg, "studio open");
  EXPECT_EQ(window.created, 1);
  EXPECT_EQ(window.scale, app.display_scale);
  EXPECT_EQ(app.ui.studio.page, kStudioLook);

  r = studio({{"page", 3}});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(window.created, 1) << "one window at most";
  EXPECT_EQ(window.raised, 1);
  EXPECT_EQ(app.ui.studio.page, kStudioMenu);

  r = studio({{"page", "speech"}});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(app.ui.studio.page, kStudioSpeech);
  // Without a page the open window stays where the user left it.
  r = studio();
  EXPECT_EQ(app.ui.studio.page, kStudioSpeech);
  EXPECT_EQ(window.raised, 3);

  for (const json& bad : {json(7), json(-1), json("sideways"), json(2.5), json(true)}) {
    r = studio({{"page", bad}});
    EXPECT_FALSE(r.ok) << bad;
    EXPECT_EQ(r.msg, "page must be 0 to 6 or one of: look, personality, world, menu, general, "
                     "about, speech");
  }
  EXPECT_EQ(app.ui.studio.page, kStudioSpeech);
}

TEST_F(StudioApp, AWindowThatCannotBeMadeIsReported) {
  window.fail_open = "the display refused";
  const CommandReply r = studio();
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.msg, "Could not open Perchkin Studio: the display refused");
  // Without any window system the reply stays what the headless companion always said.
  app.platform.studio_window = nullptr;
  EXPECT_EQ(studio().msg, "Could not open Perchkin Studio: no Studio window in this build");
}

TEST_F(StudioApp, TheMenuOpensItsPagesAndAnEmptyCrewGetsTheWorldPage) {
  open_studio(app, kStudioPersonality);
  EXPECT_EQ(app.ui.studio.page, kStudioPersonality);
  app.world.crew.truncate(0);
  open_menu_at_cursor(app);
  EXPECT_FALSE(app.ui.menu.open);
  EXPECT_EQ(window.created, 1);
  EXPECT_EQ(app.ui.studio.page, kStudioWorld);
}

TEST_F(StudioApp, ClosedItCostsNothingAndOpenItDrawsOnlyOnChange) {
  for (int i = 0; i < 10; ++i) frame();
  EXPECT_EQ(window.frames, 0);
  EXPECT_FALSE(app.ui.cursor_over_studio);

  ASSERT_TRUE(studio().ok);
  frame();
  EXPECT_EQ(window.frames, 1) << "a new window is drawn at once";
  EXPECT_FALSE(window.last_frame.calls.empty());
  for (int i = 0; i < 10; ++i) frame();
  EXPECT_EQ(window.frames, 1) << "idle: nothing to draw";

  window.move(50.0f, 60.0f);
  window.over = true;
  frame();
  EXPECT_EQ(window.frames, 2);
  EXPECT_TRUE(app.ui.cursor_over_studio);
  EXPECT_EQ(app.ui.studio_input.x, 50.0f) << "the position stays after the frame";
  frame();
  EXPECT_EQ(window.frames, 2);

  // A buddy arriving by other means changes the crew count the World page shows.
  ASSERT_TRUE(app.world.crew.add(std::nullopt, true).ok());
  frame();
  EXPECT_EQ(window.frames, 3);
}

TEST_F(StudioApp, TheCloseButtonClosesAndSavesAtOnce) {
  with_settings_file();
  ASSERT_TRUE(studio({{"page", "world"}}).ok);
  frame();
  app.settings.world.gravity = 2.0;
  app.settings_dirty_at = clock.now();
  window.over = true;
  window.request_close();
  frame(0.01);
  EXPECT_FALSE(window.is_open());
  EXPECT_EQ(window.closed, 1);
  EXPECT_FALSE(app.ui.cursor_over_studio);
  EXPECT_FALSE(app.settings_dirty_at) << "saved, not waiting for the half second";
  EXPECT_NE(saved().find("\"gravity\": 2.0"), std::string::npos) << saved();

  // Opened again it is a new window, back on the page asked for.
  ASSERT_TRUE(studio().ok);
  EXPECT_EQ(window.created, 2);
  EXPECT_EQ(app.ui.studio.page, kStudioLook);
}

TEST_F(StudioApp, TheLoopSavesHalfASecondAfterAChangeAndTheTailCloses) {
  with_settings_file();
  ASSERT_TRUE(studio().ok);
  app.running = true;
  run_frame(app);
  // What a page's change does to the App: applied now, saved 500 ms later by the loop.
  app.settings.world.gravity = 3.0;
  app.settings_dirty_at = clock.now();
  clock.t += 0.3;
  run_frame(app);
  EXPECT_FALSE(std::filesystem::exists(app.settings_file));
  clock.t += 0.3;
  run_frame(app);
  EXPECT_NE(saved().find("\"gravity\": 3.0"), std::string::npos);

  app.settings.world.gravity = 4.0;
  app.settings_dirty_at = clock.now();
  close_studio(app);
  EXPECT_NE(saved().find("\"gravity\": 4.0"), std::string::npos);
  EXPECT_FALSE(window.is_open());
}

// A settings file that does not load is kept, not saved over; a save that fails is said in the
// Studio and made at quit once the folder can be written.
TEST_F(StudioApp, NothingOfTheUsersSettingsIsLost) {
  with_settings_file();
  std::filesystem::create_directories(dir);
  const std::string broken = "{\"chatty\":false,\"size\":5,\"phrases\":[\"caf\xe9\"]}";
  std::ofstream(app.settings_file, std::ios::binary) << broken;
  load_app_settings(app, app.settings_file);
  EXPECT_EQ(app.settings.size, 9.0);
  EXPECT_NE(app.settings_load_notice.find("not valid UTF-8"), std::string::npos);
  int kept = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().filename().string().rfind("settings.json.unreadable-", 0) != 0) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), broken);
    ++kept;
  }
  EXPECT_EQ(kept, 1);

  // The folder becomes a file: the save fails, is said, and is tried again at quit.
  app.settings_file = dir / "blocked" / "settings.json";
  std::ofstream(dir / "blocked") << "x";
  ASSERT_TRUE(studio({{"page", "general"}}).ok);
  app.settings.world.gravity = 2.0;
  app.settings_dirty_at = clock.now();
  save_app_settings(app);
  EXPECT_FALSE(app.settings_save_error.empty());
  EXPECT_TRUE(settings_unsaved(app));
  std::filesystem::remove(dir / "blocked");
  close_studio(app);
  EXPECT_TRUE(app.settings_save_error.empty());
  EXPECT_NE(saved().find("\"gravity\": 2.0"), std::string::npos);
}

TEST_F(StudioApp, WhileHiddenTheLoopSleepsShortlyOnlyWithTheStudioOpen) {
  app.quiet = true;
  double before = clock.now();
  run_frame(app);
  EXPECT_NEAR(clock.now() - before, 0.100, 1e-9);
  ASSERT_TRUE(studio().ok);
  before = clock.now();
  run_frame(app);
  EXPECT_NEAR(clock.now() - before, 0.016, 1e-9);
  EXPECT_EQ(window.frames, 1) << "the Studio is drawn while the crew is hidden";
}

TEST_F(StudioApp, WhatThePagesAskForIsCarriedOut) {
  using Kind = StudioRequest::Kind;
  StudioFrameResult r;
  r.requests = {{Kind::add_buddies, 10, {}}};
  apply_studio_result(app, r, app.settings.size);
  EXPECT_EQ(app.world.crew.buddies.size(), 11u);
  EXPECT_EQ(app.world.crew.snapshot.size(), 11u);

  app.world.crew.max_buddies = 15;
  r.requests = {{Kind::add_buddies, 50, {}}};
  apply_studio_result(app, r, app.settings.size);
  EXPECT_EQ(app.world.crew.buddies.size(), 15u) << "the crew limit holds";

  r.requests = {{Kind::remove_all, 0, {}}};
  apply_studio_result(app, r, app.settings.size);
  EXPECT_EQ(app.world.crew.buddies.size(), 1u) << "the last buddy stays";
  apply_studio_result(app, r, app.settings.size);
  EXPECT_EQ(app.world.crew.buddies.size(), 1u);

  // "Try it now" opens the action menu for the first buddy.
  FakeShell shell;
  app.platform.shell = &shell;
  r.requests = {{Kind::try_menu, 0, {}}};
  apply_studio_result(app, r, app.settings.size);
  EXPECT_TRUE(app.ui.menu.open);
}

TEST_F(StudioApp, ChangedSettingsReachTheCrewAtOnce) {
  const double before = app.settings.size;
  app.settings.size = before + 3.0;
  app.settings.world.gravity = 2.5;
  app.settings.phrases = {"ahoy"};
  StudioFrameResult r;
  r.settings_changed = true;
  clock.t = 5.0;
  app.redraw_wanted = false;
  apply_studio_result(app, r, before);
  const Buddy& b = app.world.crew.buddies.front();
  EXPECT_EQ(b.world.w.gravity, 2.5);
  EXPECT_EQ(b.motion.unit, std::max(1.0, round_half_away((before + 3.0) * app.display_scale)))
      << "the buddies on screen take the new size";
  ASSERT_TRUE(app.settings_dirty_at);
  EXPECT_EQ(*app.settings_dirty_at, 5.0);
  EXPECT_TRUE(app.redraw_wanted);

  // Unleashed mode lifts the crew limit at once.
  app.settings.unleashed = true;
  apply_studio_result(app, r, app.settings.size);
  EXPECT_EQ(app.world.crew.max_buddies, kUnleashedCrewLimit);
}

}  // namespace
}  // namespace perchkin
