// The Direct3D renderer's shader source: one HLSL text holding the three pipelines' six entry
// points. It lives in the platform-neutral core so that a Linux check can hand the very same text
// to glslang's HLSL front end (tools/shader_text writes it out).
#pragma once

#include <array>
#include <string_view>

namespace perchkin {

// The complete source, compiled once per entry point, no defines or includes.
std::string_view shader_hlsl();

enum class ShaderStage { vertex, pixel };

struct ShaderEntry {
  std::string_view name;
  ShaderStage stage;
  std::string_view target;  // D3DCompile profile
};

// In the order the renderer compiles them.
inline constexpr std::array<ShaderEntry, 6> kShaderEntries = {{
    {"SpriteVS", ShaderStage::vertex, "vs_5_0"},
    {"SpritePS", ShaderStage::pixel, "ps_5_0"},
    {"ShadowVS", ShaderStage::vertex, "vs_5_0"},
    {"ShadowPS", ShaderStage::pixel, "ps_5_0"},
    {"GlowVS", ShaderStage::vertex, "vs_5_0"},
    {"GlowPS", ShaderStage::pixel, "ps_5_0"},
}};

}  // namespace perchkin
