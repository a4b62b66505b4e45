#include "app/companion.h"

#include <cstdio>

namespace perchkin {

int run_companion(const LaunchOptions&) { return 0; }

int run_quit_client(std::uint16_t) {
  std::printf("buddy is not running\n");
  return 1;
}

}  // namespace perchkin
