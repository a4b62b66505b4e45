// Windows: starting the companion detached with CreateProcessW.
#include "mcp/launch.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
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

}  // namespace

bool launch_companion_in_background() {
  const std::wstring path = own_executable_path();
  if (path.empty()) return false;
  std::wstring command_line = L"\"" + path + L"\" --background";

  // Standard streams on NUL; the handle list makes sure these are the only handles the child
  // inherits, so it never holds our protocol pipes open.
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE null_in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inheritable, OPEN_EXISTING, 0, nullptr);
  HANDLE null_out = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, OPEN_EXISTING, 0, nullptr);
  if (null_in == INVALID_HANDLE_VALUE || null_out == INVALID_HANDLE_VALUE) {
    if (null_in != INVALID_HANDLE_VALUE) CloseHandle(null_in);
    if (null_out != INVALID_HANDLE_VALUE) CloseHandle(null_out);
    return false;
  }

  SIZE_T attr_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &attr_size);
  std::vector<unsigned char> attr_storage(attr_size);
  auto* attrs = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attr_storage.data());
  HANDLE inherited[2] = {null_in, null_out};
  bool ready = attr_size > 0 && InitializeProcThreadAttributeList(attrs, 1, 0, &attr_size);
  const bool attrs_initialized = ready;
  ready = ready && UpdateProcThreadAttribute(attrs, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                             sizeof(inherited), nullptr, nullptr);

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = null_in;
  startup.StartupInfo.hStdOutput = null_out;
  startup.StartupInfo.hStdError = null_out;
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
  if (!started) return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

void prepare_protocol_stdio() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace perchkin
