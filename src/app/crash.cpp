#include "app/crash.h"

#include "app/platform.h"
#include "settings/settings.h"

#include <cstdlib>
#include <exception>
#include <fstream>
#include <mutex>
#include <system_error>

namespace perchkin {

namespace {

// Computed once at installation so a crash never has to read the environment or allocate
// much; this and the terminate handler are the hook's only process-wide state.
std::filesystem::path& crash_log_path() {
  static std::filesystem::path path;
  return path;
}

[[noreturn]] void on_terminate() {
  std::string details;
  std::string site;
  if (auto current = std::current_exception()) {
    // Read the stack first: it still holds the throwing code until something else runs.
    site = throw_site();
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      details = std::string("uncaught exception: ") + e.what();
    } catch (...) {
      details = "uncaught exception of unknown type";
    }
  } else {
    details = "std::terminate called without an active exception";
  }
  report_crash(site.empty() ? details : site + ": " + details);
  std::_Exit(1);
}

}  // namespace

std::string crash_log_text(std::string_view details) {
  return "Perchkin " PERCHKIN_VERSION "\n" + std::string(details) + "\n";
}

bool write_crash_log(const std::filesystem::path& path, std::string_view details) {
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << crash_log_text(details);
  return static_cast<bool>(out.flush());
}

void install_crash_hook() {
  crash_log_path() = settings_path().parent_path() / "crash.log";
  std::set_terminate(on_terminate);
  install_platform_crash_handlers(report_crash);
}

void report_crash(std::string_view details) {
  // Two threads failing at once write one log at a time.
  static std::mutex once;
  std::lock_guard lock(once);
  std::filesystem::path path = crash_log_path();
  if (path.empty()) path = settings_path().parent_path() / "crash.log";
  write_crash_log(path, details);
  std::error_code ec;
  auto full = std::filesystem::absolute(path, ec);
  show_message_box("Perchkin crashed. Details are in:\n" + (ec ? path : full).string());
}

}  // namespace perchkin
