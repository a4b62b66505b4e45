// What custom hats and glasses need from the system: decoding an image file's bytes, and an
// open-file dialog. Both run on worker threads, never the user-interface thread. Backends: WIC
// and GetOpenFileNameW on Windows; stb_image, libwebp and zenity or kdialog on Linux; fakes
// for tests.
#pragma once

#include "base/status.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace perchkin {

// Straight (not premultiplied) RGBA, rows tightly packed, as the file holds it.
struct DecodedImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
};

class ImageDecoder {
 public:
  virtual ~ImageDecoder() = default;
  // The first frame. Failures carry the message the user sees.
  virtual Result<DecodedImage> decode(std::span<const std::uint8_t> bytes) = 0;
};

class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // Blocks until the user picks a file (its path) or cancels (no value, no error).
  virtual Result<std::optional<std::filesystem::path>> choose(const std::string& title) = 0;
};

// Decodes a tiny test format: "TEST" w h (one byte each), then w * h RGBA pixels.
class FakeImageDecoder final : public ImageDecoder {
 public:
  Result<DecodedImage> decode(std::span<const std::uint8_t> bytes) override;
};

// Answers with a preset path, or a cancel when none is set.
class FakeFileChooser final : public FileChooser {
 public:
  std::optional<std::filesystem::path> answer;
  int asked = 0;
  Result<std::optional<std::filesystem::path>> choose(const std::string&) override {
    ++asked;
    return Result<std::optional<std::filesystem::path>>::success(answer);
  }
};

}  // namespace perchkin
