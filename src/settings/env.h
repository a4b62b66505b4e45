// Environment variables and the default settings folder, per platform.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace perchkin {

// The variable's value as UTF-8; nullopt when unset or not valid Unicode.
std::optional<std::string> env_text(const char* name);
// The variable's value as a path (no Unicode check; paths may hold any bytes).
std::optional<std::filesystem::path> env_path(const char* name);
// The folder that holds the "Perchkin" settings folder: APPDATA, else USERPROFILE on Windows;
// XDG_CONFIG_HOME, else ~/.config on Linux. nullopt when none is set.
std::optional<std::filesystem::path> config_base_folder();
// The base folder of the legacy migration (APPDATA on Windows, the same as above on Linux).
std::optional<std::filesystem::path> legacy_base_folder();

}  // namespace perchkin
