// Text rules shared by every module: "characters" are Unicode scalar values of UTF-8 text,
// "trim" removes Unicode white space, and rounded numbers print as plain integers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace perchkin {

bool is_valid_utf8(std::string_view text);

// Decodes UTF-8 leniently: an invalid byte becomes U+FFFD and decoding goes on.
std::vector<char32_t> decode_utf8(std::string_view text);
void append_utf8(std::string& out, char32_t code_point);

std::size_t char_count(std::string_view text);
// The first n characters; never splits a code point.
std::string first_chars(std::string_view text, std::size_t n);

bool is_unicode_space(char32_t c);
std::string trim(std::string_view text);
// Trims ASCII white space only (space, tab, CR, LF, VT, FF).
std::string_view trim_ascii(std::string_view text);

// Round half away from zero.
double round_half_away(double value);
// Rounds half away from zero and prints the result as an integer: never "-0", never "400.0".
// Non-finite values print as "0".
std::string rounded_int_text(double value);
// One digit after the decimal point ("3.0", "12.5").
std::string one_decimal(double value);

// Decimal unsigned integer: optional leading '+', digits only, must fit 64 bits.
std::optional<std::uint64_t> parse_unsigned(std::string_view text);
// Decimal floating-point number in ordinary or exponent form, the whole text; "inf", "nan" and
// hexadecimal forms are not numbers. Too large saturates to infinity, too small gives 0.
std::optional<double> parse_double(std::string_view text);

std::string join(const std::vector<std::string>& parts, std::string_view separator);

}  // namespace perchkin
