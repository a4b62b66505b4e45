#include "base/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace perchkin {

namespace {

// Decodes one code point at i; returns the number of bytes used, or 0 when the bytes there are
// not valid UTF-8 (overlong forms, surrogates and values above U+10FFFF are invalid).
std::size_t decode_one(std::string_view s, std::size_t i, char32_t& out) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    out = b0;
    return 1;
  }
  std::size_t len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  out = cp;
  return len;
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    const std::size_t n = decode_one(text, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::vector<char32_t> decode_utf8(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    const std::size_t n = decode_one(text, i, cp);
    if (n == 0) {
      out.push_back(0xFFFD);
      ++i;
    } else {
      out.push_back(cp);
      i += n;
    }
  }
  return out;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::size_t char_count(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    const std::size_t n = decode_one(text, i, cp);
    i += n == 0 ? 1 : n;
    ++count;
  }
  return count;
}

std::string first_chars(std::string_view text, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t count = 0; i < text.size() && count < n; ++count) {
    char32_t cp;
    const std::size_t len = decode_one(text, i, cp);
    i += len == 0 ? 1 : len;
  }
  return std::string(text.substr(0, i));
}

bool is_unicode_space(char32_t c) {
  switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20: case 0x85: case 0xA0:
    case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

std::string trim(std::string_view text) {
  // Walk code points from the front, then find the last non-space code point's end.
  std::size_t begin = text.size();
  std::size_t end = 0;
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    std::size_t n = decode_one(text, i, cp);
    if (n == 0) {
      cp = 0xFFFD;
      n = 1;
    }
    if (!is_unicode_space(cp)) {
      if (begin == text.size()) begin = i;
      end = i + n;
    }
    i += n;
  }
  if (begin >= end) return {};
  return std::string(text.substr(begin, end - begin));
}

std::string_view trim_ascii(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\v\f";
  const std::size_t b = text.find_first_not_of(kSpace);
  if (b == std::string_view::npos) return {};
  const std::size_t e = text.find_last_not_of(kSpace);
  return text.substr(b, e - b + 1);
}

double round_half_away(double value) { return std::round(value); }

std::string rounded_int_text(double value) {
  if (!std::isfinite(value)) return "0";
  double r = std::round(value);
  if (r == 0.0) return "0";
  constexpr double kMax = 9.2e18;
  if (r > kMax) r = kMax;
  if (r < -kMax) r = -kMax;
  return std::to_string(static_cast<long long>(r));
}

std::string one_decimal(double value) {
  if (!std::isfinite(value)) value = 0.0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f", value);
  return buf;
}

std::optional<std::uint64_t> parse_unsigned(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

namespace {

// Sign, digits with at most one point and at least one digit, then an optional exponent. Words
// such as "inf" or "nan" and hexadecimal forms are not decimal numbers.
bool is_decimal_number(std::string_view text) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - from;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == text.size();
}

// For a number too large or too small for a double: whether it is too large. The decimal
// exponent of the first significant digit decides; saturating keeps absurd exponents harmless.
bool overflows(std::string_view text) {
  long long magnitude = 0;
  bool seen_point = false;
  bool significant = false;
  std::size_t i = 0;
  if (text[i] == '+' || text[i] == '-') ++i;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.') {
      seen_point = true;
    } else if (!significant && text[i] == '0') {
      if (seen_point) --magnitude;
    } else {
      significant = true;
      if (!seen_point) ++magnitude;
    }
  }
  long long exponent = 0;
  bool negative = false;
  if (i < text.size()) {
    ++i;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    for (; i < text.size(); ++i) exponent = std::min(exponent * 10 + (text[i] - '0'), 1'000'000LL);
  }
  return magnitude + (negative ? -exponent : exponent) > 0;
}

}  // namespace

std::optional<double> parse_double(std::string_view text) {
  if (!is_decimal_number(text)) return std::nullopt;
  const bool negative = text.front() == '-';
  std::string_view body = text;
  if (body.front() == '+') body.remove_prefix(1);
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Overflow saturates to infinity the way a decimal parser rounds it; underflow gives 0.
    const double magnitude = overflows(text) ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
  }
  if (ec != std::errc() || ptr != body.data() + body.size()) return std::nullopt;
  return value;
}

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += separator;
    out += parts[i];
  }
  return out;
}

}  // namespace perchkin
