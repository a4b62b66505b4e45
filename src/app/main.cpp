#include "app/entry.h"

int main(int argc, char** argv) {
  return perchkin::process_entry(argc, argv, &perchkin::make_platform_backends);
}
