#include "app/entry.h"

namespace perchkin {

int process_entry(int, char**) { return 0; }

}  // namespace perchkin
