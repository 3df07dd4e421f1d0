#include "RvToolCommands.h"

#include <cstdio>

// Replaced when the Demo command is built.
int RunDemo(const std::vector<std::string>&) {
  std::fprintf(stderr, "rvtool: not available in this build\n");
  return 2;
}
