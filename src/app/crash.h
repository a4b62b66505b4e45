// The crash hook: writes crash.log beside the settings and tells the user where it is.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace perchkin {

std::string crash_log_text(std::string_view details);
// Creates the folder and writes the log, replacing an earlier one. Returns false on failure.
bool write_crash_log(const std::filesystem::path& path, std::string_view details);
// Installs the hook for the whole process (std::terminate plus the platform's fatal errors).
void install_crash_hook();
// Writes the log and shows "Perchkin crashed. Details are in:\n{path}". Safe to call from any
// thread; the path was computed when the hook was installed.
void report_crash(std::string_view details);

}  // namespace perchkin
