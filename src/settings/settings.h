// The user's settings: one record, one JSON file, read forgivingly and written atomically.
#pragma once

#include "base/json.h"
#include "base/status.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace perchkin {

// The eight moments that may have a fixed line, in file and Studio order.
inline constexpr std::array<const char*, 8> kLineMoments = {"sleep", "wake", "grab", "throw",
                                                            "poke", "pet", "bonk", "dance"};

struct LookSettings {
  bool custom = false;
  std::uint32_t color = 0xD77757;
  std::uint32_t color2 = 0xFFD23F;
  std::uint8_t pattern = 0;
  std::uint8_t hat = 0;
  std::uint8_t glasses = 0;
  std::uint8_t trail = 0;
  bool glow = false;
  double glow_power = 1.0;
  double hat_size = 1.0;
  double hat_lift = 0.0;
  double glasses_size = 1.0;
  double glasses_lift = 0.0;

  bool operator==(const LookSettings&) const = default;
};

struct WorldSettings {
  double gravity = 1.0;
  double speed = 1.0;
  double bounce = 1.0;
  double friction = 1.0;
  double max_speed = 900.0;
  bool collide = true;
  double energy = 1.0;
  double chatter = 1.0;
  double curiosity = 1.0;
  double sleepy = 1.0;
  double playful = 1.0;
  double chaos = 0.0;
  bool climb = true;
  bool social = true;
  bool naps = true;

  bool operator==(const WorldSettings&) const = default;
};

struct MenuSettings {
  bool list = false;
  std::uint8_t theme = 0;
  bool rainbow = true;
  std::uint32_t accent = 0xD77757;
  double size = 1.0;
  double opacity = 0.94;
  double speed = 1.0;

  bool operator==(const MenuSettings&) const = default;
};

struct Settings {
  bool type_along = false;
  bool chatty = true;
  bool pause_menu = false;
  bool sounds = false;
  bool voice = false;
  bool voice_overlap = true;
  double voice_volume = 0.8;
  bool unleashed = false;
  bool autostart = false;  // start with the desktop session (login)
  std::vector<std::string> pins;
  std::vector<std::string> phrases;
  std::uint8_t speech_mode = 0;
  std::array<std::string, 8> lines;  // indexed like kLineMoments
  double size = 9.0;
  std::string custom_hat;
  std::string custom_glasses;
  LookSettings look;
  WorldSettings world;
  MenuSettings menu;

  bool operator==(const Settings&) const = default;
};

struct SettingsLimits {
  double size;
  double trait;
  double chaos;
};
SettingsLimits settings_limits(bool unleashed);

// The menu allows six pins; loading keeps as many, so a sixth pin survives a restart.
inline constexpr std::size_t kMaxPins = 6;
inline constexpr std::size_t kMaxPhrases = 30;
inline constexpr std::size_t kPhraseChars = 80;

// Where settings.json lives: PERCHKIN_SETTINGS, else APPDATA (Windows) or the XDG config folder
// (Linux), then Perchkin/settings.json. Empty when no folder can be found.
std::filesystem::path settings_path();
// The file beside the settings file with another name (crash.log, the wear folder).
std::filesystem::path beside_settings(const std::filesystem::path& name);
// Moves an old "ScreenFriend" settings folder to "Perchkin" once.
void migrate_legacy_settings();

// Reading never fails: anything missing, mistyped or unreadable keeps its default.
Settings settings_from_json(const json& document);
Settings settings_from_text(std::string_view text);

// A loaded file, or the defaults and why the file as a whole could not be loaded ("not valid
// JSON", "not a regular file", "permission denied"...). No file at all is no problem: the first
// start has none.
struct SettingsLoad {
  Settings settings;
  std::string problem;
};
SettingsLoad load_settings(const std::filesystem::path& path);

// Moves a settings file that did not load out of the way before anything is saved over it:
// renamed to "<name>.unreadable-<YYYYMMDD-HHMMSS>" (UTC, with "-2", "-3"... when taken) beside
// it. A symbolic link is moved itself, so its target stays untouched. Returns the new path.
Result<std::filesystem::path> keep_unloadable_settings(const std::filesystem::path& path,
                                                       std::int64_t unix_seconds);

// The record as loading its own saved file would give it back, under the limits of `unleashed`:
// every number forced into its range, the size rounded. `unleashed` itself is kept.
Settings clamped_settings(const Settings& settings, bool unleashed);

json settings_to_json(const Settings& settings);
std::string settings_to_text(const Settings& settings);
// Writes through "<name>.json.tmp", flushed to disk, then renamed over the file. When the path
// is a symbolic link (a dotfiles checkout), the link's target is what is replaced, with the
// temporary file beside it, so the link stays. On failure the old file stays intact, no
// temporary file is left, and the message says what failed.
Status save_settings(const std::filesystem::path& path, const Settings& settings);
std::filesystem::path settings_temp_path(const std::filesystem::path& path);

}  // namespace perchkin
