#include "base/utf16_win32.h"

#include <windows.h>

namespace perchkin {

namespace {

std::optional<std::string> to_utf8(std::wstring_view utf16, DWORD flags) {
  if (utf16.empty()) return std::string();
  const int size = static_cast<int>(utf16.size());
  const int n = WideCharToMultiByte(CP_UTF8, flags, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::nullopt;
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, flags, utf16.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
  return out;
}

std::string narrow(std::wstring_view utf16) { return to_utf8(utf16, 0).value_or(std::string()); }

std::optional<std::string> narrow_strict(std::wstring_view utf16) {
  return to_utf8(utf16, WC_ERR_INVALID_CHARS);
}

}  // namespace perchkin
