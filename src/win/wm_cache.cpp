#include "win/wm_cache.h"

#include <algorithm>
#include <unordered_set>

namespace perchkin {

bool WmCache::changed(std::int64_t window, WmStale what) {
  auto it = clients_.find(window);
  if (it == clients_.end()) {
    const auto f = frames_.find(window);
    if (f == frames_.end()) return false;
    it = clients_.find(f->second);
    if (it == clients_.end()) return false;
  }
  if (what == WmStale::properties) it->second.props_dirty = true;
  else it->second.geometry_dirty = true;
  any_dirty_ = true;
  return true;
}

void WmCache::destroyed(std::int64_t window) {
  auto it = clients_.find(window);
  if (it == clients_.end()) return;
  frames_.erase(it->second.frame);
  clients_.erase(it);
  root_dirty_ = true;
}

bool WmCache::refresh_root(WmSource& source) {
  if (!root_dirty_) return false;
  root_dirty_ = false;
  std::vector<std::int64_t> list = source.stacking();
  std::reverse(list.begin(), list.end());  // the property runs bottom to top
  stacking_.clear();
  std::unordered_set<std::int64_t> listed;
  for (std::int64_t w : list) {
    if (w == 0 || !listed.insert(w).second) continue;
    stacking_.push_back(w);
  }
  for (auto it = clients_.begin(); it != clients_.end();) {
    if (listed.count(it->first) == 0) {
      frames_.erase(it->second.frame);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
  current_desktop_ = source.current_desktop();
  any_dirty_ = true;
  return true;
}

WmCache::Client& WmCache::entry(WmSource& source, std::int64_t window) {
  auto [it, added] = clients_.try_emplace(window);
  if (added) {
    source.follow(window);
    it->second.info.id = window;
  }
  return it->second;
}

void WmCache::refresh(WmSource& source, std::int64_t window, Client& c) {
  if (c.props_dirty) {
    c.info.id = window;
    source.read_properties(window, c.info);
    c.props_dirty = false;
  }
  if (c.geometry_dirty) {
    c.geometry_dirty = false;
    const std::int64_t frame = source.read_geometry(window, c.info);
    if (frame != c.frame) {
      frames_.erase(c.frame);
      c.frame = frame;
      if (frame != 0 && frame != window) frames_[frame] = window;
    }
  }
}

const std::vector<DesktopWindow>& WmCache::windows(WmSource& source,
                                                   std::span<const std::int64_t> own) {
  (void)refresh_root(source);
  if (!any_dirty_) return listed_;
  listed_.clear();
  listed_.reserve(stacking_.size());
  for (std::int64_t w : stacking_) {
    if (std::find(own.begin(), own.end(), w) != own.end()) continue;
    Client& c = entry(source, w);
    refresh(source, w, c);
    listed_.push_back(desktop_window(c.info, current_desktop_));
  }
  any_dirty_ = false;
  return listed_;
}

WmClient WmCache::client(WmSource& source, std::int64_t window) {
  auto it = clients_.find(window);
  if (it != clients_.end()) {
    refresh(source, window, it->second);
    return it->second.info;
  }
  WmClient info;
  info.id = window;
  source.read_properties(window, info);
  (void)source.read_geometry(window, info);
  return info;
}

}  // namespace perchkin
