// The Windows open-file dialog for custom wear.
#include "wear/wear_backend.h"
#include "base/utf16_win32.h"

#include <windows.h>
#include <commdlg.h>
#include <objbase.h>

#include <string>

namespace perchkin {

namespace {

class Win32FileChooser final : public FileChooser {
 public:
  Result<std::optional<std::filesystem::path>> choose(
      const std::string& title, const std::string& filter_name,
      const std::vector<std::string>& patterns) override {
    using Picked = Result<std::optional<std::filesystem::path>>;
    // The Explorer-style dialog hosts shell objects, which want an apartment on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::string joined;
    for (const std::string& p : patterns) joined += (joined.empty() ? "" : ";") + p;
    // "name\0patterns\0\0"
    std::wstring filter = widen(filter_name);
    filter.push_back(L'\0');
    filter += widen(joined);
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    const std::wstring wide_title = widen(title);
    wchar_t path[1024] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = nullptr;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = 1024;
    ofn.lpstrTitle = wide_title.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    const BOOL picked = GetOpenFileNameW(&ofn);
    if (SUCCEEDED(com)) CoUninitialize();
    // Cancelled or failed (a path over 1024 units): nothing chosen.
    if (!picked) return Picked::success(std::nullopt);
    return Picked::success(std::filesystem::path(std::wstring(path)));
  }
};

}  // namespace

std::unique_ptr<FileChooser> make_file_chooser() { return std::make_unique<Win32FileChooser>(); }

}  // namespace perchkin
