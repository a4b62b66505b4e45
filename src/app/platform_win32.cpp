// Windows: parent console, the wide command line, MessageBoxW, unhandled exceptions.
#include "app/platform.h"
#include "base/utf16_win32.h"

#include "app/launch.h"

#include <windows.h>
#include <timeapi.h>

#include <cstdint>
#include <cstdio>
#include <cxxabi.h>
#include <string>

namespace perchkin {

namespace {

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
  return split_windows_command_line(narrow(line));
}

void show_message_box(std::string_view text) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
  MessageBoxW(nullptr, widen(text).c_str(), L"Perchkin", MB_OK | MB_ICONWARNING);
}

namespace {

CrashReport crash_report = nullptr;  // set once, before the filter goes in

LONG WINAPI on_unhandled_exception(EXCEPTION_POINTERS* info) {
  char details[160];
  const auto* record = info ? info->ExceptionRecord : nullptr;
  std::snprintf(details, sizeof details, "unhandled exception 0x%08lX at address %p",
                record ? static_cast<unsigned long>(record->ExceptionCode) : 0ul,
                record ? record->ExceptionAddress : nullptr);
  if (crash_report) crash_report(details);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

std::string throw_site() {
  // Without debug symbols at run time the runtime's frames are told apart by address: the
  // frame that returns into __cxa_throw (or __cxa_rethrow), both small functions linked into
  // the program, comes right before the code that threw.
  void* frames[64];
  const USHORT count = CaptureStackBackTrace(0, 64, frames, nullptr);
  const auto within = [](void* frame, void* function) {
    const auto at = reinterpret_cast<std::uintptr_t>(frame);
    const auto start = reinterpret_cast<std::uintptr_t>(function);
    return at > start && at - start < 0x400;
  };
  void* const throw_fn = reinterpret_cast<void*>(&__cxxabiv1::__cxa_throw);
  void* const rethrow_fn = reinterpret_cast<void*>(&__cxxabiv1::__cxa_rethrow);
  for (USHORT i = 0; i + 1 < count; ++i) {
    if (!within(frames[i], throw_fn) && !within(frames[i], rethrow_fn)) continue;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(frames[i + 1]), &module)) {
      return {};
    }
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    std::string name = narrow(std::wstring_view(path, length));
    name = name.substr(name.find_last_of("\\/") + 1);
    char offset[32];
    std::snprintf(offset, sizeof offset, "+0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(frames[i + 1]) -
                                                  1 - reinterpret_cast<std::uintptr_t>(module)));
    return name + offset;
  }
  return {};
}

void install_platform_crash_handlers(CrashReport report) {
  crash_report = report;
  SetUnhandledExceptionFilter(on_unhandled_exception);
}

void begin_timer_resolution() { timeBeginPeriod(1); }
void end_timer_resolution() { timeEndPeriod(1); }

const char* executable_name() { return "perchkin.exe"; }
const char* graphics_requirement() { return "Perchkin needs Windows 10 or 11."; }

}  // namespace perchkin
