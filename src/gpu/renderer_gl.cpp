// The same maths as the reference rasterizer (gpu/raster_cpu.cpp), in GLSL 3.30. Instance
// records live in an RGBA32F texture, four texels each, because a plain 2D float texture is the
// most portable way to hand vertex shaders per-instance data (GL 3.3 and GLES 3.0 alike).
#include "gpu/renderer_gl.h"

#include "gpu/shader_glsl.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <memory>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace perchkin {

namespace {

// Instance texture: this many texels a row, four per instance.
constexpr int kInstanceRow = 1024;
constexpr int kTexelsPerInstance = 4;

struct Program {
  GLuint id = 0;
  GLint screen = -1, origin = -1, glow = -1, count = -1, base = -1;
};

// One dirty rectangle's instances: records [base, base + count) of the uploaded list.
struct Slice {
  PixelRect rect;
  int base = 0, count = 0;
};

}  // namespace

struct GlPass::Objects {
  Program sprite, shadow, glow, layer;
  GLuint vao = 0;
  // The layer's rectangles as vertices. The target has no depth buffer: llvmpipe takes its fast
  // path for rectangles only where there is none, and the draw order alone gives the pixels.
  GLuint layer_vao = 0, layer_vbo = 0;
  std::vector<float> corners;
  GLuint atlas = 0, halo = 0, instances = 0, layer_texture = 0;
  GLuint fbo = 0, target = 0;
  int instance_rows = 0;
  // A layer's rectangle, bottom row first; grown, never zeroed.
  std::unique_ptr<std::uint8_t[]> rows;
  std::size_t rows_size = 0;
  std::vector<BuddyInstance> culled;  // the slices' records, one after another
  std::vector<Slice> slices;

  ~Objects() {
    for (Program* p : {&sprite, &shadow, &glow, &layer})
      if (p->id != 0) glDeleteProgram(p->id);
    const GLuint textures[] = {atlas, halo, instances, layer_texture, target};
    glDeleteTextures(5, textures);
    if (fbo != 0) glDeleteFramebuffers(1, &fbo);
    if (layer_vbo != 0) glDeleteBuffers(1, &layer_vbo);
    if (layer_vao != 0) glDeleteVertexArrays(1, &layer_vao);
    if (vao != 0) glDeleteVertexArrays(1, &vao);
  }
};

namespace {

Result<GLuint> compile(GLenum kind, std::initializer_list<const char*> parts, const char* name) {
  GLuint shader = glCreateShader(kind);
  std::vector<const char*> sources(parts);
  glShaderSource(shader, static_cast<GLsizei>(sources.size()), sources.data(), nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok != GL_TRUE) {
    char log[1024] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    glDeleteShader(shader);
    return Result<GLuint>::fail(std::string("shader ") + name + " does not compile: " + log);
  }
  return Result<GLuint>::success(shader);
}

Result<Program> link(std::initializer_list<const char*> vs, std::initializer_list<const char*> ps,
                     const char* name) {
  auto v = compile(GL_VERTEX_SHADER, vs, name);
  if (!v.ok()) return v.status();
  auto p = compile(GL_FRAGMENT_SHADER, ps, name);
  if (!p.ok()) {
    glDeleteShader(*v);
    return p.status();
  }
  Program prog;
  prog.id = glCreateProgram();
  glAttachShader(prog.id, *v);
  glAttachShader(prog.id, *p);
  glLinkProgram(prog.id);
  glDeleteShader(*v);
  glDeleteShader(*p);
  GLint ok = GL_FALSE;
  glGetProgramiv(prog.id, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    char log[1024] = {};
    glGetProgramInfoLog(prog.id, sizeof log, nullptr, log);
    glDeleteProgram(prog.id);
    return Result<Program>::fail(std::string("shaders ") + name + " do not link: " + log);
  }
  prog.screen = glGetUniformLocation(prog.id, "screen");
  prog.origin = glGetUniformLocation(prog.id, "origin");
  prog.glow = glGetUniformLocation(prog.id, "glow");
  prog.count = glGetUniformLocation(prog.id, "count");
  prog.base = glGetUniformLocation(prog.id, "base");
  glUseProgram(prog.id);
  glUniform1i(glGetUniformLocation(prog.id, "buddies"), 0);
  glUniform1i(glGetUniformLocation(prog.id, "atlas"), 1);
  glUniform1i(glGetUniformLocation(prog.id, "halo"), 2);
  glUniform1i(glGetUniformLocation(prog.id, "layer"), 3);
  return Result<Program>::success(prog);
}

GLuint make_texture(GLenum internal, int w, int h, GLenum format, GLenum type, const void* data,
                    GLint filter) {
  GLuint t = 0;
  glGenTextures(1, &t);
  glBindTexture(GL_TEXTURE_2D, t);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internal), w, h, 0, format, type, data);
  return t;
}

// Target rectangles (y down) to GL's scissor boxes (y up), clipped; empty ones dropped.
std::vector<PixelRect> clipped(std::span<const PixelRect> rects, int w, int h) {
  std::vector<PixelRect> out;
  for (const PixelRect& r : rects) {
    const PixelRect c{std::max(0, r.left), std::max(0, r.top), std::min(w, r.right),
                      std::min(h, r.bottom)};
    if (c.left < c.right && c.top < c.bottom) out.push_back(c);
  }
  return out;
}

void scissor(const PixelRect& r, int h) {
  glScissor(r.left, h - r.bottom, r.right - r.left, r.bottom - r.top);
}

const char* gl_error_name(GLenum e) {
  switch (e) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default: return "GL error";
  }
}

}  // namespace

GlPass::GlPass() = default;
GlPass::~GlPass() = default;

Status GlPass::init(const SpriteTextures& textures) {
  if (textures.atlas.size() != static_cast<std::size_t>(kAtlasWidth * kAtlasHeight) ||
      textures.halo.size() != static_cast<std::size_t>(kHaloWidth * kHaloHeight))
    return Status::fail("the sprite textures have the wrong size");
  auto gl = std::make_unique<Objects>();
  auto sprite = link({glsl::kCommon, glsl::kSpriteVS}, {glsl::kPixelCommon, glsl::kSpritePS},
                     "SpriteVS/SpritePS");
  if (!sprite.ok()) return sprite.status();
  gl->sprite = *sprite;
  auto shadow = link({glsl::kCommon, glsl::kShadowVS}, {glsl::kPixelCommon, glsl::kShadowPS},
                     "ShadowVS/ShadowPS");
  if (!shadow.ok()) return shadow.status();
  gl->shadow = *shadow;
  auto glow = link({glsl::kCommon, glsl::kGlowVS}, {glsl::kPixelCommon, glsl::kGlowPS},
                   "GlowVS/GlowPS");
  if (!glow.ok()) return glow.status();
  gl->glow = *glow;
  auto layer = link({glsl::kLayerVS}, {glsl::kLayerPS}, "layer");
  if (!layer.ok()) return layer.status();
  gl->layer = *layer;

  glGenVertexArrays(1, &gl->vao);
  glGenVertexArrays(1, &gl->layer_vao);
  glGenBuffers(1, &gl->layer_vbo);
  glBindVertexArray(gl->layer_vao);
  glBindBuffer(GL_ARRAY_BUFFER, gl->layer_vbo);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
  glBindVertexArray(0);
  gl->atlas = make_texture(GL_R8UI, kAtlasWidth, kAtlasHeight, GL_RED_INTEGER, GL_UNSIGNED_BYTE,
                           textures.atlas.data(), GL_NEAREST);
  gl->halo = make_texture(GL_R8, kHaloWidth, kHaloHeight, GL_RED, GL_UNSIGNED_BYTE,
                          textures.halo.data(), GL_LINEAR);
  glGenFramebuffers(1, &gl->fbo);
  gl_ = std::move(gl);
  if (Status s = check("building the textures"); !s.ok()) return s;
  return resize(1, 1);
}

Status GlPass::resize(int width, int height) {
  if (!gl_) return Status::fail("the GPU pass is not started");
  width = std::clamp(width, 1, kMaxImageSide);
  height = std::clamp(height, 1, kMaxImageSide);
  if (gl_->target != 0) glDeleteTextures(1, &gl_->target);
  if (gl_->layer_texture != 0) glDeleteTextures(1, &gl_->layer_texture);
  // Unsized, with the 2D layers' BGRA byte order: the driver then stores BGRA, so a layer's
  // pixels are uploaded, and the target blitted to a BGRA window, without reordering bytes.
  gl_->target = make_texture(GL_RGBA, width, height, GL_BGRA, GL_UNSIGNED_BYTE, nullptr, GL_NEAREST);
  gl_->layer_texture =
      make_texture(GL_RGBA, width, height, GL_BGRA, GL_UNSIGNED_BYTE, nullptr, GL_NEAREST);
  glBindFramebuffer(GL_FRAMEBUFFER, gl_->fbo);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, gl_->target, 0);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
    return Status::fail("the drawing target is incomplete");
  width_ = width;
  height_ = height;
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  return check("sizing the drawing target");
}

void GlPass::clear(std::span<const PixelRect> rects) {
  if (!gl_) return;
  glBindFramebuffer(GL_FRAMEBUFFER, gl_->fbo);
  glEnable(GL_SCISSOR_TEST);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  for (const PixelRect& r : clipped(rects, width_, height_)) {
    scissor(r, height_);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glDisable(GL_SCISSOR_TEST);
}

void GlPass::composite_layer(const std::uint8_t* bgra, int stride,
                             std::span<const PixelRect> rects) {
  if (!gl_ || bgra == nullptr || stride < width_ * 4 || stride % 4 != 0) return;
  const std::vector<PixelRect> boxes = clipped(rects, width_, height_);
  if (boxes.empty()) return;
  glActiveTexture(GL_TEXTURE3);
  glBindTexture(GL_TEXTURE_2D, gl_->layer_texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, stride / 4);
  for (const PixelRect& r : boxes) {
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, r.left);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, r.top);
    glTexSubImage2D(GL_TEXTURE_2D, 0, r.left, r.top, r.right - r.left, r.bottom - r.top, GL_BGRA,
                    GL_UNSIGNED_BYTE, bgra);
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);

  // Pixel edges to clip space and texture coordinates; the target's top is clip y = 1.
  const auto w = static_cast<float>(width_), h = static_cast<float>(height_);
  gl_->corners.clear();
  for (const PixelRect& r : boxes) {
    const float s0 = static_cast<float>(r.left) / w, s1 = static_cast<float>(r.right) / w;
    const float t0 = static_cast<float>(r.top) / h, t1 = static_cast<float>(r.bottom) / h;
    const float x0 = s0 * 2.0f - 1.0f, x1 = s1 * 2.0f - 1.0f;
    const float y0 = 1.0f - t0 * 2.0f, y1 = 1.0f - t1 * 2.0f;
    const float quad[6][4] = {{x0, y0, s0, t0}, {x1, y0, s1, t0}, {x0, y1, s0, t1},
                              {x1, y0, s1, t0}, {x1, y1, s1, t1}, {x0, y1, s0, t1}};
    gl_->corners.insert(gl_->corners.end(), &quad[0][0], &quad[0][0] + 24);
  }
  glBindFramebuffer(GL_FRAMEBUFFER, gl_->fbo);
  glViewport(0, 0, width_, height_);
  glBindVertexArray(gl_->layer_vao);
  glBindBuffer(GL_ARRAY_BUFFER, gl_->layer_vbo);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(gl_->corners.size() * sizeof(float)),
               gl_->corners.data(), GL_STREAM_DRAW);
  glEnable(GL_BLEND);
  glBlendEquation(GL_FUNC_ADD);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glUseProgram(gl_->layer.id);
  glDisable(GL_SCISSOR_TEST);
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(boxes.size() * 6));
  glBindVertexArray(gl_->vao);
}

void GlPass::copy_layer(const std::uint8_t* bgra, int stride, std::span<const PixelRect> rects) {
  if (!gl_ || bgra == nullptr || stride < width_ * 4 || stride % 4 != 0) return;
  const std::vector<PixelRect> boxes = clipped(rects, width_, height_);
  if (boxes.empty()) return;
  glActiveTexture(GL_TEXTURE3);
  glBindTexture(GL_TEXTURE_2D, gl_->target);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  for (const PixelRect& r : boxes) {
    // The layer's first row is the target's top row, the texture's first row its bottom one.
    const auto w = static_cast<std::size_t>(r.right - r.left) * 4;
    const int h = r.bottom - r.top;
    if (gl_->rows_size < w * static_cast<std::size_t>(h)) {
      gl_->rows_size = w * static_cast<std::size_t>(h);
      gl_->rows = std::make_unique_for_overwrite<std::uint8_t[]>(gl_->rows_size);
    }
    for (int y = 0; y < h; ++y)
      std::memcpy(gl_->rows.get() + static_cast<std::size_t>(h - 1 - y) * w,
                  bgra + static_cast<std::size_t>(r.top + y) * static_cast<std::size_t>(stride) +
                      static_cast<std::size_t>(r.left) * 4,
                  w);
    glTexSubImage2D(GL_TEXTURE_2D, 0, r.left, height_ - r.bottom, r.right - r.left, h, GL_BGRA,
                    GL_UNSIGNED_BYTE, gl_->rows.get());
  }
  glBindTexture(GL_TEXTURE_2D, gl_->layer_texture);
}

void GlPass::draw_instances(const Frame& frame, std::span<const BuddyInstance> instances,
                            std::span<const PixelRect> rects) {
  if (!gl_ || instances.empty()) return;
  const std::vector<PixelRect> boxes = clipped(rects, width_, height_);
  if (boxes.empty()) return;

  // Each rectangle gets the instances whose quads (sprite, glow or shadow) may reach into it,
  // in list order: a small dirty rectangle then costs the few buddies near it, not the crowd.
  gl_->culled.clear();
  gl_->slices.clear();
  for (const PixelRect& r : boxes) {
    const int base = static_cast<int>(gl_->culled.size());
    for (const BuddyInstance& b : instances) {
      if (!instance_reaches(b, frame, r)) continue;
      gl_->culled.push_back(b);
    }
    const int count = static_cast<int>(gl_->culled.size()) - base;
    if (count > 0) gl_->slices.push_back({r, base, count});
  }
  if (gl_->slices.empty()) return;

  // Upload: full rows of the instance texture, then the partial last row.
  const std::size_t texels = gl_->culled.size() * kTexelsPerInstance;
  const int rows = static_cast<int>((texels + kInstanceRow - 1) / kInstanceRow);
  glActiveTexture(GL_TEXTURE0);
  if (rows > gl_->instance_rows) {
    // Capacity as rows of 256 instances, doubled so a growing crew re-creates it rarely.
    int capacity = std::max(1, gl_->instance_rows);
    while (capacity < rows) capacity *= 2;
    if (gl_->instances != 0) glDeleteTextures(1, &gl_->instances);
    gl_->instances =
        make_texture(GL_RGBA32F, kInstanceRow, capacity, GL_RGBA, GL_FLOAT, nullptr, GL_NEAREST);
    gl_->instance_rows = capacity;
  }
  glBindTexture(GL_TEXTURE_2D, gl_->instances);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  const auto* data = reinterpret_cast<const float*>(gl_->culled.data());
  const int full = static_cast<int>(texels / kInstanceRow);
  const int rest = static_cast<int>(texels % kInstanceRow);
  if (full > 0)
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kInstanceRow, full, GL_RGBA, GL_FLOAT, data);
  if (rest > 0)
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, full, rest, 1, GL_RGBA, GL_FLOAT,
                    data + static_cast<std::size_t>(full) * kInstanceRow * 4);
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, gl_->atlas);
  glActiveTexture(GL_TEXTURE2);
  glBindTexture(GL_TEXTURE_2D, gl_->halo);

  glBindFramebuffer(GL_FRAMEBUFFER, gl_->fbo);
  glViewport(0, 0, width_, height_);
  glBindVertexArray(gl_->vao);
  glBlendEquation(GL_FUNC_ADD);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_SCISSOR_TEST);
  const auto run = [&](const Program& p) {
    glUseProgram(p.id);
    glUniform2f(p.screen, frame.screen.x, frame.screen.y);
    glUniform2f(p.origin, frame.origin.x, frame.origin.y);
    if (p.glow >= 0) glUniform1f(p.glow, frame.glow);
    for (const Slice& slice : gl_->slices) {
      scissor(slice.rect, height_);
      glUniform1i(p.base, slice.base);
      glUniform1i(p.count, slice.count);
      glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, slice.count);
    }
  };
  // In list order, later ones on top. Bodies are opaque, so they are written without blending.
  glEnable(GL_BLEND);
  run(gl_->shadow);
  if (frame.glow > 0.0f) run(gl_->glow);
  glDisable(GL_BLEND);
  run(gl_->sprite);
  glDisable(GL_SCISSOR_TEST);
  // Start the driver on the buddies now: a driver that draws on the processor (llvmpipe) then
  // shades them on its own threads while this one draws the 2D pass in front.
  glFlush();
}

RgbaImage GlPass::read_back() {
  RgbaImage image = make_image(width_, height_);
  if (!gl_ || image.pixels.empty()) return image;
  glBindFramebuffer(GL_FRAMEBUFFER, gl_->fbo);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  std::vector<std::uint8_t> raw(image.pixels.size());
  glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
  const std::size_t row = static_cast<std::size_t>(width_) * 4;
  for (int y = 0; y < height_; ++y)
    std::memcpy(image.pixels.data() + static_cast<std::size_t>(y) * row,
                raw.data() + static_cast<std::size_t>(height_ - 1 - y) * row, row);
  return image;
}

unsigned GlPass::framebuffer() const { return gl_ ? gl_->fbo : 0; }

Status GlPass::check(const char* what) {
  const GLenum e = glGetError();
  if (e == GL_NO_ERROR) return Status::success();
  while (glGetError() != GL_NO_ERROR) {
  }
  return Status::fail(std::string(gl_error_name(e)) + " while " + what);
}

}  // namespace perchkin
