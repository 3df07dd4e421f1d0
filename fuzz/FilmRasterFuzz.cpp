// The Cineon/DPX plug-in's reader: header parsing, then conversion of the whole picture with
// log-to-linear parameters taken from the input's last bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FilmRaster.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FilmRaster raster;
  if (ParseFilmRaster(data, size, &raster) != FilmError::kNone) return 0;
  // The parser guarantees every line lies in the data, which bounds the picture by the input.
  const std::size_t width = raster.Width(), height = raster.Height();
  std::vector<std::uint8_t> pixels(width * height * 4);
  std::vector<std::uint8_t*> lines(height);
  for (std::size_t y = 0; y < height; ++y) lines[y] = pixels.data() + y * width * 4;
  LogToLinearParams params;
  if (size >= 4) {
    const std::uint8_t* t = data + size - 4;
    params.referenceBlack = t[0] * 4;
    params.referenceWhite = 512 + t[1] * 2;
    params.softClip = t[2] % 50;
    params.gammaDisplay = 0.5 + t[3] / 64.0;
  }
  ConvertFilmRaster(data, size, raster, params, lines.data());
  return 0;
}
