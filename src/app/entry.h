// Process entry: the three ways in (companion, --quit client, --mcp server).
#pragma once

namespace perchkin {

int process_entry(int argc, char** argv);

}  // namespace perchkin
