// A plain reading of turtle values, straight from the rules: replace every ":i" in the text, then
// parse it by recursive descent. Slow, but simple enough to trust; the compiled evaluator is
// checked against it by the unit tests and the fuzzer.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace perchkin::logo::reference {

class Reader {
 public:
  explicit Reader(std::string text) : s_(std::move(text)) {}

  std::optional<double> read() {
    std::optional<double> v = expression(0);
    skip();
    if (!v || pos_ != s_.size() || !std::isfinite(*v)) return std::nullopt;
    return v;
  }

 private:
  void skip() {
    while (pos_ < s_.size() &&
           std::string_view(" \t\n\r\v\f").find(s_[pos_]) != std::string_view::npos)
      ++pos_;
  }
  bool at(char c) {
    skip();
    return pos_ < s_.size() && s_[pos_] == c;
  }

  std::optional<double> expression(int nesting) {
    std::optional<double> v = term(nesting);
    while (v && (at('+') || at('-'))) {
      const char op = s_[pos_++];
      const std::optional<double> r = term(nesting);
      if (!r) return std::nullopt;
      v = op == '+' ? *v + *r : *v - *r;
    }
    return v;
  }

  std::optional<double> term(int nesting) {
    std::optional<double> v = factor(nesting);
    while (v && (at('*') || at('/'))) {
      const char op = s_[pos_++];
      const std::optional<double> r = factor(nesting);
      if (!r) return std::nullopt;
      if (op == '/' && *r == 0.0) return std::nullopt;
      v = op == '*' ? *v * *r : *v / *r;
    }
    return v;
  }

  std::optional<double> factor(int nesting) {
    skip();
    if (pos_ >= s_.size()) return std::nullopt;
    const char c = s_[pos_];
    if (c == '(' || c == '+' || c == '-') {
      if (nesting + 1 > 32) return std::nullopt;
      ++pos_;
      if (c == '+') return factor(nesting + 1);
      if (c == '-') {
        const std::optional<double> v = factor(nesting + 1);
        if (!v) return std::nullopt;
        return -*v;
      }
      const std::optional<double> v = expression(nesting + 1);
      if (!v || !at(')')) return std::nullopt;
      ++pos_;
      return v;
    }
    const std::size_t start = pos_;
    while (pos_ < s_.size() && ((s_[pos_] >= '0' && s_[pos_] <= '9') || s_[pos_] == '.')) ++pos_;
    std::string run = s_.substr(start, pos_ - start);
    if (run.empty() || run.find('.') != run.rfind('.') || run == ".") return std::nullopt;
    if (run.back() == '.') run.pop_back();
    double value = 0.0;
    const auto [ptr, ec] =
        std::from_chars(run.data(), run.data() + run.size(), value, std::chars_format::fixed);
    if (ptr != run.data() + run.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
      const std::string whole = run.substr(0, run.find('.'));
      if (whole.find_first_not_of('0') == std::string::npos) return 0.0;
      return std::numeric_limits<double>::infinity();
    }
    if (ec != std::errc()) return std::nullopt;
    return value;
  }

  std::string s_;
  std::size_t pos_ = 0;
};

inline std::optional<double> eval(std::string_view token, std::uint32_t counter) {
  const std::string digits = std::to_string(counter);
  std::string text;
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (token[i] == ':' && i + 1 < token.size() && token[i + 1] == 'i') {
      text += digits;
      ++i;
    } else {
      text += token[i];
    }
  }
  return Reader(std::move(text)).read();
}

}  // namespace perchkin::logo::reference
