// Zeroed memory for the desktop's pixel buffers, straight from the system: a page becomes
// resident only once it is written, so a buffer the overlay's size holds what was drawn in it,
// not the whole screen; and all of it goes back when released (the heap may keep freed large
// blocks, and a vector writes every byte when it is made).
#pragma once

#include <cstddef>
#include <cstdint>

namespace perchkin {

class ZeroPages {
 public:
  ZeroPages() = default;
  ~ZeroPages() { release(); }
  ZeroPages(const ZeroPages&) = delete;
  ZeroPages& operator=(const ZeroPages&) = delete;

  // Fresh zeroed memory of `bytes`; what was held goes back first.
  void reset(std::size_t bytes);
  void release();
  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  bool mapped_ = false;
};

}  // namespace perchkin
