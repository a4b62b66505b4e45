// This desktop's backends. Until its windows and renderer exist, the companion needs --headless.
#include "app/backends.h"

namespace perchkin {

Result<Backends> make_platform_backends(const LaunchOptions&) {
  return Result<Backends>::fail("no desktop backend in this build; use --headless");
}

}  // namespace perchkin
