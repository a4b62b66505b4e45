#include "settings/settings.h"

#include "settings/env.h"
#include "settings/files.h"
#include "base/text.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <system_error>

namespace perchkin {

namespace {

constexpr std::size_t kMaxSettingsFileBytes = 16u << 20;
constexpr std::size_t kCustomWearChars = 120;

// One loader per key kind; each ignores a value of the wrong JSON type.
void take_bool(const json& obj, const char* key, bool& out) {
  if (const json* v = json_member(obj, key); v && v->is_boolean()) out = v->get<bool>();
}

void take_clamped(const json& obj, const char* key, double lo, double hi, double& out) {
  if (const json* v = json_member(obj, key)) {
    if (auto n = json_number(*v)) out = std::clamp(*n, lo, hi);
  }
}

template <typename T>
void take_below(const json& obj, const char* key, std::uint64_t limit, T& out) {
  if (const json* v = json_member(obj, key); v && json_is_non_negative_integer(*v)) {
    const auto n = v->is_number_unsigned() ? v->get<std::uint64_t>()
                                           : static_cast<std::uint64_t>(v->get<std::int64_t>());
    if (n < limit) out = static_cast<T>(n);
  }
}

void take_text(const json& obj, const char* key, std::size_t max_chars, bool trimmed,
               std::string& out) {
  if (const json* v = json_member(obj, key); v && v->is_string()) {
    const auto& s = v->get_ref<const std::string&>();
    out = first_chars(trimmed ? trim(s) : s, max_chars);
  }
}

std::string clean_phrase(const std::string& s) { return first_chars(trim(s), kPhraseChars); }

std::vector<std::string> clean_phrases(const std::vector<std::string>& in) {
  std::vector<std::string> out;
  for (const auto& s : in) {
    if (out.size() == kMaxPhrases) break;
    std::string p = clean_phrase(s);
    if (!p.empty()) out.push_back(std::move(p));
  }
  return out;
}

double clamp_size(double size, bool unleashed) {
  // NaN cannot come from JSON, so the clamp always yields a finite size.
  return round_half_away(std::clamp(size, 1.0, settings_limits(unleashed).size));
}

}  // namespace

SettingsLimits settings_limits(bool unleashed) {
  return unleashed ? SettingsLimits{300.0, 12.0, 5.0} : SettingsLimits{12.0, 3.0, 1.0};
}

std::filesystem::path settings_path() {
  if (auto explicit_path = env_path("PERCHKIN_SETTINGS")) return *explicit_path;
  auto base = config_base_folder();
  const std::filesystem::path folder = base ? *base / "Perchkin" : std::filesystem::path("Perchkin");
  return folder / "settings.json";
}

std::filesystem::path beside_settings(const std::filesystem::path& name) {
  return settings_path().parent_path() / name;
}

void migrate_legacy_settings() {
  if (env_path("PERCHKIN_SETTINGS")) return;
  auto base = legacy_base_folder();
  if (!base) return;
  const auto old_folder = *base / "ScreenFriend";
  const auto new_folder = *base / "Perchkin";
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(old_folder, ec);
  if (ec || !std::filesystem::is_directory(status)) return;
  const auto new_status = std::filesystem::symlink_status(new_folder, ec);
  if (!ec && std::filesystem::exists(new_status)) return;
  std::filesystem::rename(old_folder, new_folder, ec);
}

Settings settings_from_json(const json& doc) {
  Settings s;
  if (!doc.is_object()) return s;
  take_bool(doc, "type_along", s.type_along);
  take_bool(doc, "chatty", s.chatty);
  take_bool(doc, "pause_menu", s.pause_menu);
  take_bool(doc, "sounds", s.sounds);
  take_bool(doc, "autostart", s.autostart);
  take_bool(doc, "voice", s.voice);
  take_bool(doc, "voice_overlap", s.voice_overlap);
  take_clamped(doc, "voice_volume", 0.0, 1.0, s.voice_volume);
  take_bool(doc, "unleashed", s.unleashed);
  const SettingsLimits limits = settings_limits(s.unleashed);

  if (const json* pins = json_member(doc, "pins"); pins && pins->is_array()) {
    for (const auto& p : *pins) {
      if (s.pins.size() == kMaxPins) break;
      if (p.is_string()) s.pins.push_back(p.get<std::string>());
    }
  }
  if (const json* phrases = json_member(doc, "phrases"); phrases && phrases->is_array()) {
    for (const auto& p : *phrases) {
      if (s.phrases.size() == kMaxPhrases) break;
      if (!p.is_string()) continue;
      std::string clean = clean_phrase(p.get_ref<const std::string&>());
      if (!clean.empty()) s.phrases.push_back(std::move(clean));
    }
  }
  take_below(doc, "speech_mode", 3, s.speech_mode);
  if (const json* lines = json_member(doc, "lines")) {
    for (std::size_t i = 0; i < kLineMoments.size(); ++i)
      take_text(*lines, kLineMoments[i], kPhraseChars, true, s.lines[i]);
  }
  take_clamped(doc, "size", 1.0, limits.size, s.size);
  take_text(doc, "custom_hat", kCustomWearChars, false, s.custom_hat);
  take_text(doc, "custom_glasses", kCustomWearChars, false, s.custom_glasses);

  if (const json* look = json_member(doc, "look")) {
    LookSettings& l = s.look;
    take_bool(*look, "custom", l.custom);
    take_below(*look, "color", 1u << 24, l.color);
    take_below(*look, "color2", 1u << 24, l.color2);
    take_below(*look, "pattern", 4, l.pattern);
    take_below(*look, "hat", 5, l.hat);
    take_below(*look, "glasses", 3, l.glasses);
    take_below(*look, "trail", 3, l.trail);
    take_bool(*look, "glow", l.glow);
    take_clamped(*look, "glow_power", 0.2, 2.5, l.glow_power);
    take_clamped(*look, "hat_size", 0.3, 3.0, l.hat_size);
    take_clamped(*look, "hat_lift", -6.0, 6.0, l.hat_lift);
    take_clamped(*look, "glasses_size", 0.3, 3.0, l.glasses_size);
    take_clamped(*look, "glasses_lift", -6.0, 6.0, l.glasses_lift);
  }
  if (const json* world = json_member(doc, "world")) {
    WorldSettings& w = s.world;
    take_clamped(*world, "gravity", -50.0, 50.0, w.gravity);
    take_clamped(*world, "speed", 0.01, 100.0, w.speed);
    take_clamped(*world, "bounce", 0.0, 5.0, w.bounce);
    take_clamped(*world, "friction", -50.0, 50.0, w.friction);
    take_clamped(*world, "max_speed", 10.0, 50000.0, w.max_speed);
    take_bool(*world, "collide", w.collide);
    take_clamped(*world, "energy", 0.25, limits.trait, w.energy);
    take_clamped(*world, "chatter", 0.2, limits.trait, w.chatter);
    take_clamped(*world, "curiosity", 0.0, limits.trait, w.curiosity);
    take_clamped(*world, "sleepy", 0.25, limits.trait, w.sleepy);
    take_clamped(*world, "playful", 0.2, limits.trait, w.playful);
    take_clamped(*world, "chaos", 0.0, limits.chaos, w.chaos);
    take_bool(*world, "climb", w.climb);
    take_bool(*world, "social", w.social);
    take_bool(*world, "naps", w.naps);
  }
  if (const json* menu = json_member(doc, "menu")) {
    MenuSettings& m = s.menu;
    take_bool(*menu, "list", m.list);
    take_below(*menu, "theme", 4, m.theme);
    take_bool(*menu, "rainbow", m.rainbow);
    take_below(*menu, "accent", 1u << 24, m.accent);
    take_clamped(*menu, "size", 0.85, 1.35, m.size);
    take_clamped(*menu, "opacity", 0.6, 1.0, m.opacity);
    take_clamped(*menu, "speed", 0.5, 2.0, m.speed);
  }
  s.size = clamp_size(s.size, s.unleashed);
  return s;
}

namespace {

// The document, or why the text as a whole does not load.
Result<json> settings_document(std::string_view text) {
  if (!is_valid_utf8(text)) return Result<json>::fail("not valid UTF-8");
  // Editors on Windows like to prepend byte order marks; any number of them is tolerated.
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  while (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
  auto doc = parse_json(text);
  if (!doc) return Result<json>::fail("not valid JSON");
  if (!doc->is_object()) return Result<json>::fail("not a JSON object");
  return std::move(*doc);
}

std::string two_digits(unsigned n) { return {char('0' + n / 10 % 10), char('0' + n % 10)}; }

}  // namespace

Settings settings_from_text(std::string_view text) {
  auto doc = settings_document(text);
  return doc.ok() ? settings_from_json(*doc) : Settings{};
}

SettingsLoad load_settings(const std::filesystem::path& path) {
  if (path.empty()) return {};
  auto text = read_file(path, kMaxSettingsFileBytes);
  if (!text.ok()) {
    if (text.error == kNoSuchFile) return {};
    return {Settings{}, text.error};
  }
  auto doc = settings_document(*text);
  if (!doc.ok()) return {Settings{}, doc.error};
  return {settings_from_json(*doc), {}};
}

Result<std::filesystem::path> keep_unloadable_settings(const std::filesystem::path& path,
                                                       std::int64_t unix_seconds) {
  using namespace std::chrono;
  const sys_seconds when{seconds{unix_seconds}};
  const auto day = floor<days>(when);
  const year_month_day date{day};
  const hh_mm_ss time{when - day};
  const std::string stamp = std::to_string(static_cast<int>(date.year())) +
                            two_digits(static_cast<unsigned>(date.month())) +
                            two_digits(static_cast<unsigned>(date.day())) + "-" +
                            two_digits(static_cast<unsigned>(time.hours().count())) +
                            two_digits(static_cast<unsigned>(time.minutes().count())) +
                            two_digits(static_cast<unsigned>(time.seconds().count()));
  std::error_code ec;
  for (int n = 1; n <= 100; ++n) {
    std::filesystem::path aside = path;
    aside += ".unreadable-" + stamp + (n > 1 ? "-" + std::to_string(n) : "");
    if (std::filesystem::exists(std::filesystem::symlink_status(aside, ec))) continue;
    std::filesystem::rename(path, aside, ec);
    if (ec) return Result<std::filesystem::path>::fail(error_phrase(ec));
    return aside;
  }
  return Result<std::filesystem::path>::fail("every name for a copy is taken");
}

json settings_to_json(const Settings& s) {
  json lines = json::object();
  for (std::size_t i = 0; i < kLineMoments.size(); ++i) {
    std::string line = first_chars(trim(s.lines[i]), kPhraseChars);
    if (!line.empty()) lines[kLineMoments[i]] = line;
  }
  json pins = json::array();
  for (const auto& p : s.pins) pins.push_back(p);
  json phrases = json::array();
  for (const auto& p : clean_phrases(s.phrases)) phrases.push_back(p);

  const LookSettings& l = s.look;
  const WorldSettings& w = s.world;
  const MenuSettings& m = s.menu;
  json doc = {
      {"type_along", s.type_along},
      {"chatty", s.chatty},
      {"pause_menu", s.pause_menu},
      {"sounds", s.sounds},
      {"autostart", s.autostart},
      {"pins", pins},
      {"size", s.size},
      {"phrases", phrases},
      {"speech_mode", s.speech_mode},
      {"lines", lines},
      {"voice", s.voice},
      {"voice_volume", s.voice_volume},
      {"voice_overlap", s.voice_overlap},
      {"unleashed", s.unleashed},
      {"custom_hat", s.custom_hat},
      {"custom_glasses", s.custom_glasses},
      {"look",
       {{"custom", l.custom}, {"color", l.color}, {"color2", l.color2}, {"pattern", l.pattern},
        {"hat", l.hat}, {"glasses", l.glasses}, {"trail", l.trail}, {"glow", l.glow},
        {"glow_power", l.glow_power}, {"hat_size", l.hat_size}, {"hat_lift", l.hat_lift},
        {"glasses_size", l.glasses_size}, {"glasses_lift", l.glasses_lift}}},
      {"world",
       {{"gravity", w.gravity}, {"speed", w.speed}, {"bounce", w.bounce},
        {"friction", w.friction}, {"max_speed", w.max_speed}, {"collide", w.collide},
        {"energy", w.energy}, {"chatter", w.chatter}, {"curiosity", w.curiosity},
        {"sleepy", w.sleepy}, {"playful", w.playful}, {"chaos", w.chaos}, {"climb", w.climb},
        {"social", w.social}, {"naps", w.naps}}},
      {"menu",
       {{"list", m.list}, {"theme", m.theme}, {"rainbow", m.rainbow}, {"accent", m.accent},
        {"size", m.size}, {"opacity", m.opacity}, {"speed", m.speed}}},
  };
  return doc;
}

Settings clamped_settings(const Settings& settings, bool unleashed) {
  // One set of ranges: the load rules.
  json doc = settings_to_json(settings);
  doc["unleashed"] = unleashed;
  Settings out = settings_from_json(doc);
  out.unleashed = settings.unleashed;
  return out;
}

std::string settings_to_text(const Settings& settings) {
  return dump_pretty(settings_to_json(settings)) + "\n";
}

std::filesystem::path settings_temp_path(const std::filesystem::path& path) {
  std::filesystem::path tmp = path;
  tmp.replace_extension("json.tmp");
  return tmp;
}

namespace {

// Where a save lands: the path, or through symbolic links (a bounded chain) to their target.
std::filesystem::path save_target(const std::filesystem::path& path) {
  std::filesystem::path target = path;
  std::error_code ec;
  for (int hops = 0; hops < 40; ++hops) {
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec)) || ec) break;
    const std::filesystem::path next = std::filesystem::read_symlink(target, ec);
    if (ec) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

}  // namespace

Status save_settings(const std::filesystem::path& path, const Settings& settings) {
  if (path.empty()) return Status::fail("no settings file");
  const std::filesystem::path target = save_target(path);
  std::error_code ec;
  if (target.has_parent_path()) {
    std::filesystem::create_directories(target.parent_path(), ec);
    if (ec)
      return Status::fail("could not create the folder " + target.parent_path().string() +
                          ": " + error_phrase(ec));
  }
  const auto tmp = settings_temp_path(target);
  Status written = write_file_durably(tmp, settings_to_text(settings));
  if (written.ok()) written = replace_file(tmp, target);
  if (written.ok()) return written;
  // A failed write or rename leaves nothing behind but the old file; the temporary name may be
  // something that is not ours (a folder), which stays.
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(tmp, ec)))
    std::filesystem::remove(tmp, ec);
  return Status::fail("could not write " + target.string() + ": " + written.error);
}

}  // namespace perchkin
