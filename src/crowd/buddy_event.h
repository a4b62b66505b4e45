// What a buddy asks the world tick for: particles and effects, drawing, placing a prop. Each
// kind carries exactly its own data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace perchkin {

struct StrokePoint {
  double x = 0.0;
  double y = 0.0;
};

// The screen-wide effects a command or an act can start, in the order of kEffectKinds.
enum class EffectKind : std::uint8_t { confetti, fireworks, hearts, sparkle, snow };
std::string_view effect_name(EffectKind kind);
std::optional<EffectKind> parse_effect(std::string_view name);

enum class PropKind : std::uint8_t { fire, cloud, bolt, bomb, platform };

// What placing a prop asks for. Points are desktop pixels: the base of a fire, the top of a
// bolt, the centre of a cloud or bomb; a platform uses both ends (x, y) and (x2, y2).
// `size` is ignored for a platform. A ttl of 0 keeps the prop until it is used up.
struct PropPlacement {
  PropKind kind = PropKind::fire;
  double x = 0.0, y = 0.0;
  double x2 = 0.0, y2 = 0.0;
  double size = 70.0;
  double ttl = 25.0;
};

// Hearts, dizzy sparkles, smoke and explosions show at the buddy's feet; the kinds with a point
// show there (desktop pixels).
struct HeartEvent {};
struct SymbolEvent {
  std::string text;
};
struct PuffEvent {
  double x = 0.0, y = 0.0;
  double strength = 0.0;  // 0..1
  bool wall = false;      // a wall or the top edge was hit: no squash
};
struct DustEvent {
  double x = 0.0, y = 0.0;
};
struct SmokeEvent {};
struct DizzyEvent {};
struct ExplodeEvent {
  double duration = 0.0;
};
struct EffectEvent {
  EffectKind kind = EffectKind::sparkle;
  double x = 0.0, y = 0.0;
};
// A line's ink, a piece at a time.
struct InkEvent {
  std::uint64_t id = 0;
  std::vector<StrokePoint> screen_points;  // desktop pixels
  std::optional<std::string> colour;        // present on the line's first event
  double width = 1.0;
  double ttl = 0.0;
  bool finish = false;
};
// Text typed on the screen.
struct TextEvent {
  std::string text;
  std::string colour;
  double size = 28.0;
  double duration = 0.3;
  double x = 0.0, y = 0.0;  // top-left, desktop pixels
  double ttl = 0.0;
};
// The drawings and the props are cleared.
struct ClearEvent {};

// Drawing ids come from one counter for the whole process.
std::uint64_t next_drawing_id();

using BuddyEvent = std::variant<HeartEvent, SymbolEvent, PuffEvent, DustEvent, SmokeEvent,
                                DizzyEvent, ExplodeEvent, EffectEvent, InkEvent, TextEvent,
                                PropPlacement, ClearEvent>;

}  // namespace perchkin
