// Durable file writes for the settings folder, per platform.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace perchkin {

// Reads a whole file; nullopt when it can't be read. At most max_bytes are accepted.
std::optional<std::string> read_file(const std::filesystem::path& path, std::size_t max_bytes);
// Writes the bytes and flushes them to the disk before returning, so a rename after it never
// publishes an empty file after a power cut.
bool write_file_durably(const std::filesystem::path& path, std::string_view bytes);
// Renames from over to, replacing it.
bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace perchkin
