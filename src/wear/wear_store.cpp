#include "wear/wear_store.h"

#include "base/text.h"
#include "settings/files.h"

#include <algorithm>
#include <optional>
#include <system_error>

namespace perchkin {

namespace {

// The name as UTF-8; null when it is not valid Unicode.
std::optional<std::string> utf8_name(const std::filesystem::path& name) {
  try {
    const std::u8string text = name.u8string();
    std::string out(reinterpret_cast<const char*>(text.data()), text.size());
    if (!is_valid_utf8(out)) return std::nullopt;
    return out;
  } catch (...) {
    // A Windows name with a lone surrogate cannot be converted.
    return std::nullopt;
  }
}

std::filesystem::path path_from_utf8(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::vector<std::filesystem::path> sorted_files(const std::filesystem::path& folder) {
  // Enough for any real collection; a folder with more entries is only listed this far.
  constexpr std::size_t kMaxListed = 5000;
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec) || type_ec) continue;
    files.push_back(it->path());
    if (files.size() == kMaxListed) break;
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

std::vector<std::string> wear_image_patterns() {
  return {"*.png", "*.jpg", "*.jpeg", "*.bmp", "*.gif", "*.webp"};
}

std::filesystem::path wear_kind_folder(const std::filesystem::path& wear_folder, WearKind kind) {
  return wear_folder / (kind == WearKind::hat ? "hats" : "glasses");
}

const WearImage* WearImages::find(WearKind kind, std::string_view name) const {
  if (name.empty()) return nullptr;
  for (const auto& image : list(kind))
    if (image->name == name) return image.get();
  return nullptr;
}

WearReceived receive_wear(WearChannel& channel, WearImages& images, Settings& settings) {
  WearReceived received;
  for (WearMessage& message : channel.drain()) {
    if (!message.image) continue;
    ++received.images;
    if (message.chosen) {
      if (message.kind == WearKind::hat) {
        settings.custom_hat = message.image->name;
        settings.look.hat = 0;
      } else {
        settings.custom_glasses = message.image->name;
        settings.look.glasses = 0;
      }
      received.settings_changed = true;
    }
    auto& list = images.list(message.kind);
    const std::string& name = message.image->name;
    std::erase_if(list, [&name](const auto& image) { return image->name == name; });
    list.push_back(std::move(message.image));
  }
  return received;
}

const CanvasBitmap* selected_wear(const WearImages& images, const Settings& settings, WearKind kind) {
  const WearImage* image =
      images.find(kind, kind == WearKind::hat ? settings.custom_hat : settings.custom_glasses);
  return image ? &image->bitmap : nullptr;
}

bool delete_wear(const std::filesystem::path& wear_folder, WearKind kind, std::string_view name,
                 WearImages& images, Settings& settings) {
  if (!is_plain_wear_name(name)) return false;
  const std::filesystem::path file = wear_kind_folder(wear_folder, kind) / path_from_utf8(name);
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(file, ec);
  // A file already gone counts as deleted, or the image could never leave the list.
  if (std::filesystem::exists(status)) {
    if (std::filesystem::is_directory(status)) return false;
    if (!std::filesystem::remove(file, ec) || ec) {
      // A read-only file: make it writable and try once more.
      std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ec);
      ec.clear();
      if (!std::filesystem::remove(file, ec) || ec) return false;
    }
  }
  std::erase_if(images.list(kind), [name](const auto& image) { return image->name == name; });
  std::string& selected = kind == WearKind::hat ? settings.custom_hat : settings.custom_glasses;
  if (selected != name) return false;
  selected.clear();
  return true;
}

void scan_wear_folders(const std::filesystem::path& wear_folder, ImageDecoder& decoder,
                       WearChannel& channel) {
  for (WearKind kind : {WearKind::hat, WearKind::glasses}) {
    std::size_t sent = 0;
    for (const auto& file : sorted_files(wear_kind_folder(wear_folder, kind))) {
      if (channel.closed() || sent == kMaxScannedImages) break;
      std::optional<std::string> name = utf8_name(file.filename());
      if (!name) continue;
      Result<WearImage> image = decode_wear_file(decoder, file, std::move(*name));
      if (!image.ok()) continue;
      if (!channel.send({std::make_shared<const WearImage>(std::move(*image)), kind, false})) return;
      ++sent;
    }
  }
}

std::jthread start_wear_scan(std::filesystem::path wear_folder,
                             std::shared_ptr<ImageDecoder> decoder,
                             std::shared_ptr<WearChannel> channel) {
  return std::jthread([folder = std::move(wear_folder), decoder = std::move(decoder),
                      channel = std::move(channel)] {
    scan_wear_folders(folder, *decoder, *channel);
  });
}

void run_wear_chooser(const WearChooserJob& job) {
  auto show = [&job](std::string_view text) {
    if (job.show_message) job.show_message(text);
  };
  Result<std::optional<std::filesystem::path>> picked = job.chooser->choose(
      std::string(kChooseImageTitle), std::string(kChooseImageFilter), wear_image_patterns());
  if (!picked.ok()) {
    show(picked.error);
    return;
  }
  if (!picked->has_value()) return;
  const std::filesystem::path& chosen = **picked;

  // Only ASCII survives into the copy's name, so a name that is not valid Unicode will do.
  std::string text;
  try {
    const std::u8string name = chosen.filename().u8string();
    text.assign(reinterpret_cast<const char*>(name.data()), name.size());
  } catch (...) {
  }
  const std::int64_t now = job.now_ms ? job.now_ms() : 0;
  std::optional<std::string> copy_name = wear_copy_name(text, now);
  if (!copy_name) {
    show(kWrongExtensionMessage);
    return;
  }

  // The copy is written from the very bytes that were decoded.
  std::string bytes;
  Result<WearImage> image = decode_wear_file(*job.decoder, chosen, *copy_name, &bytes);
  if (!image.ok()) {
    show(image.error);
    return;
  }

  const std::filesystem::path folder = wear_kind_folder(job.wear_folder, job.kind);
  const std::filesystem::path copy = folder / path_from_utf8(*copy_name);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !write_file_durably(copy, bytes).ok()) {
    std::filesystem::remove(copy, ec);
    show(kCopyFailedMessage);
  }
  job.channel->send({std::make_shared<const WearImage>(std::move(*image)), job.kind, true});
}

std::thread start_wear_chooser(WearChooserJob job) {
  if (job.open) job.open->store(true);
  return std::thread([job = std::move(job)] {
    run_wear_chooser(job);
    if (job.open) job.open->store(false);
  });
}

}  // namespace perchkin
