#include "crowd/buddy_event.h"

#include "base/vocabulary.h"

#include <algorithm>
#include <atomic>

namespace perchkin {

namespace {

std::atomic<std::uint64_t> g_drawing_ids{1};

static_assert(kEffectKinds.size() == static_cast<std::size_t>(EffectKind::snow) + 1);

}  // namespace

std::uint64_t next_drawing_id() { return g_drawing_ids.fetch_add(1, std::memory_order_relaxed); }

std::string_view effect_name(EffectKind kind) {
  return kEffectKinds[static_cast<std::size_t>(kind)];
}

std::optional<EffectKind> parse_effect(std::string_view name) {
  const auto it = std::find(kEffectKinds.begin(), kEffectKinds.end(), name);
  if (it == kEffectKinds.end()) return std::nullopt;
  return static_cast<EffectKind>(it - kEffectKinds.begin());
}

}  // namespace perchkin
