// rvtool scan DIR: the sequences of a folder as the sequence browser shows them.
#include <cstdio>
#include <string>
#include <vector>

#include "RvToolCommands.h"
#include "sequence/SequenceList.h"

namespace {

constexpr const char* kScanUsage = "scan DIR";

void PrintScanHelp() {
  std::printf(
      "usage: rvtool %s\n\n"
      "Lists the sequences of the folder DIR, one line each, numbered sequences first, then\n"
      "single files. Fields are separated by one TAB: name, length, step, path pattern.\n",
      kScanUsage);
}

}  // namespace

int RunScan(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    PrintScanHelp();
    return 0;
  }
  std::vector<std::string> operands;
  for (const std::string& arg : args) {
    if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "rvtool scan: unknown option '%s'\n", arg.c_str());
      return UsageError(kScanUsage);
    }
    operands.push_back(arg);
  }
  if (operands.size() != 1) return UsageError(kScanUsage);

  const CRvSequenceList list(operands[0], "*.*");
  if (!list.IsListed()) {
    std::fprintf(stderr, "rvtool scan: cannot read folder %s: %s\n", operands[0].c_str(),
                 list.GetErrorText().c_str());
    return 2;
  }
  for (const CRvSequence* sequence : RvBrowserOrder(list)) {
    std::printf("%s\t%s\t%s\t%s\n", sequence->GetDisplayName().c_str(),
                sequence->GetLengthText().c_str(), sequence->GetStepText().c_str(),
                sequence->GetPathPattern().c_str());
  }
  return std::fflush(stdout) == 0 ? 0 : 2;
}
