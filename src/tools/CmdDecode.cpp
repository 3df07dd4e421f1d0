#include "RvToolCommands.h"

#include <cstdio>

// Replaced when the Decode command is built.
int RunDecode(const std::vector<std::string>&) {
  std::fprintf(stderr, "rvtool: not available in this build\n");
  return 2;
}
