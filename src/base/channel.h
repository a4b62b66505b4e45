// A first-in-first-out queue from any number of sending threads to one receiver, which takes
// from it without blocking. Shared by std::shared_ptr between the two sides.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace perchkin {

template <typename T>
class Channel {
 public:
  // False once the channel is closed; the item is then dropped.
  bool send(T item) {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    queue_.push_back(std::move(item));
    return true;
  }
  std::optional<T> try_receive() {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return std::nullopt;
    T item = std::move(queue_.front());
    queue_.pop_front();
    return item;
  }
  // Everything waiting, oldest first.
  std::vector<T> drain() {
    std::deque<T> taken;
    {
      std::lock_guard lock(mutex_);
      taken.swap(queue_);
    }
    return {std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end())};
  }
  std::size_t size() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }
  // The receiver is gone: later sends fail and what waits is dropped (outside the lock, as an
  // item's destructor may do work of its own, such as closing a reply).
  void close() {
    std::deque<T> dropped;
    std::lock_guard lock(mutex_);
    closed_ = true;
    dropped.swap(queue_);
  }
  bool closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
  }

 private:
  mutable std::mutex mutex_;
  std::deque<T> queue_;
  bool closed_ = false;
};

}  // namespace perchkin
