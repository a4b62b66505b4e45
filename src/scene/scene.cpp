#include "scene/scene.h"

#include "shapes/color.h"
#include "base/text.h"

#include <algorithm>

namespace perchkin {

std::optional<TextBox> EstimatedTextLayout::layout(std::string_view text, double size) {
  const auto n = static_cast<double>(char_count(text));
  return TextBox{0.55 * size * n, 1.2 * size};
}

Rgba color_rgba(std::string_view color_text) {
  return rgba(parse_color_text(color_text));
}

void Scene::apply_event(const BuddyEvent& e, double now) {
  if (std::holds_alternative<ClearEvent>(e)) {
    clear();
    return;
  }
  if (const InkEvent* ink = std::get_if<InkEvent>(&e)) {
    if (ink->colour) {
      Drawing d;
      d.id = ink->id;
      d.color = color_rgba(*ink->colour);
      d.width = std::max(ink->width, 1.0);
      d.ttl = ink->ttl;
      const bool existed = drawings.count(ink->id) != 0;
      drawings[ink->id] = std::move(d);
      if (!existed) order.push_back(ink->id);
      while (order.size() > kMaxDrawings) {
        drawings.erase(order.front());
        order.pop_front();
      }
    }
    auto it = drawings.find(ink->id);
    if (it == drawings.end()) return;
    Drawing& d = it->second;
    if (!ink->screen_points.empty()) {
      for (const StrokePoint& p : ink->screen_points)
        d.points.push_back(
            {static_cast<float>(p.x - origin_x), static_cast<float>(p.y - origin_y)});
      d.version += 1;
    }
    if (ink->finish && !d.finished) {
      d.finished = true;
      d.finished_at = now;
    }
    return;
  }
  if (const TextEvent* t = std::get_if<TextEvent>(&e)) {
    if (layout == nullptr) return;
    auto box = layout->layout(t->text, t->size);
    if (!box) return;
    TextDrawing td;
    td.text = t->text;
    td.color = color_rgba(t->colour);
    td.size = t->size;
    td.box = *box;
    td.duration = std::max(t->duration, 0.05);
    td.ttl = t->ttl;
    td.start = now;
    td.origin = {static_cast<float>(t->x - origin_x), static_cast<float>(t->y - origin_y)};
    if (texts.size() >= kMaxTexts)
      texts.erase(texts.begin(),
                  texts.begin() + static_cast<std::ptrdiff_t>(texts.size() - kMaxTexts + 1));
    texts.push_back(std::move(td));
  }
}

void Scene::expire(double now) {
  bool removed = false;
  for (auto it = drawings.begin(); it != drawings.end();) {
    const Drawing& d = it->second;
    if (d.finished && d.ttl > 0 && now - d.finished_at >= d.ttl) {
      it = drawings.erase(it);
      removed = true;
    } else {
      ++it;
    }
  }
  if (removed)
    order.erase(std::remove_if(order.begin(), order.end(),
                               [&](std::uint64_t id) { return drawings.count(id) == 0; }),
                order.end());
  for (TextDrawing& t : texts) {
    if (!t.typed && now - t.start >= t.duration) {
      t.typed = true;
      t.typed_at = now;
    }
  }
  texts.erase(std::remove_if(texts.begin(), texts.end(),
                             [&](const TextDrawing& t) {
                               return t.typed && t.ttl > 0 && now - t.typed_at >= t.ttl;
                             }),
              texts.end());
}

void Scene::clear() {
  drawings.clear();
  order.clear();
  texts.clear();
}

void append_platform_surfaces(std::vector<Support>& out, std::span<const Prop> props) {
  for (const Prop& p : props) {
    if (p.kind != PropKind::platform) continue;
    out.push_back(Support{-1000000 - static_cast<std::int64_t>(p.id), std::min(p.x, p.x2),
                          std::max(p.x, p.x2), std::min(p.y, p.y2), SurfaceKind::drawn, {}});
  }
}

}  // namespace perchkin
