// What custom hats and glasses need from the system: decoding an image file's bytes, and an
// open-file dialog. Both run on worker threads, never the user-interface thread. Backends: WIC
// and GetOpenFileNameW on Windows; stb_image, libwebp and zenity or kdialog on Linux; fakes
// for tests.
#pragma once

#include "base/status.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace perchkin {

struct ImageSize {
  std::uint32_t width = 0, height = 0;
  friend bool operator==(const ImageSize&, const ImageSize&) = default;
};

// Safe to use from several threads at once; every call stands alone. Failures carry the
// system's own description of the problem ("bad zlib header"), which the caller wraps in the
// message the user sees.
class ImageDecoder {
 public:
  virtual ~ImageDecoder() = default;
  // The first frame's size, read from the headers without decoding the pixels.
  virtual Result<ImageSize> probe(std::span<const std::uint8_t> bytes) = 0;
  // The first frame shrunk (never enlarged) to `target`, as premultiplied BGRA, rows tightly
  // packed. Callers probe first and only ask for sizes they accept.
  virtual Result<std::vector<std::uint8_t>> decode(std::span<const std::uint8_t> bytes,
                                                   ImageSize target) = 0;
  // Who failed, in "{reader} couldn't read that image ({error})."
  virtual std::string_view reader_name() const = 0;
};

class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // Blocks until the user picks one file (its path) or cancels (no value, no error). `patterns`
  // are like "*.png". A failure (no dialog on this system) carries a message for the user.
  virtual Result<std::optional<std::filesystem::path>> choose(
      const std::string& title, const std::string& filter_name,
      const std::vector<std::string>& patterns) = 0;
};

// This system's decoder and dialog (the system layer defines them per platform).
std::unique_ptr<ImageDecoder> make_image_decoder();
std::unique_ptr<FileChooser> make_file_chooser();

// Decodes a tiny test format: "TEST", width and height (two bytes each, little-endian), then
// width * height straight RGBA pixels.
class FakeImageDecoder final : public ImageDecoder {
 public:
  Result<ImageSize> probe(std::span<const std::uint8_t> bytes) override;
  Result<std::vector<std::uint8_t>> decode(std::span<const std::uint8_t> bytes,
                                           ImageSize target) override;
  std::string_view reader_name() const override { return "Perchkin"; }
};
// The fake format's bytes for a straight RGBA image.
std::vector<std::uint8_t> fake_image_bytes(ImageSize size, std::span<const std::uint8_t> rgba);

// Answers with a preset path, or a cancel when none is set, or the preset failure.
class FakeFileChooser final : public FileChooser {
 public:
  std::optional<std::filesystem::path> answer;
  std::string failure;
  int asked = 0;
  std::string last_title, last_filter;
  std::vector<std::string> last_patterns;
  Result<std::optional<std::filesystem::path>> choose(
      const std::string& title, const std::string& filter_name,
      const std::vector<std::string>& patterns) override {
    ++asked;
    last_title = title;
    last_filter = filter_name;
    last_patterns = patterns;
    if (!failure.empty()) return Result<std::optional<std::filesystem::path>>::fail(failure);
    return Result<std::optional<std::filesystem::path>>::success(answer);
  }
};

}  // namespace perchkin
