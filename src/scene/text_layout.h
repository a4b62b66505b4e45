// Text layout for typed text drawings. The overlay backends measure with their font engine;
// the headless build uses a plain estimate.
#pragma once

#include <optional>
#include <string_view>

namespace perchkin {

struct TextBox {
  double width = 0.0;
  double height = 0.0;
};

class TextLayout {
 public:
  virtual ~TextLayout() = default;
  // Lays out text in "Segoe Print" bold at size pixels; nullopt when layout fails.
  virtual std::optional<TextBox> layout(std::string_view text, double size) = 0;
};

// Width 0.55 x size per character, height 1.2 x size.
class EstimatedTextLayout final : public TextLayout {
 public:
  std::optional<TextBox> layout(std::string_view text, double size) override;
};

}  // namespace perchkin
