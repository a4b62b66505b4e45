// The process-level calls entry needs from the operating system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace perchkin {

// Reconnects standard output and error to the parent's console when the program was started
// from one (Windows); nothing to do elsewhere.
void attach_parent_console();
// The arguments as UTF-8, program path first (Windows re-reads and splits the wide command line).
std::vector<std::string> command_line_args(int argc, char** argv);
// A warning box with the caption "Perchkin" and no owner; also a line on standard error.
void show_message_box(std::string_view text);
// Installs the platform's fatal-error handlers (signals / unhandled exceptions), which call
// `report` with a line about the failure. Passed in, so this layer never calls back into the
// core.
using CrashReport = void (*)(std::string_view details);
void install_platform_crash_handlers(CrashReport report);
// Called by the terminate handler while an uncaught exception is active: the code that threw
// it, read from the stack, which is still intact then ("perchkin+0x1a2b3 (function+0x1f)";
// the offset is relative to the module's load address, for addr2line). Empty when unknown.
std::string throw_site();
// Raises the system timer resolution to 1 ms around the frame loop (Windows).
void begin_timer_resolution();
void end_timer_resolution();
// The executable's name in messages ("perchkin.exe" or "perchkin").
const char* executable_name();
// What the graphics need, the second line of the message when they cannot start.
const char* graphics_requirement();

}  // namespace perchkin
