// The user's hat and glasses images at run time: the folders their copies live in, the channel
// that brings decoded images from the worker threads to the user-interface thread, the two lists
// the overlay draws from, and the start-up scan, the chooser and removal.
#pragma once

#include "base/channel.h"
#include "settings/settings.h"
#include "wear/wear_backend.h"
#include "wear/wear_image.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace perchkin {

enum class WearKind : std::uint8_t { hat, glasses };

// The scan takes at most this many images of each kind, so a folder stuffed with files cannot
// fill memory (each image is up to 256 KiB).
inline constexpr std::size_t kMaxScannedImages = 200;

inline constexpr std::string_view kChooseImageTitle = "Choose an image (transparent PNG works best)";
inline constexpr std::string_view kChooseImageFilter = "Images";
inline constexpr std::string_view kWrongExtensionMessage =
    "Please choose a PNG, JPG, BMP, GIF or WebP image.";
inline constexpr std::string_view kCopyFailedMessage =
    "Couldn't save a copy of that image, so it will be gone after a restart.";
std::vector<std::string> wear_image_patterns();

// "wear" beside the settings file; its "hats" and "glasses" subfolders.
std::filesystem::path wear_kind_folder(const std::filesystem::path& wear_folder, WearKind kind);

struct WearMessage {
  std::shared_ptr<const WearImage> image;
  WearKind kind = WearKind::hat;
  bool chosen = false;  // just picked by the user, rather than found at start-up
};

// Drained once per frame. Once closed, sends are dropped and the scan stops at its next file.
using WearChannel = Channel<WearMessage>;

// In arrival order, no two of one name in a list.
struct WearImages {
  std::vector<std::shared_ptr<const WearImage>> hats;
  std::vector<std::shared_ptr<const WearImage>> glasses;

  std::vector<std::shared_ptr<const WearImage>>& list(WearKind kind) {
    return kind == WearKind::hat ? hats : glasses;
  }
  const std::vector<std::shared_ptr<const WearImage>>& list(WearKind kind) const {
    return kind == WearKind::hat ? hats : glasses;
  }
  // Null when no image has that name (or the name is empty).
  const WearImage* find(WearKind kind, std::string_view name) const;
};

// Takes every waiting message: a chosen image becomes the selected one (and the built-in one of
// its kind is switched off); each replaces any image of its name.
struct WearReceived {
  std::size_t images = 0;         // how many arrived
  bool settings_changed = false;  // a chosen one was selected
};
WearReceived receive_wear(WearChannel& channel, WearImages& images, Settings& settings);

// The selected image of a kind as the overlay draws it; null when none is selected or it has
// not arrived (or never will).
const CanvasBitmap* selected_wear(const WearImages& images, const Settings& settings, WearKind kind);

// Deletes the user's image of that name: its file, its list entry and, if selected, the
// selection. Nothing happens for a name with a path in it, or when the file stays. True when the
// settings changed.
bool delete_wear(const std::filesystem::path& wear_folder, WearKind kind, std::string_view name,
                 WearImages& images, Settings& settings);

// Decodes every image in the hats and then the glasses folder, in path order, and sends each
// one that decodes; the rest are skipped without a word.
void scan_wear_folders(const std::filesystem::path& wear_folder, ImageDecoder& decoder,
                       WearChannel& channel);
// Joined when it goes out of scope: close the channel first to make that quick.
std::jthread start_wear_scan(std::filesystem::path wear_folder,
                             std::shared_ptr<ImageDecoder> decoder,
                             std::shared_ptr<WearChannel> channel);

// One request to pick an image. `show_message` shows a warning box; `now_ms` reads the clock
// in milliseconds since 1970.
struct WearChooserJob {
  WearKind kind = WearKind::hat;
  std::filesystem::path wear_folder;
  std::shared_ptr<FileChooser> chooser;
  std::shared_ptr<ImageDecoder> decoder;
  std::shared_ptr<WearChannel> channel;
  std::function<void(std::string_view)> show_message;
  std::function<std::int64_t()> now_ms;
  // Set while this job's dialog is open and cleared when the job ends, so the caller can keep
  // to one dialog at a time.
  std::shared_ptr<std::atomic<bool>> open;
};
void run_wear_chooser(const WearChooserJob& job);
// The same on a thread of its own; the dialog may stay open for as long as the user likes.
std::thread start_wear_chooser(WearChooserJob job);

}  // namespace perchkin
