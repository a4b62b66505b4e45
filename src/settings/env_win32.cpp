// Windows: environment and settings folders (APPDATA, USERPROFILE), read as UTF-16.
#include "settings/env.h"
#include "base/utf16_win32.h"
#include "base/text.h"

#include <windows.h>

#include <vector>

namespace perchkin {

namespace {

std::optional<std::wstring> wide_env(const char* name) {
  std::wstring wname(name, name + std::char_traits<char>::length(name));
  DWORD size = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::vector<wchar_t> buffer(size);
  DWORD got = GetEnvironmentVariableW(wname.c_str(), buffer.data(), size);
  if (got >= size) return std::nullopt;
  return std::wstring(buffer.data(), got);
}

}  // namespace

std::optional<std::string> env_text(const char* name) {
  auto wide = wide_env(name);
  if (!wide) return std::nullopt;
  return narrow_strict(*wide);
}

std::optional<std::filesystem::path> env_path(const char* name) {
  auto wide = wide_env(name);
  if (!wide) return std::nullopt;
  return std::filesystem::path(*wide);
}

std::optional<std::filesystem::path> config_base_folder() {
  if (auto appdata = env_path("APPDATA")) return appdata;
  return env_path("USERPROFILE");
}

std::optional<std::filesystem::path> legacy_base_folder() { return env_path("APPDATA"); }

}  // namespace perchkin
