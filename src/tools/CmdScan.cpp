#include "RvToolCommands.h"

#include <cstdio>

// Replaced when the Scan command is built.
int RunScan(const std::vector<std::string>&) {
  std::fprintf(stderr, "rvtool: not available in this build\n");
  return 2;
}
