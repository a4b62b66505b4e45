// The command set in one table: each command's name, whether it runs once per target buddy,
// its arguments with their types and limits, its description, and whether the MCP server
// offers it as a tool. The port's dispatcher, the argument readers and the MCP tool list all
// read it, so a command is added, renamed or limited here and nowhere else.
#pragma once

#include "base/json.h"
#include "base/vocabulary.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace perchkin {

// Every command, in the order of the table (the MCP tools first, in the order the assistant
// sees them).
enum class CommandId : std::uint8_t {
  say,
  walk,
  act,
  leap,
  draw,
  turtle,
  fx,
  crew,
  status,
  chatty,
  quit,
  studio,
  perf,
};

enum class ArgType : std::uint8_t {
  number,          // any JSON number
  text,            // a string
  word,            // a string, one of `words`
  points,          // a list of [x, y] pairs
  text_or_number,  // a word or an x pixel
  id,              // a buddy id: a whole number or text
  flag,            // true or false
};

struct CommandArg {
  std::string_view name;
  ArgType type = ArgType::number;
  bool required = false;
  std::span<const std::string_view> words = {};  // the choices of a word; the usual values of text
  double min = 0.0;                              // the clamp of a number, or the least count
  double max = 0.0;                              // of points; the most characters of text
  double fallback = 0.0;                         // a number's value when it is absent
  bool offered = true;                           // listed in the tool's schema
};

struct CommandEntry {
  CommandId id;
  std::string_view name;
  bool per_buddy = false;  // run once for every buddy "id" names (default the first)
  bool takes_id = false;   // has an "id" argument at all
  bool any_args = false;   // works whatever its arguments are, object or not
  bool tool = false;       // offered by the MCP server
  std::span<const CommandArg> args = {};
  // "{arg.max}"-style fields are filled from the arguments (see command_description).
  std::string_view description = {};
};

// The arguments, one constant each, so that the readers name the same key and limits the
// schema shows.
namespace arg {
inline constexpr CommandArg say_text{"text", ArgType::text, true, {}, 0.0, 200.0};
inline constexpr CommandArg say_seconds{"seconds", ArgType::number, false, {}, 1.0, 60.0, 6.0};
inline constexpr CommandArg say_act{"act", ArgType::word, false, kActNames};
inline constexpr std::array<std::string_view, 4> kWalkPlaces = {"cursor", "left", "right",
                                                                "center"};
inline constexpr CommandArg walk_to{"to", ArgType::text_or_number, true, kWalkPlaces};
inline constexpr CommandArg act_action{"action", ArgType::word, true, kActNames};
inline constexpr CommandArg leap_x{"x", ArgType::number, true};
inline constexpr CommandArg leap_y{"y", ArgType::number, true};
inline constexpr CommandArg draw_kind{"kind", ArgType::word, true, kDrawKinds};
inline constexpr CommandArg draw_pts{"pts", ArgType::points, false, {}, 1.0, 400.0};
inline constexpr CommandArg draw_text{"text", ArgType::text, false, {}, 0.0, 200.0};
inline constexpr CommandArg draw_size{"size", ArgType::number};
inline constexpr CommandArg color{"color", ArgType::text, false, {}, 0.0, 24.0};
inline constexpr CommandArg width{"width", ArgType::number, false, {}, 1.0, 40.0, 4.0};
inline constexpr CommandArg ttl{"ttl", ArgType::number, false, {}, 0.0, 600.0, 10.0};
// The turtle reads the same "ttl" but does not advertise it.
inline constexpr CommandArg turtle_ttl{"ttl", ArgType::number, false, {}, 0.0, 600.0, 10.0, false};
inline constexpr CommandArg turtle_prog{"prog", ArgType::text, true};
inline constexpr CommandArg x{"x", ArgType::number};
inline constexpr CommandArg y{"y", ArgType::number};
inline constexpr CommandArg fx_kind{"kind", ArgType::word, true, kEffectKinds};
inline constexpr CommandArg crew_add{"add", ArgType::number, false, {}, 1.0,
                                  static_cast<double>(kDefaultMaxBuddies)};
inline constexpr CommandArg crew_color{"color", ArgType::text, false, kCrewColorNames};
inline constexpr CommandArg crew_remove{"remove", ArgType::id};
inline constexpr CommandArg crew_size{"size", ArgType::number, false, {}, kBuddySizeMin,
                                   kBuddySizeMax};
inline constexpr CommandArg chatty_on{"on", ArgType::flag};
inline constexpr CommandArg studio_page{"page", ArgType::text_or_number};
}  // namespace arg

namespace detail {
inline constexpr std::array kSayArgs = {arg::say_text, arg::say_seconds, arg::say_act};
inline constexpr std::array kWalkArgs = {arg::walk_to};
inline constexpr std::array kActArgs = {arg::act_action};
inline constexpr std::array kLeapArgs = {arg::leap_x, arg::leap_y};
inline constexpr std::array kDrawArgs = {arg::draw_kind, arg::draw_pts, arg::draw_text,
                                         arg::draw_size, arg::color,    arg::width,
                                         arg::ttl};
inline constexpr std::array kTurtleArgs = {arg::turtle_prog, arg::x,     arg::y,
                                           arg::color,       arg::width, arg::turtle_ttl};
inline constexpr std::array kFxArgs = {arg::fx_kind, arg::x, arg::y};
inline constexpr std::array kCrewArgs = {arg::crew_add, arg::crew_color, arg::crew_remove,
                                         arg::crew_size};
inline constexpr std::array kChattyArgs = {arg::chatty_on};
inline constexpr std::array kStudioArgs = {arg::studio_page};
}  // namespace detail

inline constexpr std::array<CommandEntry, 13> kCommandTable = {{
    {CommandId::say, "say", true, true, false, true, detail::kSayArgs,
     "Speech bubble, optionally with an act."},
    {CommandId::walk, "walk", true, true, false, true, detail::kWalkArgs,
     "Walk to 'cursor', 'left', 'right', 'center' or an x pixel."},
    {CommandId::act, "act", true, true, false, true, detail::kActArgs,
     "Animate. chase = chase the mouse; celebrate = dance + confetti."},
    {CommandId::leap, "leap", true, true, false, true, detail::kLeapArgs,
     "Jump in an arc to screen point x,y; lands on whatever is below."},
    {CommandId::draw, "draw", true, true, false, true, detail::kDrawArgs,
     "He flies over and draws it with a pencil. pts: [x,y] screen px: corners for shapes, any "
     "number for line/curve, 1 for text/fire(base)/cloud/bolt(top)/bomb, 2 ends for platform. "
     "fire burns buddies, cloud rains and puts fires out, bolt zaps and ignites, bomb explodes, "
     "platform can be stood on. ttl s, 0 = keep."},
    {CommandId::turtle, "turtle", true, true, false, true, detail::kTurtleArgs,
     "Draw with a Logo program: fd bk rt lt seth pu pd goto x y, color c, width w, arc deg r, "
     "circle r, repeat n [..]; :i = repeat counter, e.g. repeat 36 [fd :i*5 rt 100]. Starts at "
     "x,y (default above him), heading east."},
    {CommandId::fx, "fx", true, true, false, true, detail::kFxArgs,
     "Screen effect at x,y (default: him)."},
    // "default 4" is the tool's long-standing text; the settings' own default size differs.
    {CommandId::crew, "crew", false, true, false, true, detail::kCrewArgs,
     "Add buddies (max {add.max}; color: {color.words}), remove an id or 'all' extras, or set "
     "size {size.min}-{size.max} (default 4) for id or all."},
    {CommandId::status, "status", false, false, false, true, {},
     "Buddies (id, mode, position), cursor and screen size. id param on other tools picks a "
     "buddy or 'all'; default is the first."},
    {CommandId::chatty, "chatty", true, true, false, false, detail::kChattyArgs,
     "Turn his own chatter on or off (flips without on)."},
    {CommandId::quit, "quit", false, false, true, false, {}, "Quit the companion."},
    {CommandId::studio, "studio", false, false, false, false, detail::kStudioArgs,
     "Open Perchkin Studio, optionally on a page."},
    {CommandId::perf, "perf", false, false, false, false, {}, "Tick and frame timings."},
}};

// The command of that exact name (case matters), or nothing.
const CommandEntry* find_command(std::string_view name);
const CommandEntry& command_entry(CommandId id);

// The description with its "{arg.field}" fields filled from the command's arguments:
// min and max (as whole numbers) and words (joined by spaces).
std::string command_description(const CommandEntry& entry);

// The JSON schema of one argument as the MCP tool list shows it.
json arg_schema(const CommandArg& arg);

// "{name} must be one of: a, b, c" for a word argument.
std::string choices_message(const CommandArg& arg);

}  // namespace perchkin
