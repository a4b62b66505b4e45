// Font families to try, in order, for a family the overlay asks for: the asked-for one first,
// then look-alikes found on other systems (Wine has no Segoe fonts, Linux has DejaVu and Noto).
// Backends pick the first family that exists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace perchkin {

std::vector<std::string> font_fallbacks(std::string_view family);

}  // namespace perchkin
