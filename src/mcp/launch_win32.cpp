// Windows: starting the companion detached with CreateProcessW.
#include "mcp/launch.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace perchkin {

namespace {

std::wstring own_executable_path() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

constexpr std::size_t kFirstLineBytes = 400;

// Reads the companion's standard error to its end, keeping the first line and draining the rest
// so it never blocks on a full pipe, then records how it ended.
void watch_companion(HANDLE process, HANDLE error_pipe,
                     std::shared_ptr<LaunchedCompanion> companion) {
  std::string first;
  bool line_done = false;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(error_pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    for (DWORD i = 0; i < got && !line_done; ++i) {
      if (buffer[i] == '\n' || first.size() == kFirstLineBytes) line_done = true;
      else if (buffer[i] != '\r') first.push_back(buffer[i]);
    }
  }
  CloseHandle(error_pipe);
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  companion->end(static_cast<int>(code), std::move(first));
}

}  // namespace

std::shared_ptr<LaunchedCompanion> launch_companion_in_background() {
  const std::wstring path = own_executable_path();
  if (path.empty()) return nullptr;
  std::wstring command_line = L"\"" + path + L"\" --background";

  // Standard streams on NUL; the handle list makes sure these are the only handles the child
  // inherits, so it never holds our protocol pipes open.
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE null_in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inheritable, OPEN_EXISTING, 0, nullptr);
  HANDLE null_out = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, OPEN_EXISTING, 0, nullptr);
  // Its standard error comes to us, for the reason it gives when it cannot start.
  HANDLE error_read = nullptr;
  HANDLE error_write = nullptr;
  if (!CreatePipe(&error_read, &error_write, &inheritable, 0)) error_read = error_write = nullptr;
  if (error_read) SetHandleInformation(error_read, HANDLE_FLAG_INHERIT, 0);
  if (null_in == INVALID_HANDLE_VALUE || null_out == INVALID_HANDLE_VALUE || !error_read) {
    if (null_in != INVALID_HANDLE_VALUE) CloseHandle(null_in);
    if (null_out != INVALID_HANDLE_VALUE) CloseHandle(null_out);
    if (error_read) CloseHandle(error_read);
    if (error_write) CloseHandle(error_write);
    return nullptr;
  }

  SIZE_T attr_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &attr_size);
  std::vector<unsigned char> attr_storage(attr_size);
  auto* attrs = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attr_storage.data());
  HANDLE inherited[3] = {null_in, null_out, error_write};
  bool ready = attr_size > 0 && InitializeProcThreadAttributeList(attrs, 1, 0, &attr_size);
  const bool attrs_initialized = ready;
  ready = ready && UpdateProcThreadAttribute(attrs, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                             sizeof(inherited), nullptr, nullptr);

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = null_in;
  startup.StartupInfo.hStdOutput = null_out;
  startup.StartupInfo.hStdError = error_write;
  startup.lpAttributeList = attrs;

  PROCESS_INFORMATION process{};
  const bool started =
      ready && CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                              DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP |
                                  EXTENDED_STARTUPINFO_PRESENT,
                              nullptr, nullptr, &startup.StartupInfo, &process);
  if (attrs_initialized) DeleteProcThreadAttributeList(attrs);
  CloseHandle(null_in);
  CloseHandle(null_out);
  CloseHandle(error_write);
  if (!started) {
    CloseHandle(error_read);
    return nullptr;
  }
  CloseHandle(process.hThread);
  auto companion = std::make_shared<LaunchedCompanion>();
  try {
    std::thread(watch_companion, process.hProcess, error_read, companion).detach();
  } catch (...) {
    // No watcher: the companion still runs; its failures are only not reported early.
    CloseHandle(error_read);
    CloseHandle(process.hProcess);
  }
  return companion;
}

void prepare_protocol_stdio() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace perchkin
