#include <cstdio>
#include <string>

#include "RvToolCommands.h"
#include "imaging/FrameDecoder.h"

namespace {

const char kUsage[] = "info FILE";

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    std::printf(
        "usage: rvtool %s\n\nDecodes FILE the way the player does and prints\n"
        "width=W height=H bpp=B alpha=0|1 decoder=NAME\n",
        kUsage);
    return 0;
  }
  if (args.size() != 1) return UsageError(kUsage);

  CFrameDecoder decoder;
  CDIBSectionBitmap bitmap;
  try {
    decoder.DecodeFile(args[0], &bitmap);
  } catch (const CTextException& e) {
    std::string text = e.GetText();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::fprintf(stderr, "error %d: %s\n", e.GetCode(), text.c_str());
    return 2;
  }
  std::printf("width=%d height=%d bpp=%d alpha=%d decoder=%s\n", bitmap.GetWidth(),
              bitmap.GetHeight(), bitmap.GetBitsPerPixel(), bitmap.HasAlpha() ? 1 : 0,
              decoder.GetLastDecoderName().c_str());
  return 0;
}
