// The autostart entry in $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).
#include "app/autostart.h"
#include "settings/env.h"

#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace perchkin {

namespace {

std::optional<std::filesystem::path> entry_path() {
  const auto base = config_base_folder();
  if (!base) return std::nullopt;
  return *base / "autostart" / "perchkin.desktop";
}

std::string own_path() {
  std::array<char, 4096> buf{};
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  return n > 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string("perchkin");
}

}  // namespace

bool autostart_enabled() {
  const auto path = entry_path();
  std::error_code ec;
  return path && std::filesystem::exists(*path, ec);
}

Status set_autostart(bool on) {
  const auto path = entry_path();
  if (!path) return Status::fail("no config folder for the autostart entry");
  std::error_code ec;
  if (!on) {
    std::filesystem::remove(*path, ec);
    return ec ? Status::fail("could not remove " + path->string()) : Status::success();
  }
  const std::string wanted = autostart_desktop_entry(own_path());
  {
    std::ifstream in(*path, std::ios::binary);
    if (in && std::string(std::istreambuf_iterator<char>(in), {}) == wanted) return Status::success();
  }
  std::filesystem::create_directories(path->parent_path(), ec);
  std::ofstream out(*path, std::ios::binary | std::ios::trunc);
  out << wanted;
  out.close();
  return out ? Status::success() : Status::fail("could not write " + path->string());
}

}  // namespace perchkin
