#include "shapes/style.h"

#include <gtest/gtest.h>

#include "shapes/color.h"

namespace perchkin {
namespace {

TEST(ParseColorText, HexFormsNamesAndFallbackToRed) {
  EXPECT_EQ(parse_color_text("#0f0"), 0x00FF00u);
  EXPECT_EQ(parse_color_text(" LIME "), 0x00FF00u);
  EXPECT_EQ(parse_color_text("#12345g"), kColorRed);
  EXPECT_EQ(parse_color_text("#4D9DFF"), 0x4D9DFFu);
  EXPECT_EQ(parse_color_text("\t#AbC\n"), 0xAABBCCu);
  EXPECT_EQ(parse_color_text("#abcd"), kColorRed);
  EXPECT_EQ(parse_color_text("#"), kColorRed);
  EXPECT_EQ(parse_color_text(""), kColorRed);
  EXPECT_EQ(parse_color_text("0f0"), kColorRed);
  EXPECT_EQ(parse_color_text("chartreuse"), kColorRed);
}

TEST(ParseColorText, NamesAndTheirAliases) {
  EXPECT_EQ(parse_color_text("green"), 0x00A000u);
  EXPECT_EQ(parse_color_text("gray"), parse_color_text("GREY"));
  EXPECT_EQ(parse_color_text("cyan"), parse_color_text("aqua"));
  EXPECT_EQ(parse_color_text("Fuchsia"), 0xFF00FFu);
  EXPECT_EQ(parse_color_text("sky"), parse_color_text("skyblue"));
  EXPECT_EQ(parse_color_text("black"), 0x000000u);
  EXPECT_EQ(parse_color_text("turquoise"), 0x40E0D0u);
}

TEST(ReadDrawStyle, DefaultsClampsAndMessages) {
  const DrawStyleResult defaults = read_draw_style(json::object());
  ASSERT_TRUE(defaults.ok());
  EXPECT_EQ(defaults->color, "red");
  EXPECT_EQ(defaults->width, 4.0);
  EXPECT_EQ(defaults->ttl, 10.0);

  EXPECT_EQ(read_draw_style({{"width", 0}})->width, 1.0);
  EXPECT_EQ(read_draw_style({{"width", 100}})->width, 40.0);
  EXPECT_EQ(read_draw_style({{"ttl", 5000}})->ttl, 600.0);
  EXPECT_EQ(read_draw_style({{"ttl", -3}})->ttl, 0.0);

  EXPECT_EQ(read_draw_style({{"width", nullptr}}).error, "width must be a number");
  EXPECT_EQ(read_draw_style({{"width", "5"}}).error, "width must be a number");
  EXPECT_EQ(read_draw_style({{"ttl", true}}).error, "ttl must be a number");
  EXPECT_EQ(read_draw_style({{"width", "x"}, {"ttl", "y"}}).error, "width must be a number");
}

TEST(ReadDrawStyle, ColorIsAnyStringCutTo24Characters) {
  EXPECT_EQ(read_draw_style({{"color", 12}})->color, "red");
  EXPECT_EQ(read_draw_style({{"color", "#0f0"}})->color, "#0f0");
  const std::string long_text(30, 'x');
  EXPECT_EQ(read_draw_style({{"color", long_text}})->color, std::string(24, 'x'));
  // Characters, not bytes: "é" is two bytes.
  std::string accented;
  for (int i = 0; i < 30; ++i) accented += "\xC3\xA9";
  EXPECT_EQ(read_draw_style({{"color", accented}})->color, accented.substr(0, 48));
}

}  // namespace
}  // namespace perchkin
