// The OpenGL pass's shaders in GLSL 3.30, the same maths as the reference rasterizer: the
// parts each program is linked from.
#pragma once

namespace perchkin::glsl {

// Shared by the three buddy programs' vertex and pixel stages.
extern const char* const kCommon;
extern const char* const kPixelCommon;
extern const char* const kSpriteVS;
extern const char* const kSpritePS;
extern const char* const kGlowVS;
extern const char* const kGlowPS;
extern const char* const kShadowVS;
extern const char* const kShadowPS;
// The 2D layer's copy blended "over".
extern const char* const kLayerVS;
extern const char* const kLayerPS;

}  // namespace perchkin::glsl
