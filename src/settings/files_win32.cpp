// Windows: open shared for reading, write, FlushFileBuffers, MoveFileExW.
#include "settings/files.h"

#include <windows.h>

#include <algorithm>
#include <system_error>

namespace perchkin {

namespace {

std::string last_error_phrase() {
  return error_phrase({static_cast<int>(GetLastError()), std::system_category()});
}

}  // namespace

Result<std::string> read_file(const std::filesystem::path& path, std::size_t max_bytes) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return Result<std::string>::fail(std::string(kNoSuchFile));
    return Result<std::string>::fail(
        error_phrase({static_cast<int>(error), std::system_category()}));
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return Result<std::string>::fail(std::string(kNotRegularFile));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Result<std::string>::fail(last_error_phrase());
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return Result<std::string>::fail(std::string(kNotRegularFile));
  }
  std::string data;
  char buffer[8192];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      std::string reason = last_error_phrase();
      CloseHandle(file);
      return Result<std::string>::fail(std::move(reason));
    }
    if (got == 0) break;
    data.append(buffer, got);
    if (data.size() > max_bytes) {
      CloseHandle(file);
      return Result<std::string>::fail("larger than " + std::to_string(max_bytes) + " bytes");
    }
  }
  CloseHandle(file);
  return data;
}

Status write_file_durably(const std::filesystem::path& path, std::string_view bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Status::fail(last_error_phrase());
  std::string failure;
  std::size_t done = 0;
  while (failure.empty() && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) failure = last_error_phrase();
    else if (written == 0) failure = "nothing was written";
    done += written;
  }
  if (failure.empty() && !FlushFileBuffers(file)) failure = last_error_phrase();
  if (!CloseHandle(file) && failure.empty()) failure = last_error_phrase();
  return failure.empty() ? Status::success() : Status::fail(std::move(failure));
}

Status replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return Status::success();
  return Status::fail(last_error_phrase());
}

}  // namespace perchkin
