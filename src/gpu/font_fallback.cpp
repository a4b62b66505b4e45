#include "gpu/font_fallback.h"

#include <array>

namespace perchkin {

namespace {

constexpr std::array<std::string_view, 7> kSans = {"Segoe UI", "Tahoma", "Arial", "Noto Sans",
                                                    "DejaVu Sans", "Liberation Sans", "Verdana"};

void add(std::vector<std::string>& out, std::string_view family) {
  for (const std::string& f : out)
    if (f == family) return;
  out.emplace_back(family);
}

}  // namespace

std::vector<std::string> font_fallbacks(std::string_view family) {
  std::vector<std::string> out;
  if (!family.empty()) add(out, family);
  if (family == "Segoe UI Symbol") {
    for (std::string_view f : {"Segoe UI Emoji", "Symbola", "Noto Sans Symbols2", "DejaVu Sans"})
      add(out, f);
  } else if (family == "Impact") {
    for (std::string_view f : {"Arial Black", "Anton", "DejaVu Sans Condensed"}) add(out, f);
  } else if (family == "Segoe Print") {
    for (std::string_view f : {"Comic Sans MS", "Comic Neue", "Ink Free", "Noto Sans"}) add(out, f);
  }
  for (std::string_view f : kSans) add(out, f);
  return out;
}

}  // namespace perchkin
