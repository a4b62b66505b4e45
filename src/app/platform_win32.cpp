// Windows: parent console, the wide command line, MessageBoxW, unhandled exceptions.
#include "app/platform.h"

#include "app/crash.h"
#include "app/launch.h"

#include <windows.h>
#include <timeapi.h>

#include <cstdio>
#include <string>

namespace perchkin {

namespace {

std::string narrow(const wchar_t* text, int len) {
  if (len <= 0) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, len, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, len, out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring widen(std::string_view text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

bool handle_is_usable(DWORD which) {
  HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
  const DWORD type = GetFileType(h);
  return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE || type == FILE_TYPE_CHAR;
}

}  // namespace

void attach_parent_console() {
  // A windowed program has no console of its own; keep redirected streams, else borrow the
  // parent's console so results reach the terminal the user typed in.
  const bool out_ok = handle_is_usable(STD_OUTPUT_HANDLE);
  const bool err_ok = handle_is_usable(STD_ERROR_HANDLE);
  if (out_ok && err_ok) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!out_ok) std::freopen("CONOUT$", "w", stdout);
  if (!err_ok) std::freopen("CONOUT$", "w", stderr);
}

std::vector<std::string> command_line_args(int, char**) {
  const wchar_t* line = GetCommandLineW();
  return split_windows_command_line(narrow(line, static_cast<int>(wcslen(line))));
}

void show_message_box(std::string_view text) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
  MessageBoxW(nullptr, widen(text).c_str(), L"Perchkin", MB_OK | MB_ICONWARNING);
}

namespace {

LONG WINAPI on_unhandled_exception(EXCEPTION_POINTERS* info) {
  char details[160];
  const auto* record = info ? info->ExceptionRecord : nullptr;
  std::snprintf(details, sizeof details, "unhandled exception 0x%08lX at address %p",
                record ? static_cast<unsigned long>(record->ExceptionCode) : 0ul,
                record ? record->ExceptionAddress : nullptr);
  report_crash(details);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void install_platform_crash_handlers() { SetUnhandledExceptionFilter(on_unhandled_exception); }

void begin_timer_resolution() { timeBeginPeriod(1); }
void end_timer_resolution() { timeEndPeriod(1); }

const char* executable_name() { return "perchkin.exe"; }

}  // namespace perchkin
