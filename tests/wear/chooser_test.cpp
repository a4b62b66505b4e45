// The Linux open-file dialog through stand-in zenity and kdialog programs on PATH: what they are
// asked, what their answers (a path, a cancel, nothing) become, and the message when neither is
// installed. Then a whole pick: the dialog's file, decoded for real, copied into the hats folder.
#include "wear/wear_backend.h"

#include "gpu/png.h"
#include "wear/wear_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>

namespace perchkin {
namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PosixChooser : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() /
           ("perchkin_chooser_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root);
    bin = root / "bin";
    fs::create_directories(bin);
    const char* path = std::getenv("PATH");
    saved_path = path ? path : "";
    // Only the stand-ins: a real zenity on this machine must not pop up.
    setenv("PATH", bin.c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", saved_path.c_str(), 1);
    fs::remove_all(root);
  }

  // A stand-in dialog: records its arguments one per line, prints `answer`, exits with `code`.
  // Only shell built-ins, as PATH holds nothing else.
  void program(const char* name, const std::string& answer, int code) {
    const fs::path file = bin / name;
    std::ofstream out(file);
    out << "#!/bin/sh\n"
        << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << (root / "args").string()
        << "'\n"
        << "printf '%s' '" << answer << "'\n"
        << "exit " << code << "\n";
    out.close();
    ::chmod(file.c_str(), 0755);
  }

  Result<std::optional<fs::path>> choose() {
    return make_file_chooser()->choose(std::string(kChooseImageTitle),
                                       std::string(kChooseImageFilter), wear_image_patterns());
  }
  std::string args() { return read_text(root / "args"); }

  fs::path root, bin;
  std::string saved_path;
};

TEST_F(PosixChooser, ZenitysPathComesBackExactlyWithSpacesAndNonAscii) {
  const std::string picked = "/home/ana/Mes images/chapeau d'été 帽子 (final).PNG";
  // The quote in the name is written through the shell's quoting of the stand-in.
  std::string quoted;
  for (char c : picked + "\n") quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  program("zenity", quoted, 0);
  auto chosen = choose();
  ASSERT_TRUE(chosen.ok()) << chosen.error;
  ASSERT_TRUE(chosen->has_value());
  EXPECT_EQ(chosen->value().string(), picked);
  const std::string asked = args();
  EXPECT_NE(asked.find("--file-selection\n"), std::string::npos) << asked;
  EXPECT_NE(asked.find("--title=Choose an image (transparent PNG works best)\n"), std::string::npos)
      << asked;
  // One argument, the patterns in both cases, since zenity matches them case-sensitively.
  EXPECT_NE(asked.find("--file-filter=Images | *.png *.PNG *.jpg *.JPG"), std::string::npos)
      << asked;
  EXPECT_NE(asked.find("*.webp *.WEBP\n"), std::string::npos) << asked;
}

TEST_F(PosixChooser, CancelFailureAndEmptyAnswersAreNoChoice) {
  for (const auto& [answer, code] : {std::pair<std::string, int>{"", 1},  // Cancel
                                     {"/tmp/a.png\n", 1},                 // a path, yet cancelled
                                     {"", 5},                             // timed out
                                     {"", 0},                             // nothing chosen
                                     {"/tmp/a.png\n/tmp/b.png\n", 0}}) {  // two files: not one
    program("zenity", answer, code);
    auto chosen = choose();
    ASSERT_TRUE(chosen.ok()) << chosen.error;
    EXPECT_FALSE(chosen->has_value()) << answer << " / " << code;
  }
}

TEST_F(PosixChooser, KdialogStandsInForAMissingZenityAndNeitherGivesTheMessage) {
  auto none = choose();
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error, "Choosing an image needs zenity or kdialog. Please install one of them.");

  program("kdialog", "/srv/pics/ünï hat.gif\n", 0);
  auto chosen = choose();
  ASSERT_TRUE(chosen.ok()) << chosen.error;
  ASSERT_TRUE(chosen->has_value());
  EXPECT_EQ(chosen->value().string(), "/srv/pics/ünï hat.gif");
  EXPECT_NE(args().find("--getopenfilename\n"), std::string::npos) << args();
  // A non-executable zenity is no zenity.
  std::ofstream(bin / "zenity") << "not a program\n";
  chosen = choose();
  ASSERT_TRUE(chosen.ok()) << chosen.error;
  EXPECT_TRUE(chosen->has_value());
}

TEST_F(PosixChooser, APickedFileIsDecodedCopiedAndSent) {
  // A 40 x 30 PNG with a 10 x 6 opaque patch, in a folder and under a name with spaces and
  // non-ASCII letters.
  RgbaImage image = make_image(40, 30);
  for (int y = 12; y < 18; ++y)
    for (int x = 5; x < 15; ++x) {
      std::uint8_t* p = &image.pixels[static_cast<std::size_t>(y * 40 + x) * 4];
      p[0] = 200;
      p[1] = 40;
      p[2] = 40;
      p[3] = 255;
    }
  const fs::path folder = root / "mes chapeaux ×";
  fs::create_directories(folder);
  const fs::path file = folder / "My Hat (final) é.PNG";
  ASSERT_TRUE(write_png(file.string(), image).ok());
  program("zenity", file.string() + "\n", 0);

  WearChooserJob job;
  job.kind = WearKind::hat;
  job.wear_folder = root / "wear";
  job.chooser = make_file_chooser();
  job.decoder = make_image_decoder();
  job.channel = std::make_shared<WearChannel>();
  std::string message;
  job.show_message = [&](std::string_view text) { message = text; };
  job.now_ms = [] { return std::int64_t{1700000000123}; };
  start_wear_chooser(job).join();

  EXPECT_EQ(message, "");
  const auto sent = job.channel->drain();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].chosen);
  EXPECT_EQ(sent[0].image->name, "1700000000123-MyHatfinal.png");
  EXPECT_EQ(sent[0].image->width(), 10u);
  EXPECT_EQ(sent[0].image->height(), 6u);
  const fs::path copy = root / "wear" / "hats" / "1700000000123-MyHatfinal.png";
  EXPECT_EQ(read_text(copy), read_text(file));
}

}  // namespace
}  // namespace perchkin
#endif
