// The shaders do the same maths as the CPU reference rasterizer (gpu/raster_cpu.cpp); a change
// here needs the same change there.
#include "gpu/shader_hlsl.h"

namespace perchkin {

namespace {

constexpr std::string_view kSource = R"hlsl(
// Per-buddy record, 64 bytes, read by instance number.
struct Buddy {
  float2 pos;      // feet, overlay pixels
  float unit;      // pixels per cell
  float sy;        // vertical squash
  float angle;     // radians, about the sprite's centre
  float frame;     // atlas frame
  float flip;      // 1 = mirrored
  float eye;       // eye grey
  float3 tint;
  float shadow;    // shadow scale, 0 = none
  float3 tint2;
  float pattern;   // 0 solid, 1 gradient, 2 stripes, 3 spots
};

cbuffer Frame : register(b0) {
  float2 screen;   // buffer size in pixels
  float glow;      // glow strength
  float unused;
  float2 origin;   // buffer top-left, overlay pixels
  float2 spare;
};

StructuredBuffer<Buddy> buddies : register(t0);
Texture2D<uint> atlas : register(t1);
Texture2D<float> halo : register(t2);
SamplerState soft : register(s0);

struct VOut {
  float4 position : SV_Position;
  float2 uv : UV;
  nointerpolation float frame : FRAME;
  nointerpolation float3 tint : TINT;
  nointerpolation float flip : FLIP;
  nointerpolation float eye : EYE;
  nointerpolation float3 tint2 : TINTB;
  nointerpolation float pattern : PATTERN;
};

// Overlay pixels to clip space; y grows downwards on screen.
float4 clip_at(float2 w) {
  return float4((w.x - origin.x) / screen.x * 2.0 - 1.0,
                1.0 - (w.y - origin.y) / screen.y * 2.0, 0.0, 1.0);
}

VOut SpriteVS(uint v : SV_VertexID, uint i : SV_InstanceID) {
  Buddy b = buddies[i];
  float2 c = float2(float(v & 1u), float(v >> 1u));
  float sx = 1.0 + (1.0 - b.sy) * 0.8;
  float2 size = float2(16.0 * sx, 10.0 * b.sy) * b.unit;
  float2 p = (c - 0.5) * size;
  float cs = cos(b.angle);
  float sn = sin(b.angle);
  float2 r = float2(cs * p.x - sn * p.y, sn * p.x + cs * p.y);
  VOut o;
  o.position = clip_at(b.pos + float2(0.0, -size.y * 0.5) + r);
  o.uv = c;
  o.frame = b.frame;
  o.tint = b.tint;
  o.flip = b.flip;
  o.eye = b.eye;
  o.tint2 = b.tint2;
  o.pattern = b.pattern;
  return o;
}

float4 SpritePS(VOut i) : SV_Target {
  int x = min(15, int(floor(i.uv.x * 16.0)));
  int y = min(9, int(floor(i.uv.y * 10.0)));
  if (i.flip > 0.5) x = 15 - x;
  uint code = atlas.Load(int3(16 * int(floor(i.frame)) + x, y, 0));
  if (code == 0u) discard;
  float3 c = i.tint;
  if (code == 1u) {
    int pattern = int(i.pattern + 0.5);
    if (pattern == 1) {
      c = lerp(i.tint, i.tint2, saturate((float(y) - 2.0) / 6.0));
    } else if (pattern == 2) {
      if ((y & 1) == 1) c = i.tint2;
    } else if (pattern == 3) {
      if ((x + 2 * y) % 5 == 0) c = i.tint2;
    }
  } else if (code == 2u) {
    c = float3(i.eye, i.eye, i.eye);
  } else if (code == 3u) {
    c = float3(0.957, 0.635, 0.604);
  } else {
    c = float3(1.0, 0.302, 0.427);
  }
  return float4(c, 1.0);
}

VOut ShadowVS(uint v : SV_VertexID, uint i : SV_InstanceID) {
  Buddy b = buddies[i];
  float2 c = float2(float(v & 1u), float(v >> 1u));
  VOut o = (VOut)0;
  o.position = clip_at(b.pos + (c - 0.5) * float2(15.0, 3.5) * b.unit * b.shadow);
  o.uv = c;
  return o;
}

float4 ShadowPS(VOut i) : SV_Target {
  float a = saturate(1.0 - length((i.uv - 0.5) * 2.0));
  return float4(0.0, 0.0, 0.0, 0.32 * a * a);
}

VOut GlowVS(uint v : SV_VertexID, uint i : SV_InstanceID) {
  Buddy b = buddies[i];
  float2 c = float2(float(v & 1u), float(v >> 1u));
  float sx = 1.0 + (1.0 - b.sy) * 0.8;
  float2 size = float2(24.0 * sx, 18.0 * b.sy) * b.unit;
  float2 p = (c - 0.5) * size;
  float cs = cos(b.angle);
  float sn = sin(b.angle);
  float2 r = float2(cs * p.x - sn * p.y, sn * p.x + cs * p.y);
  VOut o;
  o.position = clip_at(b.pos + float2(0.0, -5.0 * b.sy * b.unit) + r);
  o.uv = c;
  o.frame = b.frame;
  o.tint = b.tint;
  o.flip = b.flip;
  o.eye = 0.0;
  o.tint2 = b.tint2;
  o.pattern = 0.0;
  return o;
}

// Colour exceeds coverage, so the glow brightens what lies beneath; the smoothstep fades it out
// without an edge.
float4 GlowPS(VOut i) : SV_Target {
  float x = i.flip > 0.5 ? 1.0 - i.uv.x : i.uv.x;
  float a = halo.Sample(soft, float2((i.frame + x) / 26.0, i.uv.y));
  a = a * a * (3.0 - 2.0 * a) * glow;
  float3 light = lerp(i.tint, float3(1.0, 1.0, 1.0), 0.28);
  return float4(light * a, 0.45 * a);
}
)hlsl";

}  // namespace

std::string_view shader_hlsl() { return kSource; }

}  // namespace perchkin
