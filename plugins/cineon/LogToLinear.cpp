#include "LogToLinear.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDensityPerCode = 0.002;
constexpr double kNegativeGamma = 0.6;
constexpr double kConversionGamma = 1.7;

double LinearAt(double cv, double step, double white, double black) {
  return (std::pow(10.0, (cv - white) * step) - black) / (1.0 - black);
}

}  // namespace

std::uint8_t LogToDisplay(double cv, const LogToLinearParams& params) {
  const double white = params.referenceWhite;
  const double blackCode = params.referenceBlack;
  const double step = kDensityPerCode / kNegativeGamma * params.gammaLog / kConversionGamma;
  if (!(step > 0.0) || !std::isfinite(step) || white <= blackCode) {
    return cv >= white ? 255 : 0;
  }
  const double black = std::pow(10.0, (blackCode - white) * step);
  double lin = LinearAt(cv, step, white, black);
  if (params.softClip > 0) {
    const double knee = white - params.softClip;
    if (cv > knee) {
      const double kneeValue = LinearAt(knee, step, white, black);
      const double power = params.softClip / 100.0;
      const double span = std::pow(5.0 * params.softClip, power);
      lin = kneeValue + (1.0 - kneeValue) * std::pow(cv - knee, power) / span;
    }
  }
  lin = std::clamp(lin, 0.0, 1.0);
  double gammaDisplay = params.gammaDisplay;
  if (!(gammaDisplay > 0.0) || !std::isfinite(gammaDisplay)) gammaDisplay = 1.0;
  const double out = std::pow(lin, 1.0 / gammaDisplay) * 255.0;
  return static_cast<std::uint8_t>(std::clamp(std::lround(out), 0L, 255L));
}

std::vector<std::uint8_t> BuildSampleTable(int bits, bool logarithmic,
                                           const LogToLinearParams& params) {
  const std::uint32_t count = 1u << bits;
  const double maxCode = count - 1;
  std::vector<std::uint8_t> table(count);
  for (std::uint32_t v = 0; v < count; ++v) {
    if (logarithmic) {
      table[v] = LogToDisplay(bits == 10 ? double(v) : v * 1023.0 / maxCode, params);
    } else {
      table[v] = static_cast<std::uint8_t>(std::lround(v * 255.0 / maxCode));
    }
  }
  return table;
}
