// Linux: environment and settings folders (XDG base directories).
#include "settings/env.h"
#include "base/text.h"

#include <cstdlib>

namespace perchkin {

std::optional<std::string> env_text(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || !is_valid_utf8(value)) return std::nullopt;
  return std::string(value);
}

std::optional<std::filesystem::path> env_path(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::filesystem::path(value);
}

std::optional<std::filesystem::path> config_base_folder() {
  if (auto xdg = env_path("XDG_CONFIG_HOME"); xdg && !xdg->empty()) return xdg;
  if (auto home = env_path("HOME"); home && !home->empty()) return *home / ".config";
  return std::nullopt;
}

std::optional<std::filesystem::path> legacy_base_folder() { return config_base_folder(); }

}  // namespace perchkin
