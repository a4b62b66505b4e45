// The records the GPU pass reads: one 64-byte BuddyInstance per buddy (structured buffer t0)
// and the 32-byte Frame constants (b0). Both are uploaded as raw bytes, so their layout is fixed.
#pragma once

#include <cstring>
#include <span>
#include <type_traits>

namespace perchkin {

struct Float2 {
  float x = 0.0f;
  float y = 0.0f;
};

struct Float3 {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
};

inline constexpr float kPatternSolid = 0.0f;
inline constexpr float kPatternGradient = 1.0f;
inline constexpr float kPatternStripes = 2.0f;
inline constexpr float kPatternSpots = 3.0f;

struct BuddyInstance {
  Float2 pos;            // feet: bottom-centre of the sprite, overlay pixels, whole numbers
  float unit = 1.0f;     // pixels per sprite cell
  float sy = 1.0f;       // vertical squash, 0.6..1.4
  float angle = 0.0f;    // radians, about the sprite's centre
  float frame = 0.0f;    // atlas frame 0..25
  float flip = 0.0f;     // 1 mirrors horizontally
  float eye = 0.0f;      // grey level of eye cells
  Float3 tint;           // body colour, 0..1
  float shadow = 0.0f;   // ground shadow scale; 0 hides it
  Float3 tint2;          // second body colour used by the pattern
  float pattern = 0.0f;  // kPatternSolid .. kPatternSpots
};

struct Frame {
  Float2 screen;        // buffer width and height in pixels
  float glow = 0.0f;    // glow strength; 0 = no glow draw
  float unused = 0.0f;
  Float2 origin;        // buffer top-left in overlay pixels
  Float2 spare;
};

static_assert(sizeof(Float2) == 8 && sizeof(Float3) == 12);
static_assert(sizeof(BuddyInstance) == 64, "the instance buffer's stride is 64 bytes");
static_assert(sizeof(Frame) == 32, "the constant buffer is 32 bytes");
static_assert(std::is_trivially_copyable_v<BuddyInstance> && std::is_standard_layout_v<BuddyInstance>);
static_assert(std::is_trivially_copyable_v<Frame> && std::is_standard_layout_v<Frame>);

// The charred look: dark body, white eyes, no pattern.
inline constexpr Float3 kCharredTint = {0.23137255f, 0.2f, 0.1882353f};

// Unchanged frames are detected by comparing the uploaded bytes, exactly as the GPU would see them.
inline bool same_instances(std::span<const BuddyInstance> a, std::span<const BuddyInstance> b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size_bytes()) == 0);
}

}  // namespace perchkin
