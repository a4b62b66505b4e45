#include "gpu/zero_pages_x11.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace perchkin {

void ZeroPages::reset(std::size_t bytes) {
  release();
  if (bytes == 0) return;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  mapped_ = p != MAP_FAILED;
  if (!mapped_) p = std::calloc(bytes, 1);
  if (p == nullptr) throw std::bad_alloc();  // as a vector of this size would
  data_ = static_cast<std::uint8_t*>(p);
  size_ = bytes;
}

void ZeroPages::release() {
  if (data_ != nullptr) {
    if (mapped_) munmap(data_, size_);
    else std::free(data_);
  }
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
}

}  // namespace perchkin
