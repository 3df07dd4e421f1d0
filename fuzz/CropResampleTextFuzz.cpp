// The crop and resample texts: parsed, applied to a few picture sizes, and (when they
// parse) formatted and parsed again to the same values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "FuzzSupport.h"
#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"

namespace {

template <class Spec>
void Check(const std::string& input) {
  Spec spec;
  std::string text = input, error;
  int count = 0;
  const bool ok = spec.Parse(&text, &error, &count);
  if (ok) {
    Spec again;
    std::string formatted = spec.Format();
    if (!again.Parse(&formatted, &error, &count) || !(again == spec)) __builtin_trap();
  }
  for (const int side : {1, 7, 1920, 65535}) {
    if constexpr (std::is_same_v<Spec, CRvCrop>) {
      int left, top, width, height;
      spec.GetCropRect(side, side / 2 + 1, &left, &top, &width, &height);
      if (left < 0 || top < 0 || width < 0 || height < 0 || left + width > side ||
          top + height > side / 2 + 1)
        __builtin_trap();
    } else {
      int width, height;
      spec.GetNewSize(side, side / 2 + 1, &width, &height);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Check<CRvCrop>(input);
  Check<CRvResample>(input);
  return 0;
}
