// The "Perchkin" value under HKCU\Software\Microsoft\Windows\CurrentVersion\Run.
#include "app/autostart.h"

#include <windows.h>

#include <string>

namespace perchkin {

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kValue[] = L"Perchkin";

std::wstring wanted_command() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return L"\"" + path + L"\" --background";
}

std::wstring current_command() {
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValue, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
          ERROR_SUCCESS ||
      bytes == 0)
    return {};
  std::wstring value(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValue, RRF_RT_REG_SZ, nullptr, value.data(),
                   &bytes) != ERROR_SUCCESS)
    return {};
  value.resize(wcsnlen(value.c_str(), value.size()));
  return value;
}

}  // namespace

bool autostart_enabled() { return !current_command().empty(); }

Status set_autostart(bool on) {
  if (!on) {
    const LSTATUS r = RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kValue);
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND
               ? Status::success()
               : Status::fail("could not remove the autostart entry");
  }
  const std::wstring command = wanted_command();
  if (current_command() == command) return Status::success();
  const LSTATUS r = RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, kValue, REG_SZ, command.c_str(),
                                    static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  return r == ERROR_SUCCESS ? Status::success() : Status::fail("could not write the autostart entry");
}

}  // namespace perchkin
