#include "app/entry.h"

int main(int argc, char** argv) { return perchkin::process_entry(argc, argv); }
