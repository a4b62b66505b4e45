#include "gpu/shader_glsl.h"

namespace perchkin::glsl {

extern const char* const kCommon = R"(#version 330 core
uniform sampler2D buddies;
uniform vec2 screen;
uniform vec2 origin;
uniform float glow;
uniform int count;
// Each dirty rectangle draws its own slice of the instance records, those that reach into it.
uniform int base;

flat out float v_frame;
flat out vec3 v_tint;
flat out float v_flip;
flat out float v_eye;
flat out vec3 v_tint2;
flat out float v_pattern;
out vec2 v_uv;

// Fields of instance i: 0 (pos, unit, sy), 1 (angle, frame, flip, eye), 2 (tint, shadow),
// 3 (tint2, pattern).
vec4 field(int i, int k) {
  int t = (base + i) * 4 + k;
  return texelFetch(buddies, ivec2(t % 1024, t / 1024), 0);
}

vec4 clip_at(vec2 w) {
  return vec4((w.x - origin.x) / screen.x * 2.0 - 1.0, 1.0 - (w.y - origin.y) / screen.y * 2.0,
              0.0, 1.0);
}

vec2 corner() { return vec2(float(gl_VertexID & 1), float(gl_VertexID >> 1)); }


vec2 rotated(vec2 p, float angle) {
  float c = cos(angle);
  float s = sin(angle);
  return vec2(c * p.x - s * p.y, s * p.x + c * p.y);
}

void pass_fields(vec4 b, vec4 c, vec4 d) {
  v_frame = b.y;
  v_flip = b.z;
  v_eye = b.w;
  v_tint = c.xyz;
  v_tint2 = d.xyz;
  v_pattern = d.w;
}
)";

extern const char* const kSpriteVS = R"(
void main() {
  int i = gl_InstanceID;
  vec4 a = field(i, 0);
  vec4 b = field(i, 1);
  vec2 c = corner();
  float sx = 1.0 + (1.0 - a.w) * 0.8;
  vec2 size = vec2(16.0 * sx, 10.0 * a.w) * a.z;
  vec2 p = (c - 0.5) * size;
  gl_Position = clip_at(a.xy + vec2(0.0, -size.y / 2.0) + rotated(p, b.x));
  v_uv = c;
  pass_fields(b, field(i, 2), field(i, 3));
}
)";

extern const char* const kGlowVS = R"(
void main() {
  vec4 a = field(gl_InstanceID, 0);
  vec4 b = field(gl_InstanceID, 1);
  vec2 c = corner();
  float sx = 1.0 + (1.0 - a.w) * 0.8;
  vec2 size = vec2(24.0 * sx, 18.0 * a.w) * a.z;
  vec2 p = (c - 0.5) * size;
  gl_Position = clip_at(a.xy + vec2(0.0, -5.0 * a.w * a.z) + rotated(p, b.x));
  gl_Position.z = 1.0;
  v_uv = c;
  pass_fields(b, field(gl_InstanceID, 2), field(gl_InstanceID, 3));
  v_eye = 0.0;
  v_pattern = 0.0;
}
)";

extern const char* const kShadowVS = R"(
void main() {
  vec4 a = field(gl_InstanceID, 0);
  float shadow = field(gl_InstanceID, 2).w;
  vec2 c = corner();
  gl_Position = clip_at(a.xy + (c - 0.5) * vec2(15.0, 3.5) * a.z * shadow);
  gl_Position.z = 1.0;
  v_uv = c;
  pass_fields(vec4(0.0), vec4(0.0), vec4(0.0));
}
)";

extern const char* const kPixelCommon = R"(#version 330 core
flat in float v_frame;
flat in vec3 v_tint;
flat in float v_flip;
flat in float v_eye;
flat in vec3 v_tint2;
flat in float v_pattern;
in vec2 v_uv;
out vec4 colour;
)";

extern const char* const kSpritePS = R"(
uniform usampler2D atlas;
void main() {
  float f = floor(v_frame);
  if (f < 0.0 || f > 25.0) discard;
  int x = min(15, int(floor(v_uv.x * 16.0)));
  int y = min(9, int(floor(v_uv.y * 10.0)));
  if (v_flip > 0.5) x = 15 - x;
  uint code = texelFetch(atlas, ivec2(16 * int(f) + x, y), 0).r;
  if (code == 0u) discard;
  vec3 c = v_tint;
  if (code == 1u) {
    int pattern = (v_pattern > 0.5 && v_pattern < 3.5) ? int(v_pattern + 0.5) : 0;
    if (pattern == 1) {
      c = v_tint + (v_tint2 - v_tint) * clamp((float(y) - 2.0) / 6.0, 0.0, 1.0);
    } else if (pattern == 2) {
      if (y % 2 == 1) c = v_tint2;
    } else if (pattern == 3) {
      if ((x + 2 * y) % 5 == 0) c = v_tint2;
    }
  } else if (code == 2u) {
    c = vec3(v_eye);
  } else if (code == 3u) {
    c = vec3(0.957, 0.635, 0.604);
  } else {
    c = vec3(1.0, 0.302, 0.427);
  }
  colour = vec4(c, 1.0);
}
)";

extern const char* const kShadowPS = R"(
void main() {
  float a = clamp(1.0 - length((v_uv - 0.5) * 2.0), 0.0, 1.0);
  colour = vec4(0.0, 0.0, 0.0, 0.32 * a * a);
}
)";

// The halo is filtered linearly in the shader, with float weights, instead of by the sampler:
// samplers may weigh with as few as 8 fractional bits, which the smoothstep below magnifies
// into visible differences between drivers.
extern const char* const kGlowPS = R"(
uniform sampler2D halo;
uniform float glow;
float halo_at(vec2 uv) {
  vec2 size = vec2(textureSize(halo, 0));
  vec2 t = uv * size - 0.5;
  vec2 f0 = floor(t);
  vec2 w = t - f0;
  ivec2 i0 = ivec2(clamp(f0, vec2(0.0), size - 1.0));
  ivec2 i1 = ivec2(clamp(f0 + 1.0, vec2(0.0), size - 1.0));
  float a00 = texelFetch(halo, ivec2(i0.x, i0.y), 0).r;
  float a10 = texelFetch(halo, ivec2(i1.x, i0.y), 0).r;
  float a01 = texelFetch(halo, ivec2(i0.x, i1.y), 0).r;
  float a11 = texelFetch(halo, ivec2(i1.x, i1.y), 0).r;
  float top = a00 * (1.0 - w.x) + a10 * w.x;
  float bottom = a01 * (1.0 - w.x) + a11 * w.x;
  return top * (1.0 - w.y) + bottom * w.y;
}
void main() {
  float x = v_flip > 0.5 ? 1.0 - v_uv.x : v_uv.x;
  float a = halo_at(vec2((v_frame + x) / 26.0, v_uv.y));
  a = a * a * (3.0 - 2.0 * a) * glow;
  vec3 light = v_tint + (vec3(1.0) - v_tint) * 0.28;
  colour = vec4(light * a, 0.45 * a);
}
)";

// The 2D layer: two triangles per rectangle, each target pixel sampling the layer texel at its
// centre (the layer's first row is the target's top row). A plain texture copy blended "over"
// is a shape llvmpipe recognises and runs as a row copy-and-blend instead of a per-pixel
// shader, several times faster; a GPU draws it the same.
extern const char* const kLayerVS = R"(#version 330 core
layout(location = 0) in vec4 corner;  // clip position, then texture coordinates
out vec2 v_uv;
void main() {
  gl_Position = vec4(corner.xy, 0.0, 1.0);
  v_uv = corner.zw;
}
)";

extern const char* const kLayerPS = R"(#version 330 core
uniform sampler2D layer;
in vec2 v_uv;
out vec4 colour;
void main() {
  colour = texture(layer, v_uv);
}
)";

}  // namespace perchkin::glsl
