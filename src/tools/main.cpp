// rvtool: the headless companion of the player, over the same libraries.
#include <cstdio>
#include <string>
#include <vector>

#include "RvToolCommands.h"
#include "imaging/metafile/WMFDecoder.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>&);
  const char* summary;
};

const Command kCommands[] = {
    {"scan", RunScan, "scan DIR            list the sequences of a folder"},
    {"lookup", RunLookup, "lookup PATH         find the sequence of a frame or pattern"},
    {"info", RunInfo, "info FILE           decode a frame and print its size and depth"},
    {"decode", RunDecode, "decode FILE OUT     decode a frame and write it as PAM or PNG"},
    {"demo", RunDemo, "demo DIR            write a demo sequence"},
    {"convert", RunConvert, "convert SOURCE DEST write a sequence out as images or AVI"},
};

void PrintHelp(FILE* out) {
  std::fprintf(out, "usage: rvtool COMMAND [ARGS]\n\ncommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.summary);
  std::fprintf(
      out, "\nrvtool COMMAND --help describes a command; rvtool --version prints the version.\n");
}

}  // namespace

int UsageError(const std::string& usage) {
  std::fprintf(stderr, "usage: rvtool %s\n", usage.c_str());
  return 2;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a == "-h" || a == "--help") return true;
  return false;
}

int main(int argc, char** argv) {
  RvRegisterMetafileDecoder();  // before the first decoder is built
  if (argc < 2) {
    PrintHelp(stderr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "-h" || name == "--help") {
    PrintHelp(stdout);
    return 0;
  }
  if (name == "--version") {
    std::printf("rvtool (Reelvane) %s\n", RV_VERSION);
    return 0;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& c : kCommands)
    if (name == c.name) return c.run(args);
  std::fprintf(stderr, "rvtool: unknown command '%s'\n", name.c_str());
  PrintHelp(stderr);
  return 2;
}
