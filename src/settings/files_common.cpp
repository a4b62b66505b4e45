#include "settings/files.h"

#include <cctype>

namespace perchkin {

std::string error_phrase(const std::error_code& ec) {
  std::string text = ec.message();
  // Windows ends its messages with a full stop and a line break.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
    text.pop_back();
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' &&
      (text.size() < 2 || !(text[1] >= 'A' && text[1] <= 'Z')))
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text.empty() ? "unknown error" : text;
}

}  // namespace perchkin
