// The command-line grammar: the input is the whole command line after the program path.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "app/CommandLine.h"
#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"

namespace {

class Sink : public CRvCmdLineErrorSink {
 public:
  void ReportCmdLineError(const std::string&, const std::string& displayed, int position) override {
    // The position marks a place in the text shown.
    if (position < 0 || std::size_t(position) > displayed.size()) __builtin_trap();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line =
      "\"/opt/reelvane/reelvane\" " + std::string(reinterpret_cast<const char*>(data), size);
  CRvCommandLineRequest request;
  CRvCrop crop;
  CRvResample resample;
  Sink sink;
  ParseCommandLine(line, &request, &crop, &resample, &sink, rvfuzz::ScratchDir().string());
  return 0;
}
