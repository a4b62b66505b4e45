#include "base/json.h"
#include "settings/files.h"
#include "settings/settings.h"
#include "base/text.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace perchkin {
namespace {

namespace fs = std::filesystem;

Settings load(std::string_view text) { return settings_from_text(text); }

TEST(SettingsLoad, SizeClampsAndRoundsWithTheUnleashedLimit) {
  EXPECT_EQ(load(R"({"size":40})").size, 12.0);
  EXPECT_EQ(load(R"({"size":40,"unleashed":true})").size, 40.0);
  EXPECT_EQ(load(R"({"unleashed":true,"size":400})").size, 300.0);
  EXPECT_EQ(load(R"({"size":4.5})").size, 5.0);
  EXPECT_EQ(load(R"({"size":0})").size, 1.0);
  EXPECT_EQ(load(R"({"size":"9"})").size, 9.0);
}

TEST(SettingsLoad, IntegerFieldsIgnoreOutOfRangeAndNonIntegers) {
  EXPECT_EQ(load(R"({"look":{"color":16777216}})").look.color, 0xD77757u);
  EXPECT_EQ(load(R"({"look":{"color":-1}})").look.color, 0xD77757u);
  EXPECT_EQ(load(R"({"look":{"color":1.5}})").look.color, 0xD77757u);
  EXPECT_EQ(load(R"({"look":{"color":16777215}})").look.color, 16777215u);
  EXPECT_EQ(load(R"({"speech_mode":3})").speech_mode, 0);
  EXPECT_EQ(load(R"({"speech_mode":2})").speech_mode, 2);
  EXPECT_EQ(load(R"({"look":{"pattern":true}})").look.pattern, 0);
}

TEST(SettingsLoad, DoublesClampAndTraitsFollowUnleashed) {
  const Settings s = load(R"({"world":{"gravity":-80,"energy":0,"chaos":9,"max_speed":1e9}})");
  EXPECT_EQ(s.world.gravity, -50.0);
  EXPECT_EQ(s.world.energy, 0.25);
  EXPECT_EQ(s.world.chaos, 1.0);
  EXPECT_EQ(s.world.max_speed, 50000.0);
  const Settings u = load(R"({"unleashed":true,"world":{"energy":20,"chaos":9}})");
  EXPECT_EQ(u.world.energy, 12.0);
  EXPECT_EQ(u.world.chaos, 5.0);
  EXPECT_EQ(load(R"({"voice_volume":7})").voice_volume, 1.0);
}

TEST(SettingsLoad, WrongTypesKeepDefaults) {
  const Settings s = load(R"({"chatty":1,"world":[1],"look":"x","menu":{"list":"yes"}})");
  EXPECT_EQ(s, Settings{});
}

TEST(SettingsLoad, ListsAndLines) {
  const Settings s = load(R"({"pins":["a",1,"b","c","d","e","f","g"],
    "phrases":["   ","  hi  ",5,")" + std::string(100, 'x') + R"("],
    "lines":{"sleep":"  zz  ","wake":3,"dance":"go"}})");
  EXPECT_EQ(s.pins, (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
  ASSERT_EQ(s.phrases.size(), 2u);
  EXPECT_EQ(s.phrases[0], "hi");
  EXPECT_EQ(s.phrases[1], std::string(80, 'x'));
  EXPECT_EQ(s.lines[0], "zz");
  EXPECT_EQ(s.lines[1], "");
  EXPECT_EQ(s.lines[7], "go");
}

TEST(SettingsLoad, PhrasesCutByCharactersNotBytes) {
  std::string phrase;
  for (int i = 0; i < 90; ++i) phrase += "\xC3\xA9";  // é
  const Settings s = load(R"({"phrases":[")" + phrase + R"("]})");
  ASSERT_EQ(s.phrases.size(), 1u);
  EXPECT_EQ(char_count(s.phrases[0]), 80u);
  EXPECT_TRUE(is_valid_utf8(s.phrases[0]));
}

TEST(SettingsLoad, ByteOrderMarksAndBadFiles) {
  EXPECT_EQ(load("\xEF\xBB\xBF\xEF\xBB\xBF{\"size\":3}").size, 3.0);
  EXPECT_EQ(load("[1,2]"), Settings{});
  EXPECT_EQ(load("{\"size\":3} x"), Settings{});
  EXPECT_EQ(load("{\"size\":3,\"custom_hat\":\"\xFF\"}"), Settings{});
  EXPECT_EQ(load(""), Settings{});
}

TEST(SettingsSave, WritesEveryKeySortedWithFractions) {
  Settings s;
  s.pins = {"a", "b", "c", "d", "e", "f"};
  s.phrases = {"  spaced  ", "   "};
  s.lines[2] = " up ";
  const std::string text = settings_to_text(s);
  EXPECT_EQ(text.back(), '\n');
  EXPECT_NE(text.find("\"size\": 9.0"), std::string::npos);
  EXPECT_NE(text.find("\"color\": 14120791"), std::string::npos);
  EXPECT_NE(text.find("\"grab\": \"up\""), std::string::npos);
  EXPECT_EQ(text.find("\"sleep\""), std::string::npos);
  // Keys come out sorted: "chatty" before "custom_glasses" before "type_along".
  EXPECT_LT(text.find("\"chatty\""), text.find("\"custom_glasses\""));
  EXPECT_LT(text.find("\"custom_glasses\""), text.find("\"type_along\""));
  const Settings back = load(text);
  EXPECT_EQ(back.pins.size(), 6u);  // all six pins the menu allows come back
  EXPECT_EQ(back.phrases, std::vector<std::string>{"spaced"});
  EXPECT_EQ(back.lines[2], "up");
  Settings expected = s;
  expected.phrases = {"spaced"};
  expected.lines[2] = "up";
  EXPECT_EQ(back, expected);
}

TEST(SettingsSave, EmptyLinesObject) {
  const auto doc = settings_to_json(Settings{});
  ASSERT_TRUE(doc.contains("lines"));
  EXPECT_TRUE(doc["lines"].is_object());
  EXPECT_TRUE(doc["lines"].empty());
}

class SettingsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("perchkin-settings-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(SettingsFiles, AtomicSaveRoundTripsThroughTheTempName) {
  const fs::path path = dir_ / "deep" / "settings.conf";
  EXPECT_EQ(settings_temp_path(path), dir_ / "deep" / "settings.json.tmp");
  EXPECT_EQ(settings_temp_path(dir_ / "noext"), dir_ / "noext.json.tmp");
  Settings s;
  s.size = 4;
  s.world.gravity = -2.5;
  ASSERT_TRUE(save_settings(path, s).ok());
  EXPECT_FALSE(fs::exists(settings_temp_path(path)));
  EXPECT_EQ(load_settings(path).settings, s);
}

TEST_F(SettingsFiles, FailedWriteKeepsTheOldFile) {
  const fs::path path = dir_ / "settings.json";
  Settings s;
  s.size = 3;
  ASSERT_TRUE(save_settings(path, s).ok());
  // A folder where the temporary file should go makes the write fail.
  fs::create_directories(settings_temp_path(path));
  Settings other;
  other.size = 7;
  EXPECT_FALSE(save_settings(path, other).ok());
  EXPECT_EQ(load_settings(path).settings.size, 3.0);

  // A folder where the file should be: the rename fails, and no temporary file is left.
  const fs::path folder = dir_ / "folder" / "settings.json";
  fs::create_directories(folder);
  const Status failed = save_settings(folder, other);
  EXPECT_EQ(failed.error.rfind("could not write " + folder.string() + ": ", 0), 0u) << failed.error;
  EXPECT_FALSE(fs::exists(settings_temp_path(folder)));
}

#ifndef _WIN32
TEST_F(SettingsFiles, ALinkedFileIsSavedThroughTheLink) {
  fs::create_directories(dir_ / "dotfiles");
  const fs::path path = dir_ / "settings.json";
  fs::create_symlink("dotfiles/perchkin.json", path);
  Settings s;
  s.size = 5;
  ASSERT_TRUE(save_settings(path, s).ok());
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(path)));
  EXPECT_EQ(load_settings(dir_ / "dotfiles" / "perchkin.json").settings.size, 5.0);
  EXPECT_FALSE(fs::exists(dir_ / "dotfiles" / "perchkin.json.tmp"));
}
#endif

// Every kind of file that fails to load as a whole says why, and is moved aside whole, under a
// name that says when; no file at all is a first start.
TEST_F(SettingsFiles, UnloadableFilesSayWhyAndAreKeptAside) {
  const fs::path path = dir_ / "settings.json";
  fs::create_directories(dir_);
  EXPECT_EQ(load_settings(path).problem, "");
  const std::pair<std::string, std::string> texts[] = {
      {"{\"size\":5,}", "not valid JSON"},
      {"{\"phrases\":[\"caf\xe9\"]}", "not valid UTF-8"},
      {"{\"size\":1e999}", "not valid JSON"},
      {std::string("{\"size\":5}\0", 11), "not valid JSON"},
      {"[1]", "not a JSON object"},
  };
  for (const auto& [text, problem] : texts) {
    std::ofstream(path, std::ios::binary) << text;
    EXPECT_EQ(load_settings(path).problem, problem) << text;
  }
#ifndef _WIN32
  // Windows reports a path through a file as a path not found: a first start.
  EXPECT_NE(load_settings(path / "below").problem, "") << "a path through a file";
#endif
  fs::remove(path);
  fs::create_directories(path);
  EXPECT_EQ(load_settings(path).problem, "not a regular file");
#ifndef _WIN32
  fs::remove(path);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(load_settings(path).problem, "not a regular file") << "and it did not block";
#endif

  fs::remove(path);
  std::ofstream(path, std::ios::binary) << "{,}";
  const auto aside = keep_unloadable_settings(path, 1796904000);
  ASSERT_TRUE(aside.ok()) << aside.error;
  EXPECT_EQ(*aside, dir_ / "settings.json.unreadable-20261210-120000");
  EXPECT_FALSE(fs::exists(path));
  std::ofstream(path, std::ios::binary) << "{,,}";
  EXPECT_EQ(*keep_unloadable_settings(path, 1796904000),
            dir_ / "settings.json.unreadable-20261210-120000-2");
  EXPECT_EQ(*read_file(dir_ / "settings.json.unreadable-20261210-120000", 100), "{,}");
}

#ifdef _WIN32
constexpr const char* kBaseVar = "APPDATA";
#else
constexpr const char* kBaseVar = "XDG_CONFIG_HOME";
#endif

TEST_F(SettingsFiles, PathRules) {
  testing_env::set("PERCHKIN_SETTINGS", (dir_ / "x.json").string());
  EXPECT_EQ(settings_path(), dir_ / "x.json");
  testing_env::unset("PERCHKIN_SETTINGS");
  testing_env::set(kBaseVar, dir_.string());
  EXPECT_EQ(settings_path(), dir_ / "Perchkin" / "settings.json");
  // The legacy folder moves into place once, and never over an existing one.
  fs::create_directories(dir_ / "ScreenFriend");
  std::ofstream(dir_ / "ScreenFriend" / "settings.json") << "{\"size\":2}";
  migrate_legacy_settings();
  EXPECT_FALSE(fs::exists(dir_ / "ScreenFriend"));
  EXPECT_EQ(load_settings(settings_path()).settings.size, 2.0);
  fs::create_directories(dir_ / "ScreenFriend");
  migrate_legacy_settings();
  EXPECT_TRUE(fs::exists(dir_ / "ScreenFriend"));
  testing_env::unset(kBaseVar);
}

TEST(Json, DepthLimitTrailingTextAndNumberKinds) {
  EXPECT_TRUE(parse_json(std::string(128, '[') + std::string(128, ']')));
  EXPECT_FALSE(parse_json(std::string(129, '[') + std::string(129, ']')));
  EXPECT_TRUE(parse_json("{\"a\":\"[[[[\"} \r\n\t"));
  EXPECT_FALSE(parse_json("{} x"));
  EXPECT_FALSE(parse_json("{}{}"));
  auto v = parse_json("[1,-1,1.0]");
  ASSERT_TRUE(v);
  EXPECT_TRUE((*v)[0].is_number_unsigned());
  EXPECT_TRUE((*v)[1].is_number_integer() && !(*v)[1].is_number_unsigned());
  EXPECT_TRUE((*v)[2].is_number_float());
  EXPECT_EQ(dump_compact(json{{"b", 9.0}, {"a", 1}}), "{\"a\":1,\"b\":9.0}");
  EXPECT_EQ(dump_pretty(json{{"a", 1}}), "{\n  \"a\": 1\n}");
}

TEST(Text, CharactersTrimAndRounding) {
  EXPECT_EQ(first_chars("h\xC3\xA9llo", 2), "h\xC3\xA9");
  EXPECT_EQ(char_count("\xF0\x9F\xA6\x80!"), 2u);
  EXPECT_EQ(trim("\xE3\x80\x80 a b\t\xC2\xA0"), "a b");
  EXPECT_EQ(trim(" \t "), "");
  EXPECT_EQ(rounded_int_text(-0.4), "0");
  EXPECT_EQ(rounded_int_text(400.0), "400");
  EXPECT_EQ(rounded_int_text(2.5), "3");
  EXPECT_EQ(rounded_int_text(-2.5), "-3");
  EXPECT_EQ(one_decimal(2.25), "2.2");
  EXPECT_EQ(one_decimal(0.0), "0.0");
}

}  // namespace
}  // namespace perchkin
