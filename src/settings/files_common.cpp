#include "settings/files.h"

#include <fstream>

namespace perchkin {

std::optional<std::string> read_file(const std::filesystem::path& path, std::size_t max_bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data;
  char buffer[8192];
  while (in) {
    in.read(buffer, sizeof buffer);
    data.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (data.size() > max_bytes) return std::nullopt;
  }
  if (in.bad()) return std::nullopt;
  return data;
}

}  // namespace perchkin
