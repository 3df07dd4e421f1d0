#include "RvToolCommands.h"

#include <cstdio>

// Replaced when the Info command is built.
int RunInfo(const std::vector<std::string>&) {
  std::fprintf(stderr, "rvtool: not available in this build\n");
  return 2;
}
