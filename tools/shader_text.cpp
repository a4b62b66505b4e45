// Developer and CI tool: writes the renderer's HLSL source to standard output, or lists its entry
// points with their glslang stage (vert or frag) with --entries, one "name stage" a line.
#include <cstdio>
#include <string_view>

#include "gpu/shader_hlsl.h"

int main(int argc, char** argv) {
  using namespace perchkin;
  if (argc > 1 && std::string_view(argv[1]) == "--entries") {
    for (const ShaderEntry& e : kShaderEntries)
      std::printf("%.*s %s\n", static_cast<int>(e.name.size()), e.name.data(),
                  e.stage == ShaderStage::vertex ? "vert" : "frag");
    return 0;
  }
  if (argc > 1) {
    std::fputs("usage: shader_text [--entries]\n", stderr);
    return 2;
  }
  const std::string_view text = shader_hlsl();
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
