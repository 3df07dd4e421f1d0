// Reelvane: a flipbook player for numbered image sequences.
#include "app/CommandLine.h"
#include "app/RvApp.h"

int main(int argc, char** argv) {
  // Taken before Qt removes the options it understands itself.
  const std::string commandLine = BuildCommandLine(argc, argv);
  CRvApp app(argc, argv);
  return app.Run(commandLine);
}
