// The OpenEXR plug-in's reader: header checks, then the whole picture through the library and
// the display transform. Only the plug-in's code is instrumented for coverage; the library's
// reads of the input still go through the plug-in's bounded memory stream under ASan.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ExrFrame.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ExrLayout layout;
  std::string error;
  if (!ReadExrLayout(data, size, &layout, &error)) return 0;
  // The layout limits allow pictures of hundreds of megabytes, real for EXR; the fuzzer keeps
  // to sizes it can decode many times a second.
  if (std::int64_t(layout.width) * layout.height > (std::int64_t(1) << 22)) return 0;
  const std::size_t stride = std::size_t(layout.width) * 4;
  std::vector<std::uint8_t> pixels(stride * std::size_t(layout.height));
  std::vector<std::uint8_t*> lines(std::size_t(layout.height));
  for (std::size_t y = 0; y < lines.size(); ++y) lines[y] = pixels.data() + y * stride;
  ConvertExr(data, size, layout, lines.data(), kExrLibraryThreads, &error);
  return 0;
}
