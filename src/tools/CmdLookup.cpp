// rvtool lookup PATH: the sequence a frame, key or typed pattern belongs to.
#include <cstdio>
#include <string>
#include <vector>

#include "RvToolCommands.h"
#include "sequence/SequenceList.h"
#include "support/NesCommon55.h"

namespace {

constexpr const char* kLookupUsage = "lookup PATH";

void PrintLookupHelp() {
  std::printf(
      "usage: rvtool %s\n\n"
      "Finds the sequence of PATH: a frame (shot_0012.tif), the key (shot_#.tif) or a pattern\n"
      "with one placeholder (shot_@.tif, shot_%%d.tif). Prints one line, fields separated by\n"
      "one TAB: path pattern, first frame number, last frame number, frame count.\n"
      "Exits with status 1 when no sequence matches.\n",
      kLookupUsage);
}

}  // namespace

int RunLookup(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    PrintLookupHelp();
    return 0;
  }
  std::vector<std::string> operands;
  for (const std::string& arg : args) {
    if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "rvtool lookup: unknown option '%s'\n", arg.c_str());
      return UsageError(kLookupUsage);
    }
    operands.push_back(arg);
  }
  if (operands.size() != 1) return UsageError(kLookupUsage);

  const std::string& path = operands[0];
  const std::unique_ptr<CRvSequence> sequence = RvLookupSequence(strGetFullPath(path));
  if (!sequence) {
    std::fprintf(stderr, "Unable to open sequence %s\n", path.c_str());
    return 1;
  }
  std::printf("%s\t%u\t%u\t%u\n", sequence->GetPathPattern().c_str(), sequence->GetFirst(),
              sequence->GetLast(), sequence->GetFrameCount());
  return std::fflush(stdout) == 0 ? 0 : 2;
}
