// Durable file reads and writes for the settings folder, per platform.
#pragma once

#include "base/status.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace perchkin {

// The failure of read_file when nothing is at the path: a first start, not a fault.
inline constexpr std::string_view kNoSuchFile = "no such file";
inline constexpr std::string_view kNotRegularFile = "not a regular file";

// Reads a whole regular file of at most max_bytes. It is opened without blocking, so a named
// pipe or a device in its place never hangs the caller; anything but a regular file fails
// with "not a regular file".
Result<std::string> read_file(const std::filesystem::path& path, std::size_t max_bytes);
// Writes the bytes and flushes them to the disk before returning, so a rename after it never
// publishes an empty file after a power cut. Fails with the system's reason.
Status write_file_durably(const std::filesystem::path& path, std::string_view bytes);
// Renames from over to, replacing it.
Status replace_file(const std::filesystem::path& from, const std::filesystem::path& to);

// A system error's text as a short lower-case phrase ("permission denied").
std::string error_phrase(const std::error_code& ec);

}  // namespace perchkin
