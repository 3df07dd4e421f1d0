#include "engine/PixelFilters.h"

#include <cmath>

RvPixel CKaChannelFilter::Map(RvPixel p) const {
  const std::uint8_t a = RvPixelAlpha(p);
  switch (m_mode) {
    case 1: {
      const std::uint8_t r = RvPixelRed(p);
      return RvMakePixel(r, r, r, a);
    }
    case 2: {
      const std::uint8_t g = RvPixelGreen(p);
      return RvMakePixel(g, g, g, a);
    }
    case 3: {
      const std::uint8_t b = RvPixelBlue(p);
      return RvMakePixel(b, b, b, a);
    }
    case 4:
      return RvMakePixel(a, a, a, a);
    case 5:
      return a != 0 ? RvMakePixel(a, RvPixelGreen(p), RvPixelBlue(p), a) : p;
    case 6:
      return a != 255 ? RvMakePixel(std::uint8_t(255 - a), RvPixelGreen(p), RvPixelBlue(p), a) : p;
    default:
      return p;
  }
}

void CKaGammaFilter::SetGamma(double gamma) {
  if (gamma == 0.0) gamma = 1e-8;
  m_gamma = gamma;
  for (int i = 0; i < 256; ++i) {
    const double v = std::pow(i * (1.0 / 255.0), 1.0 / gamma) * 255.0;
    m_table[std::size_t(i)] = std::uint8_t(std::trunc(v));
  }
}

RvPixel CKaGammaFilter::Map(RvPixel p) const {
  return RvMakePixel(m_table[RvPixelRed(p)], m_table[RvPixelGreen(p)], m_table[RvPixelBlue(p)],
                     RvPixelAlpha(p));
}

std::string KaViewModeName(unsigned viewMode) {
  static const char* const kNames[kKaViewModeCount] = {"Normal view",
                                                       "Red channel",
                                                       "Green channel",
                                                       "Blue channel",
                                                       "Alpha channel",
                                                       "Show alpha channel",
                                                       "Show alpha channel (inverted)"};
  return viewMode < kKaViewModeCount ? kNames[viewMode] : std::string();
}
