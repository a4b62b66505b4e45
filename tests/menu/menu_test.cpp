// The action menu's rules: the table, hit geometry of both styles, keyboard and wheel
// navigation, pins, the input events, where the input window goes, and what it draws.
#include "menu/menu.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <numbers>
#include <set>
#include <string>

namespace perchkin {
namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr std::int32_t kEsc = kKeyEscape, kEnter = kKeyEnter, kRight = kKeyRight,
                       kLeft = kKeyLeft, kUp = kKeyUp, kDown = kKeyDown, kTab = kKeyTab, kP = 'P';

MenuHover hover(MenuHoverKind kind, int index = -1) { return {kind, index}; }

// A point at radius r (menu units) and angle a (degrees, clockwise from the right).
std::pair<double, double> at(double r, double degrees, double m) {
  return {r * m * std::cos(degrees * kDeg), r * m * std::sin(degrees * kDeg)};
}

MenuState opened(std::vector<std::string> pins = {}, bool panel = false, double m = 1.0) {
  MenuState menu;
  MenuOpening o;
  o.anchor_x = 500.0;
  o.anchor_y = 400.0;
  o.scale = m;
  o.style.panel = panel;
  o.pins = std::move(pins);
  o.targets = {0};
  menu_open(menu, o, 10.0);
  return menu;
}

MenuOutcome key(MenuState& menu, std::int32_t code, double now = 11.0) {
  return menu_event(menu, {kMenuKey, code}, now);
}

TEST(MenuTable, SectionsItemsAndThemes) {
  const auto sections = menu_sections();
  ASSERT_EQ(sections.size(), 5u);
  const char* names[] = {"Play", "Create", "Chaos", "Crew", "Studio"};
  const std::size_t counts[] = {6, 6, 6, 7, 6};
  std::set<std::string_view> labels;
  for (std::size_t s = 0; s < 5; ++s) {
    EXPECT_EQ(sections[s].name, names[s]);
    EXPECT_EQ(sections[s].items.size(), counts[s]);
    for (const MenuItem& item : sections[s].items) labels.insert(item.label);
  }
  EXPECT_EQ(labels.size(), 31u) << "pins name items by label, so labels must be unique";
  EXPECT_EQ(sections[3].colour, 0x4DD599u);
  EXPECT_EQ(menu_item({0, 0}).action.act, "dance");
  EXPECT_EQ(menu_item({4, 3}).action.page, 3);
  EXPECT_EQ(menu_item({3, 1}).symbol, "⁺¹⁰");
  EXPECT_EQ(menu_item({3, 3}).hint, "Remove every buddy (the tray icon brings one back)");
  EXPECT_EQ(menu_item_by_label("Snow"), (MenuItemRef{2, 5}));
  EXPECT_FALSE(menu_item_by_label("snow"));
  EXPECT_EQ(menu_theme(9).name, "Paper");
  EXPECT_EQ(menu_theme(1).background, 0x0A1F2Eu);
}

TEST(MenuHit, WheelRingsAtSeveralScales) {
  for (double m : {0.85, 1.0, 1.35, 2.7}) {
    SCOPED_TRACE(m);
    auto [x, y] = at(53.9, -90.0, m);
    EXPECT_EQ(wheel_hit(x, y, m, -1, 0), hover(MenuHoverKind::centre));
    std::tie(x, y) = at(54.0, -90.0, m);
    EXPECT_EQ(wheel_hit(x, y, m, -1, 0), hover(MenuHoverKind::section, 0));
    std::tie(x, y) = at(122.9999, -90.0 + 72.0, m);
    EXPECT_EQ(wheel_hit(x, y, m, -1, 0), hover(MenuHoverKind::section, 1));
    // Nearest direction wins: 30 degrees past section 2 is still section 2.
    std::tie(x, y) = at(90.0, -90.0 + 144.0 + 30.0, m);
    EXPECT_EQ(wheel_hit(x, y, m, -1, 0), hover(MenuHoverKind::section, 2));
    // Section 4 sits at -90 + 288 = 198 degrees, across the wrap of atan2.
    std::tie(x, y) = at(100.0, -170.0, m);
    EXPECT_EQ(wheel_hit(x, y, m, -1, 0), hover(MenuHoverKind::section, 4));
    // The outer ring without pins hovers nothing; 196 is still the ring, 196.1 outside.
    std::tie(x, y) = at(195.9999, -90.0, m);
    EXPECT_EQ(wheel_hit(x, y, m, -1, 0), hover(MenuHoverKind::none));
    EXPECT_EQ(wheel_hit(x, y, m, -1, 1), hover(MenuHoverKind::item, 0));
    std::tie(x, y) = at(196.1, -90.0, m);
    EXPECT_EQ(wheel_hit(x, y, m, -1, 1), hover(MenuHoverKind::outside));
  }
}

TEST(MenuHit, WheelItemsSitAroundTheirSection) {
  for (double m : {1.0, 1.5}) {
    // Crew (section 3, 7 items): item 0 sits three steps of 38 degrees before -90 + 216.
    const double first = -90.0 + 216.0 - 3.0 * 38.0;
    auto [x, y] = at(160.0, first + 18.0, m);
    EXPECT_EQ(wheel_hit(x, y, m, 3, 7), hover(MenuHoverKind::item, 0));
    std::tie(x, y) = at(160.0, first + 38.0 * 6, m);
    EXPECT_EQ(wheel_hit(x, y, m, 3, 7), hover(MenuHoverKind::item, 6));
    // Past the last item's reach nothing is hovered.
    std::tie(x, y) = at(160.0, first + 38.0 * 6 + 20.0, m);
    EXPECT_EQ(wheel_hit(x, y, m, 3, 7), hover(MenuHoverKind::none));
    // Two pins at the top level straddle the top.
    std::tie(x, y) = at(150.0, -90.0 - 19.0 + 5.0, m);
    EXPECT_EQ(wheel_hit(x, y, m, -1, 2), hover(MenuHoverKind::item, 0));
    std::tie(x, y) = at(150.0, -90.0 + 19.0 + 5.0, m);
    EXPECT_EQ(wheel_hit(x, y, m, -1, 2), hover(MenuHoverKind::item, 1));
  }
  EXPECT_EQ(wheel_hit(std::nan(""), 0.0, 1.0, -1, 0), hover(MenuHoverKind::none));
  EXPECT_EQ(wheel_hit(1.0, 0.0, 0.0, -1, 0), hover(MenuHoverKind::none));
}

TEST(MenuHit, PanelRowsAndColumnsAtSeveralScales) {
  for (double m : {0.85, 1.0, 2.0}) {
    SCOPED_TRACE(m);
    // Panel coordinates (px, py) from its top-left corner, in units.
    const auto hit = [m](double px, double py, int items) {
      return panel_hit((px - 188.0) * m, (py - 166.0) * m, m, items);
    };
    EXPECT_EQ(hit(-0.5, 100, 6), hover(MenuHoverKind::outside));
    EXPECT_EQ(hit(376.5, 100, 6), hover(MenuHoverKind::outside));
    EXPECT_EQ(hit(100, 332.5, 6), hover(MenuHoverKind::outside));
    EXPECT_EQ(hit(300, 43.5, 6), hover(MenuHoverKind::centre));
    EXPECT_EQ(hit(10, 44.5, 6), hover(MenuHoverKind::section, 0));
    EXPECT_EQ(hit(165.5, 44 + 4 * 40 + 39, 6), hover(MenuHoverKind::section, 4));
    EXPECT_EQ(hit(100, 44 + 5 * 40 + 1, 6), hover(MenuHoverKind::empty));
    EXPECT_EQ(hit(166.5, 44 + 5 * 40 + 1, 6), hover(MenuHoverKind::item, 5));
    EXPECT_EQ(hit(300, 44 + 6 * 40 + 1, 6), hover(MenuHoverKind::empty));
    EXPECT_EQ(hit(300, 44 + 6 * 40 + 1, 7), hover(MenuHoverKind::item, 6));
    EXPECT_EQ(hit(300, 50, 0), hover(MenuHoverKind::empty));
  }
}

TEST(MenuKeys, TopLevelRingOfSectionsThenPins) {
  MenuState menu = opened();
  key(menu, kLeft);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::section, 4)) << "first step back";
  EXPECT_TRUE(menu.focus_ring);
  key(menu, kRight);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::section, 0)) << "wraps without pins";
  key(menu, kLeft);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::section, 4));

  menu = opened({"Dance", "Fire"});
  key(menu, kDown);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::section, 0));
  key(menu, kUp);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 1)) << "from section 0 back to the last pin";
  key(menu, kTab);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::section, 0)) << "from the last pin on to section 0";
  key(menu, kTab | kMenuKeyShift);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 1));
  // The wheel steps like the arrows: towards the user is forward.
  menu_event(menu, {kMenuWheel, -120}, 11.0);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::section, 0));
  menu_event(menu, {kMenuWheel, 120}, 11.0);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 1));
}

TEST(MenuKeys, InsideASectionAndBackOut) {
  MenuState menu = opened();
  for (int i = 0; i < 4; ++i) key(menu, kRight);
  ASSERT_EQ(menu.hover, hover(MenuHoverKind::section, 3));
  EXPECT_EQ(key(menu, kEnter).kind, MenuOutcome::Kind::none);
  EXPECT_EQ(menu.level, 3);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 0)) << "Enter opens with the first item";
  key(menu, kLeft);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 6)) << "Crew has seven items";
  key(menu, kRight);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 0));
  const MenuOutcome chosen = key(menu, kEnter);
  EXPECT_EQ(chosen.kind, MenuOutcome::Kind::perform);
  EXPECT_EQ(menu_item(chosen.item).label, "Add");

  EXPECT_EQ(key(menu, kEsc).kind, MenuOutcome::Kind::none);
  EXPECT_EQ(menu.level, -1);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::section, 3)) << "back with the section hovered";
  EXPECT_EQ(key(menu, 0x08).kind, MenuOutcome::Kind::close);

  // Inside a section with nothing hovered, Up picks the last item and Down the first.
  menu = opened();
  menu.level = 1;
  key(menu, kUp);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 5));
  menu.hover = {};
  key(menu, kDown);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 0));
}

TEST(MenuPins, SixAtMostAndTheOrderKept) {
  MenuState menu = opened({"Dance", "Heart", "Fire", "Add", "Look", "Nap"});
  ASSERT_EQ(menu.pins.size(), 6u);
  menu.level = 2;
  menu.hover = hover(MenuHoverKind::item, 3);  // Bomb
  EXPECT_FALSE(key(menu, kP).pins_changed) << "a seventh pin is refused";
  EXPECT_EQ(menu.pins.size(), 6u);

  menu.level = 0;
  menu.hover = hover(MenuHoverKind::item, 0);  // Dance, pinned
  EXPECT_TRUE(key(menu, kP).pins_changed);
  EXPECT_EQ(menu.pins, (std::vector<std::string>{"Heart", "Fire", "Add", "Look", "Nap"}));
  EXPECT_TRUE(key(menu, kP).pins_changed);
  EXPECT_EQ(menu.pins.back(), "Dance") << "pinning again appends at the end";

  // A section cannot be pinned.
  menu.level = -1;
  menu.hover = hover(MenuHoverKind::section, 2);
  EXPECT_FALSE(key(menu, kP).pins_changed);
}

TEST(MenuPins, UnpinningOnTheRingKeepsTheHoverOnIt) {
  MenuState menu = opened({"Dance", "Heart"});
  menu.hover = hover(MenuHoverKind::item, 1);
  key(menu, kP);
  EXPECT_EQ(menu.pins, std::vector<std::string>{"Dance"});
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 0));
  key(menu, kP);
  EXPECT_TRUE(menu.pins.empty());
  EXPECT_EQ(menu.hover.kind, MenuHoverKind::none);
}

TEST(MenuPins, ShiftArrowsMoveThePinAndSettingsAreFiltered) {
  MenuState menu = opened({"Dance", "nonsense", "Heart", "Dance", "Fire"});
  EXPECT_EQ(menu.pins, (std::vector<std::string>{"Dance", "Heart", "Fire"}));
  menu.hover = hover(MenuHoverKind::item, 0);
  EXPECT_TRUE(key(menu, kRight | kMenuKeyShift).pins_changed);
  EXPECT_EQ(menu.pins, (std::vector<std::string>{"Heart", "Dance", "Fire"}));
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 1));
  key(menu, kRight | kMenuKeyShift);
  EXPECT_FALSE(key(menu, kRight | kMenuKeyShift).pins_changed) << "no wrap past the end";
  EXPECT_EQ(menu.pins.back(), "Dance");
}

TEST(MenuPins, MiddleClickPinsWhatIsUnderThePointer) {
  MenuState menu = opened();
  menu.level = 0;
  menu_pointer(menu, 0.0, 0.0, 10.0);  // the first reading only records where the pointer is
  const double a = menu_item_angle(0, 2, 6);
  menu_pointer(menu, 500.0 + 160.0 * std::cos(a), 400.0 + 160.0 * std::sin(a), 10.1);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 2));
  EXPECT_TRUE(menu_event(menu, {kMenuMiddleDown, 0}, 10.2).pins_changed);
  EXPECT_EQ(menu.pins, std::vector<std::string>{"Party"});
}

TEST(MenuEvents, ClicksOpenSectionsPerformAndClose) {
  MenuState menu = opened();
  menu_pointer(menu, 500.0, 400.0, 10.0);
  const auto [sx, sy] = at(90.0, -90.0 + 72.0, 1.0);
  menu_pointer(menu, 500.0 + sx, 400.0 + sy, 10.1);
  EXPECT_FALSE(menu.focus_ring);
  EXPECT_EQ(menu_event(menu, {kMenuLeftDown, 0}, 10.2).kind, MenuOutcome::Kind::none);
  EXPECT_EQ(menu.level, 1);
  const double a = menu_item_angle(1, 1, 6);
  menu_pointer(menu, 500.0 + 150.0 * std::cos(a), 400.0 + 150.0 * std::sin(a), 10.3);
  const MenuOutcome out = menu_event(menu, {kMenuLeftDown, 0}, 10.4);
  ASSERT_EQ(out.kind, MenuOutcome::Kind::perform);
  EXPECT_EQ(menu_item(out.item).label, "Heart");

  // Right-click is the hub: back, then close.
  EXPECT_EQ(menu_event(menu, {kMenuRightDown, 0}, 10.5).kind, MenuOutcome::Kind::none);
  EXPECT_EQ(menu.level, -1);
  EXPECT_EQ(menu_event(menu, {kMenuRightDown, 0}, 10.6).kind, MenuOutcome::Kind::close);

  menu = opened();
  menu_pointer(menu, 0.0, 0.0, 10.0);
  menu_pointer(menu, 500.0 + 300.0, 400.0, 10.1);
  EXPECT_EQ(menu_event(menu, {kMenuLeftDown, 0}, 10.2).kind, MenuOutcome::Kind::close)
      << "a click outside closes";
}

TEST(MenuEvents, TheOpeningRightReleaseChoosesNothing) {
  MenuState menu = opened({"Dance"});
  menu_pointer(menu, 0.0, 0.0, 10.0);
  menu_pointer(menu, 500.0, 400.0 - 160.0, 10.05);  // on the pin at the top
  ASSERT_EQ(menu.hover, hover(MenuHoverKind::item, 0));
  EXPECT_EQ(menu_event(menu, {kMenuRightUp, 0}, 10.29).kind, MenuOutcome::Kind::none);
  // Press, drag to an item, release.
  EXPECT_EQ(menu_event(menu, {kMenuRightUp, 0}, 10.31).kind, MenuOutcome::Kind::perform);
}

TEST(MenuEvents, DisabledItemsDoNothing) {
  MenuState menu = opened();
  menu.can_remove = false;
  menu.can_add = false;
  menu.level = 3;
  for (int i : {0, 1, 2}) {
    menu.hover = hover(MenuHoverKind::item, i);
    EXPECT_EQ(key(menu, kEnter).kind, MenuOutcome::Kind::none) << i;
  }
  menu.hover = hover(MenuHoverKind::item, 3);
  EXPECT_EQ(key(menu, kEnter).kind, MenuOutcome::Kind::perform) << "Remove all stays enabled";
}

TEST(MenuEvents, LosingTheFocusClosesOnlyAfterHavingIt) {
  MenuState menu = opened();
  EXPECT_EQ(menu_event(menu, {kMenuActivation, 0}, 10.1).kind, MenuOutcome::Kind::none);
  EXPECT_EQ(menu_event(menu, {kMenuActivation, 1}, 10.2).kind, MenuOutcome::Kind::none);
  EXPECT_EQ(menu_event(menu, {kMenuActivation, 0}, 10.3).kind, MenuOutcome::Kind::close);
}

TEST(MenuWindowPlace, KeptInsideTheWorkAreaUnderTheAnchor) {
  const ScreenRect screen{0, 0, 3840, 1080};
  const std::vector<ScreenRect> areas{{0, 0, 1920, 1040}, {1920, 0, 3840, 1080}};
  // Near the first monitor's taskbar and right edge: pushed left and up, onto that monitor.
  MenuWindow w = menu_window(1900, 1030, 1.0, false, areas, screen);
  EXPECT_EQ(w.rect.right, 1920);
  EXPECT_EQ(w.rect.bottom, 1040);
  EXPECT_EQ(w.rect.right - w.rect.left, 412);
  EXPECT_TRUE(w.shape.ellipse);
  EXPECT_DOUBLE_EQ(w.centre_x, 1920 - 206);
  // At the top, 36 k stays free.
  w = menu_window(2500, 5, 1.5, true, areas, screen);
  EXPECT_EQ(w.rect.top, 54);
  EXPECT_EQ(w.rect.right - w.rect.left, 564);
  EXPECT_EQ(w.rect.bottom - w.rect.top, 498);
  EXPECT_FALSE(w.shape.ellipse);
  EXPECT_EQ(w.shape.corner, 24);
  // Off every monitor: the nearest one.
  w = menu_window(5000, 500, 1.0, false, areas, screen);
  EXPECT_EQ(w.rect.right, 3840);
  // No work areas at all: the screen.
  w = menu_window(std::nan(""), 500, 1.0, false, {}, screen);
  EXPECT_EQ(w.rect.left, 0);
}

TEST(MenuAnimation, EaseOvershootsAndSettles) {
  EXPECT_DOUBLE_EQ(menu_ease(0.0), 0.0);
  EXPECT_DOUBLE_EQ(menu_ease(1.0), 1.0);
  EXPECT_DOUBLE_EQ(menu_ease(7.0), 1.0);
  EXPECT_GT(menu_ease(0.8), 1.0);
}

TEST(MenuAnimation, HoverAmountsEaseTowardsTheHover) {
  MenuState menu = opened();
  menu.hover = hover(MenuHoverKind::section, 2);
  for (int i = 1; i <= 30; ++i) menu_animate(menu, 10.0 + i / 60.0);
  EXPECT_GT(menu.section_hover[2], 0.95f);
  EXPECT_EQ(menu.section_hover[1], 0.0f);
  menu.hover = {};
  for (int i = 31; i <= 60; ++i) menu_animate(menu, 10.0 + i / 60.0);
  EXPECT_LT(menu.section_hover[2], 0.05f);
}

int count_with(const RecordingCanvas& c, const std::string& prefix, const std::string& part) {
  int n = 0;
  for (const std::string& call : c.calls)
    if (call.rfind(prefix, 0) == 0 && call.find(part) != std::string::npos) ++n;
  return n;
}

TEST(MenuDraw, RainbowOffPaintsEverySectionInTheAccent) {
  MenuState menu = opened();
  menu.style.rainbow = false;
  menu.style.accent = 0x123456;
  menu.style.opacity = 1.0;
  RecordingCanvas canvas;
  draw_menu(canvas, menu, {}, 20.0);
  EXPECT_EQ(count_with(canvas, "fill_ellipse", "#123456"), 5);
  EXPECT_EQ(count_with(canvas, "fill_ellipse", "#D77757"), 0);

  menu.style.rainbow = true;
  canvas.calls.clear();
  draw_menu(canvas, menu, {}, 20.0);
  EXPECT_EQ(count_with(canvas, "fill_ellipse", "#B36BFF"), 1);
  EXPECT_EQ(count_with(canvas, "fill_ellipse", "#123456"), 0);
}

TEST(MenuDraw, ConnectorAndGuideForOneBuddy) {
  MenuState menu = opened();
  menu.style.opacity = 1.0;
  menu.level = 1;
  menu.hover = hover(MenuHoverKind::item, 3);  // Ledge
  MenuTargetView target{true, 700.0, 900.0, 855.0, -1.0};
  RecordingCanvas canvas;
  draw_menu(canvas, menu, target, 20.0);
  EXPECT_EQ(count_with(canvas, "line 500,400 700,855", "#D77757@0.65"), 1);
  // The ledge: a 5-unit bar 110 units above the feet, 100 either side.
  EXPECT_EQ(count_with(canvas, "line 600,790 800,790", "#FFD23F"), 1);
  const MenuGuide fire = menu_guide(MenuTag::fire, 700.0, 900.0, -1.0, 2.0);
  EXPECT_EQ(fire.kind, MenuGuide::Kind::point);
  EXPECT_DOUBLE_EQ(fire.x0, 580.0);
  EXPECT_DOUBLE_EQ(fire.y0, 900.0);
  EXPECT_EQ(menu_guide(MenuTag::clear, 0, 0, 1, 1).kind, MenuGuide::Kind::none);
}

TEST(MenuDraw, PanelShowsItsRowsAndCount) {
  MenuState menu = opened({}, true);
  menu.targets = {1, 2, 3};
  RecordingCanvas canvas;
  draw_menu(canvas, menu, {}, 20.0);
  const auto has_text = [&](const std::string& text) {
    for (const std::string& call : canvas.calls)
      if (call.find(text) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(has_text("3 buddies"));
  EXPECT_TRUE(has_text("Hover a section"));
  EXPECT_TRUE(has_text("Studio"));
}

// The panel draws no pins: its keys walk the sections alone, and the pointer opens the section
// it rests on, so the items beside it take the click.
TEST(MenuPanel, KeysReachOnlyWhatIsDrawnAndHoverOpensTheSection) {
  MenuState menu = opened({"Dance", "Fire"}, true);
  key(menu, kLeft);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::section, 4));
  key(menu, kRight);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::section, 0)) << "no pins between section 4 and 0";

  menu_pointer(menu, 500.0, 400.0, 10.0);
  // Section row 2 (Chaos), then across to its second item (Fire).
  menu_pointer(menu, 500.0 - 188.0 + 80.0, 400.0 - 166.0 + 44.0 + 2.5 * 40.0, 10.1);
  EXPECT_EQ(menu.level, 2);
  menu_pointer(menu, 500.0 - 188.0 + 260.0, 400.0 - 166.0 + 44.0 + 1.5 * 40.0, 10.2);
  EXPECT_EQ(menu.hover, hover(MenuHoverKind::item, 1));
  const MenuOutcome out = menu_event(menu, {kMenuLeftDown, 0}, 10.3);
  ASSERT_EQ(out.kind, MenuOutcome::Kind::perform);
  EXPECT_EQ(menu_item(out.item).label, "Fire");
}

// Every label and symbol the menu draws, against what lies under its middle: labels 4.5 : 1,
// symbols and pin dots 3 : 1, in each theme, style and level, with the rainbow and with light,
// yellow, grey and dark accents.
TEST(MenuDraw, LabelsAndSymbolsStandOutInEveryThemeAndAccent) {
  struct Fill {
    bool ellipse;
    double x0, y0, x1, y1;  // rectangle corners, or centre and radii
    std::uint32_t rgb;
    double alpha;
  };
  const auto colour_of = [](const std::string& call) {
    const std::size_t at = call.rfind('#');
    if (at == std::string::npos || call.size() < at + 7) return std::pair{0u, 1.0};
    const auto rgb = static_cast<std::uint32_t>(std::stoul(call.substr(at + 1, 6), nullptr, 16));
    double alpha = 1.0;
    if (call.size() > at + 7 && call[at + 7] == '@') alpha = std::stod(call.substr(at + 8));
    return std::pair{rgb, alpha};
  };
  const auto blend = [](std::uint32_t under, std::uint32_t over, double a) {
    std::uint32_t out = 0;
    for (int shift = 16; shift >= 0; shift -= 8) {
      const double u = (under >> shift) & 0xFF, o = (over >> shift) & 0xFF;
      out |= static_cast<std::uint32_t>(std::lround(u + (o - u) * a)) << shift;
    }
    return out;
  };
  int checked = 0;
  for (int theme = 0; theme < 4; ++theme)
    for (std::uint32_t accent : {0u, 0xF5F0E8u, 0xFFD23Fu, 0x9E9E9Eu, 0xD77757u, 0x13131Au, 0xFFFFFFu})
      for (bool panel : {false, true})
        for (int level = -1; level < kMenuSectionCount; ++level) {
          MenuState menu = opened({"Dance", "Fire", "Add", "Look"}, panel);
          menu.style.theme = theme;
          menu.style.rainbow = accent == 0;
          menu.style.accent = accent;
          menu.style.opacity = 1.0;
          menu.level = level;
          // Something hovered, fully: a section at the top, the second item inside one.
          menu.hover = level < 0 ? hover(MenuHoverKind::section, 3) : hover(MenuHoverKind::item, 1);
          if (level < 0) menu.section_hover[3] = 1.0f;
          else menu.item_hover[1] = 1.0f;
          RecordingCanvas canvas;
          draw_menu(canvas, menu, {}, 20.0);
          std::vector<Fill> fills;
          double box_w = 0.0, box_h = 0.0;
          bool symbol = false;
          for (const std::string& call : canvas.calls) {
            double a = 0, b = 0, c = 0, d = 0;
            const auto [rgb, alpha] = colour_of(call);
            const auto under = [&](double x, double y) -> std::optional<std::uint32_t> {
              std::optional<std::uint32_t> seen;
              for (const Fill& fl : fills) {
                const bool in = fl.ellipse ? std::pow((x - fl.x0) / fl.x1, 2) + std::pow((y - fl.y0) / fl.y1, 2) <= 1.0
                                           : x >= fl.x0 && x <= fl.x1 && y >= fl.y0 && y <= fl.y1;
                if (in) seen = seen ? blend(*seen, fl.rgb, fl.alpha) : fl.rgb;
              }
              return seen;
            };
            const std::string where = "theme " + std::to_string(theme) + " accent " + std::to_string(accent) +
                                      (panel ? " panel" : " wheel") + " level " + std::to_string(level) + ": " + call;
            if (std::sscanf(call.c_str(), "fill_rect %lf,%lf,%lf,%lf", &a, &b, &c, &d) == 4 ||
                std::sscanf(call.c_str(), "fill_rounded_rect %lf,%lf,%lf,%lf", &a, &b, &c, &d) == 4) {
              fills.push_back({false, a, b, c, d, rgb, alpha});
            } else if (std::sscanf(call.c_str(), "fill_ellipse %lf,%lf %lfx%lf", &a, &b, &c, &d) == 4) {
              if (c <= 4.0) {  // a pin dot: a mark on what lies under it
                const auto bg = under(a, b);
                ASSERT_TRUE(bg) << where;
                EXPECT_GE(menu_contrast(rgb, *bg), 3.0) << where;
                ++checked;
              }
              fills.push_back({true, a, b, c, d, rgb, alpha});
            } else if (call.rfind("layout ", 0) == 0) {
              symbol = call.find("Segoe UI Symbol") != std::string::npos;
              const std::size_t max = call.rfind("max ");
              std::sscanf(call.c_str() + max, "max %lfx%lf", &box_w, &box_h);
            } else if (call.rfind("text ", 0) == 0) {
              const std::size_t quote = call.rfind('"');
              ASSERT_EQ(std::sscanf(call.c_str() + quote + 1, " %lf,%lf", &a, &b), 2) << where;
              const auto bg = under(a + box_w / 2.0, b + box_h / 2.0);
              ASSERT_TRUE(bg) << "text on nothing: " << where;
              EXPECT_GE(menu_contrast(rgb, *bg), symbol ? 3.0 : 4.5) << where;
              ++checked;
            }
          }
        }
  EXPECT_GT(checked, 4000);
}

// Near the overlay's bottom the hint goes above the wheel, just beyond its topmost bubble.
TEST(MenuDraw, TheWheelsHintStaysBesideTheWheel) {
  MenuState menu = opened();
  menu.style.opacity = 1.0;
  MenuTargetView target;
  target.overlay_bottom = 600.0;  // room below the wheel at 400: the hint goes under it
  const auto hint_top = [&]() {
    RecordingCanvas canvas;
    draw_menu(canvas, menu, target, 20.0);
    for (const std::string& call : canvas.calls)
      if (call.rfind("text \"Hover a section\"", 0) == 0) {
        double x = 0, y = 0;
        std::sscanf(call.c_str() + 22, " %lf,%lf", &x, &y);
        return y;
      }
    return -1.0;
  };
  // The sections reach 87 + 30 x 1.12 units from the centre (up) and about 104 down.
  const double below = hint_top();
  EXPECT_GT(below, 400.0 + 104.0);
  EXPECT_LT(below, 400.0 + 104.0 + 30.0);
  target.overlay_bottom = 530.0;
  const double above = hint_top() + 22.0;  // the pill's bottom
  EXPECT_LT(above, 400.0 - 87.0 - 33.6);
  EXPECT_GT(above, 400.0 - 87.0 - 33.6 - 30.0);
}

TEST(MenuSound, ClicksAreShortAndQuiet) {
  for (bool choose : {false, true}) {
    const auto wave = menu_click_wave(choose, 22050);
    EXPECT_GT(wave.size(), 100u);
    EXPECT_LT(wave.size(), 22050u / 10u);
    int peak = 0;
    for (std::int16_t s : wave) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_GT(peak, 500);
    EXPECT_LT(peak, 8000);
  }
}

}  // namespace
}  // namespace perchkin
