#include "RvToolCommands.h"

#include <cstdio>

// Replaced when the Lookup command is built.
int RunLookup(const std::vector<std::string>&) {
  std::fprintf(stderr, "rvtool: not available in this build\n");
  return 2;
}
