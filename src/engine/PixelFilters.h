#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "imageops/PixelTransform.h"

// View modes 1..6: single channels and the alpha views. Alpha is never changed.
class CKaChannelFilter : public CPixelTransform {
 public:
  explicit CKaChannelFilter(unsigned viewMode) : m_mode(viewMode) {}
  RvPixel Map(RvPixel pixel) const override;
  unsigned GetViewMode() const { return m_mode; }

 private:
  unsigned m_mode;
};

// Display gamma: red, green and blue through a 256-entry table, alpha kept.
class CKaGammaFilter : public CPixelTransform {
 public:
  explicit CKaGammaFilter(double gamma = 1.0) { SetGamma(gamma); }
  // A gamma of 0 is stored as 1e-8 (the table then maps everything but 255 to 0).
  void SetGamma(double gamma);
  double GetGamma() const { return m_gamma; }
  const std::array<std::uint8_t, 256>& GetTable() const { return m_table; }
  RvPixel Map(RvPixel pixel) const override;

 private:
  double m_gamma = 1.0;
  std::array<std::uint8_t, 256> m_table{};
};

inline constexpr unsigned kKaViewModeCount = 7;
// "Normal view", "Red channel", ...; empty for modes above 6.
std::string KaViewModeName(unsigned viewMode);
