#include "engine/PixelFilters.h"

#include <cmath>

RvPixel CKaChannelFilter::Map(RvPixel p) const {
  const std::uint8_t a = RvPixelAlpha(p);
  switch (m_mode) {
    case KaViewMode::RedChannel: {
      const std::uint8_t r = RvPixelRed(p);
      return RvMakePixel(r, r, r, a);
    }
    case KaViewMode::GreenChannel: {
      const std::uint8_t g = RvPixelGreen(p);
      return RvMakePixel(g, g, g, a);
    }
    case KaViewMode::BlueChannel: {
      const std::uint8_t b = RvPixelBlue(p);
      return RvMakePixel(b, b, b, a);
    }
    case KaViewMode::AlphaChannel:
      return RvMakePixel(a, a, a, a);
    case KaViewMode::ShowAlpha:
      return a != 0 ? RvMakePixel(a, RvPixelGreen(p), RvPixelBlue(p), a) : p;
    case KaViewMode::ShowAlphaInverted:
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

std::string KaViewModeName(KaViewMode viewMode) {
  static const char* const kNames[kKaViewModeCount] = {"Normal view",
                                                       "Red channel",
                                                       "Green channel",
                                                       "Blue channel",
                                                       "Alpha channel",
                                                       "Show alpha channel",
                                                       "Show alpha channel (inverted)"};
  const unsigned index = unsigned(viewMode);
  return index < kKaViewModeCount ? kNames[index] : std::string();
}
