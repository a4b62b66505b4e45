#include "wear/wear_store.h"

#include <gtest/gtest.h>

#include <fstream>

namespace perchkin {
namespace {

namespace fs = std::filesystem;

std::shared_ptr<const WearImage> image_named(std::string name) {
  auto image = std::make_shared<WearImage>();
  image->name = std::move(name);
  image->bitmap = {1, 1, 1, {0, 0, 0, 255}};
  return image;
}

std::vector<std::uint8_t> opaque_fake(std::uint32_t w, std::uint32_t h, std::uint8_t red) {
  std::vector<std::uint8_t> rgba;
  for (std::uint32_t i = 0; i < w * h; ++i) rgba.insert(rgba.end(), {red, 0, 0, 255});
  return fake_image_bytes({w, h}, rgba);
}

void write(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WearStore : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() /
           ("perchkin_wear_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root);
    wear = root / "wear";
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(root / "locked", fs::perms::owner_all, ec);
    fs::remove_all(root, ec);
  }
  fs::path root, wear;
};

TEST_F(WearStore, ReceiveSelectsChosenImagesAndReplacesSameNames) {
  WearChannel channel;
  WearImages images;
  Settings settings;
  settings.look.hat = 3;
  settings.look.glasses = 2;

  channel.send({image_named("a.png"), WearKind::hat, false});
  channel.send({image_named("b.png"), WearKind::hat, false});
  channel.send({image_named("g.png"), WearKind::glasses, false});
  const WearReceived first = receive_wear(channel, images, settings);
  EXPECT_EQ(first.images, 3u);
  EXPECT_FALSE(first.settings_changed);
  EXPECT_EQ(settings.look.hat, 3);
  ASSERT_EQ(images.hats.size(), 2u);
  ASSERT_NE(images.find(WearKind::glasses, "g.png"), nullptr);
  EXPECT_EQ(images.find(WearKind::hat, "g.png"), nullptr);
  EXPECT_EQ(images.find(WearKind::hat, ""), nullptr);

  // A newly chosen image of an existing name replaces it and moves to the end; it is selected
  // and the built-in hat is switched off.
  auto again = image_named("a.png");
  channel.send({again, WearKind::hat, true});
  EXPECT_TRUE(receive_wear(channel, images, settings).settings_changed);
  ASSERT_EQ(images.hats.size(), 2u);
  EXPECT_EQ(images.hats[0]->name, "b.png");
  EXPECT_EQ(images.hats[1], again);
  EXPECT_EQ(settings.custom_hat, "a.png");
  EXPECT_EQ(settings.look.hat, 0);
  EXPECT_EQ(settings.look.glasses, 2);
  EXPECT_TRUE(settings.custom_glasses.empty());

  channel.send({image_named("g2.png"), WearKind::glasses, true});
  EXPECT_TRUE(receive_wear(channel, images, settings).settings_changed);
  EXPECT_EQ(settings.custom_glasses, "g2.png");
  EXPECT_EQ(settings.look.glasses, 0);
  EXPECT_EQ(receive_wear(channel, images, settings).images, 0u);  // drained

  // The frame draws the selected images once they are in; a name not (yet) received draws none.
  EXPECT_EQ(selected_wear(images, settings, WearKind::hat), &again->bitmap);
  EXPECT_EQ(selected_wear(images, settings, WearKind::glasses), &images.glasses[1]->bitmap);
  settings.custom_hat = "not-here.png";
  EXPECT_EQ(selected_wear(images, settings, WearKind::hat), nullptr);
  settings.custom_hat.clear();
  EXPECT_EQ(selected_wear(images, settings, WearKind::hat), nullptr);

  channel.close();
  EXPECT_FALSE(channel.send({image_named("late.png"), WearKind::hat, true}));
  EXPECT_TRUE(channel.drain().empty());
}

TEST_F(WearStore, DeleteRemovesFileListEntryAndSelection) {
  WearImages images;
  Settings settings;
  const fs::path hats = wear_kind_folder(wear, WearKind::hat);
  write(hats / "1-a.png", {1});
  write(hats / "2-b.png", {2});
  images.hats = {image_named("1-a.png"), image_named("2-b.png")};
  settings.custom_hat = "1-a.png";

  EXPECT_TRUE(delete_wear(wear, WearKind::hat, "1-a.png", images, settings));
  EXPECT_FALSE(fs::exists(hats / "1-a.png"));
  ASSERT_EQ(images.hats.size(), 1u);
  EXPECT_TRUE(settings.custom_hat.empty());

  // Not selected: the file and entry go, the settings stay.
  EXPECT_FALSE(delete_wear(wear, WearKind::hat, "2-b.png", images, settings));
  EXPECT_TRUE(images.hats.empty());
  EXPECT_FALSE(fs::exists(hats / "2-b.png"));

  // A file already gone still leaves the list.
  images.glasses = {image_named("gone.png")};
  settings.custom_glasses = "gone.png";
  EXPECT_TRUE(delete_wear(wear, WearKind::glasses, "gone.png", images, settings));
  EXPECT_TRUE(images.glasses.empty());
  EXPECT_TRUE(settings.custom_glasses.empty());
}

TEST_F(WearStore, DeleteIgnoresNamesWithPathsAndFoldersAndKeepsWhatStays) {
  WearImages images;
  Settings settings;
  write(wear / "outside.png", {1});
  fs::create_directories(wear_kind_folder(wear, WearKind::hat) / "dir.png");
  images.hats = {image_named("../outside.png"), image_named("dir.png")};
  settings.custom_hat = "dir.png";
  for (std::string_view name : {"../outside.png", "..", ".", "", "C:x.png", "a\\b"})
    EXPECT_FALSE(delete_wear(wear, WearKind::hat, name, images, settings)) << name;
  EXPECT_FALSE(delete_wear(wear, WearKind::hat, "dir.png", images, settings));
  EXPECT_TRUE(fs::exists(wear / "outside.png"));
  EXPECT_TRUE(fs::is_directory(wear_kind_folder(wear, WearKind::hat) / "dir.png"));
  EXPECT_EQ(images.hats.size(), 2u);
  EXPECT_EQ(settings.custom_hat, "dir.png");
}

TEST_F(WearStore, ScanSendsGoodImagesInOrderAndSkipsTheRest) {
  const fs::path hats = wear_kind_folder(wear, WearKind::hat);
  const fs::path glasses = wear_kind_folder(wear, WearKind::glasses);
  write(hats / "2-b.png", opaque_fake(3, 2, 20));
  write(hats / "1-a.png", opaque_fake(2, 2, 10));
  write(hats / "1-bad.png", {'n', 'o', 'p', 'e'});
  write(hats / "3-clear.png", fake_image_bytes({1, 1}, std::vector<std::uint8_t>{9, 9, 9, 0}));
  fs::create_directories(hats / "4-folder.png");
  write(glasses / "g.webp", opaque_fake(1, 1, 30));
  FakeImageDecoder decoder;
  WearChannel channel;
  scan_wear_folders(wear, decoder, channel);
  const auto sent = channel.drain();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].image->name, "1-a.png");
  EXPECT_EQ(sent[1].image->name, "2-b.png");
  EXPECT_EQ(sent[1].image->width(), 3u);
  EXPECT_EQ(sent[2].image->name, "g.webp");
  EXPECT_EQ(sent[0].kind, WearKind::hat);
  EXPECT_EQ(sent[2].kind, WearKind::glasses);
  for (const auto& m : sent) EXPECT_FALSE(m.chosen);

  // Missing folders are no error; a closed channel stops the scan.
  WearChannel empty;
  scan_wear_folders(root / "nothing", decoder, empty);
  EXPECT_TRUE(empty.drain().empty());

  // The same through the thread.
  auto shared_channel = std::make_shared<WearChannel>();
  {
    auto thread = start_wear_scan(wear, std::make_shared<FakeImageDecoder>(), shared_channel);
  }
  EXPECT_EQ(shared_channel->drain().size(), 3u);
}

class WearChooser : public WearStore {
 protected:
  WearChooserJob job(std::optional<fs::path> answer) {
    chooser = std::make_shared<FakeFileChooser>();
    chooser->answer = std::move(answer);
    WearChooserJob j;
    j.kind = WearKind::hat;
    j.wear_folder = wear;
    j.chooser = chooser;
    j.decoder = std::make_shared<FakeImageDecoder>();
    j.channel = channel;
    j.show_message = [this](std::string_view text) { messages.emplace_back(text); };
    j.now_ms = [] { return std::int64_t{1700000000123}; };
    return j;
  }
  // Runs the job on its own thread, as the Studio does, and waits for it.
  void run(WearChooserJob j) { start_wear_chooser(std::move(j)).join(); }

  std::shared_ptr<FakeFileChooser> chooser;
  std::shared_ptr<WearChannel> channel = std::make_shared<WearChannel>();
  std::vector<std::string> messages;
};

TEST_F(WearChooser, CopiesThePickedFileAndSendsItChosen) {
  const auto bytes = opaque_fake(4, 3, 200);
  write(root / "pick" / "My Hat (final).PNG", bytes);
  run(job(root / "pick" / "My Hat (final).PNG"));
  EXPECT_EQ(chooser->asked, 1);
  EXPECT_EQ(chooser->last_title, "Choose an image (transparent PNG works best)");
  EXPECT_EQ(chooser->last_filter, "Images");
  EXPECT_EQ(chooser->last_patterns,
            (std::vector<std::string>{"*.png", "*.jpg", "*.jpeg", "*.bmp", "*.gif", "*.webp"}));
  EXPECT_TRUE(messages.empty());
  const fs::path copy = wear / "hats" / "1700000000123-MyHatfinal.png";
  EXPECT_EQ(read(copy), bytes);
  const auto sent = channel->drain();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].chosen);
  EXPECT_EQ(sent[0].kind, WearKind::hat);
  EXPECT_EQ(sent[0].image->name, "1700000000123-MyHatfinal.png");
  EXPECT_EQ(sent[0].image->width(), 4u);

  // Glasses go to their own folder. The job's open flag stands while it runs (the Studio
  // starts no second dialog meanwhile) and falls when it ends.
  auto glasses = job(root / "pick" / "My Hat (final).PNG");
  glasses.kind = WearKind::glasses;
  glasses.open = std::make_shared<std::atomic<bool>>(false);
  const auto open = glasses.open;
  bool open_while_running = false;
  glasses.now_ms = [&] {
    open_while_running = open->load();
    return std::int64_t{1700000000123};
  };
  run(std::move(glasses));
  EXPECT_TRUE(open_while_running);
  EXPECT_FALSE(open->load());
  EXPECT_TRUE(fs::exists(wear / "glasses" / "1700000000123-MyHatfinal.png"));
  EXPECT_EQ(channel->drain().at(0).kind, WearKind::glasses);
}

TEST_F(WearChooser, CancelWrongTypeAndBadImagesSendNothing) {
  run(job(std::nullopt));
  EXPECT_TRUE(messages.empty());

  write(root / "pick" / "notes.txt", opaque_fake(1, 1, 1));
  run(job(root / "pick" / "notes.txt"));
  write(root / "pick" / "broken.gif", {'G', 'I', 'F', '8'});
  run(job(root / "pick" / "broken.gif"));
  write(root / "pick" / "clear.png", fake_image_bytes({1, 1}, std::vector<std::uint8_t>{1, 1, 1, 0}));
  run(job(root / "pick" / "clear.png"));
  auto failing = job(std::nullopt);
  chooser->failure = "Choosing an image needs zenity or kdialog.";
  run(std::move(failing));

  EXPECT_EQ(messages, (std::vector<std::string>{
                          "Please choose a PNG, JPG, BMP, GIF or WebP image.",
                          "Perchkin couldn't read that image (not an image).",
                          "That image is completely transparent.",
                          "Choosing an image needs zenity or kdialog.",
                      }));
  EXPECT_TRUE(channel->drain().empty());
  EXPECT_FALSE(fs::exists(wear));
}

TEST_F(WearChooser, AFailedCopyStillUsesTheImage) {
  write(root / "pick" / "hat.png", opaque_fake(2, 2, 9));
  write(wear, {0});  // the wear folder is a file, so no folder can be made in it
  run(job(root / "pick" / "hat.png"));
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "Couldn't save a copy of that image, so it will be gone after a restart."}));
  const auto sent = channel->drain();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].image->name, "1700000000123-hat.png");
}

}  // namespace
}  // namespace perchkin
