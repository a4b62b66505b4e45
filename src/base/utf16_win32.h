// UTF-8 to and from the UTF-16 of Windows calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace perchkin {

// Invalid UTF-8 becomes U+FFFD.
std::wstring widen(std::string_view utf8);
// Lone surrogates become U+FFFD.
std::string narrow(std::wstring_view utf16);
// Nullopt for text with a lone surrogate, which no UTF-8 can say.
std::optional<std::string> narrow_strict(std::wstring_view utf16);

}  // namespace perchkin
