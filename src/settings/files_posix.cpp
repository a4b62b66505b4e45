// Linux: open without blocking, write, fsync, rename.
#include "settings/files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace perchkin {

namespace {

std::string errno_phrase(int error) { return error_phrase({error, std::generic_category()}); }

}  // namespace

Result<std::string> read_file(const std::filesystem::path& path, std::size_t max_bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return Result<std::string>::fail(errno == ENOENT ? std::string(kNoSuchFile)
                                                     : errno_phrase(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return Result<std::string>::fail(std::string(kNotRegularFile));
  }
  std::string data;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      return Result<std::string>::fail(errno_phrase(error));
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
    if (data.size() > max_bytes) {
      ::close(fd);
      return Result<std::string>::fail("larger than " + std::to_string(max_bytes) + " bytes");
    }
  }
  ::close(fd);
  return data;
}

Status write_file_durably(const std::filesystem::path& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Status::fail(errno_phrase(errno));
  int error = 0;
  std::size_t done = 0;
  while (error == 0 && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    else if (n == 0) error = EIO;
    else done += static_cast<std::size_t>(n);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  return error == 0 ? Status::success() : Status::fail(errno_phrase(error));
}

Status replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return Status::fail(errno_phrase(errno));
  // Persist the directory entry too.
  const std::filesystem::path dir = to.has_parent_path() ? to.parent_path() : ".";
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  return Status::success();
}

}  // namespace perchkin
