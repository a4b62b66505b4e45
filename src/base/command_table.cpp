#include "base/command_table.h"

#include <cmath>

namespace perchkin {

namespace {

json of_type(std::string_view type) { return json{{"type", type}}; }
json either(std::string_view a, std::string_view b) { return json{{"type", json::array({a, b})}}; }

std::string words_text(std::span<const std::string_view> words, std::string_view separator) {
  std::string out;
  for (std::string_view w : words) {
    if (!out.empty()) out += separator;
    out += w;
  }
  return out;
}

// One "{arg.field}" of a description; the field text itself when it names nothing.
std::string field_text(const CommandEntry& entry, std::string_view field) {
  const std::size_t dot = field.find('.');
  if (dot != std::string_view::npos) {
    const std::string_view name = field.substr(0, dot), what = field.substr(dot + 1);
    for (const CommandArg& a : entry.args) {
      if (a.name != name) continue;
      if (what == "words") return words_text(a.words, " ");
      if (what == "min") return std::to_string(std::llround(a.min));
      if (what == "max") return std::to_string(std::llround(a.max));
    }
  }
  return "{" + std::string(field) + "}";
}

}  // namespace

const CommandEntry* find_command(std::string_view name) {
  for (const CommandEntry& c : kCommandTable)
    if (c.name == name) return &c;
  return nullptr;
}

const CommandEntry& command_entry(CommandId id) {
  return kCommandTable[static_cast<std::size_t>(id)];
}

static_assert([] {
  for (std::size_t i = 0; i < kCommandTable.size(); ++i)
    if (static_cast<std::size_t>(kCommandTable[i].id) != i) return false;
  return true;
}(), "the table is indexed by CommandId");

std::string command_description(const CommandEntry& entry) {
  std::string out;
  std::string_view rest = entry.description;
  for (std::size_t open = rest.find('{'); open != std::string_view::npos; open = rest.find('{')) {
    const std::size_t close = rest.find('}', open);
    if (close == std::string_view::npos) break;
    out += rest.substr(0, open);
    out += field_text(entry, rest.substr(open + 1, close - open - 1));
    rest.remove_prefix(close + 1);
  }
  out += rest;
  return out;
}

json arg_schema(const CommandArg& arg) {
  switch (arg.type) {
    case ArgType::number: return of_type("number");
    case ArgType::text: return of_type("string");
    case ArgType::flag: return of_type("boolean");
    case ArgType::word: {
      json values = json::array();
      for (std::string_view w : arg.words) values.push_back(w);
      return json{{"enum", std::move(values)}, {"type", "string"}};
    }
    case ArgType::points:
      return json{{"items", {{"items", of_type("number")}, {"type", "array"}}}, {"type", "array"}};
    case ArgType::text_or_number: return either("string", "number");
    case ArgType::id: return either("integer", "string");
  }
  return json::object();
}

std::string choices_message(const CommandArg& arg) {
  return std::string(arg.name) + " must be one of: " + words_text(arg.words, ", ");
}

}  // namespace perchkin
