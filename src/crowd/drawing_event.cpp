#include "crowd/drawing_event.h"

#include <atomic>
#include <memory>

namespace perchkin {

namespace {

std::atomic<std::uint64_t> g_drawing_ids{1};

template <typename T>
BuddyEvent with_payload(BuddyEventKind kind, T payload) {
  BuddyEvent e;
  e.kind = kind;
  e.data = std::make_shared<const T>(std::move(payload));
  return e;
}

}  // namespace

BuddyEvent ink_event(InkEvent ink) { return with_payload(BuddyEventKind::ink, std::move(ink)); }
BuddyEvent text_event(TextEvent text) {
  return with_payload(BuddyEventKind::text, std::move(text));
}

// Only ink_event and text_event create events of these kinds with data.
const InkEvent* ink_of(const BuddyEvent& e) {
  return e.kind == BuddyEventKind::ink ? static_cast<const InkEvent*>(e.data.get()) : nullptr;
}
const TextEvent* text_of(const BuddyEvent& e) {
  return e.kind == BuddyEventKind::text ? static_cast<const TextEvent*>(e.data.get()) : nullptr;
}

std::uint64_t next_drawing_id() { return g_drawing_ids.fetch_add(1, std::memory_order_relaxed); }

}  // namespace perchkin
