// Custom wear on the user-interface thread: taking in decoded images, the Studio's choose and
// delete actions, and the start-up scan.
#include "app/app.h"

#include "app/platform.h"

#include <chrono>

namespace perchkin {

void receive_wear_images(App& app) {
  if (!app.wear.channel) return;
  const WearReceived received = receive_wear(*app.wear.channel, app.wear.images, app.settings);
  // A new image may be the one a buddy wears, so the next frame is drawn in full; the Studio
  // lists it.
  if (received.images > 0) {
    app.redraw_wanted = true;
    app.ui.studio_input.needs_redraw = true;
  }
  if (received.settings_changed)
    app.settings_dirty_at = app.platform.clock ? app.platform.clock->now() : 0.0;
}

void set_custom_wear(const App& app, FrameInput& in) {
  in.custom_hat = selected_wear(app.wear.images, app.settings, WearKind::hat);
  in.custom_glasses = selected_wear(app.wear.images, app.settings, WearKind::glasses);
}

bool delete_wear_image(App& app, WearKind kind, std::string_view name) {
  if (app.wear.folder.empty()) return false;
  if (!delete_wear(app.wear.folder, kind, name, app.wear.images, app.settings)) return false;
  apply_settings(app);
  app.redraw_wanted = true;
  app.settings_dirty_at = app.platform.clock ? app.platform.clock->now() : 0.0;
  return true;
}

void choose_wear_image(App& app, WearKind kind) {
  if (!app.wear.channel || !app.wear.decoder || !app.wear.chooser) return;
  // One dialog at a time: another Import click while it is open does nothing.
  if (app.wear.chooser_open->load()) return;
  WearChooserJob job;
  job.open = app.wear.chooser_open;
  job.kind = kind;
  job.wear_folder = app.wear.folder;
  job.chooser = app.wear.chooser;
  job.decoder = app.wear.decoder;
  job.channel = app.wear.channel;
  job.show_message = [](std::string_view text) { show_message_box(text); };
  job.now_ms = [] {
    return static_cast<std::int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count());
  };
  // The dialog stays open as long as the user likes; the thread holds its own references.
  start_wear_chooser(std::move(job)).detach();
}

void start_wear_scan(App& app) {
  if (app.wear.folder.empty() || !app.wear.decoder || !app.wear.channel) return;
  app.wear.scan = start_wear_scan(app.wear.folder, app.wear.decoder, app.wear.channel);
}

void stop_wear_threads(App& app) {
  if (app.wear.channel) app.wear.channel->close();
  if (app.wear.scan.joinable()) app.wear.scan.join();
}

}  // namespace perchkin
