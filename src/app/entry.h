// Process entry: the three ways in (companion, --quit client, --mcp server).
#pragma once

#include "app/backends.h"

namespace perchkin {

// `desktop` makes the real desktop's backends; main() passes this build's.
int process_entry(int argc, char** argv, DesktopFactory desktop);

}  // namespace perchkin
