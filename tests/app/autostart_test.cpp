#include "app/autostart.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace perchkin {
namespace {

TEST(Autostart, EntryStartsThisExecutableInTheBackgroundWithItsPathQuoted) {
  const std::string entry = autostart_desktop_entry("/opt/my \"crab\"/$bin/perchkin");
  EXPECT_NE(entry.find("Exec=\"/opt/my \\\"crab\\\"/\\$bin/perchkin\" --background\n"),
            std::string::npos)
      << entry;
  EXPECT_EQ(entry.rfind("[Desktop Entry]\nType=Application\n", 0), 0u);
}

// On Linux the entry goes to a private config folder; on Windows it is the user's Run value, so
// whatever was there is put back.
TEST(Autostart, SwitchesOnOnceAndOffAgain) {
  const auto dir = std::filesystem::temp_directory_path() / "perchkin_autostart_test";
  std::filesystem::remove_all(dir);
  testing_env::set("XDG_CONFIG_HOME", dir.string());
  const bool before = autostart_enabled();

  ASSERT_TRUE(set_autostart(true).ok());
  EXPECT_TRUE(autostart_enabled());
  ASSERT_TRUE(set_autostart(true).ok()) << "a second switch-on changes nothing";
  EXPECT_TRUE(autostart_enabled());
  ASSERT_TRUE(set_autostart(false).ok());
  EXPECT_FALSE(autostart_enabled());
  EXPECT_TRUE(set_autostart(false).ok()) << "switching off twice is fine";

  (void)set_autostart(before);
  testing_env::unset("XDG_CONFIG_HOME");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace perchkin
